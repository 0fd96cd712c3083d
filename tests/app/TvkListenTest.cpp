// The "Listen" group: rendering off the window's thread, the saved WAVE file, re-rendering on
// Left and Right at the same position, refused recordings, Cancel, and Play without an output.
#include "app/ListenGroup.h"
#include "app/TvkFixture.h"
#include "audio/PlaybackFile.h"
#include "io/Renderer.h"
#include "io/WaveBytes.h"

#include <QButtonGroup>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSpinBox>
#include <sndfile.h>

namespace {

// A mono or stereo 16-bit WAVE of `seconds` of a tone (channel 2, if any, an octave up).
QString writeTake(const QTemporaryDir& dir, const char* name, double seconds, int channels = 1,
                  int rate = 44100) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
    const auto frames = static_cast<sf_count_t>(seconds * info.samplerate);
    std::vector<float> block(static_cast<size_t>(frames * channels));
    for (sf_count_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            block[static_cast<size_t>(i * channels + c)] =
                0.3f * std::sin(0.05f * (c + 1) * static_cast<float>(i));
    sf_writef_float(f, block.data(), frames);
    sf_close(f);
    return path;
}

std::string fileBytes(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TvkListenTest : public TvkTest {
protected:
    TListenGroup& listen = *window.Listen;
    QTemporaryDir dir;

    // Lets the window run until the group's renderings are done; false after 60 s.
    bool waitIdle() {
        for (int i = 0; i < 6000 && listen.busy(); ++i)
            QTest::qWait(10);
        QTest::qWait(50);
        return !listen.busy();
    }
    void storeBoth() {
        QTest::mouseClick(window.cbSetAsLeft, Qt::LeftButton);
        QTest::mouseClick(window.cbSetAsRight, Qt::LeftButton);
    }
};

} // namespace

TEST_F(TvkListenTest, GroupSitsInTheFreeCornerOfTheSummaryPage) {
    EXPECT_EQ(listen.parentWidget(), window.TabSheet4);
    EXPECT_EQ(listen.title(), "Listen");
    EXPECT_EQ(listen.OpenRecording->text(), "Open recording...");
    EXPECT_EQ(listen.SaveWave->text(), "Save as WAVE...");
    EXPECT_EQ(listen.ABCorrected->text(), "Corrected");
    EXPECT_EQ(listen.ABPickup->text(), "Pickup");
    EXPECT_TRUE(listen.LevelNote->text().contains("Level-matched"));
    window.pageCtrl->setCurrentWidget(window.TabSheet4);
    QCoreApplication::processEvents();
    const QRect page = window.TabSheet4->rect();
    EXPECT_TRUE(page.contains(listen.geometry()))
        << "the group reaches past the page, " << page.height() << " high";
    for (QWidget* other : {static_cast<QWidget*>(window.guitarName), static_cast<QWidget*>(window.Memo1),
                           static_cast<QWidget*>(window.Panel2)})
        EXPECT_FALSE(listen.geometry().intersects(other->geometry())) << other->objectName().toStdString();
    for (QWidget* child : listen.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        EXPECT_TRUE(listen.rect().contains(child->geometry())) << child->metaObject()->className();
    // Nothing loaded: nothing to play or save.
    EXPECT_FALSE(listen.PlayStop->isEnabled());
    EXPECT_FALSE(listen.SaveWave->isEnabled());
}

TEST_F(TvkListenTest, SavedWaveEqualsTheRendererOutputAndReportsTheUnsetChannel) {
    loadExamples();
    QTest::mouseClick(window.cbSetAsLeft, Qt::LeftButton); // Right stays unset
    const QString take = writeTake(dir, "take.wav", 1.5);
    window.offerRecording(take, 1);
    EXPECT_TRUE(listen.busy()); // the window goes on while it renders
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(warnings.empty()) << warnings.front().text.toStdString();
    EXPECT_EQ(listen.recordingPath(), take);
    EXPECT_EQ(listen.RecordingFName->text(), take);
    EXPECT_TRUE(listen.RenderReport->text().contains("dBFS"));
    EXPECT_TRUE(listen.RenderReport->text().contains("Right was never set"))
        << listen.RenderReport->text().toStdString();
    ASSERT_TRUE(listen.player().take());
    EXPECT_EQ(listen.player().take()->frames(), 66150);
    EXPECT_EQ(listen.RenderProgress->value(), 1000);

    const QString saved = dir.filePath("saved.wav");
    QString title;
    answerNextModal(&title, saved);
    window.pageCtrl->setCurrentWidget(window.TabSheet4);
    listen.SaveWave->setFocus();
    QTest::mouseClick(listen.SaveWave, Qt::LeftButton);
    EXPECT_EQ(title, "Save As");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(window.focusWidget(), listen.SaveWave); // not the display range
    const QString direct = dir.filePath("direct.wav");
    ASSERT_TRUE(renderToWave(TRenderFilters::fromAnalyzer(a), localPath(take), localPath(direct)).file.ok);
    const std::string bytes = fileBytes(saved);
    EXPECT_EQ(bytes.size(), floatWaveHeader(44100, 66150).size() + 66150 * 8u); // float stereo frames
    EXPECT_TRUE(bytes == fileBytes(direct));
    EXPECT_TRUE(listen.RenderReport->text().contains("Saved")) << listen.RenderReport->text().toStdString();
}

TEST_F(TvkListenTest, LeftAndRightRenderAgainAtTheSamePosition) {
    loadExamples();
    window.offerRecording(writeTake(dir, "take.wav", 2.0), 1);
    ASSERT_TRUE(waitIdle());
    const auto first = listen.player().take();
    ASSERT_TRUE(first);
    listen.player().seek(44100);
    listen.ABPickup->click();
    EXPECT_EQ(listen.player().selected(), TABSource::pickup);
    storeBoth();
    ASSERT_TRUE(waitIdle());
    EXPECT_NE(listen.player().take(), first);
    EXPECT_EQ(listen.player().position(), 44100);
    EXPECT_EQ(listen.player().selected(), TABSource::pickup);
    EXPECT_FALSE(listen.RenderReport->text().contains("never set"));
}

TEST_F(TvkListenTest, LeftAndRightWhileANewRecordingRendersRenderThatOneWithTheNewFilters) {
    loadExamples();
    for (const bool earlierLoaded : {false, true}) {
        if (earlierLoaded) {
            window.offerRecording(writeTake(dir, "a.wav", 0.5), 1);
            ASSERT_TRUE(waitIdle());
        }
        const QString b = writeTake(dir, "b.wav", 30.0); // long enough to be in flight
        window.offerRecording(b, 1);
        storeBoth(); // while b renders with nothing stored
        ASSERT_TRUE(waitIdle());
        EXPECT_EQ(listen.recordingPath(), b) << earlierLoaded;
        EXPECT_FALSE(listen.RenderReport->text().contains("never set")) << earlierLoaded;
        for (ChannelResult& c : a.channels)
            c.filterIr = {}; // nothing stored again
    }
}

TEST_F(TvkListenTest, ARecordingAtAnotherRateThanTheFiltersIsNamedWithBothRates) {
    loadExamples();
    storeBoth();
    window.offerRecording(writeTake(dir, "take48k.wav", 0.5, 1, 48000), 1);
    ASSERT_TRUE(waitIdle());
    const QString report = listen.RenderReport->text();
    EXPECT_TRUE(report.contains("\"take48k.wav\" is at 48000 Hz but the filters were made at 44100 Hz"))
        << report.toStdString();
    EXPECT_EQ(listen.RenderReport->palette().color(QPalette::WindowText), QColor(Qt::red));
}

TEST_F(TvkListenTest, RefusedRecordingKeepsWhatWasLoaded) {
    const QString take = writeTake(dir, "take.wav", 0.5);
    window.offerRecording(take, 1);
    ASSERT_TRUE(waitIdle());
    const QString text = dir.filePath("notes.wav");
    std::ofstream(text.toStdString()) << "not a recording\n";
    window.offerRecording(text, 1);
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].caption, "File error");
    EXPECT_TRUE(warnings[0].text.contains(text)) << warnings[0].text.toStdString();
    window.offerRecording(take, 3); // a mono take has no channel 3
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_TRUE(warnings[1].text.contains("no channel 3")) << warnings[1].text.toStdString();
    EXPECT_EQ(listen.recordingPath(), take);
    EXPECT_EQ(listen.RecordingFName->text(), take);
    EXPECT_EQ(listen.recordingChannel(), 1);
}

