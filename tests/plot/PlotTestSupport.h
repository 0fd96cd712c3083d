// Shared set-up for the plot tests: the 500-point frequency grid and a plot on a recording image.
#pragma once

#include "base/CFormat.h"
#include "plot/PlotXY.h"
#include "plot/RecordingCanvas.h"

#include <array>
#include <cmath>
#include <memory>
#include <vector>

inline std::array<double, 500> frequencyGrid() {
    std::array<double, 500> f{};
    for (int i = 0; i < 500; ++i)
        f[i] = 20 * std::pow(10.0, i * std::log10(1000.0) / 499);
    return f;
}

// One curve of constant value on a 961 x 691 plot with unit "dB", x unit "Hz", range set by hand.
struct PlotFixture {
    std::array<double, 500> freq = frequencyGrid();
    std::array<double, 500> values{};
    TCurve curve;
    TPlotXY plot{961, 691};

    PlotFixture() {
        curve.data = values.data();
        curve.pens[0] = {0x0000FF, 3, TPenStyle::solid};
        curve.layer = 4;
        plot.curveSet = std::make_unique<TCurves>();
        plot.curveSet->curves[0] = &curve;
        plot.curveSet->layer = 2;
        copyText(plot.curveSet->unit, "dB");
        copyText(plot.xUnit, "Hz");
        plot.xData = freq.data();
    }

    void setRange(double xMin, double xMax, double min, double max) {
        plot.xMin = xMin;
        plot.xMax = xMax;
        plot.curveSet->min = min;
        plot.curveSet->max = max;
    }

    // Draws on a fresh recording image of the given size and returns its calls.
    const TRecordingCanvas& draw(TRecordingImage& image) {
        image.recorder.clear();
        plot.drawToImage(image, -1, -1, -1, -1);
        return image.recorder;
    }
};

// Texts drawn with the given alignment.
inline std::vector<std::string> textsAligned(const TRecordingCanvas& c, THAlign h, TVAlign v) {
    std::vector<std::string> out;
    for (const TCanvasCall& call : c.callsOf(TCanvasOp::textOut))
        if (call.hAlign == h && call.vAlign == v)
            out.push_back(call.text);
    return out;
}
