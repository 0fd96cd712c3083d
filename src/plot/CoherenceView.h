// The coherence of a learned take over frequency: one curve from 0 to 1 on the analysis' own
// logarithmic frequency axis, beside a step that stands at reliableLevel over the range where the
// learned filter curve is reliable and at 0 elsewhere (a bar along the bottom, clear of a good
// take's coherence near 1), drawn with the plot classes on any TImage. Qt-free.
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
    // The reliable range by the nominal centres of its lowest and highest third-octave bands (Hz);
    // both 0 for none. The step covers the bands' full width.
    void setReliableRange(double lowHz, double highHz);
    // Draws the plot over fMin .. fMax Hz, values 0 to 1, on image at its full size.
    void draw(TImage& image, double fMin, double fMax);

    std::array<double, plotPoints> values{}; // the curve's points
    TCurve curve;                            // "Coherence", dark blue, width 2
    static constexpr double reliableLevel = 0.1;
    std::array<double, plotPoints> reliable{}; // reliableLevel inside the reliable range, 0 outside
    TCurve reliableCurve;                      // "Reliable range", green, width 3
    TPlotXY plot;
};
