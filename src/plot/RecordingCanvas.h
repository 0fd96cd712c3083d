// A canvas that draws nothing and records every call, for checking drawings in tests.
#pragma once

#include "plot/Canvas.h"
#include "plot/Image.h"

#include <string>
#include <vector>

enum class TCanvasOp {
    setPen,
    setBrush,
    setFont,
    setTextAlign,
    setMapping,
    resetMapping,
    setViewportOrigin,
    setClipRect,
    removeClip,
    moveTo,
    lineTo,
    rectangle,
    roundRect,
    focusRect,
    textOut,
    tabbedTextOut,
};

// One recorded call with the canvas state at the time of the call. Coordinates: moveTo (x1, y1);
// lineTo from (x1, y1) to (x2, y2); rectangle, roundRect, focusRect and setClipRect from (x1, y1) to
// (x2, y2), roundRect's ellipse in (x3, y3); texts at (x1, y1) with the tab width in x3;
// setMapping window (x1, y1) and viewport (x2, y2); setViewportOrigin (x1, y1).
struct TCanvasCall {
    TCanvasOp op;
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0, x3 = 0, y3 = 0;
    std::string text;
    TPen pen;
    TBrush brush;
    TFont font;
    THAlign hAlign = THAlign::left;
    TVAlign vAlign = TVAlign::top;
};

// Text metrics are a fixed-width model so that tests are exact: with h = font().pixelHeight(),
// every character (tabs expanded) is h / 2 units wide (integer division) and a text cell is h high.
class TRecordingCanvas : public TCanvas {
public:
    std::vector<TCanvasCall> calls;

    // The calls with the given operation, in order.
    std::vector<TCanvasCall> callsOf(TCanvasOp op) const;
    // Texts drawn by textOut and tabbedTextOut, in order.
    std::vector<std::string> texts() const;
    void clear() { calls.clear(); }

    void setPen(const TPen& pen) override;
    void setBrush(const TBrush& brush) override;
    void setFont(const TFont& font) override;
    void setTextAlign(THAlign h, TVAlign v) override;
    void setMapping(int windowWidth, int windowHeight, int viewportWidth, int viewportHeight) override;
    void resetMapping() override;
    void setViewportOrigin(int x, int y) override;
    void setClipRect(const TRect& device) override;
    void removeClip() override;
    void moveTo(int x, int y) override;
    void lineTo(int x, int y) override;
    void rectangle(int left, int top, int right, int bottom) override;
    void roundRect(int left, int top, int right, int bottom, int ellipseWidth, int ellipseHeight) override;
    void focusRect(const TRect& rect) override;
    void textOut(int x, int y, const char* text) override;
    TSize textExtent(const char* text) const override;
    void tabbedTextOut(int x, int y, const char* text, int tabWidth) override;
    TSize tabbedTextExtent(const char* text, int tabWidth) const override;

private:
    // A new call with the current state and the given coordinates (the rest 0).
    TCanvasCall& record(TCanvasOp op, int x1 = 0, int y1 = 0, int x2 = 0, int y2 = 0);
};

// An image of a given size whose canvas records.
class TRecordingImage : public TImage {
public:
    TRecordingImage(int width, int height) : width_(width), height_(height) {}
    int width() const override { return width_; }
    int height() const override { return height_; }
    TCanvas& canvas() override { return recorder; }

    TRecordingCanvas recorder;

private:
    int width_;
    int height_;
};
