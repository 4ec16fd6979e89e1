#include "cli/file_writer.h"

#include <cerrno>
#include <string_view>
#include <system_error>

#include "cli/interrupts.h"
#include "cli/messages.h"
#include "cli/text.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kova::cli {
namespace {

// Creates `path` for writing only if nothing has that name: a file or link
// planted there is never opened, let alone truncated. A descriptor, not a
// stream: one system call fewer per file when thousands are extracted.
int CreateFresh(const std::filesystem::path& path) {
#ifdef _WIN32
    return _wopen(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    return open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
#endif
}

bool WriteAll(int descriptor, const uint8_t* data, size_t size) {
    while (size > 0) {
        // Windows' write takes an unsigned int; stay well inside it.
        unsigned chunk = size < (1u << 30) ? static_cast<unsigned>(size) : (1u << 30);
#ifdef _WIN32
        int put = _write(descriptor, data, chunk);
#else
        ssize_t put = write(descriptor, data, chunk);
        if (put < 0 && errno == EINTR) continue;
#endif
        if (put <= 0) return false;
        data += put;
        size -= static_cast<size_t>(put);
    }
    return true;
}

bool CloseKeepingErrno(int descriptor) {
    int saved = errno;
#ifdef _WIN32
    bool closed = _close(descriptor) == 0;
#else
    bool closed = close(descriptor) == 0;
#endif
    if (closed) errno = saved;
    return closed;
}

bool WriteAndClose(int descriptor, const uint8_t* data, size_t size) {
    bool written = WriteAll(descriptor, data, size);
    int saved = errno;
    bool closed = CloseKeepingErrno(descriptor);
    if (!written) errno = saved;
    return written && closed;
}

int ProcessNumber() {
#ifdef _WIN32
    static const int number = static_cast<int>(GetCurrentProcessId());
#else
    static const int number = static_cast<int>(getpid());
#endif
    return number;
}

// <target>.<process>-<attempt>.part
std::filesystem::path TemporaryName(const std::filesystem::path& target, int attempt) {
    std::filesystem::path temporary = target;
    // Appended piece by piece: g++ 12 at -O3 takes a literal joined to a
    // temporary string for an overlapping copy (-Wrestrict).
    std::string suffix = ".";
    suffix += std::to_string(ProcessNumber());
    suffix += '-';
    suffix += std::to_string(attempt);
    suffix += ".part";
    temporary += suffix;
    return temporary;
}

// A temporary file beside `target` under a name no one else uses:
// <target>.<process>-<n>.part, the first n that is free. -1 when none can
// be created. The guard is armed before the file exists, so an interrupt
// at any point after leaves no file behind.
int CreateTemporaryBeside(const std::filesystem::path& target, std::filesystem::path& temporary,
                          TemporaryFileGuard& guard) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        temporary = TemporaryName(target, attempt);
        guard.Arm(temporary);
        int descriptor = CreateFresh(temporary);
        if (descriptor >= 0) return descriptor;
        guard.Disarm();
        if (errno != EEXIST) return -1;
    }
    return -1;
}

bool MoveIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& failure) {
    std::filesystem::rename(from, to, failure);
#ifdef _WIN32
    // Some Windows runtimes refuse to rename over an existing file.
    if (failure && std::filesystem::exists(to)) {
        std::error_code ignored;
        std::filesystem::remove(to, ignored);
        std::filesystem::rename(from, to, failure);
    }
#endif
    return !failure;
}

// Gives `from` the name `to` only if nothing has that name: a hard link
// fails rather than replace, and the temporary name is dropped after.
bool MoveIntoFreeName(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& failure) {
#ifdef _WIN32
    // MoveFile without the replace flag refuses an existing target.
    if (!MoveFileW(from.c_str(), to.c_str())) {
        failure = std::error_code(static_cast<int>(GetLastError()), std::system_category());
        return false;
    }
    return true;
#else
    if (link(from.c_str(), to.c_str()) != 0) {
        failure = std::error_code(errno, std::generic_category());
        return false;
    }
    std::error_code ignored;
    std::filesystem::remove(from, ignored);
    return true;
#endif
}

#if defined(__linux__) && defined(O_TMPFILE)
// Linux can create a file with no name in the target's directory and give
// it its name once written (linkat of the descriptor): the file appears
// complete or not at all, nothing is left behind even if the process is
// killed outright, and the directory changes once instead of twice
// (create, then rename), which on a journaling file system is most of the
// cost of extracting thousands of small entries. Naming a descriptor needs
// a privilege many users lack, and some file systems have no nameless
// files; where a step is refused, the temporary file serves instead.
enum class UnnamedOutcome { kWritten, kFailed, kUseTemporary };

// Set once the system refuses nameless files or naming them, so that later
// files do not try again.
bool unnamed_refused = false;

// How kernels and file systems without nameless files answer.
bool Refusal(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

bool NameAndRename(int descriptor, const std::filesystem::path& target) {
    TemporaryFileGuard guard;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::filesystem::path temporary = TemporaryName(target, attempt);
        guard.Arm(temporary);
        if (linkat(descriptor, "", AT_FDCWD, temporary.c_str(), AT_EMPTY_PATH) == 0) {
            if (rename(temporary.c_str(), target.c_str()) == 0) return true;
            int failure = errno;
            unlink(temporary.c_str());
            errno = failure;
            return false;
        }
        guard.Disarm();
        if (errno != EEXIST) return false;
    }
    return false;
}

