#include "audio/Player.h"

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
#include <cmath>
#include <mutex>
#include <vector>

namespace {

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

// Everything the audio thread shares with the window's thread.
struct TPlayerState {
    std::mutex lock; // guards take, gain and takeChanged
    std::shared_ptr<const TPlaybackFile> take;
    float gain = 1;
    bool takeChanged = false;

    std::atomic<std::int64_t> position{0};
    std::atomic<std::int64_t> seekTo{-1};
    std::atomic<bool> playing{false};
    std::atomic<std::int64_t> switchRequestNs{0};
    std::atomic<double> switchLatencyMs{-1};

    TABMixer mixer{1};
    QThread thread;
    QObject* context = nullptr; // lives on `thread`
    QAudioSink* sink = nullptr; // lives on `thread`
    QTimer* timer = nullptr;    // lives on `thread`
    int generation = 0;         // counts the starts, on `thread`
    std::unique_ptr<class TFeeder> feeder;
};

// Mixes the take at the position into the output's format and pushes it into the output, as much
// as the output has room for, every feedMs.
class TFeeder {
public:
    static constexpr int feedMs = 2;

    TFeeder(TPlayerState& state, const QAudioFormat& format) : state(state), format(format) {}

    // Fills the output's free room; false once the take's last frame was handed over.
    bool feed(QAudioSink& sink, QIODevice& out) {
        const int bytesPerFrame = format.bytesPerFrame();
        {
            std::lock_guard guard(state.lock);
            if (state.takeChanged) {
                take = state.take;
                state.mixer.setPickupGain(state.gain);
                state.takeChanged = false;
            }
        }
        if (!take)
            return false;
        std::int64_t at = state.position.load();
        if (const std::int64_t s = state.seekTo.exchange(-1); s >= 0)
            at = s;
        const std::int64_t end = take->frames();
        if (at >= end) {
            state.position = end;
            return false;
        }
        const int room = static_cast<int>(sink.bytesFree() / bytesPerFrame);
        const int frames = static_cast<int>(std::min<std::int64_t>(room, end - at));
        if (frames <= 0)
            return true;
        if (const std::int64_t requested = state.switchRequestNs.exchange(0); requested != 0) {
            // The crossfade starts with this block, which is heard after what is buffered ahead.
            const double waitedMs = static_cast<double>(nowNs() - requested) / 1e6;
            const double bufferedMs = format.durationForBytes(sink.bufferSize() - sink.bytesFree()) / 1e3;
            state.switchLatencyMs = waitedMs + bufferedMs + TPlayer::fadeMs / 2.0;
        }
        corrected.resize(2 * static_cast<size_t>(frames));
        pickup.resize(static_cast<size_t>(frames));
        mixed.resize(2 * static_cast<size_t>(frames));
        bytes.resize(static_cast<size_t>(frames) * bytesPerFrame);
        take->read(at, frames, corrected.data(), pickup.data());
        state.mixer.mix(corrected.data(), pickup.data(), frames, mixed.data());
        if (format.sampleFormat() == QAudioFormat::Float) {
            float* o = reinterpret_cast<float*>(bytes.data());
            for (int i = 0; i < 2 * frames; ++i)
                o[i] = std::clamp(mixed[static_cast<size_t>(i)], -1.0f, 1.0f);
        } else {
            qint16* o = reinterpret_cast<qint16*>(bytes.data());
            for (int i = 0; i < 2 * frames; ++i)
                o[i] = static_cast<qint16>(
                    std::lround(std::clamp(mixed[static_cast<size_t>(i)], -1.0f, 1.0f) * 32767.0f));
        }
        const qint64 written = out.write(bytes.data(), static_cast<qint64>(bytes.size()));
        const std::int64_t done = written > 0 ? written / bytesPerFrame : 0;
        state.position = at + done;
        return at + done < end;
    }

private:
    TPlayerState& state;
    QAudioFormat format;
    std::shared_ptr<const TPlaybackFile> take;
    std::vector<float> corrected, pickup, mixed;
    std::vector<char> bytes;
};

TPlayer::TPlayer() : state(std::make_unique<TPlayerState>()) {
    state->context = new QObject;
    state->context->moveToThread(&state->thread);
    QObject::connect(&state->thread, &QThread::finished, state->context, &QObject::deleteLater);
    state->thread.setObjectName(QStringLiteral("audio output"));
    state->thread.start(QThread::TimeCriticalPriority);
}

TPlayer::~TPlayer() {
    stop();
    state->thread.quit();
    state->thread.wait();
}

QString TPlayer::outputUnavailableReason() {
    if (QMediaDevices::defaultAudioOutput().isNull())
        return QStringLiteral("No audio output: the system has no sound device to play on");
    return {};
}

void TPlayer::setTake(std::shared_ptr<const TPlaybackFile> take, float pickupGain) {
    if (!take || (current && take->rate() != current->rate()))
        stop();
    {
        std::lock_guard guard(state->lock);
        state->take = take;
        state->gain = pickupGain;
        state->takeChanged = true;
    }
    current = std::move(take);
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
    QAudioFormat format;
    format.setSampleRate(current->rate());
    format.setChannelCount(2);
    format.setSampleFormat(QAudioFormat::Float);
    if (!device.isFormatSupported(format))
        format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format))
        return fail(QStringLiteral("The audio output \"%1\" cannot play %2 Hz stereo")
                        .arg(device.description())
                        .arg(current->rate()));
    stop();
    if (position() >= current->frames())
        seek(0);
    state->mixer.setFadeFrames(std::max(1, current->rate() * fadeMs / 1000));
    state->mixer.settle();
    bool started = false;
    QString why;
    TPlayerState* s = state.get();
    QMetaObject::invokeMethod(
        state->context,
        [s, device, format, &started, &why] {
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
            s->feeder = std::make_unique<TFeeder>(*s, format);
            s->playing = true;
            const int generation = ++s->generation;
            s->timer = new QTimer(s->context);
            s->timer->setTimerType(Qt::PreciseTimer);
            // After the last frame the output plays what it holds, then playback is over.
            const auto feed = [s, out, generation] {
                if (s->feeder->feed(*s->sink, *out))
                    return;
                s->timer->stop();
                QTimer::singleShot(2 * bufferMs + 20, s->context, [s, generation] {
                    if (s->generation == generation)
                        s->playing = false;
                });
            };
            QObject::connect(s->timer, &QTimer::timeout, s->context, feed);
            s->timer->start(TFeeder::feedMs);
            feed();
            started = true;
        },
        Qt::BlockingQueuedConnection);
    if (!started)
        return fail(why);
    return true;
}

void TPlayer::stop() {
    TPlayerState* s = state.get();
    if (!s->thread.isRunning())
        return;
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
            s->feeder.reset();
        },
        Qt::BlockingQueuedConnection);
    if (const std::int64_t at = s->seekTo.exchange(-1); at >= 0)
        s->position = at;
}

bool TPlayer::isPlaying() const {
    return state->playing;
}

std::int64_t TPlayer::position() const {
    const std::int64_t pending = state->seekTo.load();
    return pending >= 0 ? pending : state->position.load();
}

void TPlayer::seek(std::int64_t frame) {
    const std::int64_t end = current ? current->frames() : 0;
    frame = std::clamp<std::int64_t>(frame, 0, end);
    if (isPlaying())
        state->seekTo = frame;
    else
        state->position = frame;
}

void TPlayer::select(TABSource source) {
    if (source == state->mixer.selected())
        return;
    state->mixer.select(source);
    if (isPlaying())
        state->switchRequestNs = nowNs();
    else
        state->mixer.settle();
}

TABSource TPlayer::selected() const {
    return state->mixer.selected();
}

double TPlayer::lastSwitchLatencyMs() const {
    return state->switchLatencyMs;
}
