// Where a frequency and a value fall on a plot's axis rectangle, and back. Frequencies run
// logarithmically from the range's low end at the left to its high end at the right, `margin`
// units in from both sides; values run linearly from the top (the value range's max) down to
// `margin` units above the bottom. Positions and lengths are in the caller's units (the plots'
// logical units); nothing is clamped, so a position outside the rectangle gives a fraction
// outside 0..1. A range of zero decades or a zero value span divides by zero.
#pragma once

#include "plot/Canvas.h"

#include <cmath>

struct TPlotMap {
    static constexpr int margin = 8;

    double logMin = 1.0;                 // log10 of the low end
    double logMax = std::log10(20000.0); // log10 of the high end
    double decades = logMax - logMin;
    double xScale = 0.0; // units per decade on the axis last set by setFrequencies
    double yScale = 0.0; // units per value unit on the axis last set by setValueSpan

    // The frequency range low .. high, Hz, over an axis of `length` units (its inner length is
    // length - 2 margin).
    void setFrequencies(double low, double high, int length) {
        logMin = std::log10(low);
        logMax = std::log10(high);
        decades = logMax - logMin;
        xScale = (length - 2 * margin) / decades;
    }
    // A value span over an axis of `length` units (its inner length is length - margin).
    void setValueSpan(double span, int length) { yScale = (length - margin) / span; }

    // The column of the frequency 10^logF from the axis's left end, rounded half up.
    int column(double logF) const { return truncCoord(std::floor((logF - logMin) * xScale + 0.5)) + margin; }
    // The row of value v below the axis's top, where the top shows `top`, rounded half up.
    int row(double top, double v) const { return truncCoord(std::floor((top - v) * yScale + 0.5)); }
    // Whether a column falls on the frequency axis of `length` units, margins excluded at the left.
    static bool onXAxis(int column, int length) { return margin <= column && column <= length; }
    // The last row of the value axis of `length` units.
    static int lastRow(int length) { return length - margin; }

    // The fraction of the frequency axis at f: 0 at the low end, 1 at the high end.
    double xFraction(double f) const { return (std::log10(f) - logMin) / decades; }
    // The frequency at a fraction of the axis that starts at `low` Hz.
    double frequency(double low, double fraction) const { return low * std::pow(10.0, fraction * decades); }

    // Positions of fractions on an axis starting at `left` (`top`) and `length` long, and back.
    static double xAt(double fraction, double left, double length) {
        return (length - 2 * margin) * fraction + left + margin;
    }
    static double xFractionAt(double x, double left, double length) {
        return (x - left - margin) / (length - 2 * margin);
    }
    static double yAt(double fraction, double top, double length) {
        return fraction * (length - margin) + top;
    }
    static double yFractionAt(double y, double top, double length) { return (y - top) / (length - margin); }
    // The inner ends of the axes: first and last column, last row.
    static double innerLeft(double left) { return left + margin; }
    static double innerRight(double left, double length) { return left + length - margin; }
    static double innerBottom(double top, double length) { return top + length - margin; }
};
