// The Windows file and local-memory functions the module is written against.
//
// On Windows this is simply <windows.h>. Elsewhere the same names are declared
// here and provided by platform/, so the module's sources are identical in
// every build. Only what the module relies on is offered: a file handle is a
// file descriptor, and local-memory blocks are movable or fixed as on Windows.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else

#include <cstddef>
#include <cstdint>

// The plug-in exports the local-memory functions, so that a host can read
// and release the blocks it is handed; the file functions stay its own.
#define KOVA_PLATFORM_API extern "C"
#if defined(KOVA_BUILDING_PLUGIN)
#define KOVA_LOCAL_MEMORY_API extern "C" __attribute__((visibility("default")))
#else
#define KOVA_LOCAL_MEMORY_API extern "C"
#endif

typedef void* HANDLE;
typedef void* HLOCAL;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef const char* LPCSTR;
// UTF-16 strings of the Unicode exports; paths in them are converted to
// UTF-8 for the file system.
typedef char16_t WCHAR;
typedef const WCHAR* LPCWSTR;
typedef int BOOL;
typedef uint32_t DWORD;
typedef DWORD* LPDWORD;
typedef int32_t LONG;
typedef LONG* PLONG;
typedef unsigned int UINT;
typedef uintptr_t DWORD_PTR;
typedef uintptr_t ULONG_PTR;
typedef intptr_t LONG_PTR;
typedef size_t SIZE_T;
typedef unsigned char BYTE;

// Only the 64-bit view of a file size is ever used.
typedef struct {
    int64_t QuadPart;
} LARGE_INTEGER;
typedef LARGE_INTEGER* PLARGE_INTEGER;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INVALID_SET_FILE_POINTER ((DWORD)0xFFFFFFFF)

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u

#define MOVEFILE_REPLACE_EXISTING 0x00000001u

// Code pages: the ANSI code page of these systems is UTF-8.
#define CP_ACP 0u
#define CP_UTF8 65001u
#define WC_NO_BEST_FIT_CHARS 0x00000400u
#define WC_ERR_INVALID_CHARS 0x00000080u  // with CP_UTF8: fail on a lone surrogate

#define FILE_TYPE_UNKNOWN 0x0000u
#define FILE_TYPE_DISK 0x0001u
#define FILE_TYPE_CHAR 0x0002u
#define FILE_TYPE_PIPE 0x0003u

#define LMEM_FIXED 0x0000u
#define LMEM_MOVEABLE 0x0002u
#define LMEM_ZEROINIT 0x0040u

// Files. The security-attributes and template arguments are accepted and
// ignored, as no caller of the module passes anything but NULL there.
KOVA_PLATFORM_API HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share,
                                     void* security, DWORD disposition,
                                     DWORD attributes, HANDLE template_file);
KOVA_PLATFORM_API BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD to_read,
                                LPDWORD read, void* overlapped);
KOVA_PLATFORM_API BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD to_write,
                                 LPDWORD written, void* overlapped);
KOVA_PLATFORM_API DWORD SetFilePointer(HANDLE file, LONG distance,
                                       PLONG distance_high, DWORD method);
KOVA_PLATFORM_API BOOL SetEndOfFile(HANDLE file);
KOVA_PLATFORM_API BOOL CloseHandle(HANDLE file);
KOVA_PLATFORM_API BOOL DeleteFileA(LPCSTR name);
KOVA_PLATFORM_API BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size);
// What an open handle is: a file (FILE_TYPE_DISK), a device (FILE_TYPE_CHAR),
// a pipe, FIFO or socket (FILE_TYPE_PIPE), or else FILE_TYPE_UNKNOWN.
KOVA_PLATFORM_API DWORD GetFileType(HANDLE file);
// Renames `from` to `to`; with MOVEFILE_REPLACE_EXISTING a file (or a link)
// already at `to` is replaced in one step, never written through.
KOVA_PLATFORM_API BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags);
KOVA_PLATFORM_API DWORD GetCurrentProcessId(void);
// The same with UTF-16 names. A name that is not well-formed UTF-16 (a lone
// surrogate) names no file: it cannot be opened, deleted or renamed.
KOVA_PLATFORM_API HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share,
                                     void* security, DWORD disposition,
                                     DWORD attributes, HANDLE template_file);
KOVA_PLATFORM_API BOOL DeleteFileW(LPCWSTR name);
KOVA_PLATFORM_API BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags);

// Text between UTF-16 and the ANSI code page (UTF-8 here), with the
// conventions of Windows: a length of -1 takes the string with its
// terminator; a room of 0 asks only for the length; 0 is returned when the
// result does not fit. Malformed UTF-8 reads as U+FFFD; a lone surrogate
// becomes `default_char` (or '?') with CP_ACP, U+FFFD with CP_UTF8, and
// fails the conversion with CP_UTF8 and WC_ERR_INVALID_CHARS.
KOVA_PLATFORM_API int MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR text, int length,
                                          WCHAR* wide, int room);
KOVA_PLATFORM_API int WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR wide, int length,
                                          char* text, int room, LPCSTR default_char,
                                          BOOL* used_default);

// Local memory, with Windows' rules (platform/local_memory.cpp): a movable
// block is reached through LocalLock, which gives NULL at size 0; a fixed
// block's handle is its address, which LocalLock returns at every size.
KOVA_LOCAL_MEMORY_API HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
KOVA_LOCAL_MEMORY_API LPVOID LocalLock(HLOCAL block);
KOVA_LOCAL_MEMORY_API BOOL LocalUnlock(HLOCAL block);
KOVA_LOCAL_MEMORY_API HLOCAL LocalFree(HLOCAL block);
KOVA_LOCAL_MEMORY_API SIZE_T LocalSize(HLOCAL block);

#endif  // _WIN32
