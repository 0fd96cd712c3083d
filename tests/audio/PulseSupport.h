// A private PulseAudio server for tests through the real sound server, and what they need around
// it: child processes, recording a sink's monitor, and aligning what was heard with what was meant.
#pragma once

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>
#include <fftw3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace pulse_test {

// Starts `args` with the current environment, output to `output` if given; 0 when it cannot start.
inline pid_t spawn(const std::vector<std::string>& args, const std::string& output = {}) {
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

inline int runQuietly(const std::vector<std::string>& args) {
    const pid_t pid = spawn(args, "/dev/null");
    int status = 0;
    if (pid == 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline void endProcess(pid_t pid, int signal) {
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

// A PulseAudio server of its own, reached through PULSE_SERVER, started with `modules` (each a
// module name with its arguments) and the given default sink and source.
class TPulseServer {
public:
    TPulseServer(const std::vector<std::string>& modules, const std::string& sink,
                 const std::string& source) {
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
        std::vector<std::string> args{"pulseaudio",          "-n",
                                      "--daemonize=no",      "--system=false",
                                      "--exit-idle-time=-1", "--disallow-exit",
                                      "--use-pid-file=no",   "--disable-shm",
                                      "--log-target=stderr"};
        for (const std::string& m : modules)
            args.insert(args.end(), {"-L", m});
        args.insert(args.end(), {"-L", "module-native-protocol-unix auth-anonymous=1 socket=" + socket});
        pid = spawn(args, d + "/server.log");
        if (pid == 0) {
            why = "pulseaudio cannot be started (is it installed?)";
            return;
        }
        for (int i = 0; i < 100; ++i) {
            if (runQuietly({"pactl", "info"}) == 0) {
                ready = runQuietly({"pactl", "set-default-sink", sink}) == 0 &&
                        (source.empty() || runQuietly({"pactl", "set-default-source", source}) == 0);
                if (!ready)
                    why = "the default sink or source cannot be set";
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

// Records a source (float stereo at 48 kHz) from construction to stop().
class TSourceRecorder {
public:
    TSourceRecorder(const std::string& device, std::string path) : path(std::move(path)) {
        pid = spawn({"parecord", "--raw", "--device=" + device, "--format=float32le", "--rate=48000",
                     "--channels=2", "--latency-msec=10", this->path});
    }
    ~TSourceRecorder() { endProcess(pid, SIGINT); }
    bool started() const { return pid != 0; }
    // Ends the recording; its frames, interleaved.
    std::vector<float> stop() {
        endProcess(pid, SIGINT);
        pid = 0;
        std::ifstream in(path, std::ios::binary);
        in.seekg(0, std::ios::end);
        const std::streamoff bytes = std::max<std::streamoff>(in.tellg(), 0);
        in.seekg(0);
        std::vector<float> frames(static_cast<size_t>(bytes) / sizeof(float) / 2 * 2);
        in.read(reinterpret_cast<char*>(frames.data()),
                static_cast<std::streamsize>(frames.size() * sizeof(float)));
        return frames;
    }

private:
    std::string path;
    pid_t pid = 0;
};

// Normalised cross-correlation of recorded stereo frames [at, at + n) with expected frames
// [at - lag, ...), both sides together.
inline double ncc(const std::vector<float>& rec, std::int64_t at, int n, const std::vector<float>& expected,
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

// Aligns recorded stereo frames [at, at + n) with the expected signal by FFT cross-correlation of
// both sides summed, over every lag that keeps the block inside the expected signal.
inline TMatch align(const std::vector<float>& rec, std::int64_t at, int n,
                    const std::vector<float>& expected) {
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

// Lets the window's thread run for `ms`.
inline void wait(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
}

// The share of `count` blocks of 50 ms at 48 kHz, spread over recorded frames [first, last), that
// match the expected signal (normalised cross-correlation at least 0.99 at their own best lag), and
// the best match among them. Blocks are aligned one by one, so a gap the output left under load
// spoils only the block it falls in.
struct TBlocks {
    int matching = 0;
    TMatch best;
    std::int64_t bestAt = 0;
};
inline TBlocks matchBlocks(const std::vector<float>& monitor, std::int64_t first, std::int64_t last,
                           const std::vector<float>& expected, int count) {
    const int block = 48000 / 20;
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

} // namespace pulse_test
