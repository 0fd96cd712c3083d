#include "app/Tvk.h"
#include "controls/Editnum.h"
#include "controls/GuiApp.h"
#include "controls/Icheckbox.h"
#include "dsp/Analyzer.h"
#include "plot/AnalyzerView.h"
#include "plot_qt/ImageWidget.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

QString examplePath(const char* name) {
    const char* dir = std::getenv("EXAMPLES_DIR");
    return QFileInfo(QString::fromLocal8Bit(dir ? dir : "examples") + "/" + name).absoluteFilePath();
}

QString testDataPath(const char* name) {
    const char* dir = std::getenv("TEST_DATA_DIR");
    return QString::fromLocal8Bit(dir ? dir : "tests/data") + "/" + name;
}

// True when every pixel of the image has the same colour (nothing drawn on a blank image).
bool isBlank(TImageWidget* w) {
    const QImage& img = static_cast<TRasterImage&>(w->image()).image();
    const QRgb first = img.pixel(0, 0);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != first)
                return false;
    return true;
}

// Answers the next modal box or dialog from inside its event loop: returns its window title.
// A file dialog is given `file` and accepted; any other modal box is closed.
void answerNextModal(QString* title, const QString& file = {}) {
    QTimer::singleShot(0, [=] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            answerNextModal(title, file);
            return;
        }
        *title = modal->windowTitle();
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            dialog->selectFile(file);
            static_cast<QDialog*>(dialog)->accept();
        } else {
            modal->close();
        }
    });
}

class TvkTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.show();
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    // Types text into a field and presses Enter.
    void enter(TEditNum* field, const char* text) {
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }
    void clickBox(TICheckBox* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, 8)); }

    TTvkMain window;
    TAnalyzer& a = *window.analyzer;
};

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
        window.pageCtrl,     window.dCompMic,      window.ScrollBox1,   window.ScrollBox2,
        window.LoadMic,      window.LoadPickup,    window.MicFName,     window.PickupFName,
        window.EnablePickup, window.dCompPickup,   window.cbRefMic,     window.cbPickup,
        window.cbFilter,     window.cbUseMinPhase, window.betaTrackBar, window.alphaTrackBar,
        window.ScrollBox3,   window.cbSetAsLeft,   window.cbSetAsRight, window.eGain,
        window.eHelm,        window.eFirstBody,    window.guitarName,   window.BitBtn1,
        window.Memo1,        window.fLow,          window.fHigh,        window.splRange};
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

TEST_F(TvkTest, RejectedWaveFileIsReportedAndLeavesItsChannelZero) {
    QString title;
    answerNextModal(&title);
    window.loadWaveFile(0, testDataPath("sox-22k-stereo.wav"));
    EXPECT_EQ(title, "WAVE file format error");
    EXPECT_EQ(window.MicFName->text(), "sox-22k-stereo.wav");
    EXPECT_EQ(a.irData[0].mic, 0.0);
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
    QTest::mouseMove(window.BitBtn1, QPoint(5, 5)); // onto a control: the readout stays
    EXPECT_EQ(window.statusPanels[0]->text(), "---");
    QTest::mouseMove(window.TabSheet4, QPoint(700, 300)); // the page's own background
    EXPECT_TRUE(window.statusPanels[0]->text().isEmpty());
    EXPECT_TRUE(window.statusPanels[1]->text().isEmpty());
}

} // namespace
