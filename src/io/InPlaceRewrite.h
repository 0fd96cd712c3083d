// Rewriting a file in place, for a file that must stay the very same file (hard links, an owner
// this process cannot give away, a mount point).
#pragma once

#include "io/FileResult.h"

#include <string>

// Replaces the contents of the regular file `target` by the whole contents of `contentFd` (read
// from offset 0) as careful editors do: a copy of the old contents is made next to it first
// ("NAME.backup-PID-N", flushed to disk), then the file is truncated, written and flushed, and the
// backup is removed. The file keeps its inode, links, owner, mode and attributes.
// On failure the old contents are put back from the backup and the backup is removed; if even that
// fails the backup stays and the message says where it is. Messages name `path`, as the caller
// was given it ("Cannot write \"/x/y.smp\": No space left on device").
TFileResult rewriteInPlace(const std::string& path, const std::string& target, int contentFd);
