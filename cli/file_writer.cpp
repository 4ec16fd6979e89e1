#include "cli/file_writer.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "cli/messages.h"
#include "cli/text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace kova::cli {
namespace {

std::FILE* OpenForWriting(const std::filesystem::path& path) {
#ifdef _WIN32
    return _wfopen(path.c_str(), L"wb");
#else
    return std::fopen(path.c_str(), "wb");
#endif
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
    std::filesystem::path partial = target;
    partial += ".part";
    std::FILE* file = OpenForWriting(partial);
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
