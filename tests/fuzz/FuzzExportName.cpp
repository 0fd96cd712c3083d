// Fuzz target: any bytes as the instrument's name typed for the export. The name must come out as
// exactly one line of Latin-1 text: no line break, no more characters than bytes came in, ASCII
// passed through unchanged, and the line must read back as itself once turned into UTF-8 again
// (what the window shows when the name returns to its field).
#include "FuzzSupport.h"
#include "io/BodyDataFile.h"

#include <string>

namespace {

std::string latin1ToUtf8(const std::string& latin1) {
    std::string out;
    for (const char c : latin1) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | u >> 6);
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string name(reinterpret_cast<const char*>(data), size);
    const std::string line = nameToLatin1Line(name);
    FUZZ_CHECK(line.size() <= name.size());
    FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
    bool ascii = true;
    for (const char c : name)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80 && c != '\r' && c != '\n';
    if (ascii)
        FUZZ_CHECK(line == name);
    FUZZ_CHECK(nameToLatin1Line(latin1ToUtf8(line)) == line);
    return 0;
}
