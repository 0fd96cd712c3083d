// Real playback: a private PulseAudio server with a null sink, whose monitor is recorded while the
// player plays a rendered take; what comes out must be the corrected signal and, after the switch,
// the level-matched bare pickup.
#include "app/ListenGroup.h"
#include "app/Tvk.h"
#include "controls/GuiApp.h"
#include "dsp/ABMixer.h"
#include "dsp/Analyzer.h"
#include "io/Renderer.h"
#include "audio/PlaybackFile.h"
#include "audio/Player.h"
#include "audio/PulseSupport.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace pulse_test;

namespace {

constexpr int rate = 48000;

QString examplePath(const char* name) {
    const char* dir = std::getenv("EXAMPLES_DIR");
    return QFileInfo(QString::fromLocal8Bit(dir ? dir : "examples") + "/" + name).absoluteFilePath();
}

struct TTake {
    std::vector<float> input;
    TRenderFilters filters;
    TMemorySink rendered;
};

// Writes `seconds` of band-limited noise as a mono float WAVE and renders it through two different
// filters (a difference on the left, a smoothing on the right, both unlike the input itself).
void makeTake(const std::string& wave, TTake& take, int seconds = 4) {
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0.0f, 0.15f);
    take.input.resize(static_cast<size_t>(seconds) * rate);
    float low = 0;
    for (float& v : take.input) {
        low = 0.8f * low + 0.2f * noise(random);
        v = low + 0.3f * noise(random);
    }
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(wave.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    sf_writef_float(f, take.input.data(), static_cast<sf_count_t>(take.input.size()));
    sf_close(f);
    take.filters.ir[0][0] = 0.7;
    take.filters.ir[0][3] = -0.7;
    for (int k = 20; k < 36; ++k)
        take.filters.ir[1][k] = 0.08;
    take.filters.set = {true, true};
    const TRenderResult r = renderRecording(take.filters, wave, take.rendered);
    ASSERT_TRUE(r.file.ok) << r.file.message;
}

// `seconds` of makeTake's take in `d`, rendered for playback.
std::shared_ptr<TPlaybackFile> renderedTake(const std::string& d, int seconds = 4) {
    TTake take;
    makeTake(d + "/take.wav", take, seconds);
    auto file = std::make_shared<TPlaybackFile>(d + "/take.raw");
    EXPECT_TRUE(renderRecording(take.filters, d + "/take.wav", *file).file.ok);
    return file;
}

double rms(const std::vector<float>& v, std::int64_t first, std::int64_t count) {
    double s = 0;
    for (std::int64_t i = first; i < first + count; ++i)
        s += static_cast<double>(v[static_cast<size_t>(i)]) * v[static_cast<size_t>(i)];
    return std::sqrt(s / static_cast<double>(count));
}

// Waits until the player has played up to `frame` (the null sink takes a moment to start
// consuming); false after 10 s.
bool waitForPosition(const TPlayer& player, std::int64_t frame) {
    for (int i = 0; i < 1000 && player.position() < frame; ++i)
        wait(10);
    return player.position() >= frame;
}

// Checks a recording of the monitor made while a take played with a switch to "Pickup" at about
// take frame switchedNear: first the corrected stereo signal, at the end the input on both sides
// scaled by gain, at its level.
void expectHeard(const std::vector<float>& monitor, const std::vector<float>& correctedStereo,
                 const std::vector<float>& input, float gain, std::int64_t switchedNear) {
    const std::int64_t recorded = static_cast<std::int64_t>(monitor.size() / 2);
    ASSERT_GT(recorded, 2 * rate) << "the monitor recording holds only " << recorded << " frames";
    constexpr int count = 6;
    const int block = rate / 20;

    // Before the switch: the corrected stereo signal.
    const std::int64_t a = rate / 10;
    const TBlocks corrected = matchBlocks(monitor, a, a + rate / 2, correctedStereo, count);
    EXPECT_GE(corrected.matching, count - 2)
        << "best " << corrected.best.ncc << " at lag " << corrected.best.lag;
    ASSERT_LT(a + rate / 2 - corrected.best.lag, switchedNear) << "the recording started after the switch";

    // After the switch (the last stretch recorded before the stop): the bare pickup on both sides,
    // scaled to the corrected signal's loudness.
    std::vector<float> pickup(2 * input.size());
    for (size_t i = 0; i < input.size(); ++i)
        pickup[2 * i] = pickup[2 * i + 1] = gain * input[i];
    const std::int64_t b = recorded - rate;
    ASSERT_GT(b, a + rate / 2);
    const TBlocks bare = matchBlocks(monitor, b, b + rate / 2, pickup, count);
    EXPECT_GE(bare.matching, count - 2) << "best " << bare.best.ncc << " at lag " << bare.best.lag;
    EXPECT_GT(b - bare.best.lag, switchedNear + rate / 10) << "the stretch compared lies before the switch";
    const double heard = rms(monitor, 2 * bare.bestAt, 2 * block);
    const double expected = rms(pickup, 2 * (bare.bestAt - bare.best.lag), 2 * block);
    EXPECT_NEAR(heard, expected, 0.01 * expected);
    // And it really is the other signal: the corrected one does not match there.
    EXPECT_LT(ncc(monitor, bare.bestAt, block, correctedStereo, bare.best.lag), 0.9);
}

// One server for all tests: Qt Multimedia connects to a sound server once per process.
class PulsePlayback : public ::testing::Test {
protected:
    static TPulseServer* newServer() {
        return new TPulseServer({"module-null-sink sink_name=ba_null rate=48000 channels=2"}, "ba_null", "");
    }
    static void SetUpTestSuite() { server = newServer(); }
    static void TearDownTestSuite() {
        delete server; // stops the server
        server = nullptr;
    }
    void SetUp() override {
        if (!server->ready)
            GTEST_SKIP() << "SKIP: no private PulseAudio server: " << server->why;
    }
    static TPulseServer* server;
};
TPulseServer* PulsePlayback::server = nullptr;

} // namespace

