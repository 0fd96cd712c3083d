#include "app/TvkFixture.h"

namespace {

TEST_F(TvkTest, StartUpShowsTheStartValues) {
    EXPECT_EQ(window.fLow->text(), "50");
    EXPECT_EQ(window.fHigh->text(), "20000");
    EXPECT_EQ(window.splRange->text(), "50");
    EXPECT_EQ(window.dCompMic->text().trimmed(), "0");
    EXPECT_EQ(window.dCompPickup->text().trimmed(), "0");
    EXPECT_EQ(window.eGain->text(), "0.0");
    EXPECT_EQ(window.eHelm->text(), "100.0");
    EXPECT_EQ(window.eFirstBody->text(), "200.0");
    EXPECT_EQ(window.MicFName->text(), "--");
    EXPECT_EQ(window.PickupFName->text(), "--");
    EXPECT_EQ(window.guitarName->text(), "Guitar");
    EXPECT_EQ(window.pageCtrl->currentWidget(), window.TabSheet1);
    EXPECT_EQ(window.alphaTrackBar->value(), 40);
    EXPECT_EQ(window.betaTrackBar->value(), 30);

    for (TICheckBox* box : {window.cbRefMic, window.cbPickup, window.cbFilter, window.EnablePickup})
        EXPECT_TRUE(box->isEnabled() && box->isChecked()) << box->text().toStdString();
    EXPECT_TRUE(window.cbUseMinPhase->isEnabled());
    EXPECT_FALSE(window.cbUseMinPhase->isChecked());

    EXPECT_TRUE(a.analysisReady);
    EXPECT_EQ(a.irData[0].mic, 1.0);
    EXPECT_EQ(a.irData[0].pickup, 1.0);
    EXPECT_EQ(a.irData[1].mic, 0.0);
    EXPECT_TRUE(std::all_of(a.channels[0].filterIr.begin(), a.channels[0].filterIr.end(),
                            [](double v) { return v == 0.0; }));
    EXPECT_EQ(window.statusPanels[0]->width(), 150);
    EXPECT_EQ(window.statusPanels[1]->width(), 50);
    EXPECT_TRUE(window.statusPanels[0]->text().isEmpty());
}

TEST_F(TvkTest, AnalysisPlotIsBlankUntilTheFirstNotification) {
    EXPECT_TRUE(isBlank(window.ImageFreqDomain1));
    EXPECT_TRUE(isBlank(window.ImageTimeDomainI));
    EXPECT_FALSE(isBlank(window.ImageFreqDomain2)); // the summary shows the two flat channels
    EXPECT_FALSE(isBlank(window.ImageTimeDomainL));
    window.pageCtrl->setCurrentWidget(window.TabSheet2);
    window.eGain->setFocus();
    QTest::keyClick(window.eGain, Qt::Key_Up);
    EXPECT_DOUBLE_EQ(a.gainDb, 0.1);
    EXPECT_FALSE(isBlank(window.ImageFreqDomain1));
    EXPECT_FALSE(isBlank(window.ImageTimeDomainI));
}

TEST_F(TvkTest, WindowSizeIsFixed) {
    EXPECT_EQ(window.size(), QSize(744, 714));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    window.resize(900, 900);
    EXPECT_EQ(window.size(), QSize(744, 714));
    window.showMaximized();
    QTest::qWait(10);
    EXPECT_EQ(window.size(), QSize(744, 714));
    EXPECT_EQ(window.pageCtrl->size(), QSize(720, 640));
}

TEST_F(TvkTest, MemoHoldsItsTenLinesExactly) {
    const QStringList lines = window.Memo1->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 10);
    EXPECT_EQ(lines[0], "NOTE !!!");
    EXPECT_EQ(lines[2], "To be recognized well by the Sonmira the exported .smd ");
    EXPECT_EQ(lines[3], "files must begin with 5 initial digits followed by a white space ");
    EXPECT_EQ(lines[4], "and then an arbitraty name. ");
    EXPECT_EQ(lines[7], "01234 My favourite guitar (mono).smd ");
    EXPECT_EQ(lines[9], "is a valid file name ");
}