// The directory the last file went to, held open: files are created and
// named relative to it, which spares a walk of its path twice per file.
class HeldDirectory {
public:
    ~HeldDirectory() { Release(); }

    // A nameless file in `directory`, or -1. A held directory that no
    // longer serves (removed, say) is opened again by its path.
    int CreateNamelessIn(std::string_view directory) {
        if (descriptor_ >= 0 && directory == path_) {
            int file = openat(descriptor_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
            if (file >= 0) return file;
        }
        Release();
        path_ = directory;
        descriptor_ = open(path_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (descriptor_ < 0) return -1;
        return openat(descriptor_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    }
    int descriptor() const { return descriptor_; }

private:
    void Release() {
        if (descriptor_ >= 0) close(descriptor_);
        descriptor_ = -1;
    }

    std::string path_;
    int descriptor_ = -1;
};

HeldDirectory held_directory;

UnnamedOutcome WriteUnnamed(const std::filesystem::path& target, const uint8_t* data, size_t size,
                            bool replace, std::string& error) {
    if (unnamed_refused) return UnnamedOutcome::kUseTemporary;
    // The directory and the name, split at the last separator without
    // building paths: this runs once per file.
    const std::string& full = target.native();
    size_t slash = full.rfind('/');
    std::string_view directory = slash == std::string::npos ? std::string_view(".")
                                 : slash == 0               ? std::string_view("/")
                                                            : std::string_view(full).substr(0, slash);
    const char* name = full.c_str() + (slash == std::string::npos ? 0 : slash + 1);
    if (*name == '\0') return UnnamedOutcome::kUseTemporary;
    int descriptor = held_directory.CreateNamelessIn(directory);
    if (descriptor < 0) {
        unnamed_refused = Refusal(errno);
        return UnnamedOutcome::kUseTemporary;
    }
    if (!WriteAll(descriptor, data, size)) {
        error = "cannot write " + Utf8Of(target) + ": " + DescribeErrno(errno);
        CloseKeepingErrno(descriptor);
        return UnnamedOutcome::kFailed;
    }
    // Naming fails rather than replace an existing name, link or not; a
    // replacement is named beside the target and renamed over it.
    bool named = linkat(descriptor, "", held_directory.descriptor(), name, AT_EMPTY_PATH) == 0;
    int failure = named ? 0 : errno;
    if (failure == EEXIST && replace) named = NameAndRename(descriptor, target);
    if (!named) {
        CloseKeepingErrno(descriptor);
        if (failure == EEXIST && !replace) {
            error = "cannot create " + Utf8Of(target) + ": it exists (--keep)";
            return UnnamedOutcome::kFailed;
        }
        // Without the privilege the descriptor is "not found".
        unnamed_refused = failure == ENOENT || failure == EPERM || failure == EOPNOTSUPP;
        return UnnamedOutcome::kUseTemporary;
    }
    if (!CloseKeepingErrno(descriptor)) {
        error = "cannot write " + Utf8Of(target) + ": " + DescribeErrno(errno);
        unlinkat(held_directory.descriptor(), name, 0);
        return UnnamedOutcome::kFailed;
    }
    return UnnamedOutcome::kWritten;
}
#endif

}  // namespace

bool EnsureDirectory(const std::filesystem::path& directory, std::string& error) {
    std::error_code failure;
    if (std::filesystem::is_directory(directory, failure)) return true;
    if (std::filesystem::exists(directory, failure)) {
        error = "cannot create directory " + Utf8Of(directory) + ": a file of that name exists";
        return false;
    }
    std::filesystem::create_directories(directory, failure);
    if (failure) {
        error = "cannot create directory " + Utf8Of(directory) + ": " + failure.message();
        return false;
    }
    return true;
}

bool WriteFile(const std::filesystem::path& target, const uint8_t* data, size_t size, bool replace,
               std::string& error) {
#if defined(__linux__) && defined(O_TMPFILE)
    UnnamedOutcome unnamed = WriteUnnamed(target, data, size, replace, error);
    if (unnamed != UnnamedOutcome::kUseTemporary) return unnamed == UnnamedOutcome::kWritten;
#endif
    // An interrupt while the temporary file exists removes it.
    TemporaryFileGuard guard;
    std::filesystem::path partial;
    int descriptor = CreateTemporaryBeside(target, partial, guard);
    if (descriptor < 0) {
        error = "cannot create " + Utf8Of(target) + ": " + DescribeErrno(errno);
        return false;
    }
    std::error_code ignored;
    if (!WriteAndClose(descriptor, data, size)) {
        error = "cannot write " + Utf8Of(target) + ": " + DescribeErrno(errno);
        std::filesystem::remove(partial, ignored);
        return false;
    }
    std::error_code failure;
    if (!(replace ? MoveIntoPlace(partial, target, failure) : MoveIntoFreeName(partial, target, failure))) {
        error = "cannot create " + Utf8Of(target) + ": " +
                (failure == std::errc::file_exists ? std::string("it exists (--keep)") : failure.message());
        std::filesystem::remove(partial, ignored);
        return false;
    }
    return true;
}

}  // namespace kova::cli
