// Windows file functions over POSIX descriptors. A HANDLE carries the
// descriptor itself, so a host's dw below 0x10000 is the descriptor it opened.
#include "platform/win_api.h"

#include "platform/accounting.h"

#include <cerrno>
#include <cstdio>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int DescriptorOf(HANDLE file) {
    intptr_t fd = reinterpret_cast<intptr_t>(file);
    if (fd < 0 || fd > INT_MAX) return -1;
    return static_cast<int>(fd);
}

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd)); }

}  // namespace

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD /*share*/, void* /*security*/,
                   DWORD disposition, DWORD /*attributes*/, HANDLE /*template_file*/) {
    if (name == nullptr || name[0] == '\0') return INVALID_HANDLE_VALUE;

    int flags = O_CLOEXEC;
    bool reads = (access & GENERIC_READ) != 0;
    bool writes = (access & GENERIC_WRITE) != 0;
    if (reads && writes) {
        flags |= O_RDWR;
    } else if (writes) {
        flags |= O_WRONLY;
    } else {
        flags |= O_RDONLY;
    }
    switch (disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    default: return INVALID_HANDLE_VALUE;
    }

    // Never waits in the open itself: a FIFO without a writer would hold
    // the caller there for good. Reads of a file are the same either way.
    flags |= O_NONBLOCK | O_NOCTTY;
    int fd;
    do {
        fd = open(name, flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return INVALID_HANDLE_VALUE;

    // Windows refuses to open a directory as a file; so do we, so that a
    // directory given as an archive is "cannot be opened" in every build.
    struct stat info;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);
        errno = EISDIR;
        return INVALID_HANDLE_VALUE;
    }
    kova::accounting::FileOpened();
    return HandleOf(fd);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD to_read, LPDWORD read_count, void* /*overlapped*/) {
    if (read_count != nullptr) *read_count = 0;
    int fd = DescriptorOf(file);
    if (fd < 0 || (buffer == nullptr && to_read != 0)) return FALSE;
    ssize_t got;
    do {
        got = read(fd, buffer, to_read);
    } while (got < 0 && errno == EINTR);
    if (got < 0) return FALSE;
    if (read_count != nullptr) *read_count = static_cast<DWORD>(got);
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD to_write, LPDWORD written, void* /*overlapped*/) {
    if (written != nullptr) *written = 0;
    int fd = DescriptorOf(file);
    if (fd < 0 || (buffer == nullptr && to_write != 0)) return FALSE;
    ssize_t put;
    do {
        put = write(fd, buffer, to_write);
    } while (put < 0 && errno == EINTR);
    if (put < 0) return FALSE;
    if (written != nullptr) *written = static_cast<DWORD>(put);
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distance_high, DWORD method) {
    int fd = DescriptorOf(file);
    if (fd < 0) return INVALID_SET_FILE_POINTER;

    // Without a high part the distance is a signed 32-bit value; with one,
    // the two halves form a signed 64-bit distance.
    int64_t offset = distance;
    if (distance_high != nullptr) {
        offset = static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distance_high)) << 32) |
                                      static_cast<uint32_t>(distance));
    }
    int whence;
    switch (method) {
    case FILE_BEGIN: whence = SEEK_SET; break;
    case FILE_CURRENT: whence = SEEK_CUR; break;
    case FILE_END: whence = SEEK_END; break;
    default: return INVALID_SET_FILE_POINTER;
    }
    off_t at = lseek(fd, static_cast<off_t>(offset), whence);
    if (at < 0) return INVALID_SET_FILE_POINTER;
    uint64_t position = static_cast<uint64_t>(at);
    if (distance_high != nullptr) {
        *distance_high = static_cast<LONG>(position >> 32);
    } else if (position > 0xFFFFFFFEu) {
        // A position the low half alone cannot express is an error without a
        // high part, as on Windows.
        return INVALID_SET_FILE_POINTER;
    }
    // A position whose low half is all ones looks like the error value; Windows
    // callers tell the two apart with GetLastError, which the module never
    // needs: it always seeks with a high part and checks that too.
    return static_cast<DWORD>(position & 0xFFFFFFFFu);
}

BOOL SetEndOfFile(HANDLE file) {
    int fd = DescriptorOf(file);
    if (fd < 0) return FALSE;
    off_t at = lseek(fd, 0, SEEK_CUR);
    if (at < 0) return FALSE;
    return ftruncate(fd, at) == 0 ? TRUE : FALSE;
}

DWORD GetFileType(HANDLE file) {
    int fd = DescriptorOf(file);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0) return FILE_TYPE_UNKNOWN;
    if (S_ISREG(info.st_mode)) return FILE_TYPE_DISK;
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return FILE_TYPE_CHAR;
    if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) return FILE_TYPE_PIPE;
    return FILE_TYPE_UNKNOWN;
}

BOOL CloseHandle(HANDLE file) {
    int fd = DescriptorOf(file);
    if (fd < 0) return FALSE;
    if (close(fd) != 0) return FALSE;
    kova::accounting::FileClosed();
    return TRUE;
}

BOOL DeleteFileA(LPCSTR name) {
    if (name == nullptr) return FALSE;
    return unlink(name) == 0 ? TRUE : FALSE;
}

BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size) {
    int fd = DescriptorOf(file);
    struct stat info;
    if (fd < 0 || size == nullptr || fstat(fd, &info) != 0) return FALSE;
    size->QuadPart = static_cast<int64_t>(info.st_size);
    return TRUE;
}

BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) {
    if (from == nullptr || to == nullptr) return FALSE;
    if ((flags & MOVEFILE_REPLACE_EXISTING) == 0) {
        // Without the flag an existing target is kept: link() fails on it.
        if (link(from, to) != 0) return FALSE;
        unlink(from);
        return TRUE;
    }
    return std::rename(from, to) == 0 ? TRUE : FALSE;
}

DWORD GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

namespace {

// A UTF-16 name as the file system spells it; false for a name that is not
// well-formed UTF-16 or too long for a path.
bool FileSystemName(LPCWSTR name, char (&out)[PATH_MAX]) {
    if (name == nullptr) return false;
    return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, name, -1, out, sizeof out, nullptr, nullptr) > 0;
}

}  // namespace

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, void* security, DWORD disposition,
                   DWORD attributes, HANDLE template_file) {
    char path[PATH_MAX];
    if (!FileSystemName(name, path)) return INVALID_HANDLE_VALUE;
    return CreateFileA(path, access, share, security, disposition, attributes, template_file);
}

BOOL DeleteFileW(LPCWSTR name) {
    char path[PATH_MAX];
    return FileSystemName(name, path) ? DeleteFileA(path) : FALSE;
}

BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
    char from_path[PATH_MAX], to_path[PATH_MAX];
    if (!FileSystemName(from, from_path) || !FileSystemName(to, to_path)) return FALSE;
    return MoveFileExA(from_path, to_path, flags);
}
