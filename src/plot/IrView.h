// An exported impulse response against the full filter it was made from: both magnitudes in dB on
// the analysis' logarithmic frequency axis, drawn with the plot classes on any TImage. Qt-free.
#pragma once

#include "dsp/AnalyzerTypes.h"
#include "plot/PlotXY.h"

#include <array>
#include <span>
#include <string>

class TIrView {
public:
    // plotFreq: the 500 plot frequencies (Hz, ascending), as the analyzer holds them; not owned.
    // Not copied (its plot points at its curves; plots are never copied).
    explicit TIrView(const double* plotFreq);

    // The magnitudes of `full` (at fullRate Hz) and `ir` (at irRate Hz), each the power averaged
    // over the bins of a 2^18-point transform between the neighbouring plot points (so the finest
    // detail each holds shows), in dB; 0 above a response's Nyquist frequency is drawn at -200 dB.
    // irName is the legend's text for the response.
    void setResponses(std::span<const double> full, int fullRate, std::span<const double> ir, int irRate,
                      const std::string& irName);
    // Draws the plot over fMin .. fMax Hz, from the highest point down by dbRange, on image at its
    // full size.
    void draw(TImage& image, double fMin, double fMax, double dbRange);

    std::array<double, plotPoints> fullDb{};
    std::array<double, plotPoints> irDb{};
    TCurve fullCurve; // "Full filter", blue, width 1
    TCurve irCurve;   // irName, red, width 2
    TPlotXY plot;

private:
    const double* plotFreq;
    void magnitudeDb(std::span<const double> x, int rate, double* out) const;
};
