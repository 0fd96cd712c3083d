// What the window tells the user: the status bar after Export, Save and Open, the cursor readout,
// the track bars' positions, and the legend kept inside the plot.
#include "app/TvkFixture.h"

#include "controls/StatusNote.h"
#include "plot/RecordingCanvas.h"

#include <QGroupBox>

TEST_F(TvkTest, ExportSaveAndOpenSayWhatTheyWroteOrRead) {
    QTemporaryDir dir;
    window.pageCtrl->setCurrentWidget(window.TabSheet4);
    QString title;
    answerNextModal(&title, dir.path() + "/01234 My guitar.smd");
    QTest::mouseClick(window.BitBtn1, Qt::LeftButton);
    EXPECT_EQ(window.statusNote->text(), "Exported 01234 My guitar.smd");
    for (const QLabel* panel : window.statusPanels)
        EXPECT_FALSE(window.statusNote->geometry().intersects(panel->geometry()));

    // The cursor readout goes on in its own panel meanwhile.
    activate();
    QTest::mouseMove(window.ImageFreqDomain2, QPoint(270, 150));
    EXPECT_FALSE(window.statusPanels[0]->text().isEmpty());
    EXPECT_EQ(window.statusNote->text(), "Exported 01234 My guitar.smd");

    const QString project = dir.path() + "/guitar.smp";
    activate();
    answerNextModal(&title, project);
    QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(window.statusNote->text(), "Saved guitar.smp");
    activate();
    answerNextModal(&title, project);
    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(window.statusNote->text(), "Opened guitar.smp");

    // A failure is told by its warning box, and the bar no longer claims the last success.
    EXPECT_FALSE(window.saveProject("/nonexistent-folder-of-the-test/guitar.smp"));
    EXPECT_TRUE(window.statusNote->text().isEmpty());
    EXPECT_EQ(warnings.size(), 1u);

    // The note clears itself after its time.
    window.statusNote->shownMs = 30;
    EXPECT_TRUE(window.saveProject(project));
    EXPECT_EQ(window.statusNote->text(), "Saved guitar.smp");
    QTRY_VERIFY_WITH_TIMEOUT(window.statusNote->text().isEmpty(), 2000);
}

TEST_F(TvkTest, ReadoutGoesWhenThePointerLeavesThePlot) {
    loadExamples();
    window.pageCtrl->setCurrentWidget(window.TabSheet2);
    QTest::mouseMove(window.ImageFreqDomain1, QPoint(271, 180));
    EXPECT_TRUE(window.statusPanels[0]->text().endsWith("dB"))
        << window.statusPanels[0]->text().toStdString();
    QTest::mouseMove(window.cbSetAsLeft, QPoint(5, 5));
    EXPECT_TRUE(window.statusPanels[0]->text().isEmpty());

    // Pressing Export from over the summary plot: the readout has gone before the dialog opens.
    window.pageCtrl->setCurrentWidget(window.TabSheet4);
    QTest::mouseMove(window.ImageFreqDomain2, QPoint(271, 180));
    EXPECT_FALSE(window.statusPanels[0]->text().isEmpty());
    QTest::mouseMove(window.BitBtn1, QPoint(10, 10));
    EXPECT_TRUE(window.statusPanels[0]->text().isEmpty());
}

