// Runs a fuzz target once over each given file, and over every file in each given folder, without
// the fuzzing engine: the committed corpus and the inputs of past findings then run in every
// ordinary build, under the compiler and sanitizers of that build.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void runFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

} // namespace

int main(int argc, char** argv) {
    long count = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg = argv[i];
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(arg)) {
            for (const auto& entry : std::filesystem::directory_iterator(arg))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
        } else if (std::filesystem::exists(arg)) {
            files.push_back(arg);
        } // a folder of past findings exists only once there were some
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            runFile(file);
            ++count;
        }
    }
    std::printf("%ld inputs ran\n", count);
    // A corpus that went missing would otherwise pass unnoticed.
    return count > 0 ? 0 : 1;
}
