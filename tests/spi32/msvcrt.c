/* msvcrt.dll as far as the DLL's runtime uses it: cdecl functions, most of
 * them the C library's own, and the data it imports (_iob, __mb_cur_max)
 * as variables of msvcrt's layout. */
#include <ctype.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "checks.h"
#include "system.h"

/* msvcrt's 32-byte FILE; _iob[0..2] are stdin, stdout, stderr. */
struct MsvcrtFile {
    char *ptr;
    int count;
    char *base;
    int flags;
    int file;
    int charbuf;
    int bufsize;
    char *temporary_name;
};
static struct MsvcrtFile iob[20] = {{.file = 0}, {.file = 1}, {.file = 2}};
static int mb_cur_max = 1;
static int error_number;

static int DescriptorOf(struct MsvcrtFile *stream) {
    if (stream >= iob && stream < iob + 3) return stream->file;
    Fail("the DLL wrote to a stream that is not one of _iob's standard three");
    abort();
}

static int *msvcrt_errno(void) { return &error_number; }

static void msvcrt_amsg_exit(int code) {
    Fail("the DLL's runtime gave up: _amsg_exit(%d)", code);
    _exit(3);
}

static void msvcrt_abort(void) {
    Fail("the DLL called abort()");
    abort();
}

/* Runs the DLL's constructors (or initialisers) in [begin, end). */
typedef void (*Initialiser)(void);
static void msvcrt_initterm(Initialiser *begin, Initialiser *end) {
    for (; begin < end; ++begin) {
        if (*begin != NULL) (*begin)();
    }
}

static int msvcrt_initterm_e(int (**begin)(void), int (**end)(void)) {
    for (; begin < end; ++begin) {
        int result = *begin != NULL ? (*begin)() : 0;
        if (result != 0) return result;
    }
    return 0;
}

/* One thread: the runtime's locks are always free. */
static void msvcrt_lock(int which) { (void)which; }
static void msvcrt_unlock(int which) { (void)which; }

static int msvcrt_fputc(int c, struct MsvcrtFile *stream) {
    unsigned char byte = (unsigned char)c;
    return write(DescriptorOf(stream), &byte, 1) == 1 ? byte : EOF;
}

static size_t msvcrt_fwrite(const void *data, size_t size, size_t count, struct MsvcrtFile *stream) {
    if (size == 0 || count == 0) return 0;
    ssize_t put = write(DescriptorOf(stream), data, size * count);
    return put < 0 ? 0 : (size_t)put / size;
}

/* va_list is a plain pointer to the arguments on both sides of i386. */
static int msvcrt_vfprintf(struct MsvcrtFile *stream, const char *format, va_list args) {
    return vdprintf(DescriptorOf(stream), format, args);
}

static int msvcrt_fflush(struct MsvcrtFile *stream) {
    (void)stream;
    return 0;
}

/* The "C" locale whatever is asked: the DLL only reads it. */
static char *msvcrt_setlocale(int category, const char *locale) {
    (void)category, (void)locale;
    static char c_locale[] = "C";
    return c_locale;
}

/* msvcrt's lconv: ten strings, eight chars, then (in later versions) wide
 * strings, left zero here. */
struct MsvcrtLconv {
    const char *strings[10];
    char values[8];
    const void *wide[8];
};
static struct MsvcrtLconv *msvcrt_localeconv(void) {
    static struct MsvcrtLconv lconv = {
        {".", "", "", "", "", "", "", "", "", ""},
        {127, 127, 127, 127, 127, 127, 127, 127},
        {NULL},
    };
    return &lconv;
}

static size_t msvcrt_wcslen(const WCHAR *text) {
    size_t length = 0;
    while (text[length] != 0) ++length;
    return length;
}

const struct ImportSymbol msvcrt_symbols[] = {
    {"__mb_cur_max", &mb_cur_max},
    {"_amsg_exit", msvcrt_amsg_exit},
    {"_errno", msvcrt_errno},
    {"_initterm", msvcrt_initterm},
    {"_initterm_e", msvcrt_initterm_e},
    {"_iob", iob},
    {"_lock", msvcrt_lock},
    {"_unlock", msvcrt_unlock},
    {"abort", msvcrt_abort},
    {"atoi", atoi},
    {"calloc", calloc},
    {"fflush", msvcrt_fflush},
    {"fputc", msvcrt_fputc},
    {"free", free},
    {"fwrite", msvcrt_fwrite},
    {"localeconv", msvcrt_localeconv},
    {"malloc", malloc},
    {"memcmp", memcmp},
    {"memcpy", memcpy},
    {"memmove", memmove},
    {"memset", memset},
    {"realloc", realloc},
    {"setlocale", msvcrt_setlocale},
    {"strchr", strchr},
    {"strcmp", strcmp},
    {"strerror", strerror},
    {"strlen", strlen},
    {"strncmp", strncmp},
    {"strncpy", strncpy},
    {"strrchr", strrchr},
    {"tolower", tolower},
    {"toupper", toupper},
    {"vfprintf", msvcrt_vfprintf},
    {"wcslen", msvcrt_wcslen},
    {NULL, NULL},
};