TEST_F(PulsePlayback, NullSinkHearsTheCorrectedSignalThenTheLevelMatchedPickup) {
    ASSERT_TRUE(TPlayer::outputUnavailableReason().isEmpty())
        << TPlayer::outputUnavailableReason().toStdString();

    const std::string d = server->dir.path().toStdString();
    TTake take;
    makeTake(d + "/take.wav", take);
    if (HasFatalFailure())
        return;
    auto file = std::make_shared<TPlaybackFile>(d + "/take.raw");
    const TRenderResult r = renderRecording(take.filters, d + "/take.wav", *file);
    ASSERT_TRUE(r.file.ok) << r.file.message;
    const float gain = static_cast<float>(levelMatchGain(r.outputRms, r.inputRms));
    // Level-matched: the scaled pickup has the corrected signal's RMS over the whole take.
    EXPECT_NEAR(gain * r.inputRms, r.outputRms, 1e-6 * r.outputRms);

    TSourceRecorder recorder("ba_null.monitor", d + "/monitor.raw");
    ASSERT_TRUE(recorder.started()) << "parecord cannot be started";
    wait(400);

    TPlayer player;
    player.setTake(file, gain);
    QString error;
    ASSERT_TRUE(player.play(&error)) << error.toStdString();
    ASSERT_TRUE(waitForPosition(player, rate + rate / 4)) << "playback does not advance";
    ASSERT_TRUE(player.isPlaying());
    const std::int64_t switchedNear = player.position();
    player.select(TABSource::pickup);
    ASSERT_TRUE(waitForPosition(player, 3 * rate)) << "playback does not advance";
    const double latency = player.lastSwitchLatencyMs();
    player.stop();
    wait(300);
    const std::vector<float> monitor = recorder.stop();
    std::printf("A/B switch: heard about %.1f ms after the call (buffer %d ms, crossfade %d ms)\n", latency,
                TPlayer::bufferMs, TPlayer::fadeMs);
    RecordProperty("switch_latency_ms", std::to_string(latency));
    EXPECT_GT(latency, 0.0);
    expectHeard(monitor, take.rendered.stereo, take.input, gain, switchedNear);
}

TEST_F(PulsePlayback, WindowPlaysTheRecordingItRenderedAndSwitchesWithTheRadioButtons) {
    const std::string d = server->dir.path().toStdString();
    TTake take;
    makeTake(d + "/window-take.wav", take);
    if (HasFatalFailure())
        return;

    TTvkMain window;
    std::vector<QString> warnings;
    window.showWarning = [&](const QString&, const QString& text) { warnings.push_back(text); };
    window.loadWaveFile(0, examplePath("mic.wav"));
    window.loadWaveFile(1, examplePath("pickup.wav"));
    window.cbSetAsLeftClick();
    window.cbSetAsRightClick();
    TListenGroup& listen = *window.Listen;
    window.offerRecording(QString::fromStdString(d + "/window-take.wav"), 1);
    for (int i = 0; i < 3000 && listen.busy(); ++i)
        wait(10);
    ASSERT_FALSE(listen.busy());
    ASSERT_TRUE(warnings.empty()) << warnings.front().toStdString();
    ASSERT_TRUE(listen.PlayStop->isEnabled()) << listen.PlayStop->toolTip().toStdString();

    TMemorySink expected;
    const TRenderResult r =
        renderRecording(TRenderFilters::fromAnalyzer(*window.analyzer), d + "/window-take.wav", expected);
    ASSERT_TRUE(r.file.ok);
    ASSERT_LE(r.peak, 1.0) << "the take is too loud for a comparison without clipping";

    TSourceRecorder recorder("ba_null.monitor", d + "/window-monitor.raw");
    ASSERT_TRUE(recorder.started()) << "parecord cannot be started";
    wait(400);
    listen.PlayStop->click();
    EXPECT_EQ(listen.PlayStop->text(), "Stop");
    ASSERT_TRUE(waitForPosition(listen.player(), rate + rate / 4)) << "playback does not advance";
    const std::int64_t switchedNear = listen.player().position();
    listen.ABPickup->click();
    ASSERT_TRUE(waitForPosition(listen.player(), 3 * rate)) << "playback does not advance";
    listen.PlayStop->click();
    EXPECT_EQ(listen.PlayStop->text(), "Play");
    wait(300);
    expectHeard(recorder.stop(), expected.stereo, take.input,
                static_cast<float>(levelMatchGain(r.outputRms, r.inputRms)), switchedNear);
}

