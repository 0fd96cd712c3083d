// Temporary files that must not outlive an interrupted program: the safe writer's files on their
// way to their targets. On SIGINT or SIGTERM every file registered here is removed, and the signal
// then does what it did before (ends the program, or runs the handler installed earlier); a signal
// the program was started to ignore stays ignored. The handler is installed with the first
// registration and only uses async-signal-safe calls. Registration is thread-safe.
#pragma once

#include <string>

// Registers `path` for removal on those signals; returns a ticket for forgetTemporary, or -1 when
// the path is too long or the table (16 files at once) is full (then it is simply not removed).
int registerTemporary(const std::string& path);
// Forgets the file (before it is renamed into place or removed otherwise). -1 is ignored.
void forgetTemporary(int ticket);
