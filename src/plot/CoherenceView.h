// The coherence of a learned take over frequency: one curve from 0 to 1 on the analysis' own
// logarithmic frequency axis, drawn with the plot classes on any TImage. Qt-free.
#pragma once

#include "dsp/AnalyzerTypes.h"
#include "dsp/PlotResampling.h"
#include "plot/PlotXY.h"

#include <array>

class TCoherenceView {
public:
    // plotFreq: the 500 plot frequencies (Hz, ascending), as the analyzer holds them; not owned,
    // it must outlive the view. The logical plot space keeps the analysis plot's text size on an
    // image of 540 x 300 pixels.
    explicit TCoherenceView(const double* plotFreq);
    TCoherenceView(const TCoherenceView&) = delete;
    TCoherenceView& operator=(const TCoherenceView&) = delete;

    // Takes binCount coherence values at the bin frequencies k * rate / 8192 (rate in Hz, > 0)
    // onto the plot points; values outside 0..1 (or not numbers) are drawn as 0 or 1.
    void setCoherence(const double* coherence, int rate);
    // Draws the plot over fMin .. fMax Hz, values 0 to 1, on image at its full size.
    void draw(TImage& image, double fMin, double fMax);

    std::array<double, plotPoints> values{}; // the curve's points
    TCurve curve;                            // "Coherence", dark blue, width 2
    TPlotXY plot;
};
