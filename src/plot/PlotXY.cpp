#include "plot/PlotXY.h"

#include "base/CFormat.h"

#include <algorithm>
#include <cmath>

namespace {

// Label of the x grid line at m * 10^d.
void xNumberText(char* buffer, std::size_t size, int d, int m, double decades) {
    const double value = m * std::pow(10.0, d);
    if (d == -2)
        formatC(buffer, size, "%3.2f", value);
    else if (d == -1)
        formatC(buffer, size, "%2.1f", value);
    else if ((d >= 0 && d <= 3) || (d == 4 && decades <= 3))
        formatC(buffer, size, "%1.0f", value);
    else
        formatC(buffer, size, "%1dE%1d", m, d);
}

// Guards the tick walks against ranges that would never reach the end row.
constexpr int maxTicks = 100000;

} // namespace

TPlotXY::TPlotXY(int logicalWidth, int logicalHeight) : TPlotXYBase(logicalWidth, logicalHeight) {
    xMin = 10.0;
    xMax = 20000.0;
}

void TPlotXY::draw() {
    if (canvas == nullptr || xData == nullptr || curveSet == nullptr || curveSet->curves[0] == nullptr)
        return;
    plotLeft = 0.1 * logicalWidth;
    areaLeft = truncCoord(plotLeft);
    areaTop = truncCoord(plotTop);
    areaRight = truncCoord(plotLeft + plotWidth);
    areaBottom = truncCoord(plotTop + plotHeight);

    drawFrameAndAxes();

    const int n = std::clamp(curveSet->curves[0]->count, 0, maxCurvePoints);
    for (int i = 0; i < n; ++i)
        xNorm[i] = xFraction(xData[i]);

    TPlotXYBase::draw();
}

void TPlotXY::drawFrameAndAxes() {
    const int L = areaLeft;
    const int T = areaTop;
    const int W = areaRight - L;
    const int H = areaBottom - T;
    const bool big = pixelWidth > 200;
    TCanvas& c = *canvas;

    TPen pen = c.pen();
    pen.color = 0x000000;
    c.setPen(pen);
    c.moveTo(L, T);
    c.lineTo(L, T + H);
    c.lineTo(L + W, T + H);
    c.lineTo(L + W, T);
    c.lineTo(L, T);

    // Arrow heads on top of the value axis and at the right end of the x axis.
    c.moveTo(L, T);
    c.lineTo(L, T - 20);
    c.lineTo(L + 5, T - 10);
    c.lineTo(L - 5, T - 10);
    c.lineTo(L, T - 20);
    c.moveTo(L + W, T + H);
    c.lineTo(L + W + 20, T + H);
    c.lineTo(L + W + 10, T + H + 5);
    c.lineTo(L + W + 10, T + H - 5);
    c.lineTo(L + W + 20, T + H);

    // Grid and ticks: grey on a large image, silver on a small one.
    pen.color = big ? 0x808080 : 0xC0C0C0;
    c.setPen(pen);
    drawXAxis(L, T, W, H, big);
    drawValueAxis(L, T, W, H, big);

    c.setTextAlign(THAlign::left, TVAlign::bottom);
    c.textOut(truncCoord(L + W + 30.0 * W / H), T + H + 8, xUnit);

    pen.width = 1;
    pen.color = 0x000000;
    c.setPen(pen);
}

