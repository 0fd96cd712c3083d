#include "audio/Capture.h"

#include "audio/AudioThread.h"
#include "audio/OutputFormat.h"
#include "audio/RingBuffer.h"
#include "dsp/MonitorMix.h"
#include "io/TakeWriter.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QAudioSource>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

namespace {

constexpr int tickMs = 2;          // the audio thread's polling period
constexpr int readMs = 100;        // most input read at once
constexpr int workerFrames = 4096; // most frames the worker takes at once
constexpr int maxChannels = 32;

// Samples of `format` to float, full scale 1.0.
void toFloat(const QAudioFormat& format, const char* bytes, int values, float* out) {
    switch (format.sampleFormat()) {
    case QAudioFormat::Float:
        std::copy_n(reinterpret_cast<const float*>(bytes), values, out);
        break;
    case QAudioFormat::Int32:
        for (int i = 0; i < values; ++i)
            out[i] = static_cast<float>(reinterpret_cast<const qint32*>(bytes)[i] / 2147483648.0);
        break;
    case QAudioFormat::Int16:
        for (int i = 0; i < values; ++i)
            out[i] = static_cast<float>(reinterpret_cast<const qint16*>(bytes)[i] / 32768.0);
        break;
    default: // UInt8
        for (int i = 0; i < values; ++i)
            out[i] = static_cast<float>((static_cast<unsigned char>(bytes[i]) - 128) / 128.0);
        break;
    }
}

// The first sample format of `wanted` the device takes at rate and channels; Unknown if none.
QAudioFormat formatFor(const QAudioDevice& device, int rate, int channels) {
    QAudioFormat f;
    f.setSampleRate(rate);
    f.setChannelCount(channels);
    for (const QAudioFormat::SampleFormat s :
         {QAudioFormat::Float, QAudioFormat::Int32, QAudioFormat::Int16}) {
        f.setSampleFormat(s);
        if (device.isFormatSupported(f))
            return f;
    }
    f.setSampleFormat(QAudioFormat::Unknown);
    return f;
}

} // namespace

struct TCaptureState {
    // Audio thread.
    QThread thread;
    QObject* context = nullptr;
    QAudioSource* source = nullptr;
    QIODevice* in = nullptr;
    QAudioSink* sink = nullptr;
    QIODevice* out = nullptr;
    QTimer* timer = nullptr;
    QAudioFormat inFormat, outFormat;
    std::vector<char> inBytes;
    std::vector<float> frames, pickupBlock, mixBlock;
    std::vector<float> monitored; // stereo frames waiting for room in the output (a queue)
    int pendingOut = 0;
    std::vector<char> outBytes;
    std::unique_ptr<TMonitorMix> mix; // made and dropped while the audio thread does not use it
    bool monitorOn = false;           // audio thread's own

    // Shared by the audio thread, the worker and the window: atomics only.
    std::unique_ptr<TRingBuffer<float>> ring;
    int channels = 0;
    std::atomic<int> pickup{0}, mic{1};
    std::atomic<std::int64_t> dropped{0};
    std::atomic<std::int64_t> outputDropped{0};
    std::atomic<double> latencyMs{0};
    std::atomic<bool> lost{false};
    std::atomic<std::int64_t> recorded{0};
    std::atomic<bool> recording{false};
    std::atomic<bool> stopRequested{false};

    // Worker and window.
    std::thread worker;
    std::atomic<bool> quit{false};
    std::mutex meterLock; // guards meters
    std::unique_ptr<TLevelMeter> meters[2];
    std::mutex takeLock; // guards writer, ended, listener
    TTakeWriter writer;
    std::optional<TFileResult> ended;
    TCapture::TBlockListener listener;
    std::vector<float> workBlock;
    QString deviceName;

    void readInput();
    void playMonitor(int frames);
    void flushMonitor();
    void work();
    void writeBlock(std::int64_t frames);
    void endTake(const QString& why);
};

