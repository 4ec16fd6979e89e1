#include "cli/archive_lock.h"

#ifdef _WIN32

namespace kova::cli {

// Windows renames over a file only while no one holds it open in a way that
// forbids it; replace there relies on that, and takes no lock of its own.
ArchiveLock::~ArchiveLock() = default;

bool LockArchive(const std::string&, const std::string&, bool, ArchiveLock&, std::string&) { return true; }

}  // namespace kova::cli

#else

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/messages.h"

namespace kova::cli {

ArchiveLock::~ArchiveLock() {
    if (descriptor >= 0) close(descriptor);
}

bool LockArchive(const std::string& path, const std::string& display, bool wait, ArchiveLock& lock,
                 std::string& error) {
    for (;;) {
        int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (descriptor < 0) {
            error = "cannot open " + display + ": " + DescribeErrno(errno);
            return false;
        }
        int locked;
        do {
            locked = flock(descriptor, LOCK_EX | (wait ? 0 : LOCK_NB));
        } while (locked != 0 && errno == EINTR);
        if (locked != 0) {
            int failure = errno;
            close(descriptor);
            error = failure == EWOULDBLOCK ? display + ": another kova replace is updating it (--no-wait)"
                                           : "cannot lock " + display + ": " + DescribeErrno(failure);
            return false;
        }
        // The holder before us may have renamed a new archive over the
        // path: then the lock is on a file no longer there, and the new one
        // is what must be read.
        struct stat held, now;
        if (fstat(descriptor, &held) == 0 && stat(path.c_str(), &now) == 0 && held.st_dev == now.st_dev &&
            held.st_ino == now.st_ino) {
            lock.descriptor = descriptor;
            return true;
        }
        close(descriptor);
    }
}

}  // namespace kova::cli

#endif
