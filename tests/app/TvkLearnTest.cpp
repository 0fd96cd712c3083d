// The learning dialog driven in the window: choosing a take, learning on the worker thread,
// Cancel, errors, "Use", and takes dropped on the window.
#include "app/LearnDialog.h"
#include "app/ListenGroup.h"
#include "app/TvkFixture.h"
#include "io/TakeLearning.h"
#include "plot/RecordingCanvas.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QScrollBar>

#include <sndfile.h>

#include <memory>
#include <random>

namespace {

// Writes `seconds` of a player's stand-in as a float WAVE file: white noise through a short known
// pickup filter on channel 1 and through a longer mic filter on channel 2 (further channels
// silent, but for a copy of the mic on the last). One channel writes the pickup only, or the mic
// only with micAlone: the two tracks of one session.
void writeTake(const QString& path, double seconds, int channels = 2, int rate = 44100, bool micAlone = false,
               double micGain = 1, int skipFrames = 0) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    const double pickupTaps[] = {0.5, 0.3, -0.1};
    const double micTaps[] = {0.0, 0.0, 0.4, -0.2, 0.15, 0.1, -0.05};
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 0.15);
    double history[7] = {};
    const auto frames = static_cast<sf_count_t>(seconds * rate);
    std::vector<float> block;
    for (sf_count_t n = 0; n < frames; ++n) {
        for (int i = 6; i > 0; --i)
            history[i] = history[i - 1];
        history[0] = noise(random);
        double pickup = 0;
        double mic = 0;
        for (int i = 0; i < 3; ++i)
            pickup += pickupTaps[i] * history[i];
        for (int i = 0; i < 7; ++i)
            mic += micGain * micTaps[i] * history[i];
        if (n < skipFrames) // a track exported from a later start
            continue;
        const std::size_t at = block.size();
        block.resize(at + channels);
        block[at] = static_cast<float>(micAlone ? mic : pickup);
        if (channels > 1)
            block[at + channels - 1] = block[at + 1] = static_cast<float>(mic);
        if (block.size() >= 65536u * channels || n + 1 == frames) {
            ASSERT_EQ(sf_writef_float(file, block.data(), sf_count_t(block.size()) / channels),
                      sf_count_t(block.size()) / channels);
            block.clear();
        }
    }
    sf_close(file);
}

class TvkLearnTest : public TvkTest {
protected:
    // Lets the window run until the "Listen" group has rendered what it was offered.
    bool listenIdle() {
        for (int i = 0; i < 6000 && window.Listen->busy(); ++i)
            QTest::qWait(10);
        return !window.Listen->busy();
    }
    void SetUp() override {
        TvkTest::SetUp();
        ASSERT_TRUE(dir.isValid());
        take = dir.path() + "/take.wav";
        writeTake(take, 8);
    }

    // Opens the dialog with its button and chooses `path` through its Browse button and dialog.
    TLearnDialog& openWithTake(const QString& path) {
        QTest::mouseClick(window.LearnRecording, Qt::LeftButton);
        TLearnDialog* d = window.learnDialog;
        EXPECT_TRUE(d != nullptr && d->isVisible());
        QString title;
        answerNextModal(&title, path);
        QTest::mouseClick(d->browseTake, Qt::LeftButton);
        return *d;
    }

    // Presses "Learn" and waits for the worker to end.
    static void learn(TLearnDialog& d) {
        QTest::mouseClick(d.learnButton, Qt::LeftButton);
        EXPECT_TRUE(d.learning());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !d.learning(); }, 30000));
    }

    // The window's responses, rate, names and analysis, to check that nothing changed.
    struct TState {
        std::array<IrPair, blockLength> irData;
        std::int32_t fs;
        std::array<double, plotPoints> filterDb;
        QString micName, pickupName, pickupFile;
        bool operator==(const TState&) const = default;
    };
    TState state() const {
        return {a.irData,
                a.fs,
                a.filterDb,
                window.MicFName->text(),
                window.PickupFName->text(),
                window.OpenPickupDialog.fileName};
    }

    QTemporaryDir dir;
    QString take;
};

