// Giving a replacement file what the file it replaces had.
#pragma once

#include <string>
#include <sys/stat.h>

// Gives the new file open as `fd` the owner, group, permission bits and extended attributes
// (access lists among them) of `original`, whose status is `st`. Returns false when the
// replacement cannot keep all of that, and the original must be rewritten in place instead:
// the original has more than one hard link, its owner or group may not be given away by this
// process, or an attribute cannot be copied. The new file may be partly changed then.
bool keepFileAttributes(int fd, const std::string& original, const struct stat& st);