TEST_F(TvkTest, HintsOfTheCurveBoxesAreKeptButNotShown) {
    EXPECT_EQ(window.cbPickup->toolTip(), "Display under saddle pickup response");
    EXPECT_EQ(window.cbFilter->toolTip(), "Display filter response");
    window.pageCtrl->setCurrentWidget(window.TabSheet2);
    for (TICheckBox* box : {window.cbPickup, window.cbFilter}) {
        QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), box->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(box, &help);
        EXPECT_FALSE(QToolTip::isVisible());
    }
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), window.cbRefMic->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(window.cbRefMic, &help);
    EXPECT_EQ(QToolTip::text(), "Display mic response");
    QToolTip::hideText();
}

TEST_F(TvkTest, TabOrderFollowsTheLayout) {
    // Positions of the named controls along the focus chain must increase.
    const QWidget* order[] = {
        window.pageCtrl,      window.LearnRecording, window.dCompMic,      window.MicFName,
        window.LoadMic,       window.ScrollBox1,     window.dCompPickup,   window.EnablePickup,
        window.PickupFName,   window.LoadPickup,     window.ScrollBox2,    window.cbRefMic,
        window.cbPickup,      window.cbFilter,       window.cbUseMinPhase, window.betaTrackBar,
        window.alphaTrackBar, window.ScrollBox3,     window.cbSetAsLeft,   window.cbSetAsRight,
        window.eGain,         window.eHelm,          window.eFirstBody,    window.guitarName,
        window.BitBtn1,       window.Memo1,          window.fLow,          window.fHigh,
        window.splRange};
    std::vector<const QWidget*> chain;
    const QWidget* w = window.pageCtrl;
    do {
        chain.push_back(w);
        w = w->nextInFocusChain();
    } while (w != window.pageCtrl && chain.size() < 1000);
    int last = -1;
    for (const QWidget* named : order) {
        const int at = int(std::find(chain.begin(), chain.end(), named) - chain.begin());
        EXPECT_GT(at, last) << named->objectName().toStdString();
        last = at;
    }
}

TEST_F(TvkTest, FileDialogsCarryTheirExtensionsAndFilters) {
    EXPECT_EQ(window.OpenMicDialog.defaultExt, "wav");
    EXPECT_EQ(window.ExportDialog.kind, TFileDialog::save);
    EXPECT_EQ(window.SaveDialog.defaultExt, "smp");
    EXPECT_EQ(window.OpenPickupDialog.filter, "Pickup impulse resp. (*.wav)|*.wav|All files (*.*)|*.*");
    EXPECT_EQ(window.ExportDialog.qtFilter(), "Sonmira data file (*.smd);;All files (*)");
}

TEST_F(TvkTest, RangeRuleMovesTheEditedEnd) {
    a.fMax = 1000;
    window.fHigh->setValue();
    enter(window.fLow, "1500");
    EXPECT_DOUBLE_EQ(a.fMin, 900);
    EXPECT_EQ(window.fLow->text(), "900");
    a.fMin = 1000;
    a.fMax = 20000;
    window.fLow->setValue();
    enter(window.fHigh, "500");
    EXPECT_DOUBLE_EQ(a.fMax, 1100);
    EXPECT_EQ(window.fHigh->text(), "1100");
    a.fMin = 50;
    window.fLow->setValue();
    enter(window.fHigh, "100");
    EXPECT_DOUBLE_EQ(a.fMax, 150);
}

