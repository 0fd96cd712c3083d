// The display objects of an analysis and their drawing, shared by the window and the batch tool:
// the analysis plot with the mic, pickup and filter curves, the summary plot with the two output
// channels, and the waveform strips. Qt-free; it draws on any TImage.
#pragma once

#include "dsp/Analyzer.h"
#include "plot/PlotXY.h"
#include "plot/Strip.h"

#include <array>

class TAnalyzerView {
public:
    // Sets up curves, lists and plots on analyzer's arrays as the window's start-up does. The
    // view keeps references into analyzer, which must outlive it.
    explicit TAnalyzerView(TAnalyzer& analyzer);
    TAnalyzerView(const TAnalyzerView&) = delete;
    TAnalyzerView& operator=(const TAnalyzerView&) = delete;

    // After computeResponses(): rebuilds analysisCurves from the visible flags (the pickup curve
    // only while enablePickup), applies fMin, fMax and dbRange, draws analysisPlot on plotImage at
    // its full size and the filter's impulse response on filterStripImage.
    void drawAnalysis(TImage& plotImage, TImage& filterStripImage);
    // Applies fMin, fMax and dbRange to summaryPlot and draws it on image at its full size. A
    // channel never stored is hidden (its legend entry greyed, "Left<tab>not stored"); one made at
    // another rate than fs is named with its note ("Left<tab>made at 44100 Hz: store it again").
    void drawSummary(TImage& image);
    // The mic and pickup impulse responses, each shifted left by its delay (truncated).
    void drawImpulseStrips(TImage& micImage, TImage& pickupImage);

    // Responses learned from a take are kept at their true level, far below the strips' full
    // scale: while learnedResponse[0] (mic) or [1] (pickup) is set, that strip is drawn scaled to
    // the response's own peak, and so is the filter's strip while either is set. A strip drawn
    // scaled says so at its top ("learned; shown x68", the factor rounded), unless the factor is
    // within 5 % of 1. Neither flag changes what is computed.
    std::array<bool, 2> learnedResponse{};

    TAnalyzer& analyzer;
    TCurve micCurve;    // micDb, "Mic", blue, width 1
    TCurve pickupCurve; // pickupDb, "Pickup", green, width 1
    TCurve filterCurve; // filterDb, "Filter", red, width 3
    TCurve& leftCurve;  // analyzer.channels[0].curve: its filterDb, "Left", blue, width 3
    TCurve& rightCurve; // analyzer.channels[1].curve: its filterDb, "Right", red, width 3
    TPlotXY analysisPlot;
    TPlotXY summaryPlot;
    TCurves& analysisCurves; // owned by analysisPlot; slots 0..2 rebuilt by drawAnalysis
    TCurves& summaryCurves;  // owned by summaryPlot; leftCurve and rightCurve for good

private:
    // Draws count samples from stripSamples on image (scaled to their peak while learned) with
    // the given offset and trace.
    void drawResponseStrip(TImage& image, int offset, bool learned, TStripTrace& trace);

    // One response's samples in a row, as the strip drawing reads them.
    std::array<double, blockLength> stripSamples{};
    // The last drawing of each strip, so that a redraw takes away just its line.
    TStripTrace micTrace;
    TStripTrace pickupTrace;
    TStripTrace filterTrace;
};
