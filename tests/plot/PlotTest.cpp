#include "PlotTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using ::testing::Test;

namespace {

// Axis rectangle of the 961 x 691 plot space: L = 96, T = 69, W = 768, H = 552.
constexpr int L = 96, T = 69, W = 768, H = 552;

std::vector<std::string> xLabels(const TRecordingCanvas& c) {
    return textsAligned(c, THAlign::center, TVAlign::top);
}
std::vector<std::string> valueLabels(const TRecordingCanvas& c) {
    return textsAligned(c, THAlign::right, TVAlign::bottom);
}

// Vertical grid lines of the x axis (top edge to one below the bottom edge): their x positions.
std::vector<int> xGridLines(const TRecordingCanvas& c) {
    std::vector<int> xs;
    for (const TCanvasCall& l : c.callsOf(TCanvasOp::lineTo))
        if (l.x1 == l.x2 && l.y1 == T && l.y2 == T + H + 1)
            xs.push_back(l.x1);
    return xs;
}

// Rows of the dashes that make up minor value ticks (short horizontal lines inside the axes).
std::vector<int> dashRows(const TRecordingCanvas& c) {
    std::vector<int> rows;
    for (const TCanvasCall& l : c.callsOf(TCanvasOp::lineTo))
        if (l.y1 == l.y2 && (l.x2 - l.x1 == 3 || l.x2 - l.x1 == 5) && l.x1 > L && l.x2 < L + W &&
            (rows.empty() || rows.back() != l.y1))
            rows.push_back(l.y1);
    return rows;
}

} // namespace

TEST(PlotXAxis, StartRangeLabelsAndGrid) {
    PlotFixture f;
    f.setRange(50, 20000, -50, 0);
    TRecordingImage image(540, 356);
    const TRecordingCanvas& c = f.draw(image);

    EXPECT_EQ(xLabels(c), (std::vector<std::string>{"50 Hz", "100", "500", "1000", "5000", "10000"}));
    // Grid at 50..90, 100..900, 1000..9000, 10000 and 20000; the last falls 8 units inside the end.
    const std::vector<int> grid = xGridLines(c);
    EXPECT_EQ(grid.size(), 25u);
    EXPECT_EQ(grid.front(), L + 8);
    EXPECT_EQ(grid.back(), L + W - 8);
    // Tick marks under every label but the first.
    int ticks = 0;
    for (const TCanvasCall& l : c.callsOf(TCanvasOp::lineTo))
        if (l.x1 == l.x2 && l.y1 == T + H && l.y2 == T + H + 3)
            ++ticks;
    EXPECT_EQ(ticks, 5);
    for (const TCanvasCall& t : c.callsOf(TCanvasOp::textOut)) {
        if (t.text == "50 Hz") {
            EXPECT_EQ(std::make_pair(t.x1, t.y1), std::make_pair(L + 8, T + H + 4));
        }
    }
}

TEST(PlotXAxis, FirstLabelRule) {
    PlotFixture f;
    TRecordingImage image(540, 356);

    f.setRange(20, 20000, -50, 0);
    std::vector<std::string> labels = xLabels(f.draw(image));
    ASSERT_GE(labels.size(), 2u);
    EXPECT_EQ(labels[0], "20 Hz");
    EXPECT_EQ(labels[1], "50");

    // One decade: 200 is labelled as well.
    f.setRange(100, 1000, -50, 0);
    EXPECT_EQ(xLabels(f.draw(image)), (std::vector<std::string>{"100 Hz", "200", "500", "1000"}));

    // The constructor's range (more than three decades): 10^4 in exponent form.
    TPlotXY fresh(961, 691);
    EXPECT_EQ(fresh.xMin, 10.0);
    EXPECT_EQ(fresh.xMax, 20000.0);
    f.setRange(fresh.xMin, fresh.xMax, -50, 0);
    labels = xLabels(f.draw(image));
    ASSERT_FALSE(labels.empty());
    EXPECT_EQ(labels[0], "10 Hz");
    EXPECT_NE(std::find(labels.begin(), labels.end(), "1E4"), labels.end());
    EXPECT_EQ(std::find(labels.begin(), labels.end(), "10000"), labels.end());
}

