#include "io/BodyDataFile.h"

#include "dsp/Analyzer.h"
#include "base/NumberText.h"
#include "io/ProjectFile.h"
#include "io/SafeWriter.h"

namespace {

// Length of the UTF-8 sequence that starts with `lead`, 0 for a byte that cannot start one.
int sequenceLength(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

void appendResonanceLine(std::string& out, const char* key, double hz) {
    out += key;
    appendFixed2(out, hz);
    out += "  ";
    appendFixed2(out, 5.0);
    out += "\r\n";
}

} // namespace

std::string nameToLatin1Line(const std::string& utf8) {
    std::string out;
    const std::size_t n = utf8.size();
    for (std::size_t i = 0; i < n;) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int len = sequenceLength(lead);
        bool valid = len > 0 && i + len <= n;
        unsigned cp = len == 1 ? lead : len == 2 ? lead & 0x1Fu : len == 3 ? lead & 0x0Fu : lead & 0x07u;
        for (int k = 1; valid && k < len; ++k) {
            const auto c = static_cast<unsigned char>(utf8[i + k]);
            valid = (c & 0xC0) == 0x80;
            cp = cp << 6 | (c & 0x3Fu);
        }
        // Overlong forms (which could smuggle in a NUL or a letter), surrogates and code points
        // past U+10FFFF are not UTF-8 either.
        if (valid && len >= 3)
            valid = cp >= (len == 3 ? 0x800u : 0x10000u) && cp <= 0x10FFFFu && (cp < 0xD800u || cp > 0xDFFFu);
        if (!valid) {
            out += '?';
            ++i;
            continue;
        }
        if (cp == '\r' || cp == '\n')
            out += ' ';
        else
            out += cp <= 0xFF ? static_cast<char>(cp) : '?';
        i += static_cast<std::size_t>(len);
    }
    return out;
}

TFileResult writeBodyData(const TAnalyzer& a, const std::string& name, const std::string& path) {
    std::string out;
    out.reserve(32 * (blockLength + 16) + name.size());
    out += "Sonmira analyser data\r\n{\r\n release=";
    appendInts(out, a.release);
    out += "\r\n name=\r\n";
    out += nameToLatin1Line(name);
    out += "\r\n ";
    out += endOfStringMarker;
    out += " \r\n fs=";
    appendInt(out, static_cast<std::int64_t>(a.fs) * 10);
    out += "\r\n";
    appendResonanceLine(out, " fHelm= ", a.fHelm);
    appendResonanceLine(out, " fFirstBody= ", a.fFirstBody);
    out += " N=";
    appendInt(out, blockLength);
    out += "\r\n data=\r\n";
    for (int i = 0; i < blockLength; ++i) {
        out += "  ";
        appendExp3(out, a.channels[0].filterIr[i]);
        out += "   ";
        appendExp3(out, a.channels[1].filterIr[i]);
        out += "\r\n";
    }
    out += ' ';
    out += endOfDataMarker;
    out += " \r\n}\r\n";
    return writeFileSafely(path, out);
}
