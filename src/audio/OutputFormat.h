// The format the player and the monitor send to an audio output.
#pragma once

#include <QAudioFormat>
#include <QString>

#include <optional>

class QAudioDevice;

// The stereo format `device` plays `rate` Hz in: 32-bit float where it takes that, else 16-bit;
// nullopt where it takes neither, with `why` naming the device and the rate.
std::optional<QAudioFormat> stereoOutputFormat(const QAudioDevice& device, int rate, QString& why);
