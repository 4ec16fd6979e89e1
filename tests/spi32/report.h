/* The report both hosts write: everything the plug-in answered for a set of
 * archives, in a form that does not depend on the build, so that the two
 * reports must be identical. */
#ifndef SPI32_REPORT_H
#define SPI32_REPORT_H

#include <stdio.h>

/* Runs every call on each archive in `archives` (relative paths) and writes
 * what came back to `out`. Extracted content goes below `output_dir`. */
void WriteReport(FILE *out, const char *output_dir, char **archives, int archive_count);

#endif
