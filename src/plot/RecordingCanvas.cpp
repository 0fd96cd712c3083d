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

TCanvasCall& TRecordingCanvas::record(TCanvasOp op, int x1, int y1, int x2, int y2) {
    TCanvasCall& c = calls.emplace_back();
    c.op = op;
    c.x1 = x1;
    c.y1 = y1;
    c.x2 = x2;
    c.y2 = y2;
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
    record(TCanvasOp::setMapping, windowWidth, windowHeight, viewportWidth, viewportHeight);
}

void TRecordingCanvas::resetMapping() {
    TCanvas::resetMapping();
    record(TCanvasOp::resetMapping);
}

void TRecordingCanvas::setViewportOrigin(int x, int y) {
    TCanvas::setViewportOrigin(x, y);
    record(TCanvasOp::setViewportOrigin, x, y);
}

void TRecordingCanvas::setClipRect(const TRect& device) {
    TCanvas::setClipRect(device);
    record(TCanvasOp::setClipRect, device.left, device.top, device.right, device.bottom);
}

void TRecordingCanvas::removeClip() {
    TCanvas::removeClip();
    record(TCanvasOp::removeClip);
}

void TRecordingCanvas::moveTo(int x, int y) {
    TCanvas::moveTo(x, y);
    record(TCanvasOp::moveTo, x, y);
}

void TRecordingCanvas::lineTo(int x, int y) {
    record(TCanvasOp::lineTo, position_.x, position_.y, x, y);
    position_ = {x, y};
}

void TRecordingCanvas::rectangle(int left, int top, int right, int bottom) {
    record(TCanvasOp::rectangle, left, top, right, bottom);
}

void TRecordingCanvas::roundRect(int left, int top, int right, int bottom, int ellipseWidth,
                                 int ellipseHeight) {
    TCanvasCall& c = record(TCanvasOp::roundRect, left, top, right, bottom);
    c.x3 = ellipseWidth;
    c.y3 = ellipseHeight;
}

void TRecordingCanvas::focusRect(const TRect& rect) {
    record(TCanvasOp::focusRect, rect.left, rect.top, rect.right, rect.bottom);
}

void TRecordingCanvas::textOut(int x, int y, const char* text) {
    record(TCanvasOp::textOut, x, y).text = text;
}

TSize TRecordingCanvas::textExtent(const char* text) const {
    const int h = font_.pixelHeight();
    return {static_cast<int>(std::strlen(text)) * (h / 2), h};
}

void TRecordingCanvas::tabbedTextOut(int x, int y, const char* text, int tabWidth) {
    TCanvasCall& c = record(TCanvasOp::tabbedTextOut, x, y);
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
