/* The few Windows types and constants the 32-bit loader and its system
 * functions need, with their 32-bit Windows sizes. Built for i386 only. */
#ifndef SPI32_WIN32_H
#define SPI32_WIN32_H

#include <stddef.h>
#include <stdint.h>

#define WINAPI __attribute__((stdcall))

typedef uint32_t DWORD;
typedef int32_t LONG;
typedef int BOOL;
typedef unsigned int UINT;
typedef void *HANDLE;
typedef void *HLOCAL;
typedef void *HMODULE;
typedef uint16_t WCHAR;

#define TRUE 1
#define FALSE 0
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u
#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u
#define MOVEFILE_REPLACE_EXISTING 1u

#define LMEM_MOVEABLE 0x0002u
#define LMEM_ZEROINIT 0x0040u

#define ERROR_SUCCESS 0u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_FILE_EXISTS 80u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_NEGATIVE_SEEK 131u
#define ERROR_ALREADY_EXISTS 183u
#define ERROR_NOT_LOCKED 158u
#define ERROR_MOD_NOT_FOUND 126u
#define ERROR_PROC_NOT_FOUND 127u
#define ERROR_DISCARDED 157u

#define DLL_PROCESS_DETACH 0u
#define DLL_PROCESS_ATTACH 1u

#endif
