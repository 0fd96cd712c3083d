// The steps the safe writer is made of, on plain descriptors. Each returns 0 or an errno.
#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

// Writes all of `content` to `fd` at its current offset.
int writeAll(int fd, std::string_view content);
// Copies the whole of `from` (read from offset 0, whatever its own offset) to `to` at its offset.
int copyContents(int from, int to);

// Creates a new file next to `target`, named ".BASE.KIND-PID-N" (hidden) or "BASE.KIND-PID-N"
// (visible), where BASE is the target's name shortened to keep within the name limit and N a
// process-wide counter safe to use from several threads. Mode 0600, opened for reading and
// writing; returns the descriptor, or -1 with errno set.
int createFileNextTo(const std::string& target, const char* kind, bool hidden, std::string& created);

// The folder holding `path` ("." for a bare name).
std::string folderOf(const std::string& path);
// Flushes the folder's entries to disk, so a rename or a new file in it survives a crash. A file
// system that cannot sync folders (EINVAL) counts as success.
int syncFolder(const std::string& folder);

// The mode a file created with mode 0666 in `folder` gets: 0666 less the process's umask (read
// without changing it), or, where the folder has a default access list, 0666 limited by that list
// (its owner, mask or group, and other entries), as the system gives it. Set with fchmod on a
// file made in that folder, it gives the file the same access list a direct creation would.
mode_t newFileMode(const std::string& folder);
