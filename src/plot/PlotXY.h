// The frequency plot: frame, logarithmic x axis, linear value axis with grid and labels, curves,
// legend and a cursor readout of frequency and level.
#pragma once

#include "plot/PlotMap.h"
#include "plot/PlotXYBase.h"

#include <array>

// The plot is its own map: logMin, logMax, decades, xScale and yScale are those of TPlotMap.
class TPlotXY : public TPlotXYBase, public TPlotMap {
public:
    // x range 10 Hz .. 20 kHz until the caller sets xMin, xMax.
    TPlotXY(int logicalWidth, int logicalHeight);

    // Slot 0: the base behaviour, then the readout into panel: "---" outside the axes, else the
    // frequency with xUnit and, when a curve is visible, the level with the list's unit, e.g.
    // "1230Hz -12.3dB". Uses the axis state and value range of the last drawing. Nothing happens
    // without xData.
    void mouseMove(TShiftState shift, int x, int y, TImage& image, std::string& panel) override;
    // Slot 8: with x data and a curve in the list's first slot, the frame and axes, the x
    // positions of the points, then the curves and the legend. Otherwise the white area stays.
    void draw() override;

    // Axis state of the last drawing (read by the readout), beside the map's.
    double ySpan = 0.0;     // max - min + 1e-12
    double yStep = 0.0;     // major tick step
    double yAbsMax = 0.0;   // the larger magnitude of min and max
    int yExp = 0;           // decimal exponent of yAbsMax
    int yExp3 = 0;          // yExp brought to a multiple of three
    double yLabelScale = 1; // 10^-yExp3, applied to tick values before printing
    double yTick = 0.0;     // value of the tick being drawn

private:
    void drawFrameAndAxes();
    void drawXAxis(int L, int T, int W, int H, bool big);
    void drawValueAxis(int L, int T, int W, int H, bool big);
    // One value tick at yTick; returns its row below the top edge.
    int drawValueTick(int L, int T, int W, int H, bool big, double n, double minorStep);
    void drawMinorDashes(int L, int row, int W);
    // Columns of the minor dashes at (m + 0.5) * 10^d and m * 10^d, m = 1..9, for the decades of
    // the current x range; found once per drawing and used by every row.
    void findDashColumns();

    static constexpr int maxDashDecades = 64; // wider ranges find their columns row by row
    struct TDashColumns {
        int half;  // at (m + 0.5) * 10^d
        int whole; // at m * 10^d
    };
    std::array<TDashColumns, maxDashDecades * 9> dashColumns{};
    bool dashColumnsFound = false;
};
