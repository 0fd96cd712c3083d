// Drawing primitives shared by the plots and strips (pens and colours: base/Pen.h).
#pragma once

#include "base/Pen.h"

#include <cstdint>
#include <string>


enum class TBrushStyle { solid, clear };

// Fill of rectangles; a clear brush leaves the inside untouched.
struct TBrush {
    TColor color = 0xFFFFFF;
    TBrushStyle style = TBrushStyle::solid;

    bool operator==(const TBrush&) const = default;
};

// A font by name and size in points. The character (em) height is pixelHeight() units of the
// current logical space, so under a mapping the text grows and shrinks with the image.
struct TFont {
    std::string name = "Arial";
    int size = 8;            // points
    TColor color = 0x000000; // text colour

    // Points at 96 pixels per inch, rounded: size 20 gives 27, size 14 gives 19, size 8 gives 11.
    int pixelHeight() const { return (size * 96 + 36) / 72; }
    bool operator==(const TFont&) const = default;
};

// Where the reference point of a text output lies on the text's cell.
enum class THAlign { left, right, center };
enum class TVAlign { top, bottom };

struct TPoint {
    int x = 0;
    int y = 0;
    bool operator==(const TPoint&) const = default;
};

struct TSize {
    int cx = 0;
    int cy = 0;
    bool operator==(const TSize&) const = default;
};

// Edges as in the drawing calls: left/top included, right/bottom excluded.
struct TRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const TRect&) const = default;
};

// The logical-to-device mapping. Without a mapping one logical unit is one device pixel. With one,
// logical x runs 0..windowWidth onto device viewportOrigin.x .. viewportOrigin.x + viewportWidth
// (the same for y, independently: anisotropic); both axes point right and down.
struct TMapping {
    bool anisotropic = false;
    int windowWidth = 1;
    int windowHeight = 1;
    int viewportWidth = 1;
    int viewportHeight = 1;
    bool operator==(const TMapping&) const = default;
};

// A drawing surface with the state of a device context: pen, brush, font, text alignment, current
// position, mapping and clip. Coordinates of drawing calls are logical units; the clip rectangle is
// in device pixels. A new canvas has a black solid pen of width 1, a white solid brush, Arial 8,
// left/top text alignment, no mapping, viewport origin (0, 0) and no clip.
class TCanvas {
public:
    virtual ~TCanvas() = default;

    virtual void setPen(const TPen& pen) { pen_ = pen; }
    const TPen& pen() const { return pen_; }
    virtual void setBrush(const TBrush& brush) { brush_ = brush; }
    const TBrush& brush() const { return brush_; }
    virtual void setFont(const TFont& font) { font_ = font; }
    const TFont& font() const { return font_; }
    virtual void setTextAlign(THAlign h, TVAlign v) {
        hAlign_ = h;
        vAlign_ = v;
    }
    THAlign hAlign() const { return hAlign_; }
    TVAlign vAlign() const { return vAlign_; }

    // Anisotropic mapping of a logical window onto a device viewport (sizes > 0).
    virtual void setMapping(int windowWidth, int windowHeight, int viewportWidth, int viewportHeight) {
        mapping_ = {true, windowWidth, windowHeight, viewportWidth, viewportHeight};
    }
    // Back to one logical unit per device pixel; the viewport origin is kept.
    virtual void resetMapping() { mapping_ = TMapping{}; }
    const TMapping& mapping() const { return mapping_; }
    // Device position of logical (0, 0).
    virtual void setViewportOrigin(int x, int y) { viewportOrigin_ = {x, y}; }
    TPoint viewportOrigin() const { return viewportOrigin_; }

    // Clip rectangle in device pixels (right/bottom excluded); replaces any earlier clip.
    virtual void setClipRect(const TRect& device) {
        clip_ = device;
        clipped_ = true;
    }
    virtual void removeClip() { clipped_ = false; }
    bool clipped() const { return clipped_; }
    const TRect& clipRect() const { return clip_; }

    // Lines with the pen; lineTo draws from the current position and moves it.
    virtual void moveTo(int x, int y) { position_ = {x, y}; }
    virtual void lineTo(int x, int y) = 0;
    // The same as lineTo through each of the count points in turn; a canvas may draw them at once.
    virtual void polyline(const TPoint* points, int count) {
        for (int i = 0; i < count; ++i)
            lineTo(points[i].x, points[i].y);
    }
    TPoint position() const { return position_; }

    // Outline with the pen (on the edges left, top, right - 1, bottom - 1), inside with the brush.
    virtual void rectangle(int left, int top, int right, int bottom) = 0;
    // As rectangle, with corners rounded by ellipses of ellipseWidth x ellipseHeight.
    virtual void roundRect(int left, int top, int right, int bottom, int ellipseWidth, int ellipseHeight) = 0;
    // A dotted outline in black, independent of pen and brush.
    virtual void focusRect(const TRect& rect) = 0;

    // Text in the font's colour at (x, y) placed by the text alignment; the background is untouched.
    virtual void textOut(int x, int y, const char* text) = 0;
    // Width and height of the text's cell in logical units.
    virtual TSize textExtent(const char* text) const = 0;
    // As textOut/textExtent, with every tab advancing to the next multiple of tabWidth units,
    // counted from the start of the text.
    virtual void tabbedTextOut(int x, int y, const char* text, int tabWidth) = 0;
    virtual TSize tabbedTextExtent(const char* text, int tabWidth) const = 0;

protected:
    TPen pen_;
    TBrush brush_;
    TFont font_;
    THAlign hAlign_ = THAlign::left;
    TVAlign vAlign_ = TVAlign::top;
    TMapping mapping_;
    TPoint viewportOrigin_;
    TRect clip_;
    bool clipped_ = false;
    TPoint position_;
};

// A real coordinate as an integer, truncated toward zero. Values beyond +-1e7 are held there and
// NaN gives 0, so that wild data never makes the conversion undefined.
inline int truncCoord(double v) {
    if (!(v == v))
        return 0;
    if (v > 1e7)
        return 10000000;
    if (v < -1e7)
        return -10000000;
    return static_cast<int>(v);
}
