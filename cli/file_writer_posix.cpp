// The writer over POSIX directory descriptors: every name is resolved by
// the kernel relative to a directory held open, with O_NOFOLLOW, so no path
// string is ever built from a name and then followed.
#include "cli/file_writer.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "cli/interrupts.h"
#include "cli/messages.h"
#include "cli/text.h"

namespace kova::cli {
namespace {

// Set once the system refuses nameless files or naming them, so that later
// files do not try again.
bool nameless_refused = false;

std::string Where(const OutputDirectory& directory, const std::string& name) {
    return Printable(directory.display + "/" + name);
}

bool WriteAll(int descriptor, const uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t put = write(descriptor, data, size < (size_t{1} << 30) ? size : (size_t{1} << 30));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        data += put;
        size -= static_cast<size_t>(put);
    }
    return true;
}

// Copies what a nameless file holds into a named one, for the rare system
// that makes nameless files but will not name them.
bool CopyContent(int from, int to) {
    if (lseek(from, 0, SEEK_SET) != 0) return false;
    uint8_t chunk[1 << 16];
    for (;;) {
        ssize_t got = read(from, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        if (!WriteAll(to, chunk, static_cast<size_t>(got))) return false;
    }
}

// <name>.<process>-<attempt>.part
std::string TemporaryName(const std::string& name, int attempt) {
    return name + "." + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".part";
}

// A fresh temporary file beside `name`, never one that exists: a file or
// link planted there is not opened. The guard is armed before the file
// exists, so an interrupt at any point after leaves nothing behind.
int CreateTemporary(int directory, const std::string& name, std::string& temporary, TemporaryFileGuard& guard) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        temporary = TemporaryName(name, attempt);
        guard.Arm(directory, temporary);
        int descriptor =
            openat(directory, temporary.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (descriptor >= 0) return descriptor;
        guard.Disarm();
        if (errno != EEXIST) break;
    }
    temporary.clear();
    return -1;
}

// The guard every NewFile shares: one file is put in place at a time.
TemporaryFileGuard guard;

#if defined(__linux__) && defined(O_TMPFILE)
// How kernels and file systems without nameless files, or without the
// privilege to name them, answer.
bool Refusal(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOENT || error == EPERM;
}

// Names a nameless file. Naming a descriptor directly needs a privilege
// many users lack; its /proc entry does the same for anyone.
bool LinkNameless(int descriptor, int directory, const char* name) {
    if (linkat(descriptor, "", directory, name, AT_EMPTY_PATH) == 0) return true;
    if (errno == EEXIST) return false;
    char own[64];
    std::snprintf(own, sizeof own, "/proc/self/fd/%d", descriptor);
    return linkat(AT_FDCWD, own, directory, name, AT_SYMLINK_FOLLOW) == 0;
}
#endif

void KeepAttributes(int descriptor, const KeptAttributes& attributes) {
    if (!attributes.kept) return;
    mode_t mode = static_cast<mode_t>(attributes.mode) & 07777;
    if (fchown(descriptor, static_cast<uid_t>(attributes.owner), static_cast<gid_t>(attributes.group)) != 0) {
        // Not the owner's to give: the group may still be, and set-id bits
        // must not pass to the caller's own file.
        if (fchown(descriptor, static_cast<uid_t>(-1), static_cast<gid_t>(attributes.group)) != 0) mode &= ~S_ISGID;
        mode &= ~S_ISUID;
    }
    fchmod(descriptor, mode);
}

}  // namespace

// A name a new file may take over: free, a file, or a link (replaced
// itself, never followed); not a directory, FIFO or device.
OutputDirectory::~OutputDirectory() {
    if (descriptor >= 0) close(descriptor);
}

bool OpenOutputDirectory(const std::string& path, bool create, OutputDirectory& directory, std::string& error) {
    directory.display = path;
    std::error_code failure;
    if (create && !std::filesystem::is_directory(PathOf(path), failure)) {
        if (std::filesystem::exists(PathOf(path), failure)) {
            error = "cannot create directory " + Printable(path) + ": a file of that name exists";
            return false;
        }
        std::filesystem::create_directories(PathOf(path), failure);
        if (failure) {
            error = "cannot create directory " + Printable(path) + ": " + failure.message();
            return false;
        }
    }
    directory.descriptor = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory.descriptor < 0) {
        error = "cannot open directory " + Printable(path) + ": " + DescribeErrno(errno);
        return false;
    }
    return true;
}