TEST_F(TvkLearnTest, UsePutsTheLearnedPairInPlaceAsTheBatchToolDoes) {
    loadExamples();
    window.pageCtrl->setCurrentWidget(window.TabSheet1);
    enter(window.dCompMic, "12");
    clickBox(window.EnablePickup); // off: the learned pair brings it back
    ASSERT_FALSE(a.enablePickup);
    const TState before = state();

    TLearnDialog& d = openWithTake(take);
    EXPECT_EQ(d.takeName->text(), "take.wav");
    ASSERT_EQ(d.pickupChannel->count(), 2);
    EXPECT_EQ(d.pickupChannel->currentIndex(), 0);
    EXPECT_EQ(d.micChannel->currentIndex(), 1);
    EXPECT_FALSE(d.useButton->isEnabled());

    learn(d);
    ASSERT_NE(d.learned(), nullptr);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(d.progress->value(), 1000);
    EXPECT_TRUE(d.report->toPlainText().contains("take.wav"));
    EXPECT_FALSE(isBlank(d.coherenceImage));
    EXPECT_TRUE(d.useButton->isEnabled() && d.useButton->isDefault());
    EXPECT_TRUE(state() == before); // nothing in the window before "Use"

    QTest::mouseClick(d.useButton, Qt::LeftButton);
    EXPECT_FALSE(d.isVisible());

    // What the batch tool puts in place for the same take.
    TTakeSource source;
    source.take = localPath(take);
    TLearnedTake expected;
    ASSERT_TRUE(learnTake(source, expected).ok);
    auto batch = std::make_unique<TAnalyzer>();
    applyLearnedTake(expected, *batch);
    EXPECT_TRUE(a.irData == batch->irData);
    EXPECT_EQ(a.fs, 44100);
    EXPECT_EQ(window.dCompMic->text().trimmed(), "0");
    EXPECT_TRUE(a.enablePickup && window.EnablePickup->isChecked());
    EXPECT_TRUE(window.LoadPickup->isEnabled() && window.dCompPickup->isEnabled());
    EXPECT_EQ(window.MicFName->text(), "take.wav (learned)");
    EXPECT_EQ(window.PickupFName->text(), "take.wav (learned)");
    EXPECT_TRUE(window.OpenPickupDialog.fileName.isEmpty());
    EXPECT_NE(a.filterDb, before.filterDb); // analysed again
    // The take's pickup channel waits in the "Listen" group.
    ASSERT_TRUE(listenIdle());
    EXPECT_EQ(window.Listen->recordingPath(), take);
    EXPECT_EQ(window.Listen->recordingChannel(), 1);

    // A later change does not bring the old pickup file back over the learned pair.
    enter(window.dCompPickup, "0");
    EXPECT_TRUE(a.irData == batch->irData);
    EXPECT_TRUE(warnings.empty());
}

// A learned response is kept at its true level, far below the strips' full scale: it is drawn to
// its own peak and the strip says so.
TEST_F(TvkLearnTest, LearnedResponseIsDrawnToItsOwnPeak) {
    writeTake(take, 8, 2, 44100, false, 0.02);
    TLearnDialog& d = openWithTake(take);
    learn(d);
    QTest::mouseClick(d.useButton, Qt::LeftButton);
    TRecordingImage strips[2] = {{8192, 217}, {8192, 217}};
    window.view->drawImpulseStrips(strips[0], strips[1]);
    double peak = 0;
    for (const IrPair& p : a.irData)
        peak = std::max(peak, std::fabs(p.mic));
    const std::string factor = std::to_string(std::lround(1 / peak));
    EXPECT_EQ(strips[0].recorder.texts(), std::vector<std::string>{"learned; shown \xD7" + factor});
    EXPECT_TRUE(strips[1].recorder.texts().empty()); // the unit impulse needs no scaling
    ASSERT_TRUE(listenIdle());
}

