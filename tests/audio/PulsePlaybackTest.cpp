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
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
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

// Writes 4 s of band-limited noise as a mono float WAVE and renders it through two different
// filters (a difference on the left, a smoothing on the right, both unlike the input itself).
void makeTake(const std::string& wave, TTake& take) {
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0.0f, 0.15f);
    take.input.resize(4 * rate);
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
    static void SetUpTestSuite() {
        server = new TPulseServer({"module-null-sink sink_name=ba_null rate=48000 channels=2"}, "ba_null", "");
    }
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