TEST_F(TvkTest, DisablingThePickupDiscardsItAndEnablingRereadsTheFile) {
    window.loadWaveFile(1, examplePath("pickup.wav"));
    const double loaded = a.irData[5].pickup;
    ASSERT_NE(loaded, 0.0);
    a.delayPickup = 30;
    window.dCompPickup->setValue();

    clickBox(window.EnablePickup);
    EXPECT_FALSE(a.enablePickup);
    EXPECT_TRUE(window.cbPickup->isChecked());
    const auto& shown = window.view->analysisCurves.curves;
    EXPECT_EQ(std::find(shown.begin(), shown.end(), &window.view->pickupCurve), shown.end());
    EXPECT_EQ(shown[0], &window.view->micCurve);
    EXPECT_EQ(a.delayPickup, 0);
    EXPECT_EQ(window.dCompPickup->text().trimmed(), "0");
    EXPECT_EQ(window.PickupFName->text(), "--");
    EXPECT_EQ(a.irData[0].pickup, 1.0);
    EXPECT_EQ(a.irData[5].pickup, 0.0);
    for (QWidget* w : std::initializer_list<QWidget*>{window.dCompPickup, window.LoadPickup, window.cbPickup,
                                                      window.cbUseMinPhase})
        EXPECT_FALSE(w->isEnabled());
    EXPECT_TRUE(window.EnablePickup->isEnabled());

    clickBox(window.EnablePickup);
    EXPECT_EQ(window.PickupFName->text(), "pickup.wav");
    EXPECT_EQ(a.irData[5].pickup, loaded);
    EXPECT_EQ(a.delayPickup, 0);
    EXPECT_TRUE(window.cbUseMinPhase->isEnabled());
}

TEST_F(TvkTest, FirstNotificationWithoutPickupFileShowsAnEmptyName) {
    enter(window.splRange, "40");
    EXPECT_EQ(window.PickupFName->text(), "");
    EXPECT_EQ(a.irData[0].pickup, 1.0); // the unit impulse stays
}

TEST_F(TvkTest, TrackBarsRecomputeButLeaveTheSummary) {
    window.loadWaveFile(0, examplePath("mic.wav"));
    window.loadWaveFile(1, examplePath("pickup.wav"));
    const QImage summary = static_cast<TRasterImage&>(window.ImageFreqDomain2->image()).image().copy();
    const auto before = a.filterDb;
    window.betaTrackBar->setValue(10);
    EXPECT_EQ(a.beta, 10);
    EXPECT_NE(a.filterDb, before);
    EXPECT_EQ(static_cast<TRasterImage&>(window.ImageFreqDomain2->image()).image(), summary);
}

TEST_F(TvkTest, LeftAndRightStoreTheCurrentFilter) {
    window.loadWaveFile(0, examplePath("mic.wav"));
    window.loadWaveFile(1, examplePath("pickup.wav"));
    QTest::mouseClick(window.cbSetAsLeft, Qt::LeftButton);
    EXPECT_EQ(a.channels[0].filterIr, a.filterIr);
    EXPECT_EQ(a.channels[1].filterIr[0], 0.0);
    window.alphaTrackBar->setValue(0);
    QTest::mouseClick(window.cbSetAsRight, Qt::LeftButton);
    EXPECT_EQ(a.channels[1].filterIr, a.filterIr);
    EXPECT_NE(a.channels[0].filterIr, a.channels[1].filterIr);
}

TEST_F(TvkTest, RejectedWaveFileIsReportedAndChangesNothing) {
    window.loadWaveFile(0, testDataPath("sox-22k-stereo.wav"));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].caption, "WAVE file format error");
    EXPECT_EQ(warnings[0].text, "\"" + testDataPath("sox-22k-stereo.wav") +
                                    "\": Only mono 16 bit linear PCM WAVE \nfiles are supported");
    EXPECT_EQ(window.MicFName->text(), "--");
    EXPECT_EQ(a.irData[0].mic, 1.0);
    EXPECT_EQ(a.fs, 44100);
}

