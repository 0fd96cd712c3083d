#include "plot/Strip.h"

#include <algorithm>

void drawStrip(TImage& image, const double* samples, int stride, int count, int offset) {
    TCanvas& canvas = image.canvas();
    canvas.resetMapping();
    const int W = image.width();
    const int H = image.height();
    const double half = H * 0.5;
    const int mid = H / 2;
    canvas.rectangle(0, 0, W, H);
    canvas.moveTo(0, mid);
    // The columns go to the canvas as polylines of a bounded number of points.
    constexpr int chunk = 1024;
    TPoint points[chunk];
    for (int first = 0; first < W; first += chunk) {
        const int n = std::min(chunk, W - first);
        for (int i = 0; i < n; ++i) {
            const int x = first + i;
            const long long k = static_cast<long long>(offset) + x;
            const double s = (k >= 0 && k < count) ? samples[k * stride] : 0.0;
            points[i] = {x, s == s ? truncCoord(mid - half * s) : mid};
        }
        canvas.polyline(points, n);
    }
}