TEST_F(TvkLearnTest, TwoTracksLearnAndAreNamedByTheMicTrack) {
    const QString pickup = dir.path() + "/pickup-track.wav";
    const QString mic = dir.path() + "/mic-track.wav";
    writeTake(pickup, 8, 1);
    writeTake(mic, 8, 1, 44100, true);
    window.openLearnDialog();
    TLearnDialog& d = *window.learnDialog;
    QString title;
    QTest::mouseClick(d.twoTracks, Qt::LeftButton, {}, QPoint(6, d.twoTracks->height() / 2));
    EXPECT_FALSE(d.browseTake->isEnabled());
    answerNextModal(&title, pickup);
    QTest::mouseClick(d.browsePickupTrack, Qt::LeftButton);
    EXPECT_FALSE(d.learnButton->isEnabled()); // the mic track is still missing
    answerNextModal(&title, mic);
    QTest::mouseClick(d.browseMicTrack, Qt::LeftButton);
    EXPECT_EQ(d.micTrackName->text(), "mic-track.wav");
    learn(d);
    ASSERT_NE(d.learned(), nullptr);
    EXPECT_TRUE(d.learned()->source.twoTracks());
    QTest::mouseClick(d.useButton, Qt::LeftButton);
    EXPECT_EQ(window.MicFName->text(), "mic-track.wav (learned)");
    EXPECT_EQ(window.PickupFName->text(), "pickup-track.wav (learned)");
    ASSERT_TRUE(listenIdle());
    EXPECT_EQ(window.Listen->recordingPath(), pickup);
    EXPECT_EQ(window.Listen->recordingChannel(), 1);
    EXPECT_TRUE(warnings.empty());
}

TEST_F(TvkLearnTest, CancelStopsLearningAndChangesNothing) {
    loadExamples();
    const QString longTake = dir.path() + "/long.wav";
    writeTake(longTake, 60);
    const TState before = state();
    TLearnDialog& d = openWithTake(longTake);

    QTest::mouseClick(d.learnButton, Qt::LeftButton);
    ASSERT_TRUE(d.learning());
    EXPECT_FALSE(d.learnButton->isEnabled() || d.browseTake->isEnabled() || d.useButton->isEnabled());
    QTest::mouseClick(d.cancelButton, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !d.learning(); }, 30000));
    EXPECT_TRUE(d.isVisible()); // the first Cancel stops the learning only
    EXPECT_EQ(d.learned(), nullptr);
    EXPECT_FALSE(d.useButton->isEnabled());
    EXPECT_TRUE(d.learnButton->isEnabled());
    EXPECT_TRUE(warnings.empty());

    QTest::mouseClick(d.cancelButton, Qt::LeftButton);
    EXPECT_FALSE(d.isVisible());
    EXPECT_TRUE(state() == before);

    // Cancel on a result leaves it unused, and it is not offered again.
    window.openLearnDialog(take);
    learn(d);
    ASSERT_NE(d.learned(), nullptr);
    QTest::keyClick(&d, Qt::Key_Escape);
    EXPECT_FALSE(d.isVisible());
    EXPECT_TRUE(state() == before);
    window.openLearnDialog();
    EXPECT_EQ(d.learned(), nullptr);
    EXPECT_FALSE(d.useButton->isEnabled());
    d.reject();

    // A dialog destroyed while it learns stops and waits for its worker.
    auto* early = new TLearnDialog(a.plotFreq.data(), &window);
    early->showWarning = window.showWarning;
    ASSERT_TRUE(early->setTake(longTake));
    early->learn();
    EXPECT_TRUE(early->learning());
    delete early;
    EXPECT_TRUE(state() == before);
    EXPECT_TRUE(warnings.empty());
}

