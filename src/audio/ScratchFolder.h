// TScratchFolder: a private folder "body-analyzer-XXXXXX" (mode 0700) for the renderings kept for
// listening. The destructor removes it with everything in it, and so does SIGTERM, SIGINT or SIGHUP
// (the signal then goes on to what was set for it before, by default ending the program); a signal
// the program ignored stays ignored. Making one first removes the folders that earlier runs left
// behind when their program is gone. A folder is alive while the lock (flock) on its file "lock",
// taken before that file gets its name, is held. A folder without that file (made by an earlier
// version, which kept its renderings open) is gone when it holds files and no process has one open;
// an empty one is left alone.
// Files in the folder are plain files made by the program (no subfolders). Make and destroy
// scratch folders on one thread (up to 8 at once).
#pragma once

#include <string>

class TScratchFolder {
public:
    // In `parent` (by default $TMPDIR, else /tmp).
    explicit TScratchFolder(const std::string& parent = temporaryParent());
    ~TScratchFolder();
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;

    // False when the folder could not be made; `why` says why.
    bool valid() const { return !folder.empty(); }
    const std::string& why() const { return reason; }
    const std::string& path() const { return folder; }
    // The path of `name` in the folder; empty when the folder could not be made.
    std::string filePath(const std::string& name) const;

    static std::string temporaryParent();
    // Removes the folders of earlier runs in `parent` whose program is gone (made by this user, with
    // a lock nobody holds); returns how many.
    static int removeLeftovers(const std::string& parent);

private:
    std::string folder;
    std::string reason;
    int slot = -1; // where the signal handlers find it
};
