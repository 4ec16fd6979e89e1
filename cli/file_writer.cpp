#include "cli/file_writer.h"

#include <cerrno>
#include <cstdio>
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
#include <unistd.h>
#endif

namespace kova::cli {
namespace {

// Creates `path` for writing only if nothing has that name: a file or link
// planted there is never opened, let alone truncated.
std::FILE* CreateFresh(const std::filesystem::path& path) {
#ifdef _WIN32
    int descriptor = _wopen(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    return descriptor < 0 ? nullptr : _fdopen(descriptor, "wb");
#else
    return std::fopen(path.c_str(), "wbx");
#endif
}

int ProcessNumber() {
#ifdef _WIN32
    return static_cast<int>(GetCurrentProcessId());
#else
    return static_cast<int>(getpid());
#endif
}

// A temporary file beside `target` under a name no one else uses:
// <target>.<process>-<n>.part, the first n that is free.
std::FILE* CreateTemporaryBeside(const std::filesystem::path& target, std::filesystem::path& temporary) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        temporary = target;
        // Appended piece by piece: g++ 12 at -O3 takes a literal joined to a
        // temporary string for an overlapping copy (-Wrestrict).
        std::string suffix = ".";
        suffix += std::to_string(ProcessNumber());
        suffix += '-';
        suffix += std::to_string(attempt);
        suffix += ".part";
        temporary += suffix;
        std::FILE* file = CreateFresh(temporary);
        if (file != nullptr || errno != EEXIST) return file;
    }
    return nullptr;
}

bool WriteAndClose(std::FILE* file, const uint8_t* data, size_t size) {
    bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    written = std::fflush(file) == 0 && written;
    int saved = errno;
    bool closed = std::fclose(file) == 0;
    if (!written) errno = saved;
    return written && closed;
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
    // Held off until the temporary file is in place or gone: an interrupt
    // never leaves one behind.
    InterruptsDeferred deferred;
    std::filesystem::path partial;
    std::FILE* file = CreateTemporaryBeside(target, partial);
    if (file == nullptr) {
        error = "cannot create " + Utf8Of(target) + ": " + DescribeErrno(errno);
        return false;
    }
    std::error_code ignored;
    if (!WriteAndClose(file, data, size)) {
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
