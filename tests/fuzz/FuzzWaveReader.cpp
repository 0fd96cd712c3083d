// Fuzz target: any bytes as a WAVE file. Whatever the file holds, the reader must not crash, must
// touch only its own channel, and must leave that channel normalised (accepted) or silent (rejected).
#include "FuzzSupport.h"
#include "io/WaveReader.h"

#include <algorithm>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static TMemoryFile file;
    TAnalyzer& a = sharedAnalyzer();
    // Odd sizes go to the pickup, even ones to the mic; the other channel holds a known pattern.
    const int channel = static_cast<int>(size & 1);
    for (int i = 0; i < blockLength; ++i)
        a.irData[i] = IrPair{0.5 + i % 3, 0.25 + i % 5};
    a.setFs(44100);

    const TFileResult result = readWave(a, channel, file.hold(data, size));
    FUZZ_CHECK(!result.cannotOpen);
    FUZZ_CHECK(a.fs >= 1000 && a.fs <= 768000);
    double peak = 0.0;
    for (int i = 0; i < blockLength; ++i) {
        const double own = channel == 0 ? a.irData[i].mic : a.irData[i].pickup;
        const double other = channel == 0 ? a.irData[i].pickup : a.irData[i].mic;
        FUZZ_CHECK(other == (channel == 0 ? 0.25 + i % 5 : 0.5 + i % 3));
        FUZZ_CHECK(std::isfinite(own) && std::fabs(own) <= 1.0);
        peak = std::max(peak, std::fabs(own));
        if (!result.ok)
            FUZZ_CHECK(own == 0.0);
    }
    if (result.ok) {
        FUZZ_CHECK(result.message.empty());
        FUZZ_CHECK(peak == 1.0 || peak == 0.0);
    } else {
        FUZZ_CHECK(result.message == waveUnknownFormat || result.message == waveUnsupportedFormat ||
                   result.message == waveNoFormat);
    }
    return 0;
}
