#include "checks.h"

#include <stdarg.h>
#include <stdio.h>

static int failed;

static void Say(const char *verdict, const char *format, va_list args) {
    /* The report goes to a file of its own; the verdicts to standard output. */
    printf("%s ", verdict);
    vprintf(format, args);
    putchar('\n');
    fflush(stdout);
}

int Pass(const char *format, ...) {
    va_list args;
    va_start(args, format);
    Say("PASS", format, args);
    va_end(args);
    return 1;
}

int Fail(const char *format, ...) {
    va_list args;
    va_start(args, format);
    Say("FAIL", format, args);
    va_end(args);
    failed = 1;
    return 0;
}

int AnyFailed(void) { return failed; }