TEST(PlotXAxis, SmallImageHasSparseSilverGridAndNoMinorTicks) {
    PlotFixture f;
    f.setRange(50, 20000, -50, 0);
    TRecordingImage image(200, 132);
    const TRecordingCanvas& c = f.draw(image);

    // 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000.
    EXPECT_EQ(xGridLines(c).size(), 9u);
    for (const TCanvasCall& l : c.callsOf(TCanvasOp::lineTo)) {
        if (l.x1 == l.x2 && l.y1 == T && l.y2 == T + H + 1) {
            EXPECT_EQ(l.pen.color, 0xC0C0C0u);
        }
    }
    EXPECT_TRUE(dashRows(c).empty());

    TRecordingImage big(540, 356);
    const TRecordingCanvas& cb = f.draw(big);
    for (const TCanvasCall& l : cb.callsOf(TCanvasOp::lineTo)) {
        if (l.x1 == l.x2 && l.y1 == T && l.y2 == T + H + 1) {
            EXPECT_EQ(l.pen.color, 0x808080u);
        }
    }
    EXPECT_FALSE(dashRows(cb).empty());
}

TEST(PlotValueAxis, RangeStraddlingZero) {
    PlotFixture f;
    f.setRange(50, 20000, -34.7, 5.3);
    TRecordingImage image(540, 356);
    const TRecordingCanvas& c = f.draw(image);

    // Major ticks every 10 dB printed with "%3.2f", then the unit over the axis; no multiplier.
    EXPECT_EQ(valueLabels(c), (std::vector<std::string>{"0.00", "-10.00", "-20.00", "-30.00", "dB"}));
    for (const std::string& t : textsAligned(c, THAlign::left, TVAlign::bottom))
        EXPECT_EQ(t.find("*1.0E"), std::string::npos);
    // The zero row: p = floor(5.3 * 544 / 40 + 0.5) = 72; grid line from L - 3 to L + W + 1.
    bool zeroLine = false;
    for (const TCanvasCall& l : c.callsOf(TCanvasOp::lineTo))
        zeroLine |= l.y1 == T + 72 && l.y2 == T + 72 && l.x1 == L - 3 && l.x2 == L + W + 1;
    EXPECT_TRUE(zeroLine);
    for (const TCanvasCall& t : c.callsOf(TCanvasOp::textOut)) {
        if (t.text == "0.00") {
            EXPECT_EQ(std::make_pair(t.x1, t.y1), std::make_pair(L - 10, T + 72 + 14));
        }
    }
    // Minor ticks walk up from zero (+2, +4), then down from -2.
    const std::vector<int> rows = dashRows(c);
    ASSERT_GE(rows.size(), 3u);
    EXPECT_EQ(rows[0], T + 45);
    EXPECT_EQ(rows[1], T + 18);
    EXPECT_EQ(rows[2], T + 99);
}

TEST(PlotValueAxis, WhollyNegativeRange) {
    PlotFixture f;
    f.setRange(50, 20000, -60, -10);
    TRecordingImage image(540, 356);
    const TRecordingCanvas& c = f.draw(image);

    EXPECT_EQ(valueLabels(c),
              (std::vector<std::string>{"-10.00", "-20.00", "-30.00", "-40.00", "-50.00", "-60.00", "dB"}));
    // The walk starts at -10 on the top edge and goes down in minor steps of 2 dB.
    const std::vector<int> rows = dashRows(c);
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[0], T + 22); // -12 dB: floor(2 * 544 / 50 + 0.5)
    EXPECT_EQ(rows[1], T + 44); // -14 dB
}

TEST(PlotValueAxis, SmallValuesGetMultiplier) {
    PlotFixture f;
    f.setRange(50, 20000, 0.01, 0.05);
    TRecordingImage image(540, 356);
    const TRecordingCanvas& c = f.draw(image);

    EXPECT_EQ(f.plot.yExp, -1);
    EXPECT_EQ(f.plot.yExp3, -3);
    EXPECT_EQ(valueLabels(c), (std::vector<std::string>{"50.0", "40.0", "30.0", "20.0", "10.0", "dB"}));
    bool multiplier = false;
    for (const TCanvasCall& t : c.callsOf(TCanvasOp::textOut))
        if (t.text == "*1.0E-3") {
            multiplier = true;
            EXPECT_EQ(std::make_pair(t.x1, t.y1), std::make_pair(3, T - 6));
            EXPECT_EQ(t.hAlign, THAlign::left);
        }
    EXPECT_TRUE(multiplier);
}

