/* KERNEL32's file functions over POSIX descriptors. Paths arrive with
 * backslashes, as a Windows host passes them, and are opened with '/';
 * UTF-16 paths (the W functions) are opened as UTF-8. */
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "system.h"

typedef struct {
    int64_t QuadPart;
} LARGE_INTEGER;

/* Handle values: 0x100, 0x104, ... like the small multiples of four Windows
 * hands out; never a descriptor number, so a mix-up shows. */
#define MAX_FILES 256
#define FIRST_HANDLE 0x100u
static int descriptors[MAX_FILES];
static unsigned open_files;

static int DescriptorOf(HANDLE file, const char *caller) {
    uintptr_t value = (uintptr_t)file;
    unsigned slot = (unsigned)((value - FIRST_HANDLE) / 4);
    if (value >= FIRST_HANDLE && value % 4 == 0 && slot < MAX_FILES && descriptors[slot] > 0) {
        return descriptors[slot] - 1;
    }
    Misuse("%s: %p is no open file handle", caller, file);
    SetLastErrorValue(ERROR_INVALID_HANDLE);
    return -1;
}

static DWORD ErrorFromErrno(int error) {
    switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    default: return ERROR_ACCESS_DENIED;
    }
}

static BOOL Failed(void) {
    SetLastErrorValue(ErrorFromErrno(errno));
    return FALSE;
}

/* "dir\\disk1.DAT" -> "dir/disk1.DAT"; 0 when it does not fit. */
static int PosixPath(const char *name, char (*path)[PATH_MAX]) {
    size_t length = strlen(name);
    if (length >= sizeof *path) return 0;
    for (size_t k = 0; k <= length; ++k) (*path)[k] = name[k] == '\\' ? '/' : name[k];
    return 1;
}

/* The same for a UTF-16 path, which becomes UTF-8; 0 for one that does
 * not fit or holds a lone surrogate. */
