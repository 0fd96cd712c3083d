#include "io/Renderer.h"

#include "io/SafeWriter.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr int bytesPerFrame = 8; // two 32-bit floats

void putU16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

void putU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void putU64(std::string& out, std::uint64_t v) {
    putU32(out, static_cast<std::uint32_t>(v));
    putU32(out, static_cast<std::uint32_t>(v >> 32));
}

} // namespace

std::string floatWaveHeader(int rate, std::int64_t frames) {
    constexpr std::uint32_t unknown = 0xFFFFFFFF;
    const std::uint64_t dataBytes = static_cast<std::uint64_t>(frames) * bytesPerFrame;
    // "WAVE" + "fmt " chunk (18) + "fact" chunk (4) + "data" chunk header.
    constexpr std::uint64_t riffBody = 4 + (8 + 18) + (8 + 4) + 8;
    const bool rf64 = riffBody + dataBytes > std::numeric_limits<std::uint32_t>::max();
    std::string h;
    h += rf64 ? "RF64" : "RIFF";
    putU32(h, rf64 ? unknown : static_cast<std::uint32_t>(riffBody + dataBytes));
    h += "WAVE";
    if (rf64) {
        h += "ds64";
        putU32(h, 28);
        putU64(h, riffBody + (8 + 28) + dataBytes); // RIFF size
        putU64(h, dataBytes);
        putU64(h, static_cast<std::uint64_t>(frames)); // sample frames
        putU32(h, 0);                                  // no table
    }
    h += "fmt ";
    putU32(h, 18);
    putU16(h, 3); // WAVE_FORMAT_IEEE_FLOAT
    putU16(h, 2); // channels
    putU32(h, static_cast<std::uint32_t>(rate));
    putU32(h, static_cast<std::uint32_t>(rate) * bytesPerFrame); // bytes per second
    putU16(h, bytesPerFrame);                                    // block align
    putU16(h, 32);                                               // bits per sample
    putU16(h, 0);                                                // no extension
    h += "fact";
    putU32(h, 4);
    putU32(h, rf64 ? unknown : static_cast<std::uint32_t>(frames));
    h += "data";
    putU32(h, rf64 ? unknown : static_cast<std::uint32_t>(dataBytes));
    return h;
}

struct TWaveFileSink::TState {
    TSafeFileWriter writer;
    std::int64_t expected = 0;
    std::int64_t written = 0;
    std::vector<char> bytes;
};

TWaveFileSink::TWaveFileSink(std::string target) : path(std::move(target)) {}

TWaveFileSink::~TWaveFileSink() {
    abandon();
}

TFileResult TWaveFileSink::begin(int rate, std::int64_t frames) {
    abandon();
    // The byte rate must fit its 32-bit field.
    if (rate < 1 || rate > std::numeric_limits<std::int32_t>::max() / bytesPerFrame || frames < 0)
        return fileError("Cannot write \"" + path + "\": no WAVE file holds this rate or length");
    state = std::make_unique<TState>();
    state->expected = frames;
    if (TFileResult r = state->writer.open(path); !r.ok) {
        abandon();
        return r;
    }
    const std::string header = floatWaveHeader(rate, frames);
    state->writer.reserve(static_cast<std::int64_t>(header.size()) + frames * bytesPerFrame);
    return state->writer.write(header);
}

TFileResult TWaveFileSink::write(const float*, const float* stereo, int frames) {
    if (!state)
        return fileError("Cannot write \"" + path + "\": not open");
    const size_t count = 2 * static_cast<size_t>(frames);
    state->written += frames;
    if constexpr (std::endian::native == std::endian::little) // the floats are the file's bytes
        return state->writer.write(
            std::string_view(reinterpret_cast<const char*>(stereo), count * sizeof(float)));
    state->bytes.resize(count * sizeof(float));
    for (size_t i = 0; i < count; ++i) {
        const auto v = std::bit_cast<std::uint32_t>(stereo[i]);
        for (int b = 0; b < 4; ++b)
            state->bytes[4 * i + b] = static_cast<char>((v >> (8 * b)) & 0xFF);
    }
    return state->writer.write(std::string_view(state->bytes.data(), state->bytes.size()));
}

TFileResult TWaveFileSink::commit() {
    if (!state)
        return fileError("Cannot write \"" + path + "\": not open");
    if (state->written != state->expected) {
        abandon();
        return fileError("Cannot write \"" + path + "\": the rendering ended early");
    }
    TFileResult r = state->writer.commit();
    abandon();
    return r;
}

void TWaveFileSink::abandon() {
    if (!state)
        return;
    state->writer.abandon();
    state.reset();
}
