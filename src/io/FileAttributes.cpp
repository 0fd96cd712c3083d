#include "io/FileAttributes.h"

#include <algorithm>
#include <cerrno>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

// The names of the extended attributes `list` returns (a NUL-separated list); false on failure.
// A file system without extended attributes has none.
template <typename List> bool attributeNames(List list, std::vector<std::string>& names) {
    names.clear();
    std::string buffer;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = list(nullptr, 0);
        if (size < 0)
            return errno == ENOTSUP;
        buffer.resize(static_cast<std::size_t>(size));
        const ssize_t n = list(buffer.data(), buffer.size());
        if (n < 0 && errno == ERANGE)
            continue; // grew in between
        if (n < 0)
            return false;
        buffer.resize(static_cast<std::size_t>(n));
        for (std::size_t pos = 0; pos < buffer.size();) {
            const std::size_t end = buffer.find('\0', pos);
            names.push_back(buffer.substr(pos, end - pos));
            pos = end == std::string::npos ? buffer.size() : end + 1;
        }
        return true;
    }
    return false;
}

bool copyAttributes(int fd, const std::string& original) {
    std::vector<std::string> wanted, present;
    if (!attributeNames([&](char* b, std::size_t s) { return ::listxattr(original.c_str(), b, s); },
                        wanted) ||
        !attributeNames([&](char* b, std::size_t s) { return ::flistxattr(fd, b, s); }, present))
        return false;
    // Attributes the new file got from its folder (a default access list) but the original lacks.
    for (const std::string& name : present)
        if (std::find(wanted.begin(), wanted.end(), name) == wanted.end() &&
            ::fremovexattr(fd, name.c_str()) != 0)
            return false;
    for (const std::string& name : wanted) {
        std::string value;
        ssize_t n = -1;
        for (int attempt = 0; attempt < 4; ++attempt) {
            const ssize_t size = ::getxattr(original.c_str(), name.c_str(), nullptr, 0);
            if (size < 0)
                return false;
            value.resize(static_cast<std::size_t>(size));
            n = ::getxattr(original.c_str(), name.c_str(), value.data(), value.size());
            if (n >= 0 || errno != ERANGE)
                break;
        }
        if (n < 0)
            return false;
        value.resize(static_cast<std::size_t>(n));
        if (::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) != 0)
            return false;
    }
    return true;
}

} // namespace

bool keepFileAttributes(int fd, const std::string& original, const struct stat& st) {
    if (st.st_nlink > 1)
        return false; // a replacement would leave the other names with the old contents
    struct stat now {};
    if (::fstat(fd, &now) != 0)
        return false;
    // Owner and group before the mode: a change of owner clears the set-ID bits.
    if ((now.st_uid != st.st_uid || now.st_gid != st.st_gid) &&
        ::fchown(fd, now.st_uid == st.st_uid ? static_cast<uid_t>(-1) : st.st_uid,
                 now.st_gid == st.st_gid ? static_cast<gid_t>(-1) : st.st_gid) != 0)
        return false;
    // The access list (an attribute) after the mode, as it holds the group bits in its mask.
    return ::fchmod(fd, st.st_mode & 07777) == 0 && copyAttributes(fd, original);
}
