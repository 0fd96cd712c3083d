#include "plot/Strip.h"
#include "plot/RecordingCanvas.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

std::vector<int> rows(const TRecordingCanvas& c) {
    std::vector<int> ys;
    for (const TCanvasCall& l : c.callsOf(TCanvasOp::lineTo))
        ys.push_back(l.y2);
    return ys;
}

} // namespace

TEST(Strip, FullScaleAndZeroRows) {
    const std::vector<double> s{1.0, -1.0, 0.0, 0.5};
    TRecordingImage image(4, 217);
    drawStrip(image, s.data(), 1, 4, 0);
    const TRecordingCanvas& c = image.recorder;

    const auto rects = c.callsOf(TCanvasOp::rectangle);
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(std::vector<int>({rects[0].x1, rects[0].y1, rects[0].x2, rects[0].y2}),
              std::vector<int>({0, 0, 4, 217}));
    const auto moves = c.callsOf(TCanvasOp::moveTo);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].y1, 108);
    // +1 on row 0, -1 on the bottom row 216, 0 on row 108; 0.5: trunc(108 - 54.25) = 53.
    EXPECT_EQ(rows(c), (std::vector<int>{0, 216, 108, 53}));
}

TEST(Strip, DelayShiftsAndColumnsPastTheDataLieOnTheZeroRow) {
    // Interleaved pairs as the analyzer stores them: mic at even, pickup at odd indices.
    std::vector<double> pairs(2 * 6, 0.0);
    for (int k = 0; k < 6; ++k) {
        pairs[2 * k] = k % 2 ? -1.0 : 1.0;
        pairs[2 * k + 1] = 0.0;
    }
    TRecordingImage image(5, 217);
    drawStrip(image, pairs.data(), 2, 6, 3); // samples 3, 4, 5, then nothing
    EXPECT_EQ(rows(image.recorder), (std::vector<int>{216, 0, 216, 108, 108}));

    image.recorder.clear();
    drawStrip(image, pairs.data() + 1, 2, 6, 0);
    EXPECT_EQ(rows(image.recorder), (std::vector<int>{108, 108, 108, 108, 108}));
}

TEST(Strip, WildValuesAreHeldAndDrawnInDevicePixels) {
    const std::vector<double> s{1e300, -1e300, std::nan("")};
    TRecordingImage image(3, 177);
    image.recorder.setMapping(961, 691, 3, 177);
    drawStrip(image, s.data(), 1, 3, 0);
    EXPECT_FALSE(image.recorder.mapping().anisotropic);
    const std::vector<int> ys = rows(image.recorder);
    EXPECT_EQ(ys[0], -10000000);
    EXPECT_EQ(ys[1], 10000000);
    EXPECT_EQ(ys[2], 88); // no value: the zero row
}
