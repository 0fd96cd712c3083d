// Something a plot or strip can be drawn on: a size in pixels and a canvas.
#pragma once

#include "plot/Canvas.h"

#include <cstdint>

// The window's images and the batch tool's offscreen images both provide this. Width and height
// are in pixels as the canvas's device sees them (logical pixels of a high-DPI screen).
class TImage {
public:
    virtual ~TImage() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual TCanvas& canvas() = 0;
    // Grows whenever the pixels may change: with every canvas() call and every new set of pixels.
    // 0: the image does not count, and nobody may assume its pixels are what they drew last.
    virtual std::uint64_t changeCount() const { return 0; }
};