TEST(PlotDraw, NothingToDrawLeavesBlankWhiteArea) {
    PlotFixture f;
    f.setRange(50, 20000, -50, 0);
    TRecordingImage image(540, 356);

    auto expectBlank = [&](const TRecordingCanvas& c) {
        const auto rects = c.callsOf(TCanvasOp::rectangle);
        ASSERT_EQ(rects.size(), 1u);
        EXPECT_EQ(rects[0].x2, 961);
        EXPECT_EQ(rects[0].y2, 691);
        EXPECT_EQ(rects[0].pen.color, 0xFFFFFFu);
        EXPECT_EQ(rects[0].brush.color, 0xFFFFFFu);
        EXPECT_TRUE(c.callsOf(TCanvasOp::lineTo).empty());
        EXPECT_TRUE(c.texts().empty());
        EXPECT_EQ(c.pen(), TPen{});
    };
    // First slot empty (a curve in slot 1 does not count).
    f.plot.curveSet->curves[0] = nullptr;
    f.plot.curveSet->curves[1] = &f.curve;
    expectBlank(f.draw(image));
    // No x data.
    f.plot.curveSet->curves[0] = &f.curve;
    f.plot.xData = nullptr;
    expectBlank(f.draw(image));
}

TEST(PlotDraw, AttachMapsPlotSpaceOntoImage) {
    PlotFixture f;
    f.setRange(50, 20000, -50, 0);
    TRecordingImage image(540, 356);
    const TRecordingCanvas& c = f.draw(image);

    const auto mapping = c.callsOf(TCanvasOp::setMapping);
    ASSERT_EQ(mapping.size(), 1u);
    EXPECT_EQ(std::vector<int>({mapping[0].x1, mapping[0].y1, mapping[0].x2, mapping[0].y2}),
              std::vector<int>({961, 691, 540, 356}));
    EXPECT_EQ(c.font().name, "Arial");
    EXPECT_EQ(c.font().size, 20);
    EXPECT_TRUE(c.callsOf(TCanvasOp::setViewportOrigin).empty());
    EXPECT_DOUBLE_EQ(f.plot.scaleX, 540.0 / 961);

    // With an explicit area the viewport origin is set.
    image.recorder.clear();
    f.plot.drawToImage(image, 200, 100, 7, 9);
    const auto origin = image.recorder.callsOf(TCanvasOp::setViewportOrigin);
    ASSERT_EQ(origin.size(), 1u);
    EXPECT_EQ(std::make_pair(origin[0].x1, origin[0].y1), std::make_pair(7, 9));
    EXPECT_EQ(f.plot.pixelWidth, 200);
}

TEST(PlotDraw, CurvesAreClippedToTheAxisRange) {
    PlotFixture f;
    f.setRange(20, 20000, -50, 0);
    TRecordingImage image(540, 356);
    const TRecordingCanvas& c = f.draw(image);

    const auto clips = c.callsOf(TCanvasOp::setClipRect);
    ASSERT_EQ(clips.size(), 1u);
    EXPECT_EQ(std::vector<int>({clips[0].x1, clips[0].y1, clips[0].x2, clips[0].y2}),
              std::vector<int>({58, 31, 481, 321}));
    // The curve (red, width 3) lies between the clip and its removal; first and last point at 8
    // units inside the axis ends, 0 dB on the top edge.
    size_t clipAt = 0, unclipAt = 0;
    std::vector<TCanvasCall> curve;
    for (size_t i = 0; i < c.calls.size(); ++i) {
        const TCanvasCall& k = c.calls[i];
        if (k.op == TCanvasOp::setClipRect)
            clipAt = i;
        if (k.op == TCanvasOp::removeClip)
            unclipAt = i;
        if (k.op == TCanvasOp::lineTo && k.pen.width == 3 && unclipAt == 0)
            curve.push_back(k);
    }
    ASSERT_EQ(curve.size(), 500u);
    EXPECT_GT(unclipAt, clipAt);
    EXPECT_EQ(curve.front().x2, 104);
    EXPECT_EQ(curve.back().x2, 857);
    EXPECT_EQ(curve.front().y2, 69);
    EXPECT_EQ(c.pen(), TPen{});
}

TEST(PlotReadout, FrequencyAndValueTexts) {
    PlotFixture f;
    f.setRange(50, 20000, -50, 0);
    TRecordingImage image(961, 691);
    f.draw(image);
    std::string panel;

    f.plot.mouseMove(0, 507, 203, image, panel);
    EXPECT_EQ(panel, "1230Hz -12.3dB");

    // Outside the x range, above the top or below the row of min.
    f.plot.mouseMove(0, 20, 203, image, panel);
    EXPECT_EQ(panel, "---");
    f.plot.mouseMove(0, 507, 30, image, panel);
    EXPECT_EQ(panel, "---");
    f.plot.mouseMove(0, 507, 620, image, panel);
    EXPECT_EQ(panel, "---");
}

