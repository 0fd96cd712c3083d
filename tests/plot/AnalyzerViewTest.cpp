#include "plot/AnalyzerView.h"
#include "plot/RecordingCanvas.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

struct ViewFixture {
    std::unique_ptr<TAnalyzer> analyzer = std::make_unique<TAnalyzer>();
    TAnalyzerView view{*analyzer};
    TRecordingImage plotImage{540, 356};
    TRecordingImage stripImage{8192, 177};

    ViewFixture() {
        for (int i = 0; i < 500; ++i) {
            analyzer->micDb[i] = -20 + 0.01 * i;
            analyzer->pickupDb[i] = -30;
            analyzer->filterDb[i] = 3;
        }
    }

    std::vector<std::string> legendNames() const {
        std::vector<std::string> names;
        for (const TCanvasCall& c : plotImage.recorder.callsOf(TCanvasOp::tabbedTextOut))
            names.push_back(c.text);
        return names;
    }
};

} // namespace

TEST(AnalyzerView, StartUpConfiguration) {
    ViewFixture f;
    const TAnalyzerView& v = f.view;
    struct Expect {
        const TCurve* curve;
        const double* data;
        std::string name;
        TColor color;
        int width;
    };
    const Expect expected[] = {
        {&v.micCurve, f.analyzer->micDb.data(), "Mic", 0xFF0000, 1},
        {&v.pickupCurve, f.analyzer->pickupDb.data(), "Pickup", 0x008000, 1},
        {&v.filterCurve, f.analyzer->filterDb.data(), "Filter", 0x0000FF, 3},
        {&v.leftCurve, f.analyzer->channels[0].filterDb.data(), "Left", 0xFF0000, 3},
        {&v.rightCurve, f.analyzer->channels[1].filterDb.data(), "Right", 0x0000FF, 3},
    };
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(e.curve->data, e.data);
        EXPECT_EQ(e.curve->name, e.name);
        EXPECT_EQ(e.curve->pens[0], (TPen{e.color, e.width, TPenStyle::solid}));
        EXPECT_EQ(e.curve->pens[1], TPen{});
        EXPECT_EQ(e.curve->layer, 4);
        EXPECT_TRUE(e.curve->visible);
        EXPECT_EQ(e.curve->count, 500);
    }
    EXPECT_EQ(&v.leftCurve, &f.analyzer->channels[0].curve);
    EXPECT_EQ(&v.rightCurve, &f.analyzer->channels[1].curve);

    for (const TPlotXY* plot : {&v.analysisPlot, &v.summaryPlot}) {
        EXPECT_EQ(plot->logicalWidth, 961);
        EXPECT_EQ(plot->logicalHeight, 691);
        EXPECT_EQ(std::string(plot->xUnit), "Hz");
        EXPECT_EQ(plot->xData, f.analyzer->plotFreq.data());
        EXPECT_EQ(plot->curveSet->layer, 2);
        EXPECT_EQ(std::string(plot->curveSet->unit), "dB");
    }
    EXPECT_EQ(v.analysisPlot.curveSet.get(), &v.analysisCurves);
    EXPECT_EQ(v.analysisCurves.curves[0], &v.micCurve);
    EXPECT_EQ(v.analysisCurves.curves[1], &v.pickupCurve);
    EXPECT_EQ(v.analysisCurves.curves[2], &v.filterCurve);
    EXPECT_EQ(v.summaryCurves.curves[0], &v.leftCurve);
    EXPECT_EQ(v.summaryCurves.curves[1], &v.rightCurve);
    EXPECT_EQ(v.summaryCurves.curves[2], nullptr);
}

TEST(AnalyzerView, DrawAnalysisAppliesRangeAndDrawsFilterStrip) {
    ViewFixture f;
    f.analyzer->fMin = 100;
    f.analyzer->fMax = 5000;
    f.analyzer->dbRange = 40;
    f.analyzer->filterIr[0] = 1.0;
    f.view.drawAnalysis(f.plotImage, f.stripImage);

    EXPECT_EQ(f.view.analysisPlot.xMin, 100);
    EXPECT_EQ(f.view.analysisPlot.xMax, 5000);
    EXPECT_EQ(f.view.analysisCurves.max, 3);
    EXPECT_EQ(f.view.analysisCurves.min, 3 - 40);
    EXPECT_EQ(f.legendNames(), (std::vector<std::string>{"Mic", "Pickup", "Filter"}));
    const auto strip = f.stripImage.recorder.callsOf(TCanvasOp::lineTo);
    ASSERT_EQ(strip.size(), 8192u);
    EXPECT_EQ(strip[0].y2, 0);
    EXPECT_EQ(strip[1].y2, 88);
}

