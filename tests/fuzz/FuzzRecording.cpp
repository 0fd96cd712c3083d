// Fuzz target: any bytes as a recording (WAVE, AIFF, FLAC, ... as libsndfile reads them). The reader
// must not crash or hang, must describe an opened file sensibly, and must deliver no more than the
// frames it was asked for (samples as stored: each user judges those that are not finite).
#include "FuzzSupport.h"
#include "io/RecordingReader.h"

#include <array>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static TMemoryFile file;
    TRecordingReader reader;
    const TFileResult opened = reader.open(file.hold(data, size));
    if (!opened.ok) {
        FUZZ_CHECK(!opened.message.empty());
        return 0;
    }
    const TRecordingInfo& info = reader.info();
    FUZZ_CHECK(info.channels >= 1 && info.rate >= 1);
    // Small blocks, bounded in count: a header may declare far more frames than the file holds.
    constexpr int blockFrames = 64;
    const int channels = info.channels;
    if (channels > 64)
        return 0;
    static std::array<float, blockFrames * 64> block{};
    for (int blocks = 0; blocks < 4096; ++blocks) {
        const std::int64_t n = reader.read(block.data(), blockFrames);
        if (n < 0) {
            FUZZ_CHECK(!reader.lastError().empty());
            break;
        }
        if (n == 0)
            break;
        FUZZ_CHECK(n <= blockFrames);
    }
    return 0;
}
