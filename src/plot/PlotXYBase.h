// A plot of curves over x values: the curves inside the axes, the legend and its mouse handling.
#pragma once

#include "plot/Curves.h"
#include "plot/Plot1.h"

#include <array>
#include <memory>

class TPlotXYBase : public TPlot1 {
public:
    using TPlot1::TPlot1;

    // Slot 0: the TPlot1 behaviour; the panel is not written.
    void mouseMove(TShiftState shift, int x, int y, TImage& image, std::string& panel) override;
    // Slot 1: a left press inside the legend box, away from the entries' markers, grabs the box;
    // a left press elsewhere inside the image moves the box's corner there and redraws. Other
    // buttons do nothing.
    void mouseDown(void* owner, std::intptr_t ownerTag, TMouseButton button, TShiftState shift, int x, int y,
                   TImage& image) override;
    // Slot 4: the legend box with one row (marker, pen sample, name) per non-empty slot, placed
    // by legendAuto, then moved as far as needed to lie wholly inside the axis frame (plotLeft,
    // plotTop, plotWidth, plotHeight); legend holds the box as drawn. The row of a hidden curve is
    // greyed.
    void drawLegend() override;
    // Slot 8: the curves inside a clip rectangle, then the legend if showLegend.
    void draw() override;

    const double* xData = nullptr;              // x of every point (Hz), not owned
    std::array<double, maxCurvePoints> xNorm{}; // x positions as fractions of the axis length
    double xMin = 10.0;                         // displayed x range (Hz)
    double xMax = 20000.0;
    char xUnit[20] = "";               // after the first x label and at the axis end
    std::unique_ptr<TCurves> curveSet; // owned; the curves in it are not
};
