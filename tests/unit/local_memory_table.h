/* The rules every build's local-memory functions must keep, as one table run
 * against each: the native platform layer (tests/unit), the system's under
 * Wine (tests/wine), and the 32-bit loader's (tests/spi32). Written in C so
 * that all three compile it; the includer declares LocalAlloc, LocalLock,
 * LocalUnlock, LocalFree and LocalSize, and the types they use.
 *
 *  - A movable block is reached through LocalLock, whose pointer is not the
 *    handle; at size 0 it exists but LocalLock gives NULL.
 *  - A fixed block's handle is its address: LocalLock returns the handle
 *    itself at every size, 0 included, and keeps no lock count, so
 *    LocalUnlock answers FALSE.
 *  - LocalSize gives the size asked for; LMEM_ZEROINIT zero-fills;
 *    LocalFree returns NULL. */
#ifndef KOVA_LOCAL_MEMORY_TABLE_H
#define KOVA_LOCAL_MEMORY_TABLE_H

#include <stddef.h>
#include <stdio.h>

#ifndef LMEM_FIXED
#define LMEM_FIXED 0x0000u
#endif

/* Above the native layer's threshold for fresh pages from the system. */
#define KOVA_TABLE_LARGE_BLOCK ((size_t)3 << 20)

/* Runs every row; `fail` hears each broken rule. Returns how many broke. */
static inline int RunLocalMemoryTable(void (*fail)(const char *what)) {
    static const unsigned kFlags[] = {LMEM_FIXED, LMEM_FIXED | LMEM_ZEROINIT, LMEM_MOVEABLE,
                                      LMEM_MOVEABLE | LMEM_ZEROINIT};
    static const size_t kSizes[] = {0, 1, KOVA_TABLE_LARGE_BLOCK};
    int failures = 0;
    char what[160];
#define KOVA_TABLE_EXPECT(condition, rule)                                                             \
    do {                                                                                               \
        if (!(condition)) {                                                                            \
            snprintf(what, sizeof what, "%s block of %lu bytes%s: %s", movable ? "movable" : "fixed",  \
                     (unsigned long)size, zeroed ? ", zero-filled" : "", rule);                       \
            fail(what);                                                                                \
            ++failures;                                                                                \
        }                                                                                              \
    } while (0)
    for (size_t f = 0; f < sizeof kFlags / sizeof *kFlags; ++f) {
        for (size_t s = 0; s < sizeof kSizes / sizeof *kSizes; ++s) {
            unsigned flags = kFlags[f];
            size_t size = kSizes[s];
            int movable = (flags & LMEM_MOVEABLE) != 0, zeroed = (flags & LMEM_ZEROINIT) != 0;
            HLOCAL block = LocalAlloc(flags, size);
            KOVA_TABLE_EXPECT(block != NULL, "LocalAlloc gives a handle");
            if (block == NULL) continue;
            KOVA_TABLE_EXPECT(LocalSize(block) == size, "LocalSize gives the size asked for");
            unsigned char *data = (unsigned char *)LocalLock(block);
            if (!movable) {
                KOVA_TABLE_EXPECT(data == (unsigned char *)block, "LocalLock returns the handle itself");
            } else if (size == 0) {
                KOVA_TABLE_EXPECT(data == NULL, "LocalLock gives NULL");
            } else {
                KOVA_TABLE_EXPECT(data != NULL && data != (unsigned char *)block,
                                  "LocalLock gives a pointer that is not the handle");
            }
            if (data != NULL && size > 0) {
                size_t nonzero = 0;
                for (size_t k = 0; zeroed && k < size; ++k) nonzero += data[k] != 0;
                KOVA_TABLE_EXPECT(nonzero == 0, "its bytes are zero");
                data[size - 1] = 2;
                KOVA_TABLE_EXPECT(LocalLock(block) == data, "a second LocalLock gives the same pointer");
                if (movable) {
                    KOVA_TABLE_EXPECT(LocalUnlock(block) != 0, "LocalUnlock of a block locked twice: still locked");
                }
                KOVA_TABLE_EXPECT(data[size - 1] == 2, "what was written stays");
            }
            KOVA_TABLE_EXPECT(LocalUnlock(block) == 0, "the last LocalUnlock answers FALSE");
            KOVA_TABLE_EXPECT(LocalFree(block) == NULL, "LocalFree returns NULL");
        }
    }
#undef KOVA_TABLE_EXPECT
    return failures;
}

#endif
