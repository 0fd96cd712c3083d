// Reading a text file line by line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

// Reads whole lines from an open file. A line ends at LF; a CR right before it is dropped too, so
// files with CR LF and with LF line ends read alike. The last line needs no line end.
class TLineReader {
public:
    static constexpr std::size_t maxLineLength = 1 << 20; // bytes; longer lines are an error

    // Reading fails once more than `maxFileSize` bytes have been read (see fileTooLarge()).
    explicit TLineReader(std::FILE* file,
                         std::uint64_t maxFileSize = std::numeric_limits<std::uint64_t>::max())
        : file(file), budget(maxFileSize) {}

    // Reads the next line into `line` (without its line end). Returns false at the end of the file,
    // after a read error, after a line longer than maxLineLength (`line` then holds its first
    // maxLineLength bytes) and once the file has run past its size limit (see failed()).
    bool next(std::string& line);
    // Whether reading stopped for a read error, an overlong line or an overlong file rather than
    // the end of the file.
    bool failed() const { return readError || tooLong || tooLarge; }
    bool lineTooLong() const { return tooLong; }
    bool fileTooLarge() const { return tooLarge; }

private:
    std::FILE* file;
    std::uint64_t budget; // bytes that may still be read
    bool readError = false;
    bool tooLong = false;
    bool tooLarge = false;
};