// A typed path is taken or refused at Enter, which never learns the file chosen before.
TEST_F(TvkLearnTest, TypedPathIsTakenOrRefusedAtOnce) {
    TLearnDialog& d = openWithTake(take);
    writeTake(dir.path() + "/other.wav", 6, 3);
    const auto type = [&](const QString& text) {
        d.takeName->setFocus();
        d.takeName->selectAll();
        QTest::keyClicks(d.takeName, text);
        EXPECT_FALSE(d.learnButton->isEnabled());
        QTest::keyClick(d.takeName, Qt::Key_Return);
    };
    type("other.wav"); // in the folder of the file chosen before
    EXPECT_EQ(d.micChannel->count(), 3);
    EXPECT_TRUE(d.learnButton->isEnabled());
    type(dir.path() + "/missing.wav");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(d.takeName->text(), "other.wav");
    EXPECT_FALSE(d.learning());
}

// The verdict comes first and the warnings in red before the figures, all of it visible without
// scrolling at the dialog's own size; every Tab stop of the dialog shows the focus.
TEST_F(TvkLearnTest, ReportPutsVerdictAndWarningsFirstAndFitsTheDialogAndFocusShows) {
    const QString tracks[2] = {dir.path() + "/pickup-track.wav", dir.path() + "/mic-track.wav"};
    writeTake(tracks[0], 8, 1, 44100, false, 1, 2205);
    writeTake(tracks[1], 8, 1, 44100, true, 0.01); // a quiet mic: a warning
    window.openLearnDialog();
    TLearnDialog& d = *window.learnDialog;
    ASSERT_TRUE(d.setTrack(0, tracks[0]) && d.setTrack(1, tracks[1]));
    learn(d);
    ASSERT_NE(d.learned(), nullptr);
    const TTakeReport parts = learnReportParts(*d.learned());
    ASSERT_FALSE(parts.warnings.empty());
    EXPECT_TRUE(d.report->toPlainText().startsWith(QString::fromLocal8Bit(parts.verdict + parts.warnings)));
    EXPECT_TRUE(d.report->document()->toHtml().contains("#c00000"));
    EXPECT_EQ(d.report->verticalScrollBar()->maximum(), 0) << d.report->toPlainText().toStdString();

    // Every Tab stop shows that it has the focus.
    QApplication::setActiveWindow(&d);
    QWidget* const start = d.focusWidget();
    QWidget* w = start;
    for (int stop = 0; stop < 20 && w != nullptr && (stop == 0 || w != start); ++stop) {
        const QImage focused = w->grab().toImage();
        d.setFocus(); // away from it, to the dialog itself
        EXPECT_NE(w->grab().toImage(), focused) << w->metaObject()->className() << " shows no focus";
        w->setFocus(Qt::TabFocusReason);
        QTest::keyClick(w, Qt::Key_Tab);
        w = d.focusWidget();
    }
    EXPECT_EQ(w, start); // came back round
}

TEST_F(TvkLearnTest, ErrorsNameTheFileAndChangeNothing) {
    loadExamples();
    const TState before = state();
    const QString mono = dir.path() + "/mono.wav";
    writeTake(mono, 8, 1);

    // A file with one channel cannot be a take: it is refused when chosen, so Learn cannot run.
    TLearnDialog& d = openWithTake(mono);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].caption, "Learning error");
    EXPECT_TRUE(warnings[0].text.contains("mono.wav"));
    EXPECT_TRUE(warnings[0].text.contains("one channel"));
    EXPECT_EQ(d.pickupChannel->count(), 0);
    EXPECT_FALSE(d.learnButton->isEnabled());

    // The take lost its third channel after it was chosen: the mic's is beyond the file's.
    writeTake(take, 8, 3);
    ASSERT_TRUE(d.setTake(take));
    ASSERT_EQ(d.micChannel->count(), 3);
    d.micChannel->setCurrentIndex(2);
    writeTake(take, 8, 2);
    learn(d);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_TRUE(warnings[1].text.contains("take.wav"));
    EXPECT_TRUE(warnings[1].text.contains("3")) << warnings[1].text.toStdString();
    EXPECT_EQ(d.learned(), nullptr);

    // A file that is not audio is refused when chosen; the earlier choice stays.
    EXPECT_FALSE(d.setTake(examplePath("README.md")));
    ASSERT_EQ(warnings.size(), 3u);
    EXPECT_TRUE(warnings[2].text.contains("README.md"));
    EXPECT_EQ(d.takeName->text(), "take.wav");

    // Two tracks at different rates.
    const QString other = dir.path() + "/mic-48k.wav";
    writeTake(other, 8, 1, 48000);
    EXPECT_TRUE(d.setTrack(0, mono));
    EXPECT_TRUE(d.setTrack(1, other));
    EXPECT_TRUE(d.twoTracks->isChecked());
    learn(d);
    ASSERT_EQ(warnings.size(), 4u);
    EXPECT_EQ(d.learned(), nullptr);

    d.reject();
    EXPECT_TRUE(state() == before);
}