// Audio thread: everything the input holds, into the ring and through the monitor.
void TCaptureState::readInput() {
    if (!in)
        return;
    const int bytesPerFrame = inFormat.bytesPerFrame();
    for (;;) {
        const qint64 got = in->read(inBytes.data(), static_cast<qint64>(inBytes.size()));
        const int count = got > 0 ? static_cast<int>(got / bytesPerFrame) : 0;
        if (count == 0)
            return;
        toFloat(inFormat, inBytes.data(), count * channels, frames.data());
        const std::size_t room = ring->writable() / static_cast<std::size_t>(channels);
        const std::size_t kept = std::min<std::size_t>(room, static_cast<std::size_t>(count));
        ring->write(frames.data(), kept * static_cast<std::size_t>(channels));
        if (kept < static_cast<std::size_t>(count))
            dropped.fetch_add(static_cast<std::int64_t>(count - kept), std::memory_order_relaxed);
        if (monitorOn)
            playMonitor(count);
    }
}

// Audio thread: the pickup channel of the frames just read, mixed and handed to the output (what
// does not fit in its buffer is left out).
void TCaptureState::playMonitor(int count) {
    const int p = std::min(pickup.load(std::memory_order_relaxed), channels - 1);
    for (int i = 0; i < count; ++i)
        pickupBlock[i] = frames[static_cast<size_t>(i) * channels + p];
    mix->process(pickupBlock.data(), mixBlock.data(), count);
    // Behind what waits already; should that exceed the queue, the oldest frames give way.
    const int room = static_cast<int>(monitored.size() / 2) - pendingOut;
    if (count > room) {
        const int drop = std::min(count - room, pendingOut);
        std::copy(monitored.begin() + 2 * drop, monitored.begin() + 2 * pendingOut, monitored.begin());
        pendingOut -= drop;
        outputDropped.fetch_add(drop, std::memory_order_relaxed);
    }
    std::copy(mixBlock.begin(), mixBlock.begin() + 2 * count, monitored.begin() + 2 * pendingOut);
    pendingOut += count;
    flushMonitor();
    // What the output and the queue hold now, the blocking of the convolution and this read's span.
    const double queued =
        static_cast<double>(sink->bufferSize() - sink->bytesFree()) / outFormat.bytesPerFrame();
    const double ms =
        1000.0 * (queued + pendingOut + TMonitorMix::latencyFrames + count) / inFormat.sampleRate();
    const double before = latencyMs.load(std::memory_order_relaxed);
    latencyMs.store(before == 0 ? ms : before + 0.05 * (ms - before), std::memory_order_relaxed);
}

// Audio thread: as much of the queue as the output takes now.
void TCaptureState::flushMonitor() {
    const int outFrame = outFormat.bytesPerFrame();
    const int n = std::min(pendingOut, static_cast<int>(sink->bytesFree() / outFrame));
    if (n <= 0)
        return;
    if (outFormat.sampleFormat() == QAudioFormat::Float) {
        std::copy_n(monitored.data(), 2 * n, reinterpret_cast<float*>(outBytes.data()));
    } else {
        auto* o = reinterpret_cast<qint16*>(outBytes.data());
        for (int i = 0; i < 2 * n; ++i)
            o[i] = static_cast<qint16>(std::lround(std::clamp(monitored[i], -1.0f, 1.0f) * 32767.0f));
    }
    const qint64 written = out->write(outBytes.data(), static_cast<qint64>(n) * outFrame);
    const int done = written > 0 ? static_cast<int>(written / outFrame) : 0;
    std::copy(monitored.begin() + 2 * done, monitored.begin() + 2 * pendingOut, monitored.begin());
    pendingOut -= done;
}

