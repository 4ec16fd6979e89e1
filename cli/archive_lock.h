// An exclusive advisory lock on an archive that `kova replace` rewrites,
// held from reading it to renaming the new one over it, so that of two
// replaces at once the second reads the first one's result and no update
// is lost. Readers take no lock and are never held up.
#pragma once

#include <string>

namespace kova::cli {

struct ArchiveLock {
    ArchiveLock() = default;
    ArchiveLock(const ArchiveLock&) = delete;
    ArchiveLock& operator=(const ArchiveLock&) = delete;
    ~ArchiveLock();

    int descriptor = -1;
};

// Locks the file at `path` (no link: the file itself), waiting for another
// holder unless `wait` is false. Once held, the path must still name the
// locked file; if a rename put a new file there meanwhile, that one is
// locked instead. False with a complete message in `error`.
bool LockArchive(const std::string& path, const std::string& display, bool wait, ArchiveLock& lock,
                 std::string& error);

}  // namespace kova::cli