TEST_F(TvkLearnTest, ASwappedTakeIsRefusedAndSwapChannelsLearnsItAgainShowingTheReliableRange) {
    // The mic, 1 ms behind the pickup, on the first channel.
    const QString swapped = dir.path() + "/swapped.wav";
    {
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* file = sf_open(swapped.toLocal8Bit().constData(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr);
        std::mt19937 random(3);
        std::normal_distribution<float> noise(0.0f, 0.15f);
        std::vector<float> pickup(8 * 44100), frames;
        for (std::size_t n = 0; n < pickup.size(); ++n) {
            pickup[n] = noise(random);
            frames.insert(frames.end(), {n >= 44 ? 0.5f * pickup[n - 44] : 0.0f, pickup[n]});
        }
        sf_writef_float(file, frames.data(), static_cast<sf_count_t>(pickup.size()));
        sf_close(file);
    }
    TLearnDialog& d = openWithTake(swapped);
    d.normalPolarity->setChecked(true);
    learn(d);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_TRUE(warnings[0].text.contains("the channels look swapped")) << warnings[0].text.toStdString();
    EXPECT_TRUE(d.swapButton->isVisible());
    d.swapButton->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !d.learning(); }, 30000));
    EXPECT_FALSE(d.swapButton->isVisible());
    EXPECT_EQ(d.pickupChannel->currentIndex(), 1);
    EXPECT_EQ(d.micChannel->currentIndex(), 0);
    ASSERT_NE(d.learned(), nullptr);
    EXPECT_EQ(d.learned()->source.pickupChannel, 2);
    EXPECT_TRUE(d.learned()->source.normalPolarity);
    EXPECT_GT(*std::max_element(d.coherenceView().reliable.begin(), d.coherenceView().reliable.end()), 0);
    d.reject();
}

TEST_F(TvkLearnTest, TakeDroppedAnywhereOpensTheDialogAndMonoWaveFilesLoadAsBefore) {
    // On the mic strip a stereo file is a take, not a mic response.
    EXPECT_TRUE(dropFile(&window, centreIn(&window, window.ScrollBox1), take));
    ASSERT_NE(window.learnDialog, nullptr);
    EXPECT_TRUE(window.learnDialog->isVisible());
    EXPECT_EQ(window.learnDialog->takeName->text(), "take.wav");
    EXPECT_EQ(window.MicFName->text(), "--");
    window.learnDialog->reject();

    window.pageCtrl->setCurrentWidget(window.TabSheet4);
    window.learnDialog->takeName->clear();
    EXPECT_TRUE(dropFile(&window, centreIn(&window, window.Memo1), take));
    EXPECT_EQ(window.learnDialog->takeName->text(), "take.wav");
    window.learnDialog->reject();

    window.pageCtrl->setCurrentWidget(window.TabSheet1);
    EXPECT_TRUE(dropFile(&window, centreIn(&window, window.ScrollBox1), examplePath("mic.wav")));
    EXPECT_EQ(window.MicFName->text(), "mic.wav");
    EXPECT_FALSE(window.learnDialog->isVisible());
    EXPECT_TRUE(warnings.empty());
}

} // namespace
