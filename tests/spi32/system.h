/* Our own KERNEL32.dll and msvcrt.dll, as far as the DLL under test imports
 * them, over POSIX. KERNEL32 functions are stdcall, msvcrt's cdecl. What the
 * host needs to account for the DLL's use of them is declared here too. */
#ifndef SPI32_SYSTEM_H
#define SPI32_SYSTEM_H

#include "win32.h"

/* The import resolver handed to PeLoad. */
const void *ResolveImport(const char *dll, const char *name);

/* Last-error value of the (single) thread. */
DWORD WINAPI GetLastError(void);
void SetLastErrorValue(DWORD error);

/* Files (kernel32_files.c). A handle is a small number distinct from any
 * descriptor or pointer; dw values below 0x10000 are handles to the DLL. */
HANDLE WINAPI CreateFileA(const char *name, DWORD access, DWORD share, void *security, DWORD disposition,
                          DWORD attributes, HANDLE template_file);
BOOL WINAPI CloseHandle(HANDLE file);
unsigned OpenFileCount(void);
/* Where an open file's position is, for the host. */
uint64_t FilePosition(HANDLE file);

/* Local memory (kernel32_memory.c), with Windows' semantics: a movable
 * block's handle is not a pointer to its data, a zero-size movable block
 * exists but cannot be locked, LocalFree returns NULL on success. */
HLOCAL WINAPI LocalAlloc(UINT flags, size_t bytes);
void *WINAPI LocalLock(HLOCAL block);
BOOL WINAPI LocalUnlock(HLOCAL block);
HLOCAL WINAPI LocalFree(HLOCAL block);
size_t WINAPI LocalSize(HLOCAL block);
/* How many blocks are live, how many of them locked, and how many times a
 * handle that is no live block's was passed in. */
unsigned LiveBlockCount(void);
unsigned LockedBlockCount(void);
unsigned LockCountOf(HLOCAL block);

/* Misuses of handles, locks and the like by the DLL: each is also printed. */
unsigned MisuseCount(void);
void Misuse(const char *format, ...) __attribute__((format(printf, 1, 2)));

/* The import tables of each file. */
struct ImportSymbol {
    const char *name;
    const void *address;
};
extern const struct ImportSymbol kernel32_file_symbols[];
extern const struct ImportSymbol kernel32_memory_symbols[];
extern const struct ImportSymbol kernel32_process_symbols[];
extern const struct ImportSymbol kernel32_text_symbols[];
extern const struct ImportSymbol msvcrt_symbols[];

#endif
