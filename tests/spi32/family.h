/* The two families of exports as the report drives them: the ANSI one and
 * the UTF-16 one. The report gives every string as ASCII; the wide family
 * widens it on the way in, and its records are read in their own layout. */
#ifndef SPI32_FAMILY_H
#define SPI32_FAMILY_H

#include <stddef.h>
#include <stdint.h>

struct RecordLayout {
    size_t size, width, position, packed, unpacked, timestamp, path, filename, crc;
};

struct Family {
    const char *suffix; /* appended to the export names: "" or "W" */
    size_t unit;        /* bytes per character */
    const struct RecordLayout *record;
};

/* The families with the record layouts of this host's build: 32-bit fields
 * in the 32-bit host, 64-bit ones natively. */
const struct Family *AnsiFamily(void);
const struct Family *WideFamily(void);

int FamilyInfo(const struct Family *family, int infono, void *buf, int buflen);
int FamilyIsSupported(const struct Family *family, const char *filename, uintptr_t dw);
/* With file input (flag & 7 not 1) buf is a path; otherwise archive bytes. */
int FamilyArchiveInfo(const struct Family *family, const char *buf, intptr_t len, unsigned flag, void **list);
int FamilyFileInfo(const struct Family *family, const char *buf, intptr_t len, const char *filename,
                   unsigned flag, void *record);
/* With disk output (flag bits 8-10 zero) dest is a directory path. */
int FamilyGetFile(const struct Family *family, const char *src, intptr_t len, char *dest, unsigned flag);

/* The character at `index` of a string field. */
uint32_t UnitAt(const struct Family *family, const uint8_t *text, size_t index);

#endif
