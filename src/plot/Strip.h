// Waveform strips: one pixel column per sample, drawn straight onto an image in device pixels.
#pragma once

#include "plot/Image.h"

// Clears the image with the canvas's pen and brush (a rectangle over the whole image) and draws
// column x at row trunc(H div 2 - (H * 0.5) * s), s being sample offset + x: +1.0 reaches row 0,
// -1.0 row H - 1 (for odd H), 0 row H div 2. Sample k is samples[k * stride], k from 0 to count - 1;
// columns without a sample (k < 0 or k >= count) and NaN samples are drawn on the zero row; nothing
// past the data is read. The mapping is reset to device pixels first.
void drawStrip(TImage& image, const double* samples, int stride, int count, int offset);
