#include "plot/IrView.h"

#include "base/CFormat.h"
#include "dsp/RealFFT.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

constexpr int transformLength = 1 << 18;

void setUpCurve(TCurve& curve, const double* data, const char* name, TColor color, int width) {
    curve.data = data;
    copyText(curve.name, name);
    curve.pens[0].color = color;
    curve.pens[0].width = width;
    curve.layer = 4;
}

} // namespace

TIrView::TIrView(const double* plotFreq) : plot(961, 691), plotFreq(plotFreq) {
    setUpCurve(fullCurve, fullDb.data(), "Full filter", 0xFF0000, 1);
    setUpCurve(irCurve, irDb.data(), "Impulse response", 0x0000FF, 2);
    plot.curveSet = std::make_unique<TCurves>();
    plot.curveSet->layer = 2;
    plot.curveSet->curves[0] = &fullCurve;
    plot.curveSet->curves[1] = &irCurve;
    copyText(plot.curveSet->unit, "dB");
    copyText(plot.xUnit, "Hz");
    plot.xData = plotFreq;
}

void TIrView::magnitudeDb(std::span<const double> x, int rate, double* out) const {
    TRealFFT fft(transformLength);
    std::fill(fft.real(), fft.real() + transformLength, 0.0);
    std::copy_n(x.begin(), std::min<std::size_t>(x.size(), transformLength), fft.real());
    fft.forward();
    const Complex* s = fft.spectrum();
    const double binHz = static_cast<double>(rate) / transformLength;
    for (int i = 0; i < plotPoints; ++i) {
        // The bins from halfway to the previous point to halfway to the next.
        const double lo = i > 0 ? std::sqrt(plotFreq[i - 1] * plotFreq[i]) : plotFreq[i];
        const double hi = i + 1 < plotPoints ? std::sqrt(plotFreq[i] * plotFreq[i + 1]) : plotFreq[i];
        const int first = std::clamp(static_cast<int>(std::ceil(lo / binHz)), 0, transformLength / 2);
        const int last =
            std::clamp(std::max(first, static_cast<int>(std::floor(hi / binHz))), 0, transformLength / 2);
        double sum = 0;
        for (int k = first; k <= last; ++k)
            sum += s[k].re * s[k].re + s[k].im * s[k].im;
        out[i] = plotFreq[i] * 2 > rate ? -200.0 : 10 * std::log10(sum / (last - first + 1) + 1e-20);
    }
}

void TIrView::setResponses(std::span<const double> full, int fullRate, std::span<const double> ir, int irRate,
                           const std::string& irName) {
    magnitudeDb(full, fullRate, fullDb.data());
    magnitudeDb(ir, irRate, irDb.data());
    copyText(irCurve.name, irName.c_str());
}

void TIrView::draw(TImage& image, double fMin, double fMax, double dbRange) {
    plot.xMin = fMin;
    plot.xMax = fMax;
    plot.curveSet->autoRange(0, plotPoints);
    plot.curveSet->min = plot.curveSet->max - dbRange;
    plot.drawToImage(image, -1, -1, -1, -1);
}