TEST_F(PulsePlayback, PlayResumesAfterStopAndStartsOverAfterTheEnd) {
    const auto file = renderedTake(server->dir.path().toStdString());
    TPlayer player;
    player.setTake(file, 1);
    ASSERT_TRUE(player.play());
    ASSERT_TRUE(waitForPosition(player, rate / 2)) << "playback does not advance";
    player.stop();
    const std::int64_t kept = player.position();
    ASSERT_TRUE(player.play());
    EXPECT_TRUE(waitForPosition(player, kept + rate / 2)) << "Play after Stop plays nothing";

    player.stop();
    player.seek(file->frames()); // as after the last frame
    ASSERT_TRUE(player.play());
    EXPECT_LT(player.position(), rate / 2);
    EXPECT_TRUE(waitForPosition(player, rate / 2)) << "Play after the end plays nothing";
}

TEST_F(PulsePlayback, OutputThatGoesAwayEndsPlaybackWithTheReasonAndPlayWorksOnceItIsBack) {
    const std::string d = server->dir.path().toStdString();
    TTake take;
    makeTake(d + "/take.wav", take);
    std::vector<QString> warnings;
    TListenGroup listen([&] { return take.filters; },
                        [&](const QString&, const QString& text) { warnings.push_back(text); }, nullptr);
    listen.offerRecording(QString::fromStdString(d + "/take.wav"));
    for (int i = 0; i < 3000 && listen.busy(); ++i)
        wait(10);
    listen.PlayStop->click();
    ASSERT_TRUE(waitForPosition(listen.player(), rate / 2)) << "playback does not advance";

    endProcess(std::exchange(server->pid, 0), SIGKILL);
    for (int i = 0; i < 500 && listen.PlayStop->text() != "Play"; ++i)
        wait(10);
    EXPECT_EQ(listen.PlayStop->text(), "Play");
    ASSERT_TRUE(warnings.size() == 1 && warnings[0].contains("playback ended"));

    delete server;
    server = newServer(); // Qt Multimedia connects to it a few seconds later
    const std::int64_t kept = listen.player().position();
    for (int i = 0; i < 20 && listen.PlayStop->text() != "Stop"; ++i) {
        listen.PlayStop->click();
        wait(500);
    }
    EXPECT_EQ(listen.PlayStop->text(), "Stop") << warnings.back().toStdString();
    EXPECT_TRUE(waitForPosition(listen.player(), kept + rate / 2)) << "playback does not resume";
}

TEST_F(PulsePlayback, ThirtySecondsPlayWithoutAGapWhileEveryCoreIsBusy) {
    const std::string d = server->dir.path().toStdString();
    TPlayer player;
    player.setTake(renderedTake(d, 30), 1);
    TSourceRecorder recorder("ba_null.monitor", d + "/long-monitor.raw");
    wait(400);
    std::atomic<bool> quit{false};
    std::vector<std::thread> load;
    for (unsigned i = 0; i < std::max(2u, std::thread::hardware_concurrency()); ++i)
        load.emplace_back([&quit] {
            while (!quit.load(std::memory_order_relaxed))
                ;
        });
    EXPECT_TRUE(player.play());
    for (int i = 0; i < 4000 && player.isPlaying(); ++i)
        wait(10);
    quit = true;
    for (std::thread& t : load)
        t.join();
    // The output's silence (exact zeros) between the first sound and the last is a gap.
    const std::vector<float> monitor = recorder.stop();
    const auto silent = [&](size_t f) { return monitor[2 * f] == 0.0f && monitor[2 * f + 1] == 0.0f; };
    size_t first = 0, last = monitor.size() / 2, run = 0, longest = 0;
    for (; first < last && silent(first); ++first) {
    }
    for (; last > first && silent(last - 1); --last) {
    }
    for (size_t f = first; f < last; ++f)
        longest = std::max(longest, run = silent(f) ? run + 1 : 0);
    std::printf("30 s with every core busy: %.3f s from the first sound to the last, longest gap %.1f ms\n",
                static_cast<double>(last - first) / rate, 1e3 * static_cast<double>(longest) / rate);
    EXPECT_GE(last - first, static_cast<size_t>(30 * rate - rate / 20)) << "sound is missing";
    EXPECT_LE(longest, static_cast<size_t>(rate / 20));
}
