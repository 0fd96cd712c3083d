#include "plot/Curves.h"
#include "base/CFormat.h"
#include "plot/RecordingCanvas.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <locale.h>

namespace {

std::array<double, 500> ramp(double from, double to) {
    std::array<double, 500> v{};
    for (int i = 0; i < 500; ++i)
        v[i] = from + (to - from) * i / 499.0;
    return v;
}

} // namespace

TEST(Curves, AutoRangeFitsVisibleCurvesOnly) {
    const auto shown = ramp(-42.5, 7.25);
    const auto hidden = ramp(-100, 100);
    TCurve a, b;
    a.data = shown.data();
    b.data = hidden.data();
    b.visible = false;
    TCurves list;
    list.curves[0] = &b;
    list.curves[3] = &a; // slots may have gaps for ranging
    list.autoRange(0, 500);
    EXPECT_EQ(list.min, -42.5);
    EXPECT_EQ(list.max, 7.25);

    a.visible = false;
    list.autoRange(0, 500);
    EXPECT_EQ(list.min, 0.0);
    EXPECT_EQ(list.max, 1.0);
    EXPECT_FALSE(list.hasVisible());

    TCurves empty;
    empty.autoRange(0, 500);
    EXPECT_EQ(empty.min, 0.0);
    EXPECT_EQ(empty.max, 1.0);
}

TEST(Curves, GetRangeLooksAtFirstToLastOnly) {
    const auto v = ramp(0, 499); // value i at point i
    TCurve c;
    c.data = v.data();
    double min = 1e32, max = -1e32;
    c.getRange(min, max, 10, 20);
    EXPECT_EQ(min, 10.0);
    EXPECT_EQ(max, 20.0);
    min = 1e32, max = -1e32;
    c.getRange(min, max, 0, 500);
    EXPECT_EQ(max, 499.0);
}

TEST(Curves, FormatValueDecimalsFollowTheRange) {
    TCurves list;
    copyText(list.unit, "dB");
    std::string text;
    list.min = -50, list.max = 0;
    list.formatValue(0.2458, text); // 50 dB: one hundredth is 0.5 dB
    EXPECT_EQ(text, " -12.3dB");
    text = "x";
    list.min = -5, list.max = 0;
    list.formatValue(0.5, text); // 5 dB: 0.05 dB
    EXPECT_EQ(text, "x -2.50dB");
    text.clear();
    list.min = 0, list.max = 1e6;
    list.formatValue(0.5, text);
    EXPECT_EQ(text, " 5.00E+05dB");
}

TEST(Curves, SegmentPenFollowsValueAtItsEndAndPenIsRestored) {
    std::array<double, 500> v{};
    v[1] = 5; // above the limit
    TCurve c;
    c.data = v.data();
    c.count = 3;
    c.penLimitHigh = 1;
    c.pens[0] = {0x0000FF, 3, TPenStyle::solid};
    std::array<double, 500> xNorm{0.0, 0.5, 1.0};
    TRecordingCanvas canvas;
    const TPen before{0x123456, 2, TPenStyle::dot};
    canvas.setPen(before);
    c.draw(canvas, {96.1, 69.1}, {768.8, 552.8}, xNorm.data(), -10, 10);

    const auto lines = canvas.callsOf(TCanvasOp::lineTo);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].pen, c.pens[0]);
    EXPECT_EQ(lines[1].pen, TPen{}); // out of limits: the default pen
    EXPECT_EQ(lines[2].pen, c.pens[0]);
    // x from 8 units inside the left edge to 8 inside the right; 0 halfway between 10 and -10.
    EXPECT_EQ(lines[0].x2, 104);
    EXPECT_EQ(lines[2].x2, 857);
    EXPECT_EQ(lines[0].y2, static_cast<int>(10.0 / 20 * 544.8 + 69.1 + 0.5));
    EXPECT_EQ(canvas.pen(), before);
}

TEST(Curves, DrawOrderIsLayerThenSlot) {
    std::array<double, 500> v{};
    std::array<double, 500> xNorm{};
    TCurve a, b, c;
    for (TCurve* k : {&a, &b, &c}) {
        k->data = v.data();
        k->count = 1;
    }
    a.layer = 5;
    a.pens[0].color = 1;
    b.layer = 4;
    b.pens[0].color = 2;
    c.layer = 5;
    c.pens[0].color = 3;
    TCurves list;
    list.curves[0] = &a;
    list.curves[1] = &b;
    list.curves[2] = &c;
    TRecordingCanvas canvas;
    list.draw(canvas, {0, 0}, {100, 100}, xNorm.data());
    std::vector<TColor> order;
    for (const TCanvasCall& l : canvas.callsOf(TCanvasOp::lineTo))
        order.push_back(l.pen.color);
    EXPECT_EQ(order, (std::vector<TColor>{2, 1, 3}));
}

TEST(Curves, NumbersUseDecimalPointWhateverTheLocale) {
    locale_t comma = static_cast<locale_t>(nullptr);
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8"})
        if ((comma = newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr))) != nullptr)
            break;
    if (comma == nullptr)
        GTEST_SKIP() << "no locale with a decimal comma installed";
    const locale_t previous = uselocale(comma);
    TCurves list;
    list.min = -50;
    list.max = 0;
    std::string text;
    list.formatValue(0.2458, text);
    uselocale(previous);
    freelocale(comma);
    EXPECT_EQ(text, " -12.3");
}
