// Something a plot or strip can be drawn on: a size in pixels and a canvas.
#pragma once

#include "plot/Canvas.h"

// The window's images and the batch tool's offscreen images both provide this. Width and height
// are in pixels as the canvas's device sees them (logical pixels of a high-DPI screen).
class TImage {
public:
    virtual ~TImage() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual TCanvas& canvas() = 0;
};
