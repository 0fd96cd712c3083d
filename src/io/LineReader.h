// Reading a text file line by line.
#pragma once

#include <cstdio>
#include <string>

// Reads whole lines from an open file. A line ends at LF; a CR right before it is dropped too, so
// files with CR LF and with LF line ends read alike. The last line needs no line end.
class TLineReader {
public:
    static constexpr std::size_t maxLineLength = 1 << 20; // bytes; longer lines are an error

    explicit TLineReader(std::FILE* file) : file(file) {}

    // Reads the next line into `line` (without its line end). Returns false at the end of the file,
    // after a read error and after a line longer than maxLineLength (see failed()); `line` then
    // holds the first maxLineLength bytes of that line.
    bool next(std::string& line);
    // Whether reading stopped for a read error or an overlong line rather than the end of the file.
    bool failed() const { return readError || tooLong; }
    bool lineTooLong() const { return tooLong; }

private:
    std::FILE* file;
    bool readError = false;
    bool tooLong = false;
};
