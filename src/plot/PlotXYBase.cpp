#include "plot/PlotXYBase.h"

#include "plot/LegendPlacement.h"
#include "plot/PlotMap.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr TColor greyed = 0xA0A0A0;
}

void TPlotXYBase::mouseMove(TShiftState shift, int x, int y, TImage& image, std::string& panel) {
    TPlot1::mouseMove(shift, x, y, image, panel);
}

void TPlotXYBase::mouseDown(void*, std::intptr_t, TMouseButton button, TShiftState, int x, int y,
                            TImage& image) {
    if (button != TMouseButton::mbLeft || pixelWidth <= 0 || pixelHeight <= 0)
        return;
    const double fx = static_cast<double>(x) / pixelWidth;
    const double fy = static_cast<double>(y) / pixelHeight;
    if (legend.left <= fx && fx < legend.right && legend.top <= fy && fy <= legend.bottom) {
        const double row = (legend.bottom - legend.top) / (legendCount + 1);
        const double a = (fx - legend.left - 0.01) / row;
        const double b = (fy - legend.top) / row;
        const double k = std::trunc(b + 0.5);
        // A press on an entry's marker square neither grabs nor moves the box.
        if (std::fabs(a) >= 0.3 || std::fabs(b - k) >= 0.3) {
            legendAuto = false;
            dragOffsetX = legend.left - fx;
            dragOffsetY = legend.top - fy;
        }
        return;
    }
    if (0 <= x && x <= pixelWidth && 0 <= y && y <= pixelHeight) {
        legendAuto = false;
        legend.left = fx;
        legend.top = fy;
        dragOffsetX = 0;
        dragOffsetY = 0;
        drawToImage(image, -1, -1, -1, -1);
    }
}

void TPlotXYBase::draw() {
    if (canvas == nullptr || curveSet == nullptr)
        return;
    const TPoint origin = canvas->viewportOrigin();
    const TRect clip{
        truncCoord((TPlotMap::innerLeft(plotLeft) + 0.5) * scaleX) + origin.x,
        truncCoord((plotTop + 0.5) * scaleY) + origin.y - 4,
        truncCoord((TPlotMap::innerRight(plotLeft, plotWidth) + 0.5) * scaleX) + origin.x,
        truncCoord((TPlotMap::innerBottom(plotTop, plotHeight) + 0.5) * scaleY) + origin.y + 5,
    };
    canvas->setClipRect(clip);
    for (int layerNo = 0; layerNo <= 10; ++layerNo)
        if (curveSet->layer == layerNo)
            curveSet->draw(*canvas, {plotLeft, plotTop}, {plotWidth, plotHeight}, xNorm.data());
    canvas->removeClip();
    if (showLegend)
        drawLegend();
}

void TPlotXYBase::drawLegend() {
    if (canvas == nullptr || curveSet == nullptr)
        return;
    const double LW = logicalWidth;
    const double LH = logicalHeight;
    const double line = canvas->textExtent("Test of text").cy / LH;

    legendCount = 0;
    double total = 0;
    int widest = 0;
    for (const TCurve* c : curveSet->curves) {
        if (c == nullptr)
            continue;
        widest = std::max(widest, canvas->tabbedTextExtent(c->name, 30).cx);
        total += line;
        ++legendCount;
    }
    const double boxW = (widest + 20) / LW;

    // The whole box stays inside the axis frame, clear of the axis labels and the image's edge: a
    // corner placed or dragged further is held at the frame, and a box larger than the frame
    // keeps to its top left.
    const double width = boxW + 0.09;
    const double height = total + line;
    if (legendAuto && total > 0) {
        // Until the user moves it, the box sits in the corner of the frame where it hides the
        // least of the curves, a few units clear of the axes.
        constexpr double inset = 6;
        const TRectD frame{plotLeft + inset, plotTop + inset, plotLeft + plotWidth - inset,
                           plotTop + plotHeight - inset};
        const TPointD box{width * LW, height * LH};
        legendCornerIndex = leastCoveredCorner(*curveSet, {plotLeft, plotTop}, {plotWidth, plotHeight},
                                               xNorm.data(), frame, box, legendCornerIndex);
        const TPointD at = legendCorner(frame, box, legendCornerIndex);
        legend.left = at.x / LW;
        legend.top = at.y / LH;
    }
    legend.left = std::max(plotLeft / LW, std::min(legend.left, (plotLeft + plotWidth) / LW - width));
    legend.top = std::max(plotTop / LH, std::min(legend.top, (plotTop + plotHeight) / LH - height));
    legend.right = legend.left + width;
    legend.bottom = legend.top + height;

    const TPen plain{};
    canvas->setPen(plain);
    if (total == 0)
        return;
    canvas->setTextAlign(THAlign::left, TVAlign::bottom);

    canvas->roundRect(truncCoord(legend.left * LW), truncCoord(legend.top * LH),
                      truncCoord(legend.right * LW), truncCoord(legend.bottom * LH), 10, 10);
    canvas->focusRect(
        {truncCoord((legend.left + 0.009 - 0.2 * line) * LW), truncCoord((legend.top + 0.01) * LH),
         truncCoord((legend.left + 0.011 + 0.2 * line) * LW + 2), truncCoord((legend.bottom - 0.01) * LH)});

    double y = legend.top + line;
    for (const TCurve* c : curveSet->curves) {
        if (c == nullptr)
            continue;
        const int s = truncCoord(0.2 * line * LW);
        const double markerX = (legend.left + 0.01) * LW;
        canvas->rectangle(truncCoord(markerX - s), truncCoord(y * LH - s), truncCoord(markerX + s + 1),
                          truncCoord(y * LH + s + 1));
        // A hidden curve's entry is greyed: it names a curve that is not drawn.
        TPen sample = c->pens[0];
        const TFont font = canvas->font();
        if (!c->visible) {
            sample.color = greyed;
            TFont grey = font;
            grey.color = greyed;
            canvas->setFont(grey);
        }
        canvas->setPen(sample);
        canvas->moveTo(truncCoord((legend.left + 0.02) * LW), truncCoord(y * LH));
        canvas->lineTo(truncCoord((legend.left + 0.07) * LW), truncCoord(y * LH));
        canvas->tabbedTextOut(truncCoord((legend.left + 0.08) * LW), truncCoord((y + 0.5 * line) * LH),
                              c->name, 30);
        if (!c->visible)
            canvas->setFont(font);
        y += line;
        canvas->setPen(plain);
    }
}
