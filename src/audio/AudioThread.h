// The thread an audio device is served on. Qt's audio sinks and sources, and the timers that feed
// or drain them, must live on the thread that runs them; they are made as children of a context
// object living on that thread, and work reaches them through it. For the window's thread only.
#pragma once

#include <QString>

class QObject;
class QThread;

// Starts `thread` at time-critical priority under `name` and returns a new plain object living on
// it, deleted (with its children) when the thread finishes.
QObject* startAudioThread(QThread& thread, const QString& name);
// Ends the thread's event loop and waits until it has finished.
void stopAudioThread(QThread& thread);
