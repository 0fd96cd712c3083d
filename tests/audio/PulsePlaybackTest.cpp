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

#include <QCoreApplication>
#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QThread>
#include <fftw3.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int rate = 48000;

QString examplePath(const char* name) {
    const char* dir = std::getenv("EXAMPLES_DIR");
    return QFileInfo(QString::fromLocal8Bit(dir ? dir : "examples") + "/" + name).absoluteFilePath();
}

// Starts `argv` with the current environment; 0 when it cannot be started.
pid_t spawn(const std::vector<std::string>& args, const std::string& output = {}) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!output.empty()) {
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : 0;
}

int runQuietly(const std::vector<std::string>& args) {
    const pid_t pid = spawn(args, "/dev/null");
    int status = 0;
    if (pid == 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void endProcess(pid_t pid, int signal) {
    if (pid == 0)
        return;
    kill(pid, signal);
    for (int i = 0; i < 50; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        QThread::msleep(100);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// A PulseAudio server of its own (it runs as whoever runs the suite, root included) with the null
// sink "ba_null" as its default, reached through PULSE_SERVER by Qt and by parecord.
class TPulseServer {
public:
    TPulseServer() {
        if (!dir.isValid()) {
            why = "no temporary folder";
            return;
        }
        const std::string d = dir.path().toStdString();
        socket = d + "/native";
        setenv("XDG_RUNTIME_DIR", d.c_str(), 1);
        setenv("PULSE_RUNTIME_PATH", d.c_str(), 1);
        setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
        setenv("PULSE_STATE_PATH", d.c_str(), 1);
        setenv("PULSE_COOKIE", (d + "/cookie").c_str(), 1);
        pid = spawn({"pulseaudio", "-n", "--daemonize=no", "--system=false", "--exit-idle-time=-1",
                     "--disallow-exit", "--use-pid-file=no", "--disable-shm", "--log-target=stderr", "-L",
                     "module-null-sink sink_name=ba_null rate=48000 channels=2", "-L",
                     "module-native-protocol-unix auth-anonymous=1 socket=" + socket},
                    d + "/server.log");
        if (pid == 0) {
            why = "pulseaudio cannot be started (is it installed?)";
            return;
        }
        for (int i = 0; i < 100; ++i) {
            if (runQuietly({"pactl", "info"}) == 0) {
                ready = true;
                return;
            }
            if (waitpid(pid, nullptr, WNOHANG) == pid) {
                pid = 0;
                break;
            }
            QThread::msleep(100);
        }
        std::ifstream log(d + "/server.log");
        std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
        why = "the PulseAudio server did not answer: " + text.substr(0, 600);
    }
    ~TPulseServer() { endProcess(pid, SIGTERM); }

    QTemporaryDir dir;
    std::string socket;
    std::string why;
    pid_t pid = 0;
    bool ready = false;
};

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

// Normalised cross-correlation of recorded frames [at, at + n) (interleaved stereo) with
// expected frames [at - lag, ...), both sides together.
double ncc(const std::vector<float>& rec, std::int64_t at, int n, const std::vector<float>& expected,
           std::int64_t lag) {
    double xy = 0, xx = 0, yy = 0;
    for (std::int64_t i = 2 * at; i < 2 * (at + n); ++i) {
        const std::int64_t j = i - 2 * lag;
        const double x = rec[static_cast<size_t>(i)];
        const double y =
            j >= 0 && j < static_cast<std::int64_t>(expected.size()) ? expected[static_cast<size_t>(j)] : 0.0;
        xy += x * y;
        xx += x * x;
        yy += y * y;
    }
    return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0.0;
}

struct TMatch {
    std::int64_t lag = 0; // recorded frame i holds expected frame i - lag
    double ncc = -1;
};

// Aligns recorded frames [at, at + n) with the expected signal by FFT cross-correlation of both
// sides summed, over every lag that keeps the block inside the expected signal.
TMatch align(const std::vector<float>& rec, std::int64_t at, int n, const std::vector<float>& expected) {
    const std::int64_t m = static_cast<std::int64_t>(expected.size() / 2);
    int size = 1;
    while (size < m + n)
        size *= 2;
    std::vector<double> x(size), y(size);
    std::vector<fftw_complex> fx(size / 2 + 1), fy(size / 2 + 1);
    for (int i = 0; i < n; ++i)
        x[i] = rec[2 * (at + i)] + rec[2 * (at + i) + 1];
    for (std::int64_t i = 0; i < m; ++i)
        y[i] = expected[2 * i] + expected[2 * i + 1];
    fftw_plan px = fftw_plan_dft_r2c_1d(size, x.data(), fx.data(), FFTW_ESTIMATE);
    fftw_plan py = fftw_plan_dft_r2c_1d(size, y.data(), fy.data(), FFTW_ESTIMATE);
    fftw_execute(px);
    fftw_execute(py);
    for (int k = 0; k <= size / 2; ++k) {
        const double re = fx[k][0] * fy[k][0] + fx[k][1] * fy[k][1]; // conj(X) * Y
        const double im = fx[k][0] * fy[k][1] - fx[k][1] * fy[k][0];
        fy[k][0] = re;
        fy[k][1] = im;
    }
    fftw_plan pc = fftw_plan_dft_c2r_1d(size, fy.data(), y.data(), FFTW_ESTIMATE);
    fftw_execute(pc);
    fftw_destroy_plan(px);
    fftw_destroy_plan(py);
    fftw_destroy_plan(pc);
    std::int64_t best = 0;
    for (std::int64_t k = 1; k <= m - n; ++k)
        if (y[k] > y[best])
            best = k;
    TMatch match{at - best, 0};
    match.ncc = ncc(rec, at, n, expected, match.lag);
    return match;
}

double rms(const std::vector<float>& v, std::int64_t first, std::int64_t count) {
    double s = 0;
    for (std::int64_t i = first; i < first + count; ++i)
        s += static_cast<double>(v[static_cast<size_t>(i)]) * v[static_cast<size_t>(i)];
    return std::sqrt(s / static_cast<double>(count));
}

// Lets the window's thread run for `ms` (the player needs no events there, but Qt may).
void wait(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
}

// Waits until the player has played up to `frame` (the null sink takes a moment to start
// consuming); false after 10 s.
bool waitForPosition(const TPlayer& player, std::int64_t frame) {
    for (int i = 0; i < 1000 && player.position() < frame; ++i)
        wait(10);
    return player.position() >= frame;
}

// Records the null sink's monitor (float stereo at 48 kHz) from construction to stop().
class TMonitorRecorder {
public:
    explicit TMonitorRecorder(std::string path) : path(std::move(path)) {
        pid = spawn({"parecord", "--raw", "--device=ba_null.monitor", "--format=float32le", "--rate=48000",
                     "--channels=2", "--latency-msec=10", this->path});
    }
    ~TMonitorRecorder() { endProcess(pid, SIGINT); }
    bool started() const { return pid != 0; }
    // Ends the recording; its frames, interleaved.
    std::vector<float> stop() {
        endProcess(pid, SIGINT);
        pid = 0;
        std::ifstream in(path, std::ios::binary);
        in.seekg(0, std::ios::end);
        const std::streamoff bytes = std::max<std::streamoff>(in.tellg(), 0);
        in.seekg(0);
        std::vector<float> monitor(static_cast<size_t>(bytes) / sizeof(float) / 2 * 2);
        in.read(reinterpret_cast<char*>(monitor.data()),
                static_cast<std::streamsize>(monitor.size() * sizeof(float)));
        return monitor;
    }

private:
    std::string path;
    pid_t pid = 0;
};

// The share of `count` blocks of 50 ms, spread over recorded frames [first, last), that match the
// expected signal (normalised cross-correlation at least 0.99 at their own best lag), and the best
// match among them. Blocks are aligned one by one, so a gap the output left under load spoils
// only the block it falls in.
struct TBlocks {
    int matching = 0;
    TMatch best;
    std::int64_t bestAt = 0;
};
TBlocks matchBlocks(const std::vector<float>& monitor, std::int64_t first, std::int64_t last,
                    const std::vector<float>& expected, int count) {
    const int block = rate / 20;
    TBlocks r;
    for (int i = 0; i < count; ++i) {
        const std::int64_t at = first + (last - first - block) * i / std::max(count - 1, 1);
        const TMatch m = align(monitor, at, block, expected);
        r.matching += m.ncc >= 0.99;
        if (m.ncc > r.best.ncc) {
            r.best = m;
            r.bestAt = at;
        }
    }
    return r;
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
    static void SetUpTestSuite() { server = new TPulseServer; }
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

    TMonitorRecorder recorder(d + "/monitor.raw");
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

    TMonitorRecorder recorder(d + "/window-monitor.raw");
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
    server = new TPulseServer; // Qt Multimedia connects to it a few seconds later
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
    TMonitorRecorder recorder(d + "/long-monitor.raw");
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
