#include "audio/Player.h"

#include "audio/AudioThread.h"
#include "audio/OutputFormat.h"
#include "audio/PlaybackFeed.h"
#include "audio/PlaybackFile.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <thread>
#include <vector>

namespace {

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

constexpr int feedMs = 2;     // the output thread tops the output up this often
constexpr int fillMs = 5;     // the filling thread tops the ring up this often
constexpr int ringMs = 250;   // what the ring holds ahead of the output
constexpr int stallMs = 2000; // an output that takes nothing for this long is gone

// Puts the calling thread in the real-time class, below the sound server's own threads (PulseAudio's
// default priority is 5), where the system allows it; otherwise it stays as it is. On a loaded
// machine an ordinary thread waking every feedMs can wait longer than the output's buffer lasts.
void preferRealTime() {
    sched_param p{};
    p.sched_priority = std::max(sched_get_priority_min(SCHED_FIFO), 4);
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &p);
}

} // namespace

// Everything the threads share: the window's, the filling thread and the output thread.
struct TPlayerState {
    TPlaybackFeed feed;
    std::atomic<bool> playing{false};
    std::atomic<std::int64_t> switchRequestNs{0};
    std::atomic<double> switchLatencyMs{-1};
    std::atomic<int> failure{0}; // QAudio::Error + 1 of an output that failed while playing; -1 stalled
    QString device;              // the output playing, for the message of a failure

    // The filling thread, between play() and stop().
    std::thread filler;
    std::mutex wakeLock; // guards quit and poked
    std::condition_variable wake;
    bool quit = false;
    bool poked = false;

    // The output thread.
    QThread thread;
    QObject* context = nullptr; // lives on `thread`
    QAudioSink* sink = nullptr; // lives on `thread`
    QTimer* timer = nullptr;    // lives on `thread`
    int generation = 0;         // counts the starts, on `thread`
    std::vector<char> bytes;    // one block of output samples, sized by play()
    std::int64_t stalledSinceNs = 0;

    void poke() {
        std::lock_guard guard(wakeLock);
        poked = true;
        wake.notify_one();
    }
    void fillUntilQuit() {
        std::unique_lock guard(wakeLock);
        while (!quit) {
            guard.unlock();
            const bool more = feed.fill();
            guard.lock();
            // With all of the take queued, only a seek or another take brings more to do.
            const auto due = [this] { return quit || poked; };
            if (more)
                wake.wait_for(guard, std::chrono::milliseconds(fillMs), due);
            else
                wake.wait(guard, due);
            poked = false;
        }
    }
    // On the output thread: hands the output as much as it has room for. False once playback is
    // over: the take's last frame handed over, or the output failed.
    bool feedOutput(QIODevice& out, const QAudioFormat& format, TOutputFormat samples);
};

bool TPlayerState::feedOutput(QIODevice& out, const QAudioFormat& format, TOutputFormat samples) {
    // An underrun is no failure (the output waits for more); an output that stopped by itself or
    // reports an error is gone, with the sound server or device behind it.
    const QAudio::Error error = sink->error();
    if ((error != QAudio::NoError && error != QAudio::UnderrunError) ||
        sink->state() == QAudio::StoppedState) {
        failure = static_cast<int>(error) + 1;
        return false;
    }
    const int bytesPerFrame = format.bytesPerFrame();
    int room = static_cast<int>(sink->bytesFree() / bytesPerFrame);
    const std::int64_t now = nowNs();
    if (room > 0 || stalledSinceNs == 0)
        stalledSinceNs = now;
    else if (now - stalledSinceNs > stallMs * std::int64_t{1000000}) {
        failure = -1;
        return false;
    }
    if (room > 0) {
        if (const std::int64_t requested = switchRequestNs.exchange(0); requested != 0) {
            // The crossfade starts with this block, which is heard after what is buffered ahead.
            const double waitedMs = static_cast<double>(now - requested) / 1e6;
            const double bufferedMs = format.durationForBytes(sink->bufferSize() - sink->bytesFree()) / 1e3;
            switchLatencyMs = waitedMs + bufferedMs + TPlayer::fadeMs / 2.0;
        }
    }
    while (room > 0) {
        const int frames = feed.pull(bytes.data(), room, samples);
        if (frames == 0)
            break;
        const qint64 written = out.write(bytes.data(), static_cast<qint64>(frames) * bytesPerFrame);
        if (written < static_cast<qint64>(frames) * bytesPerFrame) {
            failure = static_cast<int>(sink->error()) + 1;
            return false;
        }
        room -= frames;
    }
    return !feed.ended();
}

TPlayer::TPlayer() : state(std::make_unique<TPlayerState>()) {
    state->context = startAudioThread(state->thread, QStringLiteral("audio output"));
}

TPlayer::~TPlayer() {
    stop();
    state->feed.setTake(nullptr, 1);
    stopAudioThread(state->thread);
}

QString TPlayer::outputUnavailableReason() {
    if (QMediaDevices::defaultAudioOutput().isNull())
        return QStringLiteral("No audio output: the system has no sound device to play on");
    return {};
}