void TPlotXY::drawXAxis(int L, int T, int W, int H, bool big) {
    TCanvas& c = *canvas;
    c.setTextAlign(THAlign::center, TVAlign::top);
    setFrequencies(xMin, xMax, W);
    findDashColumns();

    bool firstLabelPending = true;
    const int dFirst = truncCoord(std::floor(logMin));
    const int dLast = truncCoord(std::ceil(logMax));
    for (int d = dFirst; d <= dLast; ++d) {
        for (int m = 1; m <= 9; ++m) {
            if (!big && m != 1 && m != 2 && m != 5)
                continue;
            const int p = column(std::log10(m) + d);
            if (!onXAxis(p, W))
                continue;
            if (p < W) {
                c.moveTo(L + p, T);
                c.lineTo(L + p, T + H + 1);
            }
            char label[64] = "";
            bool tick = false;
            if (firstLabelPending) {
                if ((decades <= 10 && m <= 2) || (decades <= 7 && m == 5)) {
                    char number[32];
                    xNumberText(number, sizeof number, d, m, decades);
                    formatC(label, sizeof label, "%s %s", number, xUnit);
                    firstLabelPending = false;
                }
            } else if (m == 1 || (m == 2 && decades <= 2) || m == 5) {
                xNumberText(label, sizeof label, d, m, decades);
                tick = true;
            }
            if (tick) {
                c.moveTo(L + p, T + H);
                c.lineTo(L + p, T + H + 3);
            }
            if (label[0] != '\0')
                c.textOut(L + p, T + H + 4, label);
        }
    }
}

void TPlotXY::drawValueAxis(int L, int T, int W, int H, bool big) {
    TCanvas& c = *canvas;
    const double min = curveSet->min;
    const double max = curveSet->max;

    c.setTextAlign(THAlign::left, TVAlign::bottom);
    ySpan = max - min + 1e-12;
    yAbsMax = std::fabs(min) >= std::fabs(max) ? std::fabs(min) : std::fabs(max);
    if (yAbsMax >= 1)
        yExp = truncCoord(std::floor(std::log10(yAbsMax)));
    else
        yExp = -truncCoord(std::floor(-std::log10(yAbsMax + 1e-12)));
    yExp3 = (yExp / 3) * 3;
    if (yAbsMax < 0.1)
        yExp3 -= 3;
    yLabelScale = std::pow(10.0, -yExp3);
    if (yExp3 != 0) {
        char text[32];
        formatC(text, sizeof text, "*1.0E%1d", yExp3);
        c.textOut(3, T - 6, text);
    }

    c.setTextAlign(THAlign::right, TVAlign::bottom);
    setValueSpan(ySpan, H);
    yStep = std::pow(10.0, std::floor(std::log10(ySpan)) - 1);
    const double r = ySpan / yStep;
    double minorStep;
    if (r > 40) {
        yStep = 10 * yStep;
        minorStep = 0.2 * yStep;
    } else if (r > 20) {
        yStep = 5 * yStep;
        minorStep = 0.2 * yStep;
    } else {
        yStep = 5 * yStep;
        minorStep = 0.1 * yStep;
    }

    if (max * min > 0) {
        // Wholly above or below zero: from the first major step at or above max downwards.
        yTick = std::ceil(max / yStep) * yStep;
        for (int i = 0; i < maxTicks; ++i) {
            const int p = drawValueTick(L, T, W, H, big, std::floor(yTick / yStep + 0.05), minorStep);
            yTick -= minorStep;
            if (p > lastRow(H))
                break;
        }
    } else {
        // Straddling zero: up from 0, then down from the first minor step below it.
        yTick = 0;
        for (int i = 0; i < maxTicks; ++i) {
            const int p = drawValueTick(L, T, W, H, big, std::trunc(yTick / yStep + 0.05), minorStep);
            yTick += minorStep;
            if (p <= 0)
                break;
        }
        if (-minorStep > min) {
            yTick = -minorStep;
            for (int i = 0; i < maxTicks; ++i) {
                const int p = drawValueTick(L, T, W, H, big, std::trunc(yTick / yStep - 0.05), minorStep);
                yTick -= minorStep;
                if (p > lastRow(H))
                    break;
            }
        }
    }

    c.textOut(L - 12, T - 20, curveSet->unit);
}