TEST_F(TvkTest, LoadButtonRunsItsDialog) {
    QString title;
    answerNextModal(&title, examplePath("mic.wav"));
    QTest::mouseClick(window.LoadMic, Qt::LeftButton);
    EXPECT_EQ(window.MicFName->text(), "mic.wav");
    EXPECT_TRUE(
        std::any_of(a.irData.begin() + 1, a.irData.end(), [](const IrPair& p) { return p.mic != 0.0; }));
    EXPECT_FALSE(isBlank(window.ImageFreqDomain1));
}

TEST_F(TvkTest, ExportWritesTheChosenFile) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/01234 Test.smd";
    window.guitarName->setText("My guitar");
    QString title;
    answerNextModal(&title, path);
    QTest::mouseClick(window.BitBtn1, Qt::LeftButton);
    std::ifstream file(path.toStdString());
    std::string line;
    std::getline(file, line);
    EXPECT_EQ(line, "Sonmira analyser data\r");
    for (int i = 0; i < 4; ++i)
        std::getline(file, line);
    EXPECT_EQ(line, "My guitar\r");
}

TEST_F(TvkTest, MouseReadoutAndNoCursor) {
    window.pageCtrl->setCurrentWidget(window.TabSheet4);
    QTest::mouseMove(window.ImageFreqDomain2, QPoint(270, 150));
    EXPECT_FALSE(window.statusPanels[0]->text().isEmpty());
    EXPECT_NE(window.statusPanels[0]->text(), "---");
    QTest::mouseMove(window.ImageFreqDomain2, QPoint(2, 2));
    EXPECT_EQ(window.statusPanels[0]->text(), "---");
    QTest::mouseMove(window.BitBtn1, QPoint(5, 5)); // off the plot onto a control: the readout goes
    EXPECT_TRUE(window.statusPanels[0]->text().isEmpty());
    QTest::mouseMove(window.ImageFreqDomain2, QPoint(2, 2));
    EXPECT_EQ(window.statusPanels[0]->text(), "---");
    QTest::mouseMove(window.TabSheet4, QPoint(700, 300)); // the page's own background
    EXPECT_TRUE(window.statusPanels[0]->text().isEmpty());
    EXPECT_TRUE(window.statusPanels[1]->text().isEmpty());
}

TEST_F(TvkTest, EnterWithoutAChangeRunsEverythingAgain) {
    loadExamples();
    const auto pickup = a.irData;
    const auto filterDb = a.filterDb;
    a.irData[5].pickup = 0.5; // stale: the notification reads the pickup file again
    a.filterDb.fill(0.0);
    for (TImageWidget* w : {window.ImageTimeDomainL, window.ImageTimeDomainR, window.ImageFreqDomain1,
                            window.ImageTimeDomainI, window.ImageFreqDomain2})
        blank(w);
    enter(window.eGain, "0.0");
    EXPECT_TRUE(a.irData == pickup);
    EXPECT_EQ(a.filterDb, filterDb);
    for (TImageWidget* w : {window.ImageTimeDomainL, window.ImageTimeDomainR, window.ImageFreqDomain1,
                            window.ImageTimeDomainI, window.ImageFreqDomain2})
        EXPECT_FALSE(isBlank(w)) << w->objectName().toStdString();
}

TEST_F(TvkTest, BrokenPickupFileIsReportedOnceAndChangesNothing) {
    window.loadWaveFile(1, testDataPath("sox-32k-8bit.wav"));
    enter(window.splRange, "40");
    enter(window.eGain, "1.0");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].caption, "WAVE file format error");
    EXPECT_TRUE(warnings[0].text.contains("sox-32k-8bit.wav")) << warnings[0].text.toStdString();
    EXPECT_EQ(a.irData[0].pickup, 1.0);
    EXPECT_EQ(window.PickupFName->text(), "");
    clickBox(window.EnablePickup);
    enter(window.eGain, "2.0");
    EXPECT_EQ(warnings.size(), 1u);
}