bool OpenSubdirectory(const OutputDirectory& parent, const std::string& name, OutputDirectory& directory,
                      std::string& error) {
    directory.display = parent.display + "/" + name;
    if (!CheckSubdirectoryName(directory.display, name, error)) return false;
    if (mkdirat(parent.descriptor, name.c_str(), 0777) != 0 && errno != EEXIST) {
        error = "cannot create directory " + Printable(directory.display) + ": " + DescribeErrno(errno);
        return false;
    }
    directory.descriptor = openat(parent.descriptor, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (directory.descriptor >= 0) return true;
    int failure = errno;
    NameHolder holder = WhatHolds(parent, name);
    error = "cannot extract into " + Printable(directory.display) + ": " +
            (holder == NameHolder::kLink ? std::string("it is a symbolic link, not followed")
             : holder != NameHolder::kNothing && failure == ENOTDIR ? std::string("it exists and is not a directory")
                                                                    : DescribeErrno(failure));
    return false;
}

NameHolder WhatHolds(const OutputDirectory& directory, const std::string& name) {
    struct stat info;
    if (fstatat(directory.descriptor, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? NameHolder::kNothing : NameHolder::kOther;
    }
    if (S_ISREG(info.st_mode)) return NameHolder::kFile;
    if (S_ISLNK(info.st_mode)) return NameHolder::kLink;
    return NameHolder::kOther;
}

bool NewFile::Begin(const OutputDirectory& directory, const std::string& name, std::string& error) {
    Abandon();
    directory_ = &directory;
    name_ = name;
    if (!IsPlainComponent(name)) {
        error = "cannot create " + Where(directory, name) + ": not a plain file name";
        return false;
    }
#if defined(__linux__) && defined(O_TMPFILE)
    if (!nameless_refused) {
        // Read and write: should naming it be refused, its content is
        // copied to a named temporary file.
        descriptor_ = openat(directory.descriptor, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        if (descriptor_ >= 0) {
            nameless_ = true;
            return true;
        }
        nameless_refused = Refusal(errno);
    }
#endif
    descriptor_ = CreateTemporary(directory.descriptor, name, temporary_, guard);
    if (descriptor_ < 0) {
        error = "cannot create " + Where(directory, name) + ": " + DescribeErrno(errno);
        return false;
    }
    return true;
}

bool NewFile::Append(const uint8_t* data, size_t size, std::string& error) {
    if (WriteAll(descriptor_, data, size)) return true;
    error = "cannot write " + Where(*directory_, name_) + ": " + DescribeErrno(errno);
    Abandon();
    return false;
}

bool NewFile::OverwriteStart(const uint8_t* data, size_t size, std::string& error) {
    for (size_t done = 0; done < size;) {
        ssize_t wrote = pwrite(descriptor_, data + done, size - done, static_cast<off_t>(done));
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            error = "cannot write " + Where(*directory_, name_) + ": " + DescribeErrno(wrote < 0 ? errno : EIO);
            Abandon();
            return false;
        }
        done += static_cast<size_t>(wrote);
    }
    return true;
}

bool NewFile::Commit(bool replace, const KeptAttributes& attributes, std::string& error) {
    const int directory = directory_->descriptor;
    const char* name = name_.c_str();
    auto fail = [&](const std::string& why) {
        error = "cannot create " + Where(*directory_, name_) + ": " + why;
        Abandon();
        return false;
    };
    // No interrupt is held off: until the name is given the file has none
    // or an armed temporary one, which the interrupt removes as it ends the
    // process, so an interrupted command never puts a file in place.
    KeepAttributes(descriptor_, attributes);
#if defined(__linux__) && defined(O_TMPFILE)
    if (nameless_) {
        // Most names are free: then the file takes its name in one step.
        if (LinkNameless(descriptor_, directory, name)) {
            nameless_ = false;
            if (close(descriptor_) != 0) {
                int failure = errno;
                descriptor_ = -1;
                unlinkat(directory, name, 0);
                return fail(DescribeErrno(failure));
            }
            descriptor_ = -1;
            return true;
        }
        if (errno == EEXIST) {
            if (!replace) return fail("it exists (--keep)");
            if (!Replaceable(*directory_, name_)) return fail("it exists and is not a regular file");
            // A replacement is named beside the target and renamed over it.
            for (int attempt = 0; attempt < 1000 && temporary_.empty(); ++attempt) {
                std::string candidate = TemporaryName(name_, attempt);
                guard.Arm(directory, candidate);
                if (LinkNameless(descriptor_, directory, candidate.c_str())) {
                    temporary_ = candidate;
                    break;
                }
                guard.Disarm();
                if (errno != EEXIST) break;
            }
        }
        if (temporary_.empty()) {
            // Naming is refused: the content goes to a named temporary file.
            nameless_refused = true;
            std::string temporary;
            int named = CreateTemporary(directory, name_, temporary, guard);
            if (named < 0 || !CopyContent(descriptor_, named)) {
                int failure = errno;
                if (named >= 0) close(named);
                if (!temporary.empty()) unlinkat(directory, temporary.c_str(), 0);
                guard.Disarm();
                return fail(DescribeErrno(failure));
            }
            KeepAttributes(named, attributes);
            close(descriptor_);
            descriptor_ = named;
            temporary_ = temporary;
        }
        nameless_ = false;
    }
#endif
    // A named temporary file: closed first, so that a failed close (a full
    // disk on some file systems) never leaves a short file under the name.
    int closed = close(descriptor_);
    descriptor_ = -1;
    if (closed != 0) return fail(DescribeErrno(errno));
    if (replace && !Replaceable(*directory_, name_)) return fail("it exists and is not a regular file");
    bool named = replace ? renameat(directory, temporary_.c_str(), directory, name) == 0
                         : linkat(directory, temporary_.c_str(), directory, name, 0) == 0;
    if (!named) return fail(errno == EEXIST ? std::string("it exists (--keep)") : DescribeErrno(errno));
    if (!replace) unlinkat(directory, temporary_.c_str(), 0);
    temporary_.clear();
    guard.Disarm();
    return true;
}

void NewFile::Abandon() {
    if (descriptor_ >= 0) close(descriptor_);
    descriptor_ = -1;
    nameless_ = false;
    if (!temporary_.empty() && directory_ != nullptr) unlinkat(directory_->descriptor, temporary_.c_str(), 0);
    if (!temporary_.empty()) guard.Disarm();
    temporary_.clear();
}

}  // namespace kova::cli
