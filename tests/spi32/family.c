#include "family.h"

#include <stdio.h>
#include <string.h>

#include "plugin_api.h"

/* EntryInfo: 428 bytes in the 32-bit interface, 448 natively; EntryInfoW,
 * with 200-character UTF-16 strings: 828 and 848. */
static const struct RecordLayout kAnsi32 = {428, 4, 8, 12, 16, 20, 24, 224, 424};
static const struct RecordLayout kAnsi64 = {448, 8, 8, 16, 24, 32, 40, 240, 440};
static const struct RecordLayout kWide32 = {828, 4, 8, 12, 16, 20, 24, 424, 824};
static const struct RecordLayout kWide64 = {848, 8, 8, 16, 24, 32, 40, 440, 840};

const struct Family *AnsiFamily(void) {
    static const struct Family family[2] = {{"", 1, &kAnsi32}, {"", 1, &kAnsi64}};
    return &family[sizeof(void *) == 8];
}

const struct Family *WideFamily(void) {
    static const struct Family family[2] = {{"W", 2, &kWide32}, {"W", 2, &kWide64}};
    return &family[sizeof(void *) == 8];
}

uint32_t UnitAt(const struct Family *family, const uint8_t *text, size_t index) {
    return family->unit == 1 ? text[index] : (uint32_t)(text[2 * index] | text[2 * index + 1] << 8);
}

/* An ASCII string widened, in one of a few rotating buffers (a call takes
 * at most two strings). NULL stays NULL. */
static const uint16_t *Wide(const char *text) {
    static uint16_t buffers[3][1024];
    static unsigned next;
    if (text == NULL) return NULL;
    uint16_t *wide = buffers[next++ % 3];
    size_t k = 0;
    for (; text[k] != '\0' && k + 1 < sizeof buffers[0] / sizeof buffers[0][0]; ++k) {
        wide[k] = (unsigned char)text[k];
    }
    wide[k] = 0;
    return wide;
}

static int IsPathInput(unsigned flag) { return (flag & 7) != 1; }
static int IsDiskOutput(unsigned flag) { return ((flag >> 8) & 7) == 0; }

int FamilyInfo(const struct Family *family, int infono, void *buf, int buflen) {
    return family->unit == 1 ? PluginInfo(infono, buf, buflen) : PluginInfoW(infono, buf, buflen);
}

int FamilyIsSupported(const struct Family *family, const char *filename, uintptr_t dw) {
    return family->unit == 1 ? PluginIsSupported(filename, dw) : PluginIsSupportedW(Wide(filename), dw);
}

int FamilyArchiveInfo(const struct Family *family, const char *buf, intptr_t len, unsigned flag, void **list) {
    if (family->unit == 1) return PluginArchiveInfo(buf, len, flag, list);
    return PluginArchiveInfoW(IsPathInput(flag) ? (const void *)Wide(buf) : buf, len, flag, list);
}

int FamilyFileInfo(const struct Family *family, const char *buf, intptr_t len, const char *filename,
                   unsigned flag, void *record) {
    if (family->unit == 1) return PluginFileInfo(buf, len, filename, flag, record);
    return PluginFileInfoW(IsPathInput(flag) ? (const void *)Wide(buf) : buf, len, Wide(filename), flag, record);
}

int FamilyGetFile(const struct Family *family, const char *src, intptr_t len, char *dest, unsigned flag) {
    if (family->unit == 1) return PluginGetFile(src, len, dest, flag);
    return PluginGetFileW(IsPathInput(flag) ? (const void *)Wide(src) : src, len,
                          IsDiskOutput(flag) ? (void *)Wide(dest) : dest, flag);
}
