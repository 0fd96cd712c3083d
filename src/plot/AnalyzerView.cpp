#include "plot/AnalyzerView.h"

#include "base/CFormat.h"
#include "plot/Strip.h"

#include <memory>

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

    drawStrip(filterStripImage, analyzer.filterIr.data(), 1, blockLength, 0, &filterTrace);
}

void TAnalyzerView::drawSummary(TImage& image) {
    applyRange(summaryPlot, analyzer);
    summaryPlot.drawToImage(image, -1, -1, -1, -1);
}

void TAnalyzerView::drawImpulseStrips(TImage& micImage, TImage& pickupImage) {
    for (int i = 0; i < blockLength; ++i)
        stripSamples[i] = analyzer.irData[i].mic;
    drawStrip(micImage, stripSamples.data(), 1, blockLength, truncCoord(analyzer.delayMic), &micTrace);
    for (int i = 0; i < blockLength; ++i)
        stripSamples[i] = analyzer.irData[i].pickup;
    drawStrip(pickupImage, stripSamples.data(), 1, blockLength, truncCoord(analyzer.delayPickup),
              &pickupTrace);
}
