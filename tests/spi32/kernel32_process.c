/* KERNEL32's process, thread and module functions, for a host with one
 * thread that loads no other DLL. */
#include <stdio.h>
#include <time.h>
#include <unistd.h>

#include "system.h"

static DWORD last_error;

DWORD WINAPI GetLastError(void) { return last_error; }
void SetLastErrorValue(DWORD error) { last_error = error; }
static void WINAPI SetLastError(DWORD error) { last_error = error; }

static DWORD WINAPI GetCurrentProcessId(void) { return (DWORD)getpid(); }
static DWORD WINAPI GetCurrentThreadId(void) { return (DWORD)getpid(); }

static void WINAPI Sleep(DWORD milliseconds) {
    struct timespec pause = {(time_t)(milliseconds / 1000), (long)(milliseconds % 1000) * 1000000L};
    nanosleep(&pause, NULL);
}

/* One thread: a lock is free whenever it is taken, and a lock taken twice
 * without release would deadlock on Windows, so that is a misuse. */
static void WINAPI AcquireSRWLockExclusive(void **lock) {
    if (*lock != NULL) Misuse("AcquireSRWLockExclusive: the lock is already held");
    *lock = (void *)1;
}

static void WINAPI ReleaseSRWLockExclusive(void **lock) {
    if (*lock == NULL) Misuse("ReleaseSRWLockExclusive: the lock is not held");
    *lock = NULL;
}

/* The 24-byte CRITICAL_SECTION: only its recursion count is kept (at 8). */
struct CriticalSection {
    void *debug_info;
    LONG lock_count, recursion_count;
    HANDLE owner, semaphore;
    uintptr_t spin_count;
};

static void WINAPI InitializeCriticalSection(struct CriticalSection *section) {
    section->debug_info = NULL;
    section->lock_count = -1;
    section->recursion_count = 0;
    section->owner = section->semaphore = NULL;
    section->spin_count = 0;
}

static void WINAPI DeleteCriticalSection(struct CriticalSection *section) {
    if (section->recursion_count != 0) Misuse("DeleteCriticalSection: the section is still entered");
}

static void WINAPI EnterCriticalSection(struct CriticalSection *section) { ++section->recursion_count; }

static void WINAPI LeaveCriticalSection(struct CriticalSection *section) {
    if (section->recursion_count == 0) Misuse("LeaveCriticalSection: the section is not entered");
    else --section->recursion_count;
}

/* Thread-local slots: the DLL allocates none, so each reads as empty. */
static void *WINAPI TlsGetValue(DWORD index) {
    (void)index;
    SetLastErrorValue(ERROR_SUCCESS);
    return NULL;
}

/* No other module is loaded: the runtime's start-up looks for an unwinder
 * DLL and, finding none, uses the one linked in. */
static HMODULE WINAPI GetModuleHandleA(const char *name) {
    (void)name;
    SetLastErrorValue(ERROR_MOD_NOT_FOUND);
    return NULL;
}

static HMODULE WINAPI GetModuleHandleW(const WCHAR *name) {
    (void)name;
    SetLastErrorValue(ERROR_MOD_NOT_FOUND);
    return NULL;
}

static HMODULE WINAPI LoadLibraryA(const char *name) {
    (void)name;
    SetLastErrorValue(ERROR_MOD_NOT_FOUND);
    return NULL;
}

static BOOL WINAPI FreeLibrary(HMODULE module) {
    Misuse("FreeLibrary(%p): no library was loaded", module);
    return FALSE;
}

static void *WINAPI GetProcAddress(HMODULE module, const char *name) {
    (void)module, (void)name;
    SetLastErrorValue(ERROR_PROC_NOT_FOUND);
    return NULL;
}

const struct ImportSymbol kernel32_process_symbols[] = {
    {"AcquireSRWLockExclusive", AcquireSRWLockExclusive},
    {"DeleteCriticalSection", DeleteCriticalSection},
    {"EnterCriticalSection", EnterCriticalSection},
    {"FreeLibrary", FreeLibrary},
    {"GetCurrentProcessId", GetCurrentProcessId},
    {"GetCurrentThreadId", GetCurrentThreadId},
    {"GetLastError", GetLastError},
    {"GetModuleHandleA", GetModuleHandleA},
    {"GetModuleHandleW", GetModuleHandleW},
    {"GetProcAddress", GetProcAddress},
    {"InitializeCriticalSection", InitializeCriticalSection},
    {"LeaveCriticalSection", LeaveCriticalSection},
    {"LoadLibraryA", LoadLibraryA},
    {"ReleaseSRWLockExclusive", ReleaseSRWLockExclusive},
    {"SetLastError", SetLastError},
    {"Sleep", Sleep},
    {"TlsGetValue", TlsGetValue},
    {NULL, NULL},
};
