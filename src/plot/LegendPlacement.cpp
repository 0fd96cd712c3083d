#include "plot/LegendPlacement.h"

#include <algorithm>
#include <cmath>

namespace {

// Length of the segment (x0, y0)-(x1, y1) inside box (Liang-Barsky clipping).
double lengthInside(double x0, double y0, double x1, double y1, const TRectD& box) {
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    double t0 = 0;
    double t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - box.left, box.right - x0, y0 - box.top, box.bottom - y0};
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0) {
            if (q[k] < 0)
                return 0;
            continue;
        }
        const double t = q[k] / p[k];
        if (p[k] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return 0;
    }
    // A vertical or horizontal step still covers its pixels: at least one unit per segment inside.
    return std::max((t1 - t0) * std::hypot(dx, dy), 1.0);
}

} // namespace

double curveInkInside(const TCurves& list, TPointD origin, TPointD size, const double* xNorm,
                      const TRectD& box) {
    double ink = 0;
    const double e = 1.0 / (list.max - list.min + 1e-32);
    for (const TCurve* c : list.curves) {
        if (c == nullptr || !c->visible || c->data == nullptr)
            continue;
        const int n = std::min(c->count, maxCurvePoints);
        double px = 0;
        double py = 0;
        bool previous = false;
        for (int i = 0; i < n; ++i) {
            const double x = std::trunc((size.x - 16) * xNorm[i] + origin.x + 8 + 0.5);
            const double y = std::trunc((list.max - c->data[i]) * e * (size.y - 8) + origin.y + 0.5);
            const bool here = std::isfinite(x) && std::isfinite(y);
            if (here && previous)
                ink += c->pens[0].width * lengthInside(px, py, x, y, box);
            px = x;
            py = y;
            previous = here;
        }
    }
    return ink;
}

TPointD legendCorner(const TRectD& frame, TPointD boxSize, int corner) {
    return {corner % 2 == 0 ? frame.left : frame.right - boxSize.x,
            corner < 2 ? frame.top : frame.bottom - boxSize.y};
}

int leastCoveredCorner(const TCurves& list, TPointD origin, TPointD size, const double* xNorm,
                       const TRectD& frame, TPointD boxSize, int current) {
    const auto inkAt = [&](int corner) {
        const TPointD at = legendCorner(frame, boxSize, corner);
        return curveInkInside(list, origin, size, xNorm, {at.x, at.y, at.x + boxSize.x, at.y + boxSize.y});
    };
    int best = std::clamp(current, 0, 3);
    double least = inkAt(best);
    for (int corner = 0; corner < 4; ++corner)
        if (const double ink = inkAt(corner); ink < least) {
            least = ink;
            best = corner;
        }
    return best;
}
