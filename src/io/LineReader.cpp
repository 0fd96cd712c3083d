#include "io/LineReader.h"

bool TLineReader::next(std::string& line) {
    line.clear();
    if (failed())
        return false;
    int c;
    bool any = false;
    while ((c = ::getc_unlocked(file)) != EOF) {
        if (budget-- == 0) {
            tooLarge = true;
            return false;
        }
        any = true;
        if (c == '\n')
            break;
        if (line.size() == maxLineLength) {
            tooLong = true;
            return false;
        }
        line.push_back(static_cast<char>(c));
    }
    if (c == EOF && std::ferror(file)) {
        readError = true;
        return false;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return any;
}
