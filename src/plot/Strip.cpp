#include "plot/Strip.h"

void drawStrip(TImage& image, const double* samples, int stride, int count, int offset) {
    TCanvas& canvas = image.canvas();
    canvas.resetMapping();
    const int W = image.width();
    const int H = image.height();
    const double half = H * 0.5;
    const int mid = H / 2;
    canvas.rectangle(0, 0, W, H);
    canvas.moveTo(0, mid);
    for (int x = 0; x < W; ++x) {
        const long long k = static_cast<long long>(offset) + x;
        const double s = (k >= 0 && k < count) ? samples[k * stride] : 0.0;
        const int y = s == s ? truncCoord(mid - half * s) : mid;
        canvas.lineTo(x, y);
    }
}