TEST_F(TvkTest, ResonanceFieldsRedrawNothing) {
    loadExamples();
    a.filterDb[0] = 1234.0; // a run of the analysis would overwrite it
    for (TImageWidget* w : {window.ImageTimeDomainL, window.ImageFreqDomain1, window.ImageFreqDomain2})
        blank(w);
    window.pageCtrl->setCurrentWidget(window.TabSheet4);
    enter(window.eHelm, "150");
    enter(window.eFirstBody, "250");
    EXPECT_DOUBLE_EQ(a.fHelm, 150);
    EXPECT_DOUBLE_EQ(a.fFirstBody, 250);
    EXPECT_EQ(a.filterDb[0], 1234.0);
    for (TImageWidget* w : {window.ImageTimeDomainL, window.ImageFreqDomain1, window.ImageFreqDomain2})
        EXPECT_TRUE(isBlank(w)) << w->objectName().toStdString();
}

TEST_F(TvkTest, AllCurvesHiddenLeaveABlankPlotAndAFrequencyReadout) {
    loadExamples();
    window.pageCtrl->setCurrentWidget(window.TabSheet2);
    QTest::mouseMove(window.ImageFreqDomain1, QPoint(270, 180));
    EXPECT_TRUE(window.statusPanels[0]->text().contains("dB"));
    for (TICheckBox* box : {window.cbRefMic, window.cbPickup, window.cbFilter})
        clickBox(box);
    EXPECT_FALSE(window.view->analysisCurves.hasVisible());
    EXPECT_TRUE(isBlank(window.ImageFreqDomain1));
    QTest::mouseMove(window.ImageFreqDomain1, QPoint(271, 180));
    const QString readout = window.statusPanels[0]->text();
    EXPECT_TRUE(readout.endsWith("Hz")) << readout.toStdString();
    EXPECT_FALSE(readout.contains("dB"));
}

