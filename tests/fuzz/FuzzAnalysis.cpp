// Fuzz target: the analysis run on any pair of responses with samples in -1 .. 1 and any setting of
// the controls within their limits. Every array the run writes must stay finite.
#include "FuzzSupport.h"

#include <algorithm>

namespace {

// Input layout: 12 bytes of settings, then up to 8192 little-endian int16 pairs (mic, pickup),
// each sample read as s / 32768; samples the input does not reach are 0.
constexpr std::size_t settingsSize = 12;

std::uint16_t u16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

double delayFrom(const std::uint8_t* p) {
    return std::min(1000.0, u16(p) % 1001 + p[2] / 256.0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < settingsSize)
        return 0;
    TAnalyzer& a = sharedAnalyzer();
    a.delayMic = delayFrom(data);
    a.delayPickup = delayFrom(data + 3);
    a.gainDb = -20.0 + 40.0 * data[6] / 255.0;
    a.alpha = data[7] % 51;
    a.beta = data[8] % 51;
    a.enablePickup = (data[9] & 1) != 0;
    a.useMinPhase = (data[9] & 2) != 0;
    a.setFs(1000 + static_cast<std::int32_t>(u16(data + 10) * (767000.0 / 65535.0)));

    const std::uint8_t* samples = data + settingsSize;
    const std::size_t pairs = std::min<std::size_t>((size - settingsSize) / 4, blockLength);
    for (std::size_t i = 0; i < blockLength; ++i) {
        if (i < pairs) {
            const auto mic = static_cast<std::int16_t>(u16(samples + 4 * i));
            const auto pickup = static_cast<std::int16_t>(u16(samples + 4 * i + 2));
            a.irData[i] = IrPair{mic / 32768.0, pickup / 32768.0};
        } else {
            a.irData[i] = IrPair{};
        }
    }

    a.analysisReady = true;
    a.computeResponses();
    a.setChannel(0);

    FUZZ_CHECK(allFiniteComplex(a.micSpectrum));
    FUZZ_CHECK(allFiniteComplex(a.pickupSpectrum));
    FUZZ_CHECK(allFiniteComplex(a.filterSpectrum));
    FUZZ_CHECK(allFinite(a.filterIr));
    FUZZ_CHECK(allFinite(a.micDb));
    FUZZ_CHECK(allFinite(a.pickupDb));
    FUZZ_CHECK(allFinite(a.filterDb));
    FUZZ_CHECK(allFinite(a.channels[0].filterIr));
    FUZZ_CHECK(allFiniteComplex(a.channels[0].filterSpectrum));
    FUZZ_CHECK(allFinite(a.channels[0].filterDb));
    return 0;
}
