// Drawing of a curve record (base/Curve.h) on a canvas.
#include "base/Curve.h"
#include "plot/Canvas.h"
#include "plot/PlotMap.h"

#include <algorithm>

void TCurve::draw(TCanvas& canvas, TPointD origin, TPointD size, const double* xNorm, double min,
                  double max) const {
    const int n = std::min(count, maxCurvePoints);
    if (data == nullptr || n <= 0)
        return;
    const TPen saved = canvas.pen();
    const double e = 1.0 / (max - min + 1e-32);
    auto px = [&](int i) { return truncCoord(TPlotMap::xAt(xNorm[i], origin.x, size.x) + 0.5); };
    auto py = [&](int i) { return truncCoord(TPlotMap::yAt((max - data[i]) * e, origin.y, size.y) + 0.5); };
    canvas.setPen(pens[0]);
    canvas.moveTo(px(0), py(0));
    for (int i = 0; i < n; ++i) {
        const bool inLimits = penLimitLow <= data[i] && data[i] <= penLimitHigh;
        canvas.setPen(inLimits ? pens[0] : pens[1]);
        canvas.lineTo(px(i), py(i));
    }
    canvas.setPen(saved);
}