TEST_F(TvkTest, LegendJumpsToALeftClickAndFollowsADrag) {
    window.pageCtrl->setCurrentWidget(window.TabSheet4);
    TPlotXY& plot = window.view->summaryPlot;
    const QImage before = pixels(window.ImageFreqDomain2);
    QTest::mouseClick(window.ImageFreqDomain2, Qt::LeftButton, {}, QPoint(270, 178));
    EXPECT_DOUBLE_EQ(plot.legend.left, 270.0 / 540);
    EXPECT_DOUBLE_EQ(plot.legend.top, 178.0 / 356);
    EXPECT_NE(pixels(window.ImageFreqDomain2), before);

    // Grab the box right of its markers and drag it 40 pixels left and 20 up.
    const QPoint grab(int((plot.legend.left + 0.8 * (plot.legend.right - plot.legend.left)) * 540),
                      int((plot.legend.top + plot.legend.bottom) / 2 * 356));
    const double left = plot.legend.left;
    const double top = plot.legend.top;
    QTest::mousePress(window.ImageFreqDomain2, Qt::LeftButton, {}, grab);
    QMouseEvent drag(QEvent::MouseMove, QPointF(grab - QPoint(40, 20)),
                     QPointF(window.ImageFreqDomain2->mapToGlobal(grab - QPoint(40, 20))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.ImageFreqDomain2, &drag);
    QTest::mouseRelease(window.ImageFreqDomain2, Qt::LeftButton, {}, grab - QPoint(40, 20));
    EXPECT_NEAR(plot.legend.left, left - 40.0 / 540, 1.5 / 540);
    EXPECT_NEAR(plot.legend.top, top - 20.0 / 356, 1.5 / 356);
}

TEST_F(TvkTest, RightAndMiddleClicksAndForeignSendersChangeNothing) {
    window.pageCtrl->setCurrentWidget(window.TabSheet4);
    TPlotXY& plot = window.view->summaryPlot;
    const TRectD legend = plot.legend;
    const QImage before = pixels(window.ImageFreqDomain2);
    QTest::mouseClick(window.ImageFreqDomain2, Qt::RightButton, {}, QPoint(270, 178));
    QTest::mouseClick(window.ImageFreqDomain2, Qt::MiddleButton, {}, QPoint(270, 178));
    window.ImageFreqDomain2MouseDown(window.ImageFreqDomain1, TMouseButton::mbLeft, 0, 270, 178);
    EXPECT_EQ(plot.legend.left, legend.left);
    EXPECT_EQ(plot.legend.top, legend.top);
    EXPECT_EQ(pixels(window.ImageFreqDomain2), before);
}

TEST_F(TvkTest, ExportAfterLeftOnlyLeavesTheRightColumnZero) {
    loadExamples();
    QTest::mouseClick(window.cbSetAsLeft, Qt::LeftButton);
    window.alphaTrackBar->setValue(10); // the export writes the stored channels, not this filter
    QTemporaryDir dir;
    const QString path = dir.path() + "/01234 Left only.smd";
    ASSERT_TRUE(window.exportBodyData(path));
    const std::vector<std::string> lines = readLines(path);
    ASSERT_EQ(lines.size(), 8205u);
    char expected[64];
    std::snprintf(expected, sizeof expected, "  %1.3e   %1.3e", a.channels[0].filterIr[0], 0.0);
    EXPECT_EQ(lines[11], expected);
    bool leftNonZero = false;
    for (std::size_t i = 11; i < 8203; ++i) {
        EXPECT_EQ(lines[i].substr(lines[i].size() - 12), "   0.000e+00") << i;
        leftNonZero = leftNonZero || lines[i].substr(0, 12) != "  0.000e+00 ";
    }
    EXPECT_TRUE(leftNonZero);
    EXPECT_TRUE(warnings.empty());
}

TEST_F(TvkTest, FilesThatCannotBeWrittenAreReported) {
    const QString missingDir = QStringLiteral("/nonexistent-folder-of-the-test/01234 x");
    EXPECT_FALSE(window.exportBodyData(missingDir + ".smd"));
    EXPECT_FALSE(window.saveProject(missingDir + ".smp"));
    ASSERT_EQ(warnings.size(), 2u);
    for (const TWarning& w : warnings) {
        EXPECT_EQ(w.caption, "File error");
        EXPECT_TRUE(w.text.contains(missingDir)) << w.text.toStdString();
        EXPECT_TRUE(w.text.contains("No such file or directory")) << w.text.toStdString();
    }
}

TEST_F(TvkTest, ProjectCommandsSitInTheFreeTopRightOfTheFilesPage) {
    EXPECT_EQ(window.OpenProject->text(), "Open project...");
    EXPECT_EQ(window.SaveProject->text(), "Save project...");
    EXPECT_EQ(window.LearnRecording->text(), "Learn from recording...");
    for (QPushButton* b : {window.LearnRecording, window.OpenProject, window.SaveProject}) {
        EXPECT_EQ(b->parentWidget(), window.TabSheet1);
        EXPECT_TRUE(window.TabSheet1->rect().contains(b->geometry()));
        EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
        for (QWidget* other : window.TabSheet1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (other != b) {
                EXPECT_FALSE(b->geometry().intersects(other->geometry()))
                    << b->text().toStdString() << " over " << other->objectName().toStdString();
            }
    }
}

// The window's project file round trip, through the buttons, their dialogs and the shortcuts.
TEST_F(TvkTest, ProjectSavedAndOpenedAgainRestoresBothResponses) {
    window.loadWaveFile(0, examplePath("mic.wav"));
    window.loadWaveFile(1, testDataPath("sox-44k-3000.wav"));
    const auto saved = a.irData;
    a.release = {1, 2, 3, 4};
    QTemporaryDir dir;
    const QString path = dir.path() + "/project.smp";
    QString title;
    answerNextModal(&title, path);
    QTest::mouseClick(window.SaveProject, Qt::LeftButton);
    EXPECT_EQ(readLines(path).size(), 8200u);

    // Another pickup file and other release numbers, then the project again (Ctrl+O, on
    // another page): the saved responses come back to four digits and are analysed.
    window.loadWaveFile(1, examplePath("pickup.wav"));
    a.release = {0, 0, 1, 20040318};
    window.pageCtrl->setCurrentWidget(window.TabSheet2);
    for (TImageWidget* w : {window.ImageTimeDomainR, window.ImageFreqDomain1, window.ImageFreqDomain2})
        blank(w);
    activate(); // the offscreen platform does not give it back after the dialog
    answerNextModal(&title, path);
    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(window.OpenDialog.fileName, path);
    for (int i = 0; i < blockLength; ++i) {
        ASSERT_NEAR(a.irData[i].mic, saved[i].mic, 5e-4 * std::fabs(saved[i].mic)) << i;
        ASSERT_NEAR(a.irData[i].pickup, saved[i].pickup, 5e-4 * std::fabs(saved[i].pickup)) << i;
    }
    EXPECT_EQ(a.release, (std::array<std::int32_t, 4>{1, 2, 3, 4}));
    EXPECT_FALSE(isBlank(window.ImageTimeDomainR));
    EXPECT_FALSE(isBlank(window.ImageFreqDomain1));
    EXPECT_TRUE(isBlank(window.ImageFreqDomain2)); // the summary is not redrawn

    // Later changes keep the project's pickup response instead of reading pickup.wav again.
    const auto opened = a.irData;
    enter(window.eGain, "1.0");
    EXPECT_TRUE(a.irData == opened);
    EXPECT_TRUE(warnings.empty());

    // Ctrl+S saves again through its dialog.
    const QString again = dir.path() + "/again.smp";
    activate();
    answerNextModal(&title, again);
    QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(readLines(again), readLines(path));
}

TEST_F(TvkTest, RejectedProjectFileIsReportedAndChangesNothing) {
    loadExamples();
    const auto before = a.irData;
    const auto filterDb = a.filterDb;
    QTemporaryDir dir;
    const QString notProject = dir.path() + "/notes.smp";
    std::ofstream(notProject.toStdString()) << "Some other text\r\n data=\r\n 1 2\r\n";
    const QString missing = dir.path() + "/missing.smp";
    EXPECT_FALSE(window.openProject(notProject));
    EXPECT_FALSE(window.openProject(missing));
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0].caption, "Project file error");
    EXPECT_TRUE(warnings[0].text.contains(notProject) && warnings[0].text.contains("not a project file"));
    EXPECT_EQ(warnings[1].caption, "Project file error");
    EXPECT_TRUE(warnings[1].text.contains(missing) && warnings[1].text.contains("No such file"));
    EXPECT_TRUE(a.irData == before);
    EXPECT_EQ(a.filterDb, filterDb);
    EXPECT_EQ(window.OpenPickupDialog.fileName, examplePath("pickup.wav")); // re-reads go on
}

