// Waveform strips: one pixel column per sample, drawn straight onto an image in device pixels.
#pragma once

#include "plot/Image.h"

#include <cstdint>
#include <vector>

// What a strip drawing left on an image, so that the next drawing there can take away just its
// line instead of clearing every pixel. It holds only while nothing else has drawn on the image.
struct TStripTrace {
    const TImage* image = nullptr;
    std::uint64_t imageChanges = 0; // the image's change count right after the drawing
    int width = 0;
    int height = 0;
    TPen pen;
    TBrush brush;
    std::vector<TPoint> points;     // the line's points after the start at (0, height div 2)
    std::vector<TPoint> nextPoints; // scratch for the next drawing's points
};

// Clears the image with the canvas's pen and brush (a rectangle over the whole image) and draws
// column x at row trunc(H div 2 - (H * 0.5) * s), s being sample offset + x: +1.0 reaches row 0,
// -1.0 row H - 1 (for odd H), 0 row H div 2. Sample k is samples[k * stride], k from 0 to count - 1;
// columns without a sample (k < 0 or k >= count) and NaN samples are drawn on the zero row; nothing
// past the data is read. The mapping is reset to device pixels first.
//
// With a trace of the last drawing on this image, still valid (same image, size, pen and brush,
// nothing drawn since), only the columns where the line moved are drawn again: the old line's
// segments there in the brush's colour, the outline, the new segments. The pixels are those of a
// full drawing; an unchanged strip costs one pass over its samples. The trace is then updated.
void drawStrip(TImage& image, const double* samples, int stride, int count, int offset,
               TStripTrace* trace = nullptr);
