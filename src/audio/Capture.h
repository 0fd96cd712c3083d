// TCapture: one audio input (every channel of the device) through Qt Multimedia, for recording a
// take and monitoring the correction live.
// Three threads take part:
// - the audio thread (time-critical) reads the input, hands every frame to the worker through a
//   single-producer single-consumer ring (ringSeconds long), and, while monitoring, plays the
//   pickup channel through the monitor mix (TMonitorMix) to the default audio output, queueing up
//   to 100 ms of it where the output has no room yet (beyond, the oldest frames give way). It
//   allocates nothing, takes no lock and never waits on the disk or the learner;
// - the worker (normal priority) takes the frames from the ring, keeps the meters, writes the take
//   (TTakeWriter) and hands each block written to the block listener (the live learner);
// - the window's thread makes every call below, and checks every watchMs that the device is still
//   listed: a sound server may move the stream of a device that goes to another one unasked, and
//   Qt does not always announce the change.
// Should the worker fall more than ringSeconds behind, the frames that do not fit are lost and
// counted (droppedFrames); the take then says so when it stops.
#pragma once

#include "dsp/ABMixer.h"
#include "dsp/LevelMeter.h"
#include "io/FileResult.h"

#include <QAudioDevice>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

class TCapture {
public:
    static constexpr int ringSeconds = 4;
    static constexpr int outputBufferMs = 20;
    static constexpr int outputPrefillMs = 10;
    static constexpr int watchMs = 100;

    // Called on the worker with each block of the take as written: frames * channels values,
    // interleaved, full scale 1.0.
    using TBlockListener = std::function<void(const float* interleaved, int channels, std::int64_t frames)>;

    TCapture();
    ~TCapture(); // stops the take (as stopTake) and the input
    TCapture(const TCapture&) = delete;
    TCapture& operator=(const TCapture&) = delete;

    // Asks a PulseAudio server for short fragments (10 ms) unless PULSE_LATENCY_MSEC says otherwise:
    // its default hands a recording over in pieces of about 2 s, too late for meters and monitor.
    // Call it before the first use of Qt Multimedia.
    static void prepareSoundServer();
    // The audio inputs, the system default first; empty without any.
    static std::vector<QAudioDevice> inputs();
    // The channels a take from `device` holds (its native channel count) and its preferred rate.
    static int deviceChannels(const QAudioDevice& device);
    static int preferredRate(const QAudioDevice& device);

    // Starts the input (the meters run; nothing is written yet). False, with the reason, when the
    // device cannot deliver `rate` Hz or does not start.
    bool open(const QAudioDevice& device, int rate, QString* error);
    void close();
    bool isOpen() const;
    const QAudioDevice& device() const { return current; }
    int rate() const { return inputRate; }
    int channels() const { return inputChannels; }

    // The pickup's and the mic's channel, 0-based (meters and monitor follow at once).
    void setChannels(int pickup, int mic);
    // Reading of the pickup (0) or mic (1) meter; the next reading's peak starts afresh.
    TLevelReading level(int which);

    // Before open(): the listener for the blocks of a take (see TBlockListener).
    void setBlockListener(TBlockListener listener);

    // Starts writing a take to `path` (see TTakeWriter::start). Frames from this call on go to
    // the file.
    TFileResult startTake(const std::string& path, bool replace);
    // Asks the worker to end the take once it has written what the ring holds; the outcome comes
    // through takeEnded().
    void stopTake();
    // Once per take, after it ended (on stopTake, a full disk, a lost input): the outcome, whose
    // message says what happened (a failure keeps what was written).
    std::optional<TFileResult> takeEnded();
    bool recording() const;
    std::int64_t recordedFrames() const;
    std::int64_t droppedFrames() const;
    // The input disappeared (the device was unplugged or failed): the take, if any, stops, keeping
    // what was written, and its outcome says so. Found by the capture itself as well.
    void inputLost();
    bool lost() const;

    // Plays the pickup through the filters to the default output. False, with the reason, when
    // no input is open or the output cannot play the input's rate.
    bool startMonitor(std::span<const double> left, std::span<const double> right, QString* error);
    void stopMonitor();
    bool monitoring() const;
    // New filters for the monitor, heard within a few ms (crossfaded).
    void setFilters(std::span<const double> left, std::span<const double> right);
    void select(TABSource source);
    // The input-to-output latency of the monitor measured on its queues, in ms (0 before any).
    double monitorLatencyMs() const;
    // Monitor frames the output had no room for since monitoring started.
    std::int64_t outputDroppedFrames() const;
    // Output frames the limiter turned down since monitoring started.
    std::int64_t limitedFrames() const;

private:
    void stageFilters();

    std::unique_ptr<struct TCaptureState> state;
    std::unique_ptr<QTimer> retry; // stages pending filters again, on the window's thread
    std::unique_ptr<QTimer> watch; // looks for the device among the inputs, on the window's thread
    QAudioDevice current;
    int inputRate = 0;
    int inputChannels = 0;
    std::vector<double> pendingLeft, pendingRight;
    bool filtersPending = false;
};