TEST_F(TvkTest, ArgumentOpensAProjectFile) {
    loadExamples();
    QTemporaryDir dir;
    const QString path = dir.path() + "/start.smp";
    ASSERT_TRUE(window.saveProject(path));
    const auto saved = a.irData;
    window.openArguments({});
    EXPECT_EQ(window.OpenDialog.fileName, "");
    a.setUnitImpulse(0);
    a.setUnitImpulse(1);

    testing::internal::CaptureStderr();
    window.openArguments({path, "extra"});
    EXPECT_NE(testing::internal::GetCapturedStderr().find("usage:"), std::string::npos);
    EXPECT_EQ(window.OpenDialog.fileName, path);
    EXPECT_NEAR(a.irData[100].mic, saved[100].mic, 5e-4 * std::fabs(saved[100].mic));
    EXPECT_TRUE(warnings.empty());

    window.openArguments({dir.path() + "/missing.smp"});
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].caption, "Project file error");
}

TEST_F(TvkTest, WaveArgumentLoadsTheMicResponse) {
    window.openArguments({examplePath("mic.wav")});
    EXPECT_EQ(window.OpenMicDialog.fileName, examplePath("mic.wav"));
    EXPECT_EQ(window.MicFName->text(), "mic.wav");
    EXPECT_NE(a.irData[0].mic, 1.0); // no longer the unit impulse of start-up
    EXPECT_EQ(a.irData[0].pickup, 1.0);
    EXPECT_TRUE(warnings.empty());
}

