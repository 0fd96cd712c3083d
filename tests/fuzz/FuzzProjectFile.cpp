// Fuzz target: any bytes as a project file. A rejected file must leave the analyzer exactly as it
// was; an accepted one may only bring finite responses within the reader's bounds and a sample rate
// within its range.
#include "FuzzSupport.h"
#include "io/ProjectFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static TMemoryFile file;
    TAnalyzer& a = sharedAnalyzer();
    for (int i = 0; i < blockLength; ++i)
        a.irData[i] = IrPair{0.5 + i % 3, 0.25 + i % 5};
    a.setFs(44100);
    a.release = {0, 0, 1, 20040318};

    const TFileResult result = readProject(a, file.hold(data, size));
    FUZZ_CHECK(!result.cannotOpen);
    if (!result.ok) {
        FUZZ_CHECK(!result.message.empty());
        FUZZ_CHECK(a.fs == 44100);
        FUZZ_CHECK((a.release == std::array<std::int32_t, 4>{0, 0, 1, 20040318}));
        for (int i = 0; i < blockLength; ++i)
            FUZZ_CHECK(a.irData[i].mic == 0.5 + i % 3 && a.irData[i].pickup == 0.25 + i % 5);
        return 0;
    }
    FUZZ_CHECK(a.fs >= 1000 && a.fs <= 768000);
    FUZZ_CHECK(a.binFreq[1] == a.fs / 8192.0);
    for (const IrPair& p : a.irData) {
        FUZZ_CHECK(std::isfinite(p.mic) && std::fabs(p.mic) <= 1e6);
        FUZZ_CHECK(std::isfinite(p.pickup) && std::fabs(p.pickup) <= 1e6);
    }
    return 0;
}
