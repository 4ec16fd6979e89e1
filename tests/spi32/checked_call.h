/* Calls into the loaded DLL through an assembly thunk that checks the
 * stdcall convention on every return. */
#ifndef SPI32_CHECKED_CALL_H
#define SPI32_CHECKED_CALL_H

#include <stdint.h>

/* Calls fn (stdcall) with count arguments and returns its eax. A broken
 * convention (arguments left on the stack or popped twice, a callee-saved
 * register changed, the direction flag left set) is a failed check naming
 * `what`. */
uint32_t CheckedCall(const char *what, const void *fn, unsigned count, const uint32_t *args);

/* How many calls were made, and how many broke the convention. */
unsigned CheckedCallCount(void);
unsigned BrokenCallCount(void);

#endif
