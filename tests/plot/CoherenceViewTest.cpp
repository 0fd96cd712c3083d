#include "plot/CoherenceView.h"
#include "plot/RecordingCanvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>

namespace {

std::array<double, plotPoints> plotGrid() {
    std::array<double, plotPoints> f{};
    for (int i = 0; i < plotPoints; ++i)
        f[i] = 20 * std::pow(1000.0, i / 499.0);
    return f;
}

// The curve's value at the plot point nearest to `hz`.
double valueAt(const TCoherenceView& view, const std::array<double, plotPoints>& grid, double hz) {
    const auto at = std::lower_bound(grid.begin(), grid.end(), hz) - grid.begin();
    return view.values[at];
}

} // namespace

TEST(CoherenceView, BinsFollowTheRateAndValuesStayBetweenZeroAndOne) {
    const auto grid = plotGrid();
    TCoherenceView view(grid.data());
    // Bin 186 is 1001 Hz at 44.1 kHz and 501 Hz at 22.05 kHz.
    std::array<double, binCount> coherence{};
    for (int k = 0; k < binCount; ++k)
        coherence[k] = k < 186 ? 1.0 : 0.25;

    view.setCoherence(coherence.data(), 44100);
    EXPECT_DOUBLE_EQ(valueAt(view, grid, 700), 1.0);
    EXPECT_DOUBLE_EQ(valueAt(view, grid, 2000), 0.25);
    view.setCoherence(coherence.data(), 22050);
    EXPECT_DOUBLE_EQ(valueAt(view, grid, 300), 1.0);
    EXPECT_DOUBLE_EQ(valueAt(view, grid, 700), 0.25);

    coherence.fill(std::numeric_limits<double>::quiet_NaN());
    std::fill(coherence.begin() + 1000, coherence.end(), 1.5);
    std::fill(coherence.begin() + 2000, coherence.end(), -0.5);
    view.setCoherence(coherence.data(), 44100);
    EXPECT_DOUBLE_EQ(valueAt(view, grid, 1000), 0.0);  // NaN
    EXPECT_DOUBLE_EQ(valueAt(view, grid, 7000), 1.0);  // above 1
    EXPECT_DOUBLE_EQ(valueAt(view, grid, 15000), 0.0); // below 0

    // The reliable range stands out over its bands' full width.
    view.setReliableRange(100, 5000);
    for (const auto& [hz, value] :
         {std::pair{85.0, 0.0}, {95.0, 1.0}, {3000.0, 1.0}, {5500.0, 1.0}, {6000.0, 0.0}})
        EXPECT_EQ(view.reliable[std::lower_bound(grid.begin(), grid.end(), hz) - grid.begin()],
                  value * TCoherenceView::reliableLevel)
            << hz;
    view.setReliableRange(0, 0);
    EXPECT_EQ(*std::max_element(view.reliable.begin(), view.reliable.end()), 0.0);
}

TEST(CoherenceView, DrawsTheCurveFromZeroToOneOverTheDisplayRange) {
    const auto grid = plotGrid();
    TCoherenceView view(grid.data());
    std::array<double, binCount> coherence{};
    coherence.fill(0.5);
    view.setCoherence(coherence.data(), 48000);
    TRecordingImage image(540, 300);
    view.draw(image, 50, 20000);

    EXPECT_EQ(view.plot.xMin, 50);
    EXPECT_EQ(view.plot.xMax, 20000);
    EXPECT_EQ(view.plot.curveSet->min, 0);
    EXPECT_EQ(view.plot.curveSet->max, 1);
    const auto texts = image.recorder.texts();
    for (const char* text : {"Coherence", "Hz", "1.000", "0.000", "50 Hz"})
        EXPECT_NE(std::find(texts.begin(), texts.end(), text), texts.end()) << text;
    // The curve: a level line of the curve's pen half way between the 0 and 1 rows.
    int curveSegments = 0;
    for (const TCanvasCall& c : image.recorder.callsOf(TCanvasOp::lineTo))
        if (c.pen == view.curve.pens[0] && c.y1 == c.y2)
            ++curveSegments;
    EXPECT_GT(curveSegments, 100);
}
