// Recording and monitoring through the real sound server: a private PulseAudio server whose null
// sink "ba_feed", fed a known take with paplay, is the program's input (through
// module-remap-source); a second null sink is the output. The recorded file must be the take
// sample for sample, the meters must read its levels and light the clip light, a file size limit
// (a disk that fills up) and an input that goes must end the take keeping what was written, and
// the monitor must play the pickup channel through the filters as the offline render does.
#include "app/RecordDialog.h"
#include "app/Tvk.h"
#include "audio/Capture.h"
#include "audio/PulseSupport.h"
#include "controls/GuiApp.h"
#include "io/RecordingReader.h"
#include "io/Renderer.h"
#include "support/FileFaults.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <memory>
#include <random>

using namespace pulse_test;

namespace {

constexpr int rate = 48000;

// Writes 16-bit samples as a WAVE of `channels` channels at 48 kHz.
void writeWave(const std::string& path, int channels, const std::vector<short>& x) {
    SF_INFO info{0, rate, channels, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    sf_writef_short(f, x.data(), static_cast<sf_count_t>(x.size() / channels));
    sf_close(f);
}

// A stereo take of noise on the pickup (1) and, on the mic (2), a filtered copy of it.
std::vector<short> noiseTake(int seconds) {
    std::mt19937 random(9);
    std::normal_distribution<double> noise(0.0, 3000.0);
    std::vector<short> take(2 * static_cast<size_t>(rate) * seconds);
    double previous = 0;
    for (size_t n = 0; n < take.size(); n += 2) {
        const double x = std::clamp(noise(random), -20000.0, 20000.0);
        take[n] = static_cast<short>(std::lround(x));
        take[n + 1] = static_cast<short>(std::lround(0.6 * x + 0.3 * previous));
        previous = x;
    }
    return take;
}

// A 16-bit stereo take of 3.5 s: the pickup (1) a 441 Hz tone at -12 dBFS peak, the mic (2) noise
// for 3 s (which makes every stretch of the take unlike any other), then half a second at full scale.
std::vector<short> makeTake(const std::string& path) {
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0.0, 3000.0);
    std::vector<short> x(2 * static_cast<size_t>(rate) * 7 / 2);
    for (size_t n = 0; n < x.size() / 2; ++n) {
        x[2 * n] =
            static_cast<short>(std::lround(8192 * std::cos(2 * M_PI * 441 * static_cast<double>(n) / rate)));
        x[2 * n + 1] = n < 3 * rate
                           ? static_cast<short>(std::clamp(std::lround(noise(random)), -30000L, 30000L))
                           : (n % 40 < 20 ? 32767 : -32768);
    }
    writeWave(path, 2, x);
    return x;
}

std::vector<float> readAll(const std::string& path) {
    TRecordingReader r;
    EXPECT_TRUE(r.open(path).ok) << path;
    EXPECT_EQ(r.info().channels, 2);
    std::vector<float> all, block(2 * 4096);
    for (std::int64_t n; (n = r.read(block.data(), 4096)) > 0;)
        all.insert(all.end(), block.begin(), block.begin() + 2 * n);
    return all;
}

// Plays `file` into the input with paplay and waits until it is done, reading the meters every
// 100 ms meanwhile.
std::vector<TLevelReading> feed(TCapture& capture, const std::string& file, int which) {
    std::vector<TLevelReading> readings;
    const pid_t pid =
        spawn({"env", "-u", "PULSE_LATENCY_MSEC", "paplay", "--latency-msec=200", "--device=ba_feed", file},
              "/dev/null");
    EXPECT_NE(pid, 0);
    while (pid && waitpid(pid, nullptr, WNOHANG) != pid) {
        wait(100);
        readings.push_back(capture.level(which));
    }
    return readings;
}

class PulseCapture : public ::testing::Test {
protected:
    // One server for all suites: Qt Multimedia connects to a sound server once per process.
    static void SetUpTestSuite() {
        TCapture::prepareSoundServer();
        static TPulseServer shared(
            {"module-null-sink sink_name=ba_null rate=48000 channels=2",
             "module-null-sink sink_name=ba_feed rate=48000 channels=2",
             "module-remap-source source_name=ba_in master=ba_feed.monitor channels=2"},
            "ba_null", "ba_in");
        server = &shared;
    }
    void SetUp() override {
        if (!server->ready)
            GTEST_SKIP() << "SKIP: no private PulseAudio server: " << server->why;
        dir = server->dir.path().toStdString();
    }
    // Opens the default input at 48 kHz.
    void open(TCapture& capture) {
        const std::vector<QAudioDevice> inputs = TCapture::inputs();
        ASSERT_FALSE(inputs.empty());
        QString error;
        ASSERT_TRUE(capture.open(inputs.front(), rate, &error)) << error.toStdString();
        ASSERT_EQ(capture.channels(), 2);
        capture.setChannels(0, 1);
    }
    static TPulseServer* server;
    std::string dir;
};
TPulseServer* PulseCapture::server = nullptr;

// Frame of `recorded` where the take begins: its first frame that is not silent.
std::int64_t takeStart(const std::vector<float>& recorded) {
    for (size_t i = 0; i < recorded.size(); ++i)
        if (recorded[i] != 0.0f)
            return static_cast<std::int64_t>(i / 2);
    return -1;
}

} // namespace