// Worker: frames from the ring to the meters, the take and the listener, until told to quit.
void TCaptureState::work() {
    while (!quit.load()) {
        const bool stopping = stopRequested.load() || lost.load();
        // A stop takes what the ring holds at this moment, then ends the take.
        std::int64_t left = static_cast<std::int64_t>(ring->readable()) / channels;
        if (left == 0 && !stopping) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        while (left > 0) {
            const std::int64_t n = std::min<std::int64_t>(left, workerFrames);
            ring->read(workBlock.data(), static_cast<std::size_t>(n * channels));
            {
                std::lock_guard guard(meterLock);
                meters[0]->add(workBlock.data() + pickup.load(), channels, n);
                meters[1]->add(workBlock.data() + mic.load(), channels, n);
            }
            if (recording.load())
                writeBlock(n);
            left -= n;
            if (!stopping)
                break;
        }
        if (stopping) {
            if (recording.load())
                endTake(lost.load() ? "The input \"" + deviceName + "\" disappeared" : QString());
            stopRequested = false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
}

void TCaptureState::writeBlock(std::int64_t n) {
    std::lock_guard guard(takeLock);
    const std::int64_t before = writer.framesWritten();
    const TFileResult r = writer.write(workBlock.data(), n);
    const std::int64_t written = writer.framesWritten() - before;
    recorded = writer.framesWritten();
    if (listener && written > 0)
        listener(workBlock.data(), channels, written);
    if (!r.ok) {
        ended = r;
        recording = false;
    }
}

// Worker: ends the take; `why`, when set, is a cause outside the file (the input lost).
void TCaptureState::endTake(const QString& why) {
    std::lock_guard guard(takeLock);
    TFileResult r = writer.stop();
    recording = false;
    const std::int64_t lostFrames = dropped.exchange(0);
    std::string note;
    if (!why.isEmpty())
        note = why.toStdString() + ": the take stopped and what was recorded is kept";
    if (lostFrames > 0)
        note += std::string(note.empty() ? "" : "; ") + std::to_string(lostFrames) +
                " frames were lost because the disk did not keep up";
    if (!note.empty()) {
        r.ok = false;
        r.message = r.message.empty() ? note : r.message + "; " + note;
    }
    ended = r;
}

TCapture::TCapture()
    : state(std::make_unique<TCaptureState>()), retry(std::make_unique<QTimer>()),
      watch(std::make_unique<QTimer>()) {
    retry->setSingleShot(true);
    QObject::connect(retry.get(), &QTimer::timeout, [this] { stageFilters(); });
    watch->setInterval(watchMs);
    QObject::connect(watch.get(), &QTimer::timeout, [this] {
        const QList<QAudioDevice> listed = QMediaDevices::audioInputs();
        if (std::none_of(listed.begin(), listed.end(),
                         [this](const QAudioDevice& d) { return d.id() == current.id(); }))
            inputLost();
    });
    state->context = startAudioThread(state->thread, QStringLiteral("audio input"));
}

TCapture::~TCapture() {
    close();
    stopAudioThread(state->thread);
}

void TCapture::prepareSoundServer() {
    if (!qEnvironmentVariableIsSet("PULSE_LATENCY_MSEC"))
        qputenv("PULSE_LATENCY_MSEC", "10");
}

std::vector<QAudioDevice> TCapture::inputs() {
    const QAudioDevice preferred = QMediaDevices::defaultAudioInput();
    std::vector<QAudioDevice> list;
    if (!preferred.isNull())
        list.push_back(preferred);
    for (const QAudioDevice& d : QMediaDevices::audioInputs())
        if (d.id() != preferred.id())
            list.push_back(d);
    return list;
}

int TCapture::deviceChannels(const QAudioDevice& device) {
    const int preferred = device.preferredFormat().channelCount();
    return std::clamp(preferred > 0 ? preferred : device.maximumChannelCount(), 1, maxChannels);
}

int TCapture::preferredRate(const QAudioDevice& device) {
    const int rate = device.preferredFormat().sampleRate();
    return rate > 0 ? rate : 48000;
}

bool TCapture::open(const QAudioDevice& device, int rate, QString* error) {
    close();
    const int channels = deviceChannels(device);
    const QAudioFormat format = formatFor(device, rate, channels);
    if (format.sampleFormat() == QAudioFormat::Unknown) {
        if (error)
            *error = QStringLiteral("The input \"%1\" cannot record %2 channels at %3 Hz")
                         .arg(device.description())
                         .arg(channels)
                         .arg(rate);
        return false;
    }
    TCaptureState* s = state.get();
    s->channels = channels;
    s->inFormat = format;
    s->deviceName = device.description();
    const size_t readFrames = static_cast<size_t>(rate) * readMs / 1000;
    s->inBytes.assign(readFrames * format.bytesPerFrame(), 0);
    s->frames.assign(readFrames * channels, 0.0f);
    s->pickupBlock.assign(readFrames, 0.0f);
    s->mixBlock.assign(2 * readFrames, 0.0f);
    s->monitored.assign(2 * readFrames, 0.0f);
    s->outBytes.assign(2 * readFrames * sizeof(float), 0);
    s->ring = std::make_unique<TRingBuffer<float>>(static_cast<size_t>(rate) * ringSeconds * channels);
    s->workBlock.assign(static_cast<size_t>(workerFrames) * channels, 0.0f);
    for (auto& m : s->meters)
        m = std::make_unique<TLevelMeter>(rate);
    s->lost = false;
    s->dropped = 0;
    bool started = false;
    QString why;
    QMetaObject::invokeMethod(
        s->context,
        [s, device, format, &started, &why] {
            s->source = new QAudioSource(device, format, s->context);
            s->source->setBufferSize(format.bytesForDuration(20 * 1000));
            s->in = s->source->start();
            if (!s->in || s->source->error() != QAudio::NoError) {
                why = QStringLiteral("The input \"%1\" does not start (error %2)")
                          .arg(device.description())
                          .arg(static_cast<int>(s->source->error()));
                delete s->source;
                s->source = nullptr;
                s->in = nullptr;
                return;
            }
            QObject::connect(s->source, &QAudioSource::stateChanged, s->context, [s](QAudio::State st) {
                if (st == QAudio::StoppedState && s->source->error() != QAudio::NoError)
                    s->lost = true;
            });
            QObject::connect(s->in, &QIODevice::readyRead, s->context, [s] { s->readInput(); });
            s->timer = new QTimer(s->context);
            s->timer->setTimerType(Qt::PreciseTimer);
            QObject::connect(s->timer, &QTimer::timeout, s->context, [s] {
                s->readInput();
                if (s->monitorOn)
                    s->flushMonitor();
            });
            s->timer->start(tickMs);
            started = true;
        },
        Qt::BlockingQueuedConnection);
    if (!started) {
        if (error)
            *error = why;
        return false;
    }
    current = device;
    inputRate = rate;
    inputChannels = channels;
    s->quit = false;
    s->worker = std::thread([s] { s->work(); });
    watch->start();
    return true;
}

void TCapture::close() {
    TCaptureState* s = state.get();
    if (!isOpen())
        return;
    watch->stop();
    stopMonitor();
    if (recording())
        stopTake();
    QMetaObject::invokeMethod(
        s->context,
        [s] {
            delete s->timer;
            s->timer = nullptr;
            if (s->source)
                s->source->stop();
            delete s->source;
            s->source = nullptr;
            s->in = nullptr;
        },
        Qt::BlockingQueuedConnection);
    // The worker ends a take still running with what the ring holds.
    while (s->recording.load() && s->worker.joinable())
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    s->quit = true;
    if (s->worker.joinable())
        s->worker.join();
    current = QAudioDevice();
    inputRate = inputChannels = 0;
    s->lost = false;
}

bool TCapture::isOpen() const {
    return !current.isNull();
}

void TCapture::setChannels(int pickup, int mic) {
    state->pickup = std::clamp(pickup, 0, std::max(inputChannels - 1, 0));
    state->mic = std::clamp(mic, 0, std::max(inputChannels - 1, 0));
}

TLevelReading TCapture::level(int which) {
    std::lock_guard guard(state->meterLock);
    auto& m = state->meters[which == 0 ? 0 : 1];
    return m ? m->take() : TLevelReading{};
}

void TCapture::setBlockListener(TBlockListener listener) {
    std::lock_guard guard(state->takeLock);
    state->listener = std::move(listener);
}

TFileResult TCapture::startTake(const std::string& path, bool replace) {
    if (!isOpen())
        return fileError("Cannot record \"" + path + "\": no audio input is open");
    std::lock_guard guard(state->takeLock);
    if (state->recording.load())
        return fileError("Cannot record \"" + path + "\": a take is being recorded");
    TFileResult r = state->writer.start(path, inputRate, inputChannels, replace);
    if (r.ok) {
        state->ended.reset();
        state->recorded = 0;
        state->dropped = 0;
        state->recording = true;
    }
    return r;
}

void TCapture::stopTake() {
    if (state->recording.load())
        state->stopRequested = true;
}

std::optional<TFileResult> TCapture::takeEnded() {
    std::lock_guard guard(state->takeLock);
    std::optional<TFileResult> r = std::move(state->ended);
    state->ended.reset();
    return r;
}

bool TCapture::recording() const {
    return state->recording.load();
}

std::int64_t TCapture::recordedFrames() const {
    return state->recorded.load();
}

std::int64_t TCapture::droppedFrames() const {
    return state->dropped.load();
}

void TCapture::inputLost() {
    state->lost = true;
}

bool TCapture::lost() const {
    return state->lost.load();
}

bool TCapture::startMonitor(std::span<const double> left, std::span<const double> right, QString* error) {
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!isOpen())
        return fail(QStringLiteral("No audio input is open"));
    if (monitoring())
        return true;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return fail(QStringLiteral("No audio output: the system has no sound device to play on"));
    QString why;
    const std::optional<QAudioFormat> output = stereoOutputFormat(device, inputRate, why);
    if (!output)
        return fail(why);
    const QAudioFormat format = *output;
    TCaptureState* s = state.get();
    s->mix = std::make_unique<TMonitorMix>(inputRate, left, right);
    s->outFormat = format;
    s->latencyMs = 0;
    s->outputDropped = 0;
    filtersPending = false;
    bool started = false;
    QMetaObject::invokeMethod(
        s->context,
        [s, device, format, &started, &why] {
            s->sink = new QAudioSink(device, format, s->context);
            s->sink->setBufferSize(format.bytesForDuration(outputBufferMs * 1000));
            s->out = s->sink->start();
            if (!s->out || s->sink->error() != QAudio::NoError) {
                why = QStringLiteral("The audio output \"%1\" does not start (error %2)")
                          .arg(device.description())
                          .arg(static_cast<int>(s->sink->error()));
                delete s->sink;
                s->sink = nullptr;
                s->out = nullptr;
                return;
            }
            // A little silence first, so the output does not run dry between reads; the rest of its
            // buffer takes the unevenness of the input's deliveries.
            std::fill(s->outBytes.begin(), s->outBytes.end(), 0);
            const qint64 prefill = std::min<qint64>(format.bytesForDuration(outputPrefillMs * 1000),
                                                    static_cast<qint64>(s->outBytes.size()));
            s->out->write(s->outBytes.data(), prefill - prefill % format.bytesPerFrame());
            s->pendingOut = 0;
            s->monitorOn = true;
            started = true;
        },
        Qt::BlockingQueuedConnection);
    if (!started) {
        s->mix.reset();
        return fail(why);
    }
    return true;
}

void TCapture::stopMonitor() {
    TCaptureState* s = state.get();
    if (!s->mix)
        return;
    QMetaObject::invokeMethod(
        s->context,
        [s] {
            s->monitorOn = false;
            if (s->sink) {
                s->sink->stop();
                delete s->sink;
                s->sink = nullptr;
                s->out = nullptr;
            }
        },
        Qt::BlockingQueuedConnection);
    s->mix.reset();
    filtersPending = false;
}

bool TCapture::monitoring() const {
    return state->mix != nullptr;
}

void TCapture::setFilters(std::span<const double> left, std::span<const double> right) {
    if (!monitoring())
        return;
    pendingLeft.assign(left.begin(), left.end());
    pendingRight.assign(right.begin(), right.end());
    filtersPending = true;
    stageFilters();
}

// Hands the pending filters to the monitor; while it still fades in an earlier change, tries again
// a moment later (a fade takes a few ms).
void TCapture::stageFilters() {
    if (!filtersPending || !state->mix)
        return;
    if (state->mix->stage(pendingLeft, pendingRight)) {
        filtersPending = false;
        return;
    }
    retry->start(5);
}

void TCapture::select(TABSource source) {
    if (state->mix)
        state->mix->select(source);
}

double TCapture::monitorLatencyMs() const {
    return state->latencyMs.load();
}

std::int64_t TCapture::outputDroppedFrames() const {
    return state->outputDropped.load();
}

std::int64_t TCapture::limitedFrames() const {
    return state->mix ? state->mix->limitedFrames() : 0;
}