TEST(PlotReadout, FrequencyOnlyWhenNoCurveVisible) {
    PlotFixture f;
    f.setRange(50, 20000, -50, 0);
    TRecordingImage image(540, 356);
    f.draw(image);
    f.curve.visible = false;
    std::string panel;

    f.plot.mouseMove(0, 58, 150, image, panel); // the left end: step about 3 Hz
    EXPECT_EQ(panel, " 50Hz");
    f.plot.mouseMove(0, 481, 150, image, panel); // the right end: rounded to 1000s
    EXPECT_EQ(panel, "20000Hz");
}

TEST(PlotMouse, LegendPlacementGrabAndDrag) {
    PlotFixture f;
    f.plot.legendAuto = false; // the legend where it was put, at its first corner (0.1, 0.1)
    f.setRange(50, 20000, -50, 0);
    TRecordingImage image(540, 356);
    f.draw(image);
    std::string panel;

    // Right button: nothing.
    image.recorder.clear();
    f.plot.mouseDown(nullptr, 0, TMouseButton::mbRight, ssRight, 300, 200, image);
    EXPECT_DOUBLE_EQ(f.plot.legend.left, 0.1);
    EXPECT_TRUE(image.recorder.calls.empty());

    // Left press outside the box: the corner jumps to the pointer and the plot is redrawn.
    f.plot.mouseDown(nullptr, 0, TMouseButton::mbLeft, ssLeft, 270, 178, image);
    EXPECT_DOUBLE_EQ(f.plot.legend.left, 0.5);
    EXPECT_DOUBLE_EQ(f.plot.legend.top, 0.5);
    EXPECT_FALSE(image.recorder.calls.empty());

    // Press inside the box away from the markers, then drag: the box moves with the pointer.
    const int gx = 270 + 27, gy = 178 + 4; // 0.05 to the right of the corner
    f.plot.mouseDown(nullptr, 0, TMouseButton::mbLeft, ssLeft, gx, gy, image);
    EXPECT_NEAR(f.plot.dragOffsetX, -0.05, 1e-12);
    f.plot.mouseMove(ssLeft, gx + 54, gy, image, panel);
    EXPECT_NEAR(f.plot.legend.left, 0.6, 1e-9);
    EXPECT_NEAR(f.plot.legend.top, 0.5, 1e-9);

    // A press on the first entry's marker neither grabs nor moves the box.
    const double row = (f.plot.legend.bottom - f.plot.legend.top) / (f.plot.legendCount + 1);
    const int mx = static_cast<int>((f.plot.legend.left + 0.01) * 540);
    const int my = static_cast<int>((f.plot.legend.top + row) * 356);
    const double offsetX = f.plot.dragOffsetX;
    f.plot.mouseDown(nullptr, 0, TMouseButton::mbLeft, ssLeft, mx, my, image);
    EXPECT_EQ(f.plot.dragOffsetX, offsetX);
    EXPECT_NEAR(f.plot.legend.left, 0.6, 1e-9);
}

// Placed or dragged toward any edge, the legend box stops at the axis frame, so it is never cut
// off by the image's edge nor drawn over the axis labels.
TEST(PlotMouse, LegendStaysInsideTheAxisFrame) {
    PlotFixture f;
    f.setRange(50, 20000, -50, 0);
    TRecordingImage image(540, 356);
    f.draw(image);
    const auto boxDrawn = [&] {
        const std::vector<TCanvasCall> boxes = image.recorder.callsOf(TCanvasOp::roundRect);
        EXPECT_EQ(boxes.size(), 1u);
        return boxes.empty() ? TCanvasCall{} : boxes.back();
    };
    const TPlotXY& p = f.plot;
    const struct { int x, y; } corners[] = {{539, 355}, {0, 0}, {539, 0}, {0, 355}};
    for (const auto& corner : corners) {
        image.recorder.clear();
        f.plot.mouseDown(nullptr, 0, TMouseButton::mbLeft, ssLeft, corner.x, corner.y, image);
        const TCanvasCall box = boxDrawn();
        EXPECT_GE(box.x1, truncCoord(p.plotLeft)) << corner.x << "," << corner.y;
        EXPECT_GE(box.y1, truncCoord(p.plotTop)) << corner.x << "," << corner.y;
        EXPECT_LE(box.x2, truncCoord(p.plotLeft + p.plotWidth)) << corner.x << "," << corner.y;
        EXPECT_LE(box.y2, truncCoord(p.plotTop + p.plotHeight)) << corner.x << "," << corner.y;
    }
    // Held at the bottom right, it touches the frame there.
    f.plot.mouseDown(nullptr, 0, TMouseButton::mbLeft, ssLeft, 539, 355, image);
    EXPECT_NEAR(p.legend.right, (p.plotLeft + p.plotWidth) / 961, 1e-12);
    EXPECT_NEAR(p.legend.bottom, (p.plotTop + p.plotHeight) / 691, 1e-12);
}