void TPlayer::setTake(std::shared_ptr<const TPlaybackFile> take, float pickupGain) {
    if (!take || (current && take->rate() != current->rate()))
        stop();
    state->feed.setTake(take, pickupGain);
    current = std::move(take);
    gain = pickupGain;
    if (isPlaying())
        state->poke();
    const std::int64_t end = current ? current->frames() : 0;
    if (position() > end)
        seek(end);
}

bool TPlayer::play(QString* error) {
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!current)
        return fail(QStringLiteral("Nothing to play: open a recording first"));
    if (isPlaying())
        return true;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return fail(outputUnavailableReason());
    QString why;
    const std::optional<QAudioFormat> output = stereoOutputFormat(device, current->rate(), why);
    if (!output)
        return fail(why);
    const QAudioFormat format = *output;
    stop();
    if (position() >= current->frames())
        seek(0);
    TPlayerState* s = state.get();
    s->feed.mixer().setFadeFrames(std::max(1, current->rate() * fadeMs / 1000));
    s->feed.mixer().settle();
    // The output thread may be handed up to a buffer of frames at once (the output may make its
    // buffer larger than asked); the ring holds ringMs ahead of it.
    const int bufferFrames = std::max(1, current->rate() * bufferMs / 1000);
    const int blockFrames = 4 * bufferFrames;
    s->feed.start(current, gain, std::max(current->rate() * ringMs / 1000, 2 * blockFrames), blockFrames);
    s->feed.fill();
    s->bytes.resize(static_cast<std::size_t>(blockFrames) * format.bytesPerFrame());
    s->failure = 0;
    s->device = device.description();
    s->quit = false;
    s->filler = std::thread([s] { s->fillUntilQuit(); });
    const TOutputFormat samples =
        format.sampleFormat() == QAudioFormat::Float ? TOutputFormat::float32 : TOutputFormat::int16;
    bool started = false;
    QMetaObject::invokeMethod(
        s->context,
        [s, device, format, samples, &started, &why] {
            preferRealTime();
            s->sink = new QAudioSink(device, format, s->context);
            s->sink->setBufferSize(format.bytesForDuration(bufferMs * 1000));
            QIODevice* out = s->sink->start();
            if (!out || s->sink->error() != QAudio::NoError) {
                why = QStringLiteral("The audio output \"%1\" does not start (error %2)")
                          .arg(device.description())
                          .arg(static_cast<int>(s->sink->error()));
                delete s->sink;
                s->sink = nullptr;
                return;
            }
            s->playing = true;
            s->stalledSinceNs = 0;
            const int generation = ++s->generation;
            s->timer = new QTimer(s->context);
            s->timer->setTimerType(Qt::PreciseTimer);
            // After the last frame the output plays what it holds, then playback is over; an output
            // that failed ends it at once.
            const auto feed = [s, out, format, samples, generation] {
                if (s->feedOutput(*out, format, samples))
                    return;
                s->timer->stop();
                if (s->failure != 0) {
                    s->playing = false;
                    return;
                }
                QTimer::singleShot(2 * bufferMs + 20, s->context, [s, generation] {
                    if (s->generation == generation)
                        s->playing = false;
                });
            };
            QObject::connect(s->timer, &QTimer::timeout, s->context, feed);
            s->timer->start(feedMs);
            feed();
            started = true;
        },
        Qt::BlockingQueuedConnection);
    if (!started) {
        stop();
        return fail(why);
    }
    return true;
}

void TPlayer::stop() {
    TPlayerState* s = state.get();
    if (s->thread.isRunning())
        QMetaObject::invokeMethod(
            s->context,
            [s] {
                s->playing = false;
                delete s->timer;
                s->timer = nullptr;
                if (s->sink) {
                    s->sink->stop();
                    delete s->sink;
                    s->sink = nullptr;
                }
            },
            Qt::BlockingQueuedConnection);
    if (s->filler.joinable()) {
        {
            std::lock_guard guard(s->wakeLock);
            s->quit = true;
        }
        s->wake.notify_one();
        s->filler.join();
    }
    s->feed.finish();
}

bool TPlayer::isPlaying() const {
    return state->playing;
}

QString TPlayer::collectFailure() {
    if (isPlaying())
        return {};
    const int failure = state->failure.exchange(0);
    if (failure == 0)
        return {};
    if (failure < 0)
        return QStringLiteral("The audio output \"%1\" stopped taking sound: playback ended")
            .arg(state->device);
    return QStringLiteral(
               "The audio output \"%1\" went away (error %2): playback ended; press Play once it is back")
        .arg(state->device)
        .arg(failure - 1);
}

std::int64_t TPlayer::position() const {
    return state->feed.position();
}

void TPlayer::seek(std::int64_t frame) {
    const std::int64_t end = current ? current->frames() : 0;
    state->feed.seek(std::clamp<std::int64_t>(frame, 0, end));
    if (isPlaying())
        state->poke();
}

void TPlayer::select(TABSource source) {
    TABMixer& mixer = state->feed.mixer();
    if (source == mixer.selected())
        return;
    mixer.select(source);
    if (isPlaying())
        state->switchRequestNs = nowNs();
    else
        mixer.settle();
}

TABSource TPlayer::selected() const {
    return state->feed.mixer().selected();
}

double TPlayer::lastSwitchLatencyMs() const {
    return state->switchLatencyMs;
}
