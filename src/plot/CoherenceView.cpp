#include "plot/CoherenceView.h"

#include "base/CFormat.h"

#include <algorithm>
#include <cmath>
#include <memory>

TCoherenceView::TCoherenceView(const double* plotFreq) : plot(961, 534) {
    curve.data = values.data();
    copyText(curve.name, "Coherence");
    curve.pens[0].color = 0x800000; // dark blue (BGR)
    curve.pens[0].width = 2;
    curve.layer = 4;
    plot.curveSet = std::make_unique<TCurves>();
    plot.curveSet->layer = 2;
    plot.curveSet->curves[0] = &curve;
    reliableCurve.data = reliable.data();
    copyText(reliableCurve.name, "Reliable range");
    reliableCurve.pens[0].color = 0x008000; // green
    reliableCurve.pens[0].width = 3;
    reliableCurve.layer = 3;
    plot.curveSet->curves[1] = &reliableCurve;
    plot.curveSet->min = 0;
    plot.curveSet->max = 1;
    copyText(plot.xUnit, "Hz");
    plot.xData = plotFreq;
}

void TCoherenceView::setCoherence(const double* coherence, int rate) {
    std::array<double, binCount> binFreq{};
    std::array<double, binCount> clamped{};
    for (int k = 0; k < binCount; ++k) {
        binFreq[k] = static_cast<double>(k) * rate / blockLength;
        // NaN fails both comparisons and becomes 0.
        clamped[k] = coherence[k] > 0 ? std::min(coherence[k], 1.0) : 0.0;
    }
    binFreq[0] = 0.1;
    TPlotResampling resampling;
    resampling.plan(binFreq.data(), plot.xData);
    resampling.apply(clamped.data(), values.data());
}

void TCoherenceView::setReliableRange(double lowHz, double highHz) {
    const double edge = std::pow(2.0, 1.0 / 6);
    for (int i = 0; i < plotPoints; ++i)
        reliable[i] = lowHz > 0 && plot.xData[i] >= lowHz / edge && plot.xData[i] <= highHz * edge
                          ? reliableLevel
                          : 0.0;
}

void TCoherenceView::draw(TImage& image, double fMin, double fMax) {
    plot.xMin = fMin;
    plot.xMax = fMax;
    plot.drawToImage(image, -1, -1, -1, -1);
}
