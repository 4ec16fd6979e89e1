/* Pass and fail lines of the 32-bit host, counted for the tier's summary. */
#ifndef SPI32_CHECKS_H
#define SPI32_CHECKS_H

/* Prints "PASS ..." and returns 1. */
int Pass(const char *format, ...) __attribute__((format(printf, 1, 2)));
/* Prints "FAIL ..." and returns 0. */
int Fail(const char *format, ...) __attribute__((format(printf, 1, 2)));
/* Returns whether any check failed. */
int AnyFailed(void);

#endif