TEST_F(TvkListenTest, OddRecordingsAreRefusedWhenOpenedInTheProgramsOwnWords) {
    const QString take = writeTake(dir, "take.wav", 0.5);
    window.offerRecording(take, 1);
    ASSERT_TRUE(waitIdle());
    const struct {
        const char* name;
        std::string bytes;
        const char* verb;
        const char* reason;
    } cases[] = {
        {"empty.wav", riff(chunk("fmt ", fmtBody()) + chunk("data", "")), "read", "it holds no audio"},
        {"2GHz.wav", riff(chunk("fmt ", fmtBody(2000000000)) + chunk("data", pcm({1, 2}))), "play",
         "its rate, 2000000000 Hz, is outside what the audio output plays"},
        {"rate0.wav", riff(chunk("fmt ", fmtBody(0)) + chunk("data", pcm({1, 2}))), "read",
         "its header gives no sample rate or no channel count"},
    };
    for (const auto& c : cases) {
        warnings.clear();
        const QString odd = dir.filePath(QString::fromLatin1(c.name));
        std::ofstream(odd.toStdString(), std::ios::binary) << c.bytes;
        window.offerRecording(odd, 1);
        ASSERT_TRUE(waitIdle());
        ASSERT_EQ(warnings.size(), 1u) << c.name;
        EXPECT_TRUE(
            warnings[0].text.startsWith(QStringLiteral("Cannot %1 \"%2\": %3").arg(c.verb, odd, c.reason)))
            << warnings[0].text.toStdString();
        EXPECT_EQ(listen.recordingPath(), take);
    }
}