static int PosixPathW(const WCHAR *name, char (*path)[PATH_MAX]) {
    size_t at = 0;
    for (size_t k = 0;; ++k) {
        uint32_t c = name[k];
        if (c >= 0xD800 && c < 0xDC00 && name[k + 1] >= 0xDC00 && name[k + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (name[++k] - 0xDC00u);
        } else if (c >= 0xD800 && c < 0xE000) {
            return 0;
        }
        if (at + 4 >= sizeof *path) return 0;
        if (c == '\\') c = '/';
        if (c < 0x80) {
            (*path)[at++] = (char)c;
        } else if (c < 0x800) {
            (*path)[at++] = (char)(0xC0 | c >> 6);
            (*path)[at++] = (char)(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            (*path)[at++] = (char)(0xE0 | c >> 12);
            (*path)[at++] = (char)(0x80 | ((c >> 6) & 0x3F));
            (*path)[at++] = (char)(0x80 | (c & 0x3F));
        } else {
            (*path)[at++] = (char)(0xF0 | c >> 18);
            (*path)[at++] = (char)(0x80 | ((c >> 12) & 0x3F));
            (*path)[at++] = (char)(0x80 | ((c >> 6) & 0x3F));
            (*path)[at++] = (char)(0x80 | (c & 0x3F));
        }
        if (c == 0) return 1;
    }
}

static HANDLE OpenPath(const char *path, DWORD access, DWORD disposition) {
    int flags = O_CLOEXEC;
    int reads = (access & GENERIC_READ) != 0, writes = (access & GENERIC_WRITE) != 0;
    flags |= reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    switch (disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    default: SetLastErrorValue(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
    }
    unsigned slot = 0;
    while (slot < MAX_FILES && descriptors[slot] != 0) ++slot;
    if (slot == MAX_FILES) {
        Misuse("CreateFile: more than %d files open at once", MAX_FILES);
        SetLastErrorValue(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    /* Never waits in the open: a FIFO without a writer would hold it. */
    int fd = open(path, flags | O_NONBLOCK | O_NOCTTY, 0666);
    if (fd < 0) {
        Failed();
        return INVALID_HANDLE_VALUE;
    }
    /* Windows opens no directory as a file. */
    struct stat info;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);
        SetLastErrorValue(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    descriptors[slot] = fd + 1;
    ++open_files;
    SetLastErrorValue(ERROR_SUCCESS);
    return (HANDLE)(uintptr_t)(FIRST_HANDLE + 4 * slot);
}

HANDLE WINAPI CreateFileA(const char *name, DWORD access, DWORD share, void *security, DWORD disposition,
                          DWORD attributes, HANDLE template_file) {
    (void)share, (void)security, (void)attributes, (void)template_file;
    char path[PATH_MAX];
    if (name == NULL || name[0] == '\0' || !PosixPath(name, &path)) {
        SetLastErrorValue(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return OpenPath(path, access, disposition);
}

static HANDLE WINAPI CreateFileW(const WCHAR *name, DWORD access, DWORD share, void *security, DWORD disposition,
                                 DWORD attributes, HANDLE template_file) {
    (void)share, (void)security, (void)attributes, (void)template_file;
    char path[PATH_MAX];
    if (name == NULL || name[0] == 0 || !PosixPathW(name, &path)) {
        SetLastErrorValue(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return OpenPath(path, access, disposition);
}

BOOL WINAPI CloseHandle(HANDLE file) {
    int fd = DescriptorOf(file, "CloseHandle");
    if (fd < 0) return FALSE;
    descriptors[((uintptr_t)file - FIRST_HANDLE) / 4] = 0;
    --open_files;
    return close(fd) == 0 ? TRUE : Failed();
}

unsigned OpenFileCount(void) { return open_files; }

uint64_t FilePosition(HANDLE file) {
    int fd = DescriptorOf(file, "FilePosition");
    return fd < 0 ? 0 : (uint64_t)lseek(fd, 0, SEEK_CUR);
}

/* Windows reads and writes the whole count unless the file ends first. */
static BOOL WINAPI ReadFile(HANDLE file, void *buffer, DWORD count, DWORD *done, void *overlapped) {
    if (done != NULL) *done = 0;
    int fd = DescriptorOf(file, "ReadFile");
    if (fd < 0) return FALSE;
    if (overlapped != NULL) Misuse("ReadFile: overlapped reads are not expected");
    DWORD total = 0;
    while (total < count) {
        ssize_t got = read(fd, (char *)buffer + total, count - total);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return Failed();
        if (got == 0) break;
        total += (DWORD)got;
    }
    if (done != NULL) *done = total;
    return TRUE;
}

static BOOL WINAPI WriteFile(HANDLE file, const void *buffer, DWORD count, DWORD *done, void *overlapped) {
    if (done != NULL) *done = 0;
    int fd = DescriptorOf(file, "WriteFile");
    if (fd < 0) return FALSE;
    if (overlapped != NULL) Misuse("WriteFile: overlapped writes are not expected");
    DWORD total = 0;
    while (total < count) {
        ssize_t put = write(fd, (const char *)buffer + total, count - total);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return Failed();
        total += (DWORD)put;
    }
    if (done != NULL) *done = total;
    return TRUE;
}

#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu

static DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, LONG *distance_high, DWORD method) {
    int fd = DescriptorOf(file, "SetFilePointer");
    if (fd < 0) return INVALID_SET_FILE_POINTER;
    /* Without a high part the distance is a signed 32-bit value; with one,
     * the halves make a signed 64-bit distance. */
    int64_t offset = distance_high == NULL
                         ? (int64_t)distance
                         : (int64_t)(((uint64_t)(uint32_t)*distance_high << 32) | (uint32_t)distance);
    if (method > FILE_END) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    /* Where it would land is judged before moving: Windows leaves the
     * position alone when it refuses. */
    off_t current = lseek(fd, 0, SEEK_CUR), size = lseek(fd, 0, SEEK_END);
    int64_t origin = method == FILE_BEGIN ? 0 : method == FILE_CURRENT ? current : size;
    int64_t target = origin + offset;
    lseek(fd, current, SEEK_SET);
    if (target < 0) {
        SetLastErrorValue(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    if (distance_high == NULL && target > 0xFFFFFFFEll) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (lseek(fd, (off_t)target, SEEK_SET) < 0) {
        Failed();
        return INVALID_SET_FILE_POINTER;
    }
    if (distance_high != NULL) *distance_high = (LONG)((uint64_t)target >> 32);
    SetLastErrorValue(ERROR_SUCCESS);
    return (DWORD)target;
}

static BOOL WINAPI SetEndOfFile(HANDLE file) {
    int fd = DescriptorOf(file, "SetEndOfFile");
    if (fd < 0) return FALSE;
    off_t at = lseek(fd, 0, SEEK_CUR);
    return at >= 0 && ftruncate(fd, at) == 0 ? TRUE : Failed();
}

static BOOL WINAPI GetFileSizeEx(HANDLE file, LARGE_INTEGER *size) {
    int fd = DescriptorOf(file, "GetFileSizeEx");
    struct stat info;
    if (fd < 0) return FALSE;
    if (fstat(fd, &info) != 0) return Failed();
    size->QuadPart = info.st_size;
    return TRUE;
}

static DWORD WINAPI GetFileType(HANDLE file) {
    int fd = DescriptorOf(file, "GetFileType");
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0) return 0;
    if (S_ISREG(info.st_mode)) return 1;                          /* FILE_TYPE_DISK */
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return 2; /* FILE_TYPE_CHAR */
    if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) return 3; /* FILE_TYPE_PIPE */
    return 0;
}

static BOOL Unlink(const char *path) { return unlink(path) == 0 ? TRUE : Failed(); }

static BOOL WINAPI DeleteFileA(const char *name) {
    char path[PATH_MAX];
    if (name == NULL || !PosixPath(name, &path)) {
        SetLastErrorValue(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    return Unlink(path);
}

static BOOL WINAPI DeleteFileW(const WCHAR *name) {
    char path[PATH_MAX];
    if (name == NULL || !PosixPathW(name, &path)) {
        SetLastErrorValue(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    return Unlink(path);
}


static BOOL Rename(const char *from, const char *to, DWORD flags) {
    struct stat info;
    if (!(flags & MOVEFILE_REPLACE_EXISTING) && lstat(to, &info) == 0) {
        SetLastErrorValue(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    return rename(from, to) == 0 ? TRUE : Failed();
}

static BOOL WINAPI MoveFileExA(const char *from, const char *to, DWORD flags) {
    char old_path[PATH_MAX], new_path[PATH_MAX];
    if (from == NULL || to == NULL || !PosixPath(from, &old_path) || !PosixPath(to, &new_path)) {
        SetLastErrorValue(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    return Rename(old_path, new_path, flags);
}

static BOOL WINAPI MoveFileExW(const WCHAR *from, const WCHAR *to, DWORD flags) {
    char old_path[PATH_MAX], new_path[PATH_MAX];
    if (from == NULL || to == NULL || !PosixPathW(from, &old_path) || !PosixPathW(to, &new_path)) {
        SetLastErrorValue(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    return Rename(old_path, new_path, flags);
}

/* Directory searches: the module searches only to resolve an ANSI path
 * holding '?' (a character the code page lacked), which no report path
 * holds; here every search finds nothing, as it would for such a path. */
static HANDLE WINAPI FindFirstFileW(const WCHAR *pattern, void *found) {
    (void)pattern, (void)found;
    SetLastErrorValue(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

static BOOL WINAPI FindNextFileW(HANDLE search, void *found) {
    (void)search, (void)found;
    SetLastErrorValue(ERROR_INVALID_HANDLE);
    return FALSE;
}

static BOOL WINAPI FindClose(HANDLE search) {
    (void)search;
    SetLastErrorValue(ERROR_INVALID_HANDLE);
    return FALSE;
}

const struct ImportSymbol kernel32_file_symbols[] = {
    {"CloseHandle", CloseHandle},
    {"CreateFileA", CreateFileA},
    {"CreateFileW", CreateFileW},
    {"DeleteFileA", DeleteFileA},
    {"DeleteFileW", DeleteFileW},
    {"FindClose", FindClose},
    {"FindFirstFileW", FindFirstFileW},
    {"FindNextFileW", FindNextFileW},
    {"GetFileSizeEx", GetFileSizeEx},
    {"GetFileType", GetFileType},
    {"MoveFileExA", MoveFileExA},
    {"MoveFileExW", MoveFileExW},
    {"ReadFile", ReadFile},
    {"SetEndOfFile", SetEndOfFile},
    {"SetFilePointer", SetFilePointer},
    {"WriteFile", WriteFile},
    {NULL, NULL},
};