class PulseCaptureTake : public PulseCapture, public testing::WithParamInterface<bool> {};

TEST_P(PulseCaptureTake, TheFileIsTheTakeTheMetersReadItsLevelsAndAFullDiskKeepsWhatWasWritten) {
    const bool fullDisk = GetParam();
    const std::vector<short> take = makeTake(dir + "/fed.wav");
    TCapture capture;
    open(capture);
    const std::string target = dir + (fullDisk ? "/full.wav" : "/take.wav");
    std::unique_ptr<TFileSizeLimit> limit;
    if (fullDisk)
        limit = std::make_unique<TFileSizeLimit>(400000);
    ASSERT_TRUE(capture.startTake(target, false).ok);
    wait(200);
    const std::vector<TLevelReading> pickup = feed(capture, dir + "/fed.wav", 0);
    wait(300);
    const TLevelReading mic = capture.level(1);
    capture.stopTake();
    std::optional<TFileResult> ended;
    for (int i = 0; i < 500 && !ended; ++i, wait(10))
        ended = capture.takeEnded();
    limit.reset();
    ASSERT_TRUE(ended.has_value()) << "the take does not end";
    EXPECT_EQ(ended->ok, !fullDisk) << ended->message;
    EXPECT_EQ(capture.droppedFrames(), 0);

    // Blocks of 50 ms across what was recorded, each aligned on its own (the server may skip or
    // repeat a stretch where it wakes the idle feed sink), must each equal the take exactly.
    const std::vector<float> recorded = readAll(target);
    std::vector<float> fed(take.size());
    for (size_t i = 0; i < take.size(); ++i)
        fed[i] = take[i] / 32768.0f;
    const std::int64_t frames = static_cast<std::int64_t>(recorded.size() / 2);
    const std::int64_t begin = takeStart(recorded);
    ASSERT_GE(begin, 0) << "nothing was recorded";
    const std::int64_t span = std::min<std::int64_t>(frames - begin, 2 * rate) - rate / 20;
    ASSERT_GT(span, fullDisk ? rate / 4 : rate);
    constexpr int count = 12;
    int exact = 0;
    for (int i = 0; i < count; ++i) {
        const std::int64_t at = begin + span * i / (count - 1);
        const TMatch m = align(recorded, at, rate / 20, fed);
        bool same = at - m.lag >= 0;
        for (std::int64_t k = 2 * at; same && k < 2 * (at + rate / 20); ++k)
            same = recorded[static_cast<size_t>(k)] == fed[static_cast<size_t>(k - 2 * m.lag)];
        exact += same;
    }
    EXPECT_GE(exact, count - 2);
    if (fullDisk)
        return;

    // The meters in the middle of the take: the pickup's tone peaks at -12.04 dBFS, RMS 3.01 below.
    ASSERT_GE(pickup.size(), 20u);
    const TLevelReading middle = pickup[pickup.size() / 2];
    EXPECT_NEAR(middle.peakDb, 20 * std::log10(0.25), 0.5);
    EXPECT_NEAR(middle.rmsDb, 20 * std::log10(0.25) - 3.01, 0.5);
    EXPECT_FALSE(middle.clip);
    EXPECT_TRUE(mic.clip);
}

INSTANTIATE_TEST_SUITE_P(WholeAndFullDisk, PulseCaptureTake, testing::Bool());

TEST_F(PulseCapture, TheMonitorPlaysThePickupThroughTheFiltersAsTheRenderDoes) {
    const std::vector<short> take = noiseTake(4);
    std::vector<short> pickup(take.size() / 2);
    for (size_t n = 0; n < pickup.size(); ++n)
        pickup[n] = take[2 * n];
    writeWave(dir + "/pickup.wav", 1, pickup);
    writeWave(dir + "/monitor-fed.wav", 2, take);
    TRenderFilters filters;
    filters.ir[0][0] = 0.7;
    filters.ir[0][3] = -0.7;
    for (int k = 20; k < 36; ++k)
        filters.ir[1][k] = 0.08;
    filters.set = {true, true};
    TMemorySink rendered;
    ASSERT_TRUE(renderRecording(filters, dir + "/pickup.wav", rendered).file.ok);

    TCapture capture;
    open(capture);
    QString error;
    ASSERT_TRUE(capture.startMonitor(filters.ir[0], filters.ir[1], &error)) << error.toStdString();
    TSourceRecorder recorder("ba_null.monitor", dir + "/monitor.raw");
    ASSERT_TRUE(recorder.started());
    wait(300);
    feed(capture, dir + "/monitor-fed.wav", 0);
    wait(300);
    const double latency = capture.monitorLatencyMs();
    const std::int64_t limited = capture.limitedFrames();
    capture.stopMonitor();
    const std::vector<float> heard = recorder.stop();
    std::printf("monitor: input to output about %.1f ms\n", latency);
    RecordProperty("monitor_latency_ms", std::to_string(latency));
    EXPECT_GT(latency, 2.0);
    EXPECT_LT(latency, 200.0);
    EXPECT_EQ(limited, 0);
    EXPECT_LT(capture.outputDroppedFrames(), rate / 2);

    // Blocks of 50 ms across the middle of the take, each aligned on its own; a few spoiled by a
    // loaded machine are tolerated.
    const std::int64_t first = takeStart(heard);
    ASSERT_GE(first, 0) << "the monitor output is silent";
    constexpr int count = 12;
    const TBlocks blocks = matchBlocks(heard, first + rate / 2, first + 5 * rate / 2, rendered.stereo, count);
    EXPECT_GE(blocks.matching, count - 4) << "best " << blocks.best.ncc << " at lag " << blocks.best.lag;
}