TEST_F(TvkTest, WaveFileDroppedOnAStripLoadsThatResponse) {
    EXPECT_TRUE(dropFile(&window, centreIn(&window, window.ScrollBox1), examplePath("mic.wav")));
    EXPECT_EQ(window.MicFName->text(), "mic.wav");
    EXPECT_EQ(window.OpenMicDialog.fileName, examplePath("mic.wav"));
    EXPECT_NE(a.irData[100].mic, 0.0);
    EXPECT_EQ(a.irData[100].pickup, 0.0);
    EXPECT_FALSE(isBlank(window.ImageFreqDomain1));

    EXPECT_TRUE(dropFile(&window, centreIn(&window, window.ScrollBox2), examplePath("pickup.wav")));
    EXPECT_EQ(window.PickupFName->text(), "pickup.wav");
    EXPECT_EQ(window.OpenPickupDialog.fileName, examplePath("pickup.wav"));
    EXPECT_NE(a.irData[100].pickup, 0.0);

    // Elsewhere on the page, on another page, or not a WAVE file: refused.
    const auto before = a.irData;
    EXPECT_FALSE(dropFile(&window, centreIn(&window, window.Label19), examplePath("mic.wav")));
    EXPECT_FALSE(dropFile(&window, centreIn(&window, window.ScrollBox1), examplePath("README.md")));
    EXPECT_FALSE(dropFile(&window, centreIn(&window, window.ScrollBox1), examplePath("none.wav")));
    window.pageCtrl->setCurrentWidget(window.TabSheet2);
    EXPECT_FALSE(dropFile(&window, centreIn(&window, window.ScrollBox3), examplePath("mic.wav")));
    EXPECT_TRUE(a.irData == before);
}

TEST_F(TvkTest, PickupStripRefusesWaveFilesWhileThePickupIsOff) {
    clickBox(window.EnablePickup);
    EXPECT_FALSE(dropFile(&window, centreIn(&window, window.ScrollBox2), examplePath("pickup.wav")));
    EXPECT_EQ(window.PickupFName->text(), "--");
    EXPECT_EQ(window.OpenPickupDialog.fileName, "");
    EXPECT_EQ(a.irData[0].pickup, 1.0);
}

TEST_F(TvkTest, ProjectFileDroppedAnywhereOpens) {
    loadExamples();
    QTemporaryDir dir;
    const QString path = dir.path() + "/dropped.SMP";
    ASSERT_TRUE(window.saveProject(path));
    const auto saved = a.irData;

    // On a text field, which takes dropped text itself: the file still opens, the text stays.
    a.setUnitImpulse(0);
    window.pageCtrl->setCurrentWidget(window.TabSheet4);
    EXPECT_TRUE(dropFile(window.guitarName, QPoint(20, 10), path));
    EXPECT_EQ(window.guitarName->text(), "Guitar");
    EXPECT_NEAR(a.irData[100].mic, saved[100].mic, 5e-4 * std::fabs(saved[100].mic));

    // On the display row below the pages.
    a.setUnitImpulse(0);
    EXPECT_TRUE(dropFile(&window, QPoint(400, 660), path));
    EXPECT_NEAR(a.irData[100].mic, saved[100].mic, 5e-4 * std::fabs(saved[100].mic));

    // A rejected project file is reported as from the dialog.
    const QString broken = dir.path() + "/broken.smp";
    std::ofstream(broken.toStdString()) << "not a project\r\n";
    EXPECT_TRUE(dropFile(&window, QPoint(400, 660), broken));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].caption, "Project file error");
}

} // namespace
