/* The two ways other makers' hosts were seen to read an archive, as the
 * host tests run them (tests/host/host_patterns.h): probe, list by file
 * name, walk the records up to the one whose method starts with a zero
 * byte, and fetch each entry by its position, either into a block (lock,
 * size, copy, unlock, free; a NULL lock is a failure whatever the size) or
 * into a folder. Both families. */
#ifndef SPI32_PATTERNS_H
#define SPI32_PATTERNS_H

/* Every entry of each archive goes to OUTPUT_DIR/<pattern>/<archive stem>/
 * <its name>, for the patterns ansi-memory, ansi-disk, wide-memory and
 * wide-disk. Each problem is printed to standard error; returns how many. */
unsigned RunHostPatterns(const char *output_dir, char **archives, int archive_count);

/* Where the host's argument list gives the pattern archives: after a
 * "--patterns" word, which it then cuts off. */
char **PatternArchives(char **args, int *count, int *pattern_count);

#endif