TEST(AnalyzerView, HiddenCurveLeavesTheLegendAndTheListCompacted) {
    ViewFixture f;
    f.view.micCurve.visible = false;
    f.view.drawAnalysis(f.plotImage, f.stripImage);

    EXPECT_EQ(f.view.analysisCurves.curves[0], &f.view.pickupCurve);
    EXPECT_EQ(f.view.analysisCurves.curves[1], &f.view.filterCurve);
    EXPECT_EQ(f.view.analysisCurves.curves[2], nullptr);
    EXPECT_EQ(f.legendNames(), (std::vector<std::string>{"Pickup", "Filter"}));
    EXPECT_EQ(f.view.analysisPlot.legendCount, 2);
    // Legend pen samples in the curves' colours, in list order.
    std::vector<TColor> samples;
    for (const TCanvasCall& c : f.plotImage.recorder.callsOf(TCanvasOp::lineTo))
        if (c.y1 == c.y2 && c.pen.color != 0 && c.pen.color != 0x808080)
            samples.push_back(c.pen.color);
    ASSERT_GE(samples.size(), 2u);
    EXPECT_EQ(samples[samples.size() - 2], 0x008000u);
    EXPECT_EQ(samples.back(), 0x0000FFu);
}

TEST(AnalyzerView, DisabledPickupNeitherShownNorRanged) {
    ViewFixture f;
    for (double& v : f.analyzer->pickupDb)
        v = 20; // would lift the top of the range
    f.analyzer->enablePickup = false;
    f.view.drawAnalysis(f.plotImage, f.stripImage);
    EXPECT_EQ(f.legendNames(), (std::vector<std::string>{"Mic", "Filter"}));
    EXPECT_EQ(f.view.analysisCurves.max, 3);
}

TEST(AnalyzerView, AllCurvesHiddenGivesBlankPlotWithUnitRange) {
    ViewFixture f;
    f.view.micCurve.visible = f.view.pickupCurve.visible = f.view.filterCurve.visible = false;
    f.view.drawAnalysis(f.plotImage, f.stripImage);
    EXPECT_EQ(f.view.analysisCurves.max, 1);
    EXPECT_EQ(f.view.analysisCurves.min, 1 - 50);
    EXPECT_TRUE(f.plotImage.recorder.texts().empty());
    EXPECT_EQ(f.plotImage.recorder.callsOf(TCanvasOp::rectangle).size(), 1u);
}

TEST(AnalyzerView, DrawSummaryAppliesRange) {
    ViewFixture f;
    f.analyzer->channels[1].filterDb[7] = 12.5;
    f.analyzer->fMin = 900;
    f.analyzer->fMax = 1000;
    f.analyzer->channelFs = {44100, 44100};
    f.view.drawSummary(f.plotImage);
    EXPECT_EQ(f.view.summaryPlot.xMin, 900);
    EXPECT_EQ(f.view.summaryPlot.xMax, 1000);
    EXPECT_EQ(f.view.summaryCurves.max, 12.5);
    EXPECT_EQ(f.view.summaryCurves.min, 12.5 - 50);
    EXPECT_EQ(f.legendNames(), (std::vector<std::string>{"Left", "Right"}));
}

TEST(AnalyzerView, ImpulseStripsStartAsUnitImpulsesAndFollowDelays) {
    ViewFixture f;
    TRecordingImage mic(8192, 217), pickup(8192, 217);
    f.view.drawImpulseStrips(mic, pickup);
    for (const TRecordingImage* image : {&mic, &pickup}) {
        const auto lines = image->recorder.callsOf(TCanvasOp::lineTo);
        ASSERT_EQ(lines.size(), 8192u);
        // Up from (0, 108) to (0, 0), down to (1, 108), then flat.
        EXPECT_EQ(std::make_pair(lines[0].x1, lines[0].y1), std::make_pair(0, 108));
        EXPECT_EQ(std::make_pair(lines[0].x2, lines[0].y2), std::make_pair(0, 0));
        EXPECT_EQ(std::make_pair(lines[1].x2, lines[1].y2), std::make_pair(1, 108));
        EXPECT_EQ(lines.back().y2, 108);
    }

    f.analyzer->irData[300].mic = -1.0;
    f.analyzer->irData[8191].mic = 1.0;
    f.analyzer->delayMic = 250.9; // truncated to 250
    mic.recorder.clear();
    pickup.recorder.clear();
    f.view.drawImpulseStrips(mic, pickup);
    const auto lines = mic.recorder.callsOf(TCanvasOp::lineTo);
    ASSERT_EQ(lines.size(), 8192u);
    EXPECT_EQ(lines[50].y2, 216);
    EXPECT_EQ(lines[8191 - 250].y2, 0);
    EXPECT_EQ(lines[8191 - 249].y2, 108); // no sample past 8191
    EXPECT_EQ(lines.back().y2, 108);
}