TEST(PlotMouse, DragOutsideImageNeitherMovesNorTracks) {
    PlotFixture f;
    f.plot.legendAuto = false;
    f.setRange(50, 20000, -50, 0);
    TRecordingImage image(540, 356);
    f.draw(image);
    std::string panel = "before";
    image.recorder.clear();
    f.plot.mouseMove(ssLeft, 600, 100, image, panel);
    EXPECT_TRUE(image.recorder.calls.empty());
    EXPECT_DOUBLE_EQ(f.plot.cursorX, 0.0);
    EXPECT_DOUBLE_EQ(f.plot.legend.left, 0.1);
}

TEST(PlotMouse, PlotNeverDrawnIgnoresPressAndDrag) {
    PlotFixture f;
    TRecordingImage image(540, 356);
    std::string panel;
    // No size yet: not even the image's corner counts as inside.
    f.plot.mouseDown(nullptr, 0, TMouseButton::mbLeft, ssLeft, 0, 0, image);
    f.plot.mouseMove(ssLeft, 0, 0, image, panel);
    EXPECT_TRUE(image.recorder.calls.empty());
    EXPECT_DOUBLE_EQ(f.plot.legend.left, 0.1);
    EXPECT_DOUBLE_EQ(f.plot.legend.top, 0.1);
}

// The map's ends fall on the margins and each way back undoes the way there, for ranges of a
// decade or less up to many.
class PlotMapRange : public testing::TestWithParam<std::pair<double, double>> {};

TEST_P(PlotMapRange, EndsOnTheMarginsAndBackAgain) {
    const auto [low, high] = GetParam();
    TPlotMap map;
    map.setFrequencies(low, high, W);
    EXPECT_EQ(map.column(std::log10(low)), TPlotMap::margin);
    EXPECT_EQ(map.column(std::log10(high)), W - TPlotMap::margin);
    const double f = std::sqrt(low * high);
    EXPECT_NEAR(map.frequency(low, map.xFraction(f)) / f, 1, 1e-12);
    const double x = TPlotMap::xAt(map.xFraction(f), L, W);
    EXPECT_NEAR(TPlotMap::xFractionAt(x, L, W), map.xFraction(f), 1e-12);
    EXPECT_NEAR(TPlotMap::yFractionAt(TPlotMap::yAt(0.25, T, H), T, H), 0.25, 1e-12);
    map.setValueSpan(50, H);
    EXPECT_EQ(map.row(0, -50), TPlotMap::lastRow(H));
}

INSTANTIATE_TEST_SUITE_P(Ranges, PlotMapRange,
                         testing::Values(std::pair{50.0, 20000.0}, std::pair{1000.0, 1100.0},
                                         std::pair{0.01, 1e6}));

// The legend starts where it hides the least of the curve, follows it, and stays where put.
TEST(PlotMouse, LegendStartsWhereTheCurveIsNot) {
    PlotFixture f;
    f.setRange(50, 20000, -50, 0);
    TRecordingImage image(540, 356);
    const auto corner = [&](double lowHalf, double highHalf) { // 0 top left .. 3 bottom right
        for (int i = 0; i < 500; ++i)
            f.values[i] = i < 250 ? lowHalf : highHalf;
        f.draw(image);
        return int(f.plot.legend.right > 0.8) + 2 * int(f.plot.legend.bottom > 0.8);
    };
    EXPECT_EQ(corner(-49, -49), 0);
    EXPECT_EQ(corner(-5, -49), 1);
    EXPECT_EQ(corner(-5, -5), 2);
    f.plot.mouseDown(nullptr, 0, TMouseButton::mbLeft, ssLeft, 270, 178, image);
    corner(-49, -49);
    EXPECT_DOUBLE_EQ(f.plot.legend.left, 0.5);
}
