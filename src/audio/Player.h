// TPlayer: plays a rendered take (TPlaybackFile) on the system's default audio output through Qt
// Multimedia, with a position, Play/Stop and the A/B switch between the corrected signal and the
// level-matched bare pickup. While playing, a normal-priority thread reads the take into a ring
// (TPlaybackFeed) and the output runs on a time-critical thread of its own that only takes from
// the ring, mixes and keeps about bufferMs of audio buffered: a switch is heard within about
// bufferMs + fadeMs / 2 of the call, crossfaded over fadeMs. The calls below belong to one thread
// (the window's).
#pragma once

#include "dsp/ABMixer.h"

#include <QString>

#include <cstdint>
#include <memory>

class TPlaybackFile;

class TPlayer {
public:
    static constexpr int bufferMs = 15;
    static constexpr int fadeMs = 6;

    TPlayer();
    ~TPlayer();
    TPlayer(const TPlayer&) = delete;
    TPlayer& operator=(const TPlayer&) = delete;

    // Empty when the system has a default audio output; otherwise why nothing can be played.
    static QString outputUnavailableReason();

    // What to play: the take and the gain that level-matches its pickup (levelMatchGain). The
    // position is kept (a position past the new take's end goes to its end); playback goes on
    // unless the rate changes. Null stops and forgets the take.
    void setTake(std::shared_ptr<const TPlaybackFile> take, float pickupGain);
    const std::shared_ptr<const TPlaybackFile>& take() const { return current; }

    // Starts playing from position() (from the start when at the end). False, with the reason in
    // `error`, when there is no take or the output cannot play it.
    bool play(QString* error = nullptr);
    void stop();
    // True while playing; false once stopped, after the take's last frame was played, or once the
    // output failed (the sound server or device went away, or the output took nothing for 2 s).
    bool isPlaying() const;
    // After playback ended by an output failure: why, once (empty otherwise, and afterwards).
    QString collectFailure();

    // The next frame to be played, 0 .. frames.
    std::int64_t position() const;
    // Moves the position (clamped to 0 .. frames), also while playing.
    void seek(std::int64_t frame);

    void select(TABSource source);
    TABSource selected() const;

    // The time from the last select() to the point where its crossfade is half done in what the
    // output plays, in ms: the wait for the next block mixed plus the audio buffered ahead of it
    // plus fadeMs / 2. Negative before the first switch while playing.
    double lastSwitchLatencyMs() const;

private:
    std::unique_ptr<struct TPlayerState> state;
    std::shared_ptr<const TPlaybackFile> current;
    float gain = 1;
};
