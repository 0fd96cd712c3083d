// Opening an input file without ever blocking on it.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

struct TFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using TFilePtr = std::unique_ptr<std::FILE, TFileCloser>;

// Opens `path` for binary reading only when it names a regular file (following symbolic links).
// A folder, FIFO, socket or device is refused without reading from it, so the call never blocks.
// On failure returns null and sets `reason` to a short text ("No such file or directory",
// "not a regular file", ...).
TFilePtr openRegularFile(const std::string& path, std::string& reason);