int TPlotXY::drawValueTick(int L, int T, int W, int H, bool big, double n, double minorStep) {
    TCanvas& c = *canvas;
    const int p = row(curveSet->max, yTick);
    const bool major = std::fabs(yTick - n * yStep) < 0.9 * minorStep;
    if (major) {
        if (p < 0 || p > lastRow(H))
            return p;
        c.moveTo(L - 3, T + p);
        c.lineTo(L + W + 1, T + p);
        const char* format = "%3.2f";
        const int digits = yExp - yExp3;
        if (digits == -1 || digits == 0)
            format = "%4.3f";
        else if (digits == 2)
            format = "%2.1f";
        char label[64];
        formatC(label, sizeof label, format, yTick * yLabelScale);
        c.textOut(L - 10, T + p + 14, label);
    } else if (big && 0 < p && p <= lastRow(H)) {
        drawMinorDashes(L, T + p, W);
    }
    return p;
}

void TPlotXY::findDashColumns() {
    const int dFirst = truncCoord(std::floor(logMin));
    const int dLast = truncCoord(std::ceil(logMax));
    dashColumnsFound = dLast - dFirst < maxDashDecades;
    if (!dashColumnsFound)
        return;
    for (int d = dFirst; d <= dLast; ++d)
        for (int m = 1; m <= 9; ++m)
            dashColumns[(d - dFirst) * 9 + m - 1] = {column(std::log10(m + 0.5) + d),
                                                     column(std::log10(m) + d)};
}

void TPlotXY::drawMinorDashes(int L, int row, int W) {
    TCanvas& c = *canvas;
    bool firstQ = true;
    const int dFirst = truncCoord(std::floor(logMin));
    const int dLast = truncCoord(std::ceil(logMax));
    for (int d = dFirst; d <= dLast; ++d) {
        for (int m = 1; m <= 9; ++m) {
            int h, q;
            if (dashColumnsFound) {
                h = dashColumns[(d - dFirst) * 9 + m - 1].half;
                q = dashColumns[(d - dFirst) * 9 + m - 1].whole;
            } else {
                h = column(std::log10(m + 0.5) + d);
                q = column(std::log10(m) + d);
            }
            if (onXAxis(h, W) && (m < 9 || decades <= 1.7)) {
                c.moveTo(L + h - 1, row);
                c.lineTo(L + h + 2, row);
            }
            if (onXAxis(q, W)) {
                if (firstQ || m == 1) {
                    c.moveTo(L + q - 2, row);
                    c.lineTo(L + q + 3, row);
                }
                firstQ = false;
            }
        }
    }
}

void TPlotXY::mouseMove(TShiftState shift, int x, int y, TImage& image, std::string& panel) {
    if (xData == nullptr)
        return;
    TPlotXYBase::mouseMove(shift, x, y, image, panel);

    const double u = xFractionAt(cursorX * logicalWidth, plotLeft, plotWidth);
    if (u < -0.01 || u > 1.01) {
        panel = "---";
        return;
    }
    double f = frequency(xMin, u);
    const double step = frequency(xMin, u + 0.01) - f;
    // Kept real: a zero or negative step gives -inf or NaN and takes the exponent format.
    const double l = std::floor(std::log10(step + 1e-32));
    if (l >= 1 && l <= 4)
        f = std::floor(f * std::pow(10.0, -l) + 0.5) * std::pow(10.0, l);
    const char* format = "%3.2E%s";
    if (l == -3)
        format = "%4.3f%s";
    else if (l == -2)
        format = "%3.2f%s";
    else if (l == -1)
        format = "%3.1f%s";
    else if (l >= 0 && l <= 4)
        format = "%3.0f%s";
    char buffer[96];
    formatC(buffer, sizeof buffer, format, f, xUnit);
    std::string text = buffer;

    const double v = yFractionAt(cursorY * logicalHeight, plotTop, plotHeight);
    if (v < -0.01 || v > 1.0) {
        panel = "---";
        return;
    }
    if (curveSet != nullptr && curveSet->hasVisible())
        curveSet->formatValue(v, text);
    panel = text;
}
