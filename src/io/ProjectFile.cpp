#include "io/ProjectFile.h"

#include "dsp/Analyzer.h"
#include "base/NumberText.h"
#include "io/RegularFile.h"
#include "io/SafeWriter.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace {

constexpr std::string_view delimiters = "= \t\n";
constexpr double maxDataMagnitude = 1e6;

// Calls f(piece) for every run of non-delimiter characters in `s`.
template <typename F> void forEachPiece(std::string_view s, F f) {
    std::size_t pos = s.find_first_not_of(delimiters);
    while (pos != std::string_view::npos) {
        const std::size_t end = s.find_first_of(delimiters, pos);
        f(s.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos));
        pos = end == std::string_view::npos ? end : s.find_first_not_of(delimiters, end);
    }
}

double dataValue(std::string_view piece) {
    const double v = parseDoublePrefix(piece);
    return std::isfinite(v) && std::fabs(v) <= maxDataMagnitude ? v : 0.0;
}

} // namespace

bool readKeyInts(std::string& line, std::string_view key, std::span<std::int32_t> target,
                 std::span<bool> whole) {
    if (line.find(key) == std::string::npos)
        return false;
    std::size_t index = 0;
    std::size_t firstEnd = std::string::npos;
    forEachPiece(line, [&](std::string_view piece) {
        if (firstEnd == std::string::npos) {
            firstEnd = static_cast<std::size_t>(piece.data() + piece.size() - line.data());
            return;
        }
        if (index < target.size()) {
            bool isWhole = false;
            target[index] = parseIntPrefix(piece, &isWhole);
            if (index < whole.size())
                whole[index] = isWhole;
            ++index;
        }
    });
    if (firstEnd != std::string::npos)
        line.resize(firstEnd);
    return true;
}

bool readDataBlock(const std::string& line, TLineReader& source, std::string_view key,
                   std::span<double> target) {
    if (line.find(key) == std::string::npos)
        return false;
    std::size_t index = 0;
    std::string dataLine;
    while (source.next(dataLine) && dataLine.find(endOfDataMarker) == std::string::npos) {
        forEachPiece(dataLine, [&](std::string_view piece) {
            if (index < target.size())
                target[index++] = dataValue(piece);
        });
    }
    return true;
}

TFileResult writeProject(const TAnalyzer& a, const std::string& path) {
    std::string out;
    out.reserve(32 * (blockLength + 8));
    out += projectFirstLine;
    out += "\r\n{\r\n release=";
    appendInts(out, a.release);
    out += "\r\n fs=";
    appendInt(out, a.fs);
    out += "\r\n N=";
    appendInt(out, blockLength);
    // Only a blend below 100 % is written, so a file of the full correction stays as it always was;
    // readers that do not know the key pass over its line (it holds none of theirs).
    if (a.blend < 100) {
        out += "\r\n blend=";
        appendInt(out, std::lround(std::max(a.blend, 0.0)));
    }
    out += "\r\n data=\r\n";
    for (const IrPair& p : a.irData) {
        out += ' ';
        appendExp3(out, p.mic);
        out += "  ";
        appendExp3(out, p.pickup);
        out += "\r\n";
    }
    out += ' ';
    out += endOfDataMarker;
    out += " \r\n}\r\n";
    return writeFileSafely(path, out);
}

TFileResult readProject(TAnalyzer& a, const std::string& path) {
    std::string reason;
    const TFilePtr file = openRegularFile(path, reason);
    if (!file)
        return TFileResult{false, true, "Cannot open \"" + path + "\": " + reason};

    TLineReader source(file.get(), projectMaxFileSize);
    const auto readFailure = [&] {
        const char* why = source.lineTooLong()    ? "a line is too long"
                          : source.fileTooLarge() ? "the file is far larger than a project file (over 64 MB)"
                                                  : "read error";
        return fileError("Cannot read \"" + path + "\": " + why);
    };
    std::string line;
    const bool gotFirst = source.next(line);
    // An overlong first line is judged by its beginning: a project file with a broken line is
    // reported as such, anything else as no project file.
    const bool projectStart = line.rfind(projectFirstLine, 0) == 0;
    if (source.failed() && (projectStart || !source.lineTooLong()))
        return readFailure();
    if (!gotFirst || !projectStart)
        return fileError("\"" + path + "\" is not a project file: its first line is not \"" +
                         projectFirstLine + "\"");

    // Everything goes into temporaries first; the analyzer changes only when the whole file is good.
    std::array<std::int32_t, 4> release = a.release;
    std::optional<std::int32_t> rate;
    double blend = startValue(EParameter::blend); // a file without the line was made at 100 %
    std::vector<double> data(2 * blockLength, 0.0);
    bool dataFound = false;
    do {
        if (!line.empty() && line.front() == '}')
            break;
        readKeyInts(line, "release", release);
        std::int32_t fsValue[1] = {0};
        bool fsWhole[1] = {false};
        if (readKeyInts(line, "fs", fsValue, fsWhole) && fsWhole[0] && fsValue[0] >= 1000 &&
            fsValue[0] <= 768000)
            rate = fsValue[0];
        std::int32_t blendValue[1] = {0};
        bool blendWhole[1] = {false};
        if (readKeyInts(line, blendKey, blendValue, blendWhole) && blendWhole[0] && blendValue[0] >= 0 &&
            blendValue[0] <= 100)
            blend = blendValue[0];
        if (readDataBlock(line, source, "data", data))
            dataFound = true;
    } while (source.next(line));
    if (source.failed())
        return readFailure();
    if (!dataFound)
        return fileError("\"" + path + "\" holds no impulse responses: it has no \"data\" line");

    a.release = release;
    if (rate)
        a.setFs(*rate);
    a.blend = blend;
    for (int i = 0; i < blockLength; ++i)
        a.irData[i] = IrPair{data[2 * i], data[2 * i + 1]};
    return {};
}
