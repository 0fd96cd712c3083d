#include "audio/OutputFormat.h"

#include <QAudioDevice>

std::optional<QAudioFormat> stereoOutputFormat(const QAudioDevice& device, int rate, QString& why) {
    QAudioFormat format;
    format.setSampleRate(rate);
    format.setChannelCount(2);
    format.setSampleFormat(QAudioFormat::Float);
    if (!device.isFormatSupported(format))
        format.setSampleFormat(QAudioFormat::Int16);
    if (device.isFormatSupported(format))
        return format;
    why = QStringLiteral("The audio output \"%1\" cannot play %2 Hz stereo")
              .arg(device.description())
              .arg(rate);
    return std::nullopt;
}
