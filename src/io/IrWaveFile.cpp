#include "io/IrWaveFile.h"

#include <bit>
#include <cmath>
#include <cstdint>

namespace {

void putLE(std::string& out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

} // namespace

int irFormatBits(TIrFormat format) {
    return format == TIrFormat::pcm16 ? 16 : format == TIrFormat::pcm24 ? 24 : 32;
}

std::string irWaveBytes(const std::vector<std::vector<double>>& channels, int rate, TIrFormat format) {
    const bool isFloat = format == TIrFormat::float32;
    const int bytesPerSample = irFormatBits(format) / 8;
    const auto channelCount = static_cast<std::uint32_t>(channels.size());
    const std::size_t frames = channels.empty() ? 0 : channels[0].size();
    const auto dataBytes = static_cast<std::uint32_t>(frames * channelCount * bytesPerSample);
    const std::uint32_t fmtBytes = isFloat ? 18 : 16;
    const std::uint32_t factBytes = isFloat ? 8 + 4 : 0;
    const std::uint32_t pad = dataBytes % 2;

    std::string out;
    out.reserve(64 + dataBytes);
    out += "RIFF";
    putLE(out, 4 + (8 + fmtBytes) + factBytes + 8 + dataBytes + pad, 4);
    out += "WAVEfmt ";
    putLE(out, fmtBytes, 4);
    putLE(out, isFloat ? 3 : 1, 2); // WAVE_FORMAT_IEEE_FLOAT or WAVE_FORMAT_PCM
    putLE(out, channelCount, 2);
    putLE(out, static_cast<std::uint32_t>(rate), 4);
    putLE(out, static_cast<std::uint32_t>(rate) * channelCount * bytesPerSample, 4);
    putLE(out, channelCount * bytesPerSample, 2);
    putLE(out, 8 * bytesPerSample, 2);
    if (isFloat) {
        putLE(out, 0, 2); // no extension
        out += "fact";
        putLE(out, 4, 4);
        putLE(out, static_cast<std::uint32_t>(frames), 4);
    }
    out += "data";
    putLE(out, dataBytes, 4);

    const double fullScale = isFloat ? 1.0 : std::ldexp(1.0, 8 * bytesPerSample - 1);
    for (std::size_t i = 0; i < frames; ++i) {
        for (const std::vector<double>& c : channels) {
            if (isFloat) {
                putLE(out, std::bit_cast<std::uint32_t>(static_cast<float>(c[i])), 4);
                continue;
            }
            const double v = std::round(c[i] * fullScale);
            const double held = std::isnan(v)       ? 0.0
                                : v < -fullScale    ? -fullScale
                                : v > fullScale - 1 ? fullScale - 1
                                                    : v;
            putLE(out, static_cast<std::uint32_t>(static_cast<std::int32_t>(held)), bytesPerSample);
        }
    }
    if (pad)
        out += '\0';
    return out;
}