TEST_F(PulseCapture, TheRecordDialogLearnsWhileRecordingAndUsesWhatLearnTakesFromTheFile) {
    writeWave(dir + "/dialog-fed.wav", 2, noiseTake(7));

    TTvkMain window;
    std::vector<QString> warnings;
    window.showWarning = [&](const QString&, const QString& text) { warnings.push_back(text); };
    window.RecordTakeClick();
    TRecordDialog& dialog = *window.recordDialog;
    ASSERT_TRUE(dialog.capture.isOpen()) << dialog.status->text().toStdString();
    const QString path = QString::fromStdString(dir + "/dialog-take.wav");
    dialog.fileName->setText(path);
    dialog.recordButton->click();
    ASSERT_TRUE(dialog.recording());
    feed(dialog.capture, dir + "/dialog-fed.wav", 0);
    wait(300);
    EXPECT_GT(dialog.bands[4]->value(), 0) << "the bands do not fill while recording";
    EXPECT_FALSE(dialog.guidance->text().isEmpty());
    dialog.recordButton->click();
    for (int i = 0; i < 2000 && !dialog.learned(); ++i)
        wait(10);
    ASSERT_NE(dialog.learned(), nullptr) << dialog.status->text().toStdString();
    ASSERT_TRUE(warnings.empty()) << warnings.front().toStdString();

    TLearnedTake batch;
    ASSERT_TRUE(learnTake(TTakeSource{localPath(path), 1, 2, {}, {}}, batch).ok);
    EXPECT_EQ(dialog.learned()->transfer.response, batch.transfer.response);
    EXPECT_EQ(dialog.guidance->text().toStdString(), summariseLearning(batch.transfer).guidance);
    dialog.useButton->click();
    EXPECT_EQ(window.micSource.name, QStringLiteral("dialog-take.wav (learned)"));
}

// The server moves the stream of a source that goes to another one: the take must stop all the same.
TEST_F(PulseCapture, AnInputThatDisappearsWhileRecordingStopsTheTakeKeepingWhatWasRecorded) {
    writeWave(dir + "/lost-fed.wav", 2, noiseTake(4));
    const pid_t load = spawn({"pactl", "load-module", "module-remap-source", "source_name=ba_lost",
                              "master=ba_feed.monitor", "source_properties=device.description=Lost"},
                             dir + "/module");
    waitpid(load, nullptr, 0);
    std::string module;
    std::ifstream(dir + "/module") >> module;
    TTvkMain window;
    std::vector<QString> warnings;
    window.showWarning = [&](const QString&, const QString& text) { warnings.push_back(text); };
    window.RecordTakeClick();
    TRecordDialog& dialog = *window.recordDialog;
    int lost = -1;
    for (int i = 0; i < 100 && (lost = dialog.inputBox->findText(QStringLiteral("Lost"))) < 0; ++i)
        wait(50);
    ASSERT_GE(lost, 0) << "the new input is not listed";
    dialog.inputBox->setCurrentIndex(lost);
    emit dialog.inputBox->activated(lost);
    const QString path = QString::fromStdString(dir + "/lost-take.wav");
    dialog.fileName->setText(path);
    dialog.recordButton->click();
    feed(dialog.capture, dir + "/lost-fed.wav", 0);
    const std::int64_t before = dialog.capture.recordedFrames();
    ASSERT_EQ(runQuietly({"pactl", "unload-module", module}), 0);
    for (int i = 0; i < 100 && warnings.empty(); ++i)
        wait(10);
    ASSERT_FALSE(dialog.recording()) << "the take goes on from another input";
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], dialog.status->text());
    EXPECT_EQ(warnings[0], "The input \"Lost\" disappeared: the take stopped and what was recorded is kept");
    EXPECT_GE(readAll(path.toStdString()).size() / 2, static_cast<size_t>(before)); // under its own name
}