TEST_F(TvkTest, TrackBarPositionsShowAsNumbersBesideTheirCaptions) {
    window.pageCtrl->setCurrentWidget(window.TabSheet2);
    EXPECT_EQ(window.alphaValue->text(), "40");
    EXPECT_EQ(window.betaValue->text(), "30");
    window.alphaTrackBar->setFocus();
    QTest::keyClick(window.alphaTrackBar, Qt::Key_Up); // toward the top: toward 0
    EXPECT_EQ(window.alphaValue->text(), "39");
    window.betaTrackBar->setFocus();
    QTest::keyClick(window.betaTrackBar, Qt::Key_End);
    EXPECT_EQ(window.betaValue->text(), "50");
    QTest::keyClick(window.betaTrackBar, Qt::Key_Home);
    EXPECT_EQ(window.betaValue->text(), "0");
    EXPECT_EQ(a.beta, 0);

    // Each number fits its place whole, inside the group box, over no other control.
    for (QLabel* value : {window.alphaValue, window.betaValue}) {
        const std::string name = value->objectName().toStdString();
        EXPECT_GE(value->width(), value->fontMetrics().horizontalAdvance("50")) << name;
        EXPECT_TRUE(window.GroupBox1->rect().adjusted(2, 2, -2, -2).contains(value->geometry())) << name;
        for (QWidget* other : window.GroupBox1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (other != value) {
                EXPECT_FALSE(value->geometry().intersects(other->geometry()))
                    << name << " over " << other->objectName().toStdString();
            }
    }
    // On its caption's line.
    EXPECT_EQ(window.alphaValue->y(), window.Label17->y());
    EXPECT_EQ(window.betaValue->y(), window.Label8->y());
}

TEST_F(TvkTest, LegendDraggedTowardAnEdgeStaysInsideThePlotFrame) {
    window.pageCtrl->setCurrentWidget(window.TabSheet4);
    TPlotXY& plot = window.view->summaryPlot;
    const auto insideFrame = [&plot] {
        return plot.legend.left >= plot.plotLeft / plot.logicalWidth &&
               plot.legend.top >= plot.plotTop / plot.logicalHeight &&
               plot.legend.right <= (plot.plotLeft + plot.plotWidth) / plot.logicalWidth + 1e-12 &&
               plot.legend.bottom <= (plot.plotTop + plot.plotHeight) / plot.logicalHeight + 1e-12;
    };
    // A click near the bottom right corner, over the "Hz" label.
    QTest::mouseClick(window.ImageFreqDomain2, Qt::LeftButton, {}, QPoint(530, 350));
    EXPECT_TRUE(insideFrame());
    // Grabbed and dragged up and left past the image's corner.
    const QPoint grab(int((plot.legend.left + 0.8 * (plot.legend.right - plot.legend.left)) * 540),
                      int((plot.legend.top + plot.legend.bottom) / 2 * 356));
    QTest::mousePress(window.ImageFreqDomain2, Qt::LeftButton, {}, grab);
    for (const QPoint to : {QPoint(300, 100), QPoint(0, 0)}) {
        QMouseEvent drag(QEvent::MouseMove, QPointF(to), QPointF(window.ImageFreqDomain2->mapToGlobal(to)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.ImageFreqDomain2, &drag);
        EXPECT_TRUE(insideFrame()) << to.x() << "," << to.y();
    }
    QTest::mouseRelease(window.ImageFreqDomain2, Qt::LeftButton, {}, QPoint(0, 0));
}

// The summary's legend as the window's view draws it now; a greyed entry within brackets.
static std::vector<std::string> summaryLegend(TTvkMain& window) {
    TRecordingImage image(540, 356);
    window.view->drawSummary(image);
    std::vector<std::string> names;
    for (const TCanvasCall& c : image.recorder.callsOf(TCanvasOp::tabbedTextOut))
        names.push_back(c.font.color == 0xA0A0A0 ? "[" + c.text + "]" : c.text);
    return names;
}

// A side never stored is absent from the Summary and Export asks first ("Cancel" writes nothing
// and opens no file dialog); after a project at 48 kHz both channels say they were made at
// 44100 Hz and Export names both rates; "Export anyway" writes the file as ever.
TEST_F(TvkTest, ExportAsksAboutChannelsNeverStoredOrMadeAtAnotherRate) {
    QTemporaryDir dir;
    window.loadWaveFile(0, testDataPath("ffmpeg-48k-1000-bext-levl.wav"));
    ASSERT_TRUE(window.saveProject(dir.path() + "/48k.smp"));
    loadExamples();
    QTest::mouseClick(window.cbSetAsLeft, Qt::LeftButton);
    EXPECT_EQ(summaryLegend(window), (std::vector<std::string>{"Left", "[Right\tnot stored]"}));
    exportAnyway = false;
    window.Export1Click();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].text,
              "Right was never stored: the device would play silence on it.\n\nExport anyway?");
    EXPECT_TRUE(window.ExportDialog.fileName.isEmpty());

    QTest::mouseClick(window.cbSetAsRight, Qt::LeftButton);
    blank(window.ImageFreqDomain2);
    ASSERT_TRUE(window.openProject(dir.path() + "/48k.smp"));
    EXPECT_FALSE(isBlank(window.ImageFreqDomain2)); // the notes appear at once
    const std::string note = "\tmade at 44100 Hz: store it again";
    EXPECT_EQ(summaryLegend(window), (std::vector<std::string>{"Left" + note, "Right" + note}));
    window.Export1Click();
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_TRUE(questions[1].text.contains("Right was made at 44100 Hz, but the file says 48000 Hz"));
    exportAnyway = true;
    QString title;
    answerNextModal(&title, dir.path() + "/01234 Anyway.smd");
    window.Export1Click();
    EXPECT_EQ(readLines(dir.path() + "/01234 Anyway.smd").at(6), " fs=480000");
}

// The name field has its label, and the legend starts clear of the curves: no point of a curve
// lies under its box.
TEST_F(TvkTest, NameFieldIsLabelledAndLegendsStartWhereTheCurvesAreNot) {
    EXPECT_EQ(window.NameLabel->text(), "Name");
    EXPECT_EQ(window.NameLabel->buddy(), window.guitarName);
    loadExamples();
    QTest::mouseClick(window.cbSetAsLeft, Qt::LeftButton);
    TRecordingImage plot(540, 356);
    window.view->drawSummary(plot);
    const TCanvasCall box = plot.recorder.callsOf(TCanvasOp::roundRect).at(0);
    for (std::size_t i = 0; plot.recorder.calls[i].op != TCanvasOp::roundRect; ++i) { // the curves
        const TCanvasCall& c = plot.recorder.calls[i];
        EXPECT_FALSE(c.op == TCanvasOp::lineTo && c.x2 > box.x1 && c.x2 < box.x2 && c.y2 > box.y1 &&
                     c.y2 < box.y2 && c.pen == window.view->leftCurve.pens[0]);
    }
}
