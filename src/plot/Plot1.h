// Root of the plot classes: a drawing object pointed at an image's canvas each time it draws. It
// keeps between drawings only its configuration, the legend position and the last cursor position.
#pragma once

#include "plot/Canvas.h"
#include "plot/Image.h"

#include <cstdint>
#include <string>

// Keys and mouse buttons held during a mouse event (a bit set of the flags below).
using TShiftState = unsigned;
constexpr TShiftState ssShift = 1u << 0;
constexpr TShiftState ssAlt = 1u << 1;
constexpr TShiftState ssCtrl = 1u << 2;
constexpr TShiftState ssLeft = 1u << 3;
constexpr TShiftState ssRight = 1u << 4;
constexpr TShiftState ssMiddle = 1u << 5;
constexpr TShiftState ssDouble = 1u << 6;

// The button of a mouse-down event.
enum class TMouseButton { mbLeft, mbRight, mbMiddle };

// A box as fractions (or other real coordinates).
struct TRectD {
    double left = 0.0;
    double top = 0.0;
    double right = 0.0;
    double bottom = 0.0;
};

class TPlot1 {
public:
    // The logical plot space is logicalWidth x logicalHeight units whatever the image size.
    TPlot1(int logicalWidth, int logicalHeight);
    virtual ~TPlot1() = default;
    TPlot1(const TPlot1&) = delete;
    TPlot1& operator=(const TPlot1&) = delete;

    // Slot 0. x, y in image pixels. With the left button held (shift has ssLeft) and the pointer
    // inside the image of the last drawing: moves the legend with the pointer and redraws on
    // image. Otherwise stores the cursor position. The readout into panel belongs to the derived
    // plots.
    virtual void mouseMove(TShiftState shift, int x, int y, TImage& image, std::string& panel);
    // Slot 1. owner and ownerTag are not used. Here: nothing.
    virtual void mouseDown(void* owner, std::intptr_t ownerTag, TMouseButton button, TShiftState shift, int x,
                           int y, TImage& image);
    // Slot 2: setBitmap, then draw.
    virtual void drawToBitmap(TImage& bitmap);
    // Slot 3: setImageArea with the same arguments, then draw. All four -1: the image's full size.
    virtual void drawToImage(TImage& image, int width, int height, int originX, int originY);
    // Slot 4. Here: nothing.
    virtual void drawLegend();
    // Slot 5: attach at the image's size with font size 14.
    virtual void setImage(TImage& image);
    // Slot 6: attach to the image's canvas (width -1: the image's size; otherwise width x height
    // device pixels at device origin originX, originY), font "Arial" 20, paint the plot space white.
    virtual void setImageArea(TImage& image, int width, int height, int originX, int originY);
    // Slot 7: attach at the bitmap's size with font size 20, without origin.
    virtual void setBitmap(TImage& bitmap);
    // Slot 8. Here: nothing.
    virtual void draw();

    TCanvas* canvas = nullptr; // canvas of the last attach, not owned
    int pixelWidth = 0;        // device size of the drawing area
    int pixelHeight = 0;
    double logicalWidth; // size of the logical plot space
    double logicalHeight;
    double plotLeft; // top-left corner of the axis rectangle, logical units
    double plotTop;
    double plotWidth; // size of the axis rectangle
    double plotHeight;
    double scaleX = 0.0; // device pixels per logical unit
    double scaleY = 0.0;
    int areaLeft = 0; // the axis rectangle truncated to integers, set by draw
    int areaTop = 0;
    int areaRight = 0;
    int areaBottom = 0;
    TRectD legend{0.1, 0.1, 0.2, 0.2}; // legend box as fractions of the logical size
    double dragOffsetX = 0.0;          // legend corner minus pointer at the last grab, fractions
    double dragOffsetY = 0.0;
    int legendCount = 0; // entries in the legend at its last drawing
    // While set, each drawing puts the legend in the corner of the frame where it hides the least
    // of the curves (legendCornerIndex: 0 top left, 1 top right, 2 bottom left, 3 bottom right);
    // a press or drag that places or grabs the legend clears it, and the legend stays put.
    bool legendAuto = true;
    int legendCornerIndex = 0;
    bool showLegend = true; // draw the legend after the curves
    double cursorX = 0.0;   // last pointer position as fractions of pixelWidth, pixelHeight
    double cursorY = 0.0;

protected:
    // The attach of slots 5 to 7: font size in points, origin used only when width is not -1.
    void attach(TImage& image, int width, int height, int originX, int originY, int fontSize);
};
