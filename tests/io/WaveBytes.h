// Building WAVE files byte by byte for the reader's tests: little-endian fields, chunks and the
// RIFF header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline std::string le16(std::uint16_t v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}
inline std::string le32(std::uint32_t v) {
    return le16(v & 0xFFFF) + le16(v >> 16);
}

// A chunk with its size field; an odd body gets a pad byte unless `pad` is false.
inline std::string chunk(const std::string& id, const std::string& body, bool pad = true) {
    return id + le32(static_cast<std::uint32_t>(body.size())) + body + (pad && body.size() % 2 ? "\x7f" : "");
}

// The 16 bytes of a format chunk's fields.
inline std::string fmtBody(std::uint32_t rate = 44100, std::uint16_t channels = 1, std::uint16_t bits = 16,
                           std::uint16_t tag = 1) {
    return le16(tag) + le16(channels) + le32(rate) + le32(rate * channels * bits / 8) +
           le16(static_cast<std::uint16_t>(channels * bits / 8)) + le16(bits);
}

inline std::string pcm(const std::vector<std::int16_t>& samples) {
    std::string out;
    for (std::int16_t s : samples)
        out += le16(static_cast<std::uint16_t>(s));
    return out;
}

// The 12-byte file header followed by `chunks`.
inline std::string riff(const std::string& chunks, const std::string& form = "WAVE") {
    return "RIFF" + le32(static_cast<std::uint32_t>(4 + chunks.size())) + form + chunks;
}
