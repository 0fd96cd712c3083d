#include "plot/AnalyzerView.h"

#include "base/CFormat.h"
#include "dsp/ChannelNotes.h"
#include "plot/Strip.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

namespace {

constexpr int plotLogicalWidth = 961;
constexpr int plotLogicalHeight = 691;
constexpr int curveLayer = 4;
constexpr int listLayer = 2;

void setUpCurve(TCurve& curve, const double* data, const char* name, TColor color, int width) {
    curve.data = data;
    copyText(curve.name, name);
    curve.pens[0].color = color;
    curve.pens[0].width = width;
    curve.layer = curveLayer;
}

TCurves& setUpPlot(TPlotXY& plot, const double* xData) {
    plot.curveSet = std::make_unique<TCurves>();
    plot.curveSet->layer = listLayer;
    copyText(plot.curveSet->unit, "dB");
    copyText(plot.xUnit, "Hz");
    plot.xData = xData;
    return *plot.curveSet;
}

// The display range: x from fMin to fMax, values from the highest visible point down by dbRange.
void applyRange(TPlotXY& plot, const TAnalyzer& a) {
    plot.xMin = a.fMin;
    plot.xMax = a.fMax;
    plot.curveSet->autoRange(0, plotPoints);
    plot.curveSet->min = plot.curveSet->max - a.dbRange;
}

} // namespace

TAnalyzerView::TAnalyzerView(TAnalyzer& analyzer)
    : analyzer(analyzer), leftCurve(analyzer.channels[0].curve), rightCurve(analyzer.channels[1].curve),
      analysisPlot(plotLogicalWidth, plotLogicalHeight), summaryPlot(plotLogicalWidth, plotLogicalHeight),
      analysisCurves(setUpPlot(analysisPlot, analyzer.plotFreq.data())),
      summaryCurves(setUpPlot(summaryPlot, analyzer.plotFreq.data())) {
    setUpCurve(micCurve, analyzer.micDb.data(), "Mic", 0xFF0000, 1);
    setUpCurve(pickupCurve, analyzer.pickupDb.data(), "Pickup", 0x008000, 1);
    setUpCurve(filterCurve, analyzer.filterDb.data(), "Filter", 0x0000FF, 3);
    analysisCurves.curves[0] = &micCurve;
    analysisCurves.curves[1] = &pickupCurve;
    analysisCurves.curves[2] = &filterCurve;

    setUpCurve(leftCurve, analyzer.channels[0].filterDb.data(), "Left", 0xFF0000, 3);
    setUpCurve(rightCurve, analyzer.channels[1].filterDb.data(), "Right", 0x0000FF, 3);
    summaryCurves.curves[0] = &leftCurve;
    summaryCurves.curves[1] = &rightCurve;
}

void TAnalyzerView::drawAnalysis(TImage& plotImage, TImage& filterStripImage) {
    for (int i = 0; i < 5; ++i)
        analysisCurves.curves[i] = nullptr;
    int slot = 0;
    if (micCurve.visible)
        analysisCurves.curves[slot++] = &micCurve;
    if (pickupCurve.visible && analyzer.enablePickup)
        analysisCurves.curves[slot++] = &pickupCurve;
    if (filterCurve.visible)
        analysisCurves.curves[slot++] = &filterCurve;
    applyRange(analysisPlot, analyzer);
    analysisPlot.drawToImage(plotImage, -1, -1, -1, -1);

    stripSamples = analyzer.filterIr;
    drawResponseStrip(filterStripImage, 0, learnedResponse[0] || learnedResponse[1], filterTrace);
}

void TAnalyzerView::drawSummary(TImage& image) {
    // A channel never stored is no flat 0 dB line but absent, its legend entry greyed; one made
    // at another rate says so beside its name.
    for (int c = 0; c < channelCount; ++c) {
        TCurve& curve = analyzer.channels[static_cast<std::size_t>(c)].curve;
        curve.visible = channelState(analyzer, c) != TChannelState::neverStored;
        std::string name = channelName(c);
        if (const std::string note = channelNote(analyzer, c); !note.empty())
            name += "\t" + note;
        copyText(curve.name, name.c_str());
    }
    applyRange(summaryPlot, analyzer);
    summaryPlot.drawToImage(image, -1, -1, -1, -1);
}

void TAnalyzerView::drawImpulseStrips(TImage& micImage, TImage& pickupImage) {
    for (int i = 0; i < blockLength; ++i)
        stripSamples[i] = analyzer.irData[i].mic;
    drawResponseStrip(micImage, truncCoord(analyzer.delayMic), learnedResponse[0], micTrace);
    for (int i = 0; i < blockLength; ++i)
        stripSamples[i] = analyzer.irData[i].pickup;
    drawResponseStrip(pickupImage, truncCoord(analyzer.delayPickup), learnedResponse[1], pickupTrace);
}

void TAnalyzerView::drawResponseStrip(TImage& image, int offset, bool learned, TStripTrace& trace) {
    double peak = 0;
    if (learned)
        for (const double s : stripSamples)
            peak = std::max(peak, std::fabs(s)); // NaN is passed over
    const double factor = peak > 0 && std::isfinite(peak) ? 1 / peak : 1;
    if (factor != 1)
        for (double& s : stripSamples)
            s *= factor;
    drawStrip(image, stripSamples.data(), 1, blockLength, offset, &trace);
    if (std::fabs(factor - 1) <= 0.05)
        return;
    // In the first screenful, right of where a response's main part lies. "\xD7" is the
    // multiplication sign in the canvas's Latin-1.
    char note[48];
    formatC(note, sizeof note, factor >= 10 ? "learned; shown \xD7%.0f" : "learned; shown \xD7%.2g", factor);
    TCanvas& canvas = image.canvas();
    TFont font = canvas.font();
    font.name = "Arial";
    font.size = 9;
    font.color = 0x000000;
    canvas.setFont(font);
    canvas.setTextAlign(THAlign::left, TVAlign::top);
    canvas.textOut(420, 3, note);
}
