// Outcome of reading or writing one file.
#pragma once

#include <string>
#include <utility>

struct TFileResult {
    bool ok = true;          // the file was read or written completely
    bool cannotOpen = false; // the file could not be opened (missing, unreadable, not a regular file);
                             // nothing was changed and callers show no message
    std::string message;     // empty when ok; otherwise what went wrong, for the user
    bool notDurable = false; // (writes only; ok is false) the new contents are in place, but the
                             // folder could not be synced, so they may not survive a crash
};

// A failed result carrying `message`.
inline TFileResult fileError(std::string message) {
    return TFileResult{false, false, std::move(message)};
}