TEST_F(TvkListenTest, UnwritableWaveIsReportedAndLeavesNoFile) {
    window.offerRecording(writeTake(dir, "take.wav", 0.5), 1);
    ASSERT_TRUE(waitIdle());
    const QString path = dir.filePath("missing/saved.wav");
    listen.saveWave(path);
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].caption, "File error");
    EXPECT_TRUE(warnings[0].text.contains(path)) << warnings[0].text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_TRUE(listen.SaveWave->isEnabled());
}

TEST_F(TvkListenTest, ChannelOfAStereoTakeIsOfferedAndChosen) {
    const QString take = writeTake(dir, "stereo.wav", 0.5, 2);
    window.offerRecording(take, 2);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(listen.recordingChannel(), 2);
    EXPECT_EQ(listen.RecordingChannel->value(), 2);
    EXPECT_EQ(listen.RecordingChannel->maximum(), 2);
    EXPECT_TRUE(listen.RecordingChannel->isEnabled());
    listen.RecordingChannel->setValue(1);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(listen.recordingChannel(), 1);
}

TEST_F(TvkListenTest, CancelStopsARenderingAndLoadsNothing) {
    const QString take = writeTake(dir, "long.wav", 120.0);
    window.offerRecording(take, 1);
    EXPECT_TRUE(listen.CancelRender->isEnabled());
    QTest::mouseClick(listen.CancelRender, Qt::LeftButton);
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(listen.RenderReport->text(), "Cancelled: the previous recording stays");
    EXPECT_TRUE(listen.recordingPath().isEmpty());
    EXPECT_FALSE(listen.player().take());
    EXPECT_FALSE(listen.CancelRender->isEnabled());
}

TEST_F(TvkListenTest, PlayIsDisabledWithTheReasonWhereThereIsNoAudioOutput) {
    window.offerRecording(writeTake(dir, "take.wav", 0.5), 1);
    ASSERT_TRUE(waitIdle());
    if (!TPlayer::outputUnavailableReason().isEmpty()) {
        EXPECT_FALSE(listen.PlayStop->isEnabled());
        EXPECT_EQ(listen.PlayStop->toolTip(), TPlayer::outputUnavailableReason());
    } else {
        EXPECT_TRUE(listen.PlayStop->isEnabled());
    }
    // Everything else works all the same.
    EXPECT_TRUE(listen.SaveWave->isEnabled());
    EXPECT_TRUE(listen.PlayPosition->isEnabled());
}
