#include "plot/RecordingCanvas.h"

#include <cstring>

std::vector<TCanvasCall> TRecordingCanvas::callsOf(TCanvasOp op) const {
    std::vector<TCanvasCall> out;
    for (const TCanvasCall& c : calls)
        if (c.op == op)
            out.push_back(c);
    return out;
}

std::vector<std::string> TRecordingCanvas::texts() const {
    std::vector<std::string> out;
    for (const TCanvasCall& c : calls)
        if (c.op == TCanvasOp::textOut || c.op == TCanvasOp::tabbedTextOut)
            out.push_back(c.text);
    return out;
}

TCanvasCall& TRecordingCanvas::record(TCanvasOp op) {
    TCanvasCall& c = calls.emplace_back();
    c.op = op;
    c.pen = pen_;
    c.brush = brush_;
    c.font = font_;
    c.hAlign = hAlign_;
    c.vAlign = vAlign_;
    return c;
}

void TRecordingCanvas::setPen(const TPen& pen) {
    TCanvas::setPen(pen);
    record(TCanvasOp::setPen);
}

void TRecordingCanvas::setBrush(const TBrush& brush) {
    TCanvas::setBrush(brush);
    record(TCanvasOp::setBrush);
}

void TRecordingCanvas::setFont(const TFont& font) {
    TCanvas::setFont(font);
    record(TCanvasOp::setFont);
}

void TRecordingCanvas::setTextAlign(THAlign h, TVAlign v) {
    TCanvas::setTextAlign(h, v);
    record(TCanvasOp::setTextAlign);
}

void TRecordingCanvas::setMapping(int windowWidth, int windowHeight, int viewportWidth, int viewportHeight) {
    TCanvas::setMapping(windowWidth, windowHeight, viewportWidth, viewportHeight);
    TCanvasCall& c = record(TCanvasOp::setMapping);
    c.x1 = windowWidth;
    c.y1 = windowHeight;
    c.x2 = viewportWidth;
    c.y2 = viewportHeight;
}

void TRecordingCanvas::resetMapping() {
    TCanvas::resetMapping();
    record(TCanvasOp::resetMapping);
}

void TRecordingCanvas::setViewportOrigin(int x, int y) {
    TCanvas::setViewportOrigin(x, y);
    TCanvasCall& c = record(TCanvasOp::setViewportOrigin);
    c.x1 = x;
    c.y1 = y;
}

void TRecordingCanvas::setClipRect(const TRect& device) {
    TCanvas::setClipRect(device);
    TCanvasCall& c = record(TCanvasOp::setClipRect);
    c.x1 = device.left;
    c.y1 = device.top;
    c.x2 = device.right;
    c.y2 = device.bottom;
}

void TRecordingCanvas::removeClip() {
    TCanvas::removeClip();
    record(TCanvasOp::removeClip);
}

void TRecordingCanvas::moveTo(int x, int y) {
    TCanvas::moveTo(x, y);
    TCanvasCall& c = record(TCanvasOp::moveTo);
    c.x1 = x;
    c.y1 = y;
}

void TRecordingCanvas::lineTo(int x, int y) {
    TCanvasCall& c = record(TCanvasOp::lineTo);
    c.x1 = position_.x;
    c.y1 = position_.y;
    c.x2 = x;
    c.y2 = y;
    position_ = {x, y};
}

void TRecordingCanvas::rectangle(int left, int top, int right, int bottom) {
    TCanvasCall& c = record(TCanvasOp::rectangle);
    c.x1 = left;
    c.y1 = top;
    c.x2 = right;
    c.y2 = bottom;
}

void TRecordingCanvas::roundRect(int left, int top, int right, int bottom, int ellipseWidth,
                                 int ellipseHeight) {
    TCanvasCall& c = record(TCanvasOp::roundRect);
    c.x1 = left;
    c.y1 = top;
    c.x2 = right;
    c.y2 = bottom;
    c.x3 = ellipseWidth;
    c.y3 = ellipseHeight;
}

void TRecordingCanvas::focusRect(const TRect& rect) {
    TCanvasCall& c = record(TCanvasOp::focusRect);
    c.x1 = rect.left;
    c.y1 = rect.top;
    c.x2 = rect.right;
    c.y2 = rect.bottom;
}

void TRecordingCanvas::textOut(int x, int y, const char* text) {
    TCanvasCall& c = record(TCanvasOp::textOut);
    c.x1 = x;
    c.y1 = y;
    c.text = text;
}

TSize TRecordingCanvas::textExtent(const char* text) const {
    const int h = font_.pixelHeight();
    return {static_cast<int>(std::strlen(text)) * (h / 2), h};
}

void TRecordingCanvas::tabbedTextOut(int x, int y, const char* text, int tabWidth) {
    TCanvasCall& c = record(TCanvasOp::tabbedTextOut);
    c.x1 = x;
    c.y1 = y;
    c.x3 = tabWidth;
    c.text = text;
}

TSize TRecordingCanvas::tabbedTextExtent(const char* text, int tabWidth) const {
    const int h = font_.pixelHeight();
    const int charWidth = h / 2;
    int width = 0;
    for (const char* p = text; *p; ++p) {
        if (*p == '\t' && tabWidth > 0)
            width = (width / tabWidth + 1) * tabWidth;
        else
            width += charWidth;
    }
    return {width, h};
}
