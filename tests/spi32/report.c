#include "report.h"

#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <dirent.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include "family.h"
#include "plugin_api.h"

#define MAX_RECORD 848
#define GUARD 64
#define FILL 0xA5

/* Input modes and output modes of the flag argument. */
enum { kFileInput = 0, kMemoryInput = 1, kDiskOutput = 0x000, kMemoryOutput = 0x100 };

static uint64_t Field(const uint8_t *record, size_t offset, size_t width) {
    uint64_t value = 0;
    for (size_t k = width; k-- > 0;) value = value << 8 | record[offset + k];
    return value;
}

/* A string field of `count` characters as its leading printable ASCII
 * text, then the rest as runs of equal characters ("+00*186"), so that
 * unwritten or stray bytes show too. */
static void DescribeText(FILE *out, const struct Family *f, const uint8_t *text, size_t count) {
    size_t at = 0;
    fputc('"', out);
    for (uint32_t c; at < count && (c = UnitAt(f, text, at)) >= 0x20 && c < 0x7F && c != '"'; ++at) {
        fputc((int)c, out);
    }
    fputc('"', out);
    while (at < count) {
        size_t run = 1;
        while (at + run < count && UnitAt(f, text, at + run) == UnitAt(f, text, at)) ++run;
        fprintf(out, " +%0*x*%zu", (int)(2 * f->unit), UnitAt(f, text, at), run);
        at += run;
    }
}

static void PrintRecord(FILE *out, const struct Family *f, const uint8_t *record) {
    const struct RecordLayout *r = f->record;
    fputs("method=", out);
    for (int k = 0; k < 8; ++k) fprintf(out, "%02x", record[k]);
    fprintf(out, " position=%llu packed=%llu unpacked=%llu timestamp=%lld crc=%llu path=",
            (unsigned long long)Field(record, r->position, r->width),
            (unsigned long long)Field(record, r->packed, r->width),
            (unsigned long long)Field(record, r->unpacked, r->width),
            (long long)(r->width == 4 ? (int64_t)(int32_t)Field(record, r->timestamp, 4)
                                      : (int64_t)Field(record, r->timestamp, 8)),
            (unsigned long long)Field(record, r->crc, 4));
    DescribeText(out, f, record + r->path, 200);
    fputs(" filename=", out);
    DescribeText(out, f, record + r->filename, 200);
    fputc('\n', out);
}

/* A record's name as the report passes names: ASCII ('?' for any other
 * character; the archives here give only ASCII names). */
static void NameOf(const struct Family *f, const uint8_t *record, char (*name)[201]) {
    size_t k = 0;
    for (uint32_t c; k < 200 && (c = UnitAt(f, record + f->record->filename, k)) != 0; ++k) {
        (*name)[k] = c < 0x80 ? (char)c : '?';
    }
    (*name)[k] = '\0';
}

static uint64_t Fnv(const uint8_t *bytes, size_t size) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (size_t k = 0; k < size; ++k) hash = (hash ^ bytes[k]) * 0x100000001b3ull;
    return hash;
}

static void MakeDirectories(const char *path) {
    char partial[1024];
    snprintf(partial, sizeof partial, "%s", path);
    for (char *at = partial + 1; *at != '\0'; ++at) {
        if (*at != '/') continue;
        *at = '\0';
        mkdir(partial, 0777);
        *at = '/';
    }
    mkdir(partial, 0777);
}

static void SaveBytes(const char *directory, const char *name, const uint8_t *bytes, size_t size) {
    MakeDirectories(directory);
    char path[1024];
    snprintf(path, sizeof path, "%s/%s", directory, name[0] != '\0' ? name : "(no name)");
    FILE *file = fopen(path, "wb");
    if (file == NULL || (size > 0 && fwrite(bytes, 1, size, file) != size)) {
        fprintf(stderr, "cannot write %s: %s\n", path, strerror(errno));
        exit(2);
    }
    fclose(file);
}

/* An archive image in memory, its last byte just before an inaccessible
 * page: a read past the image faults in either build. */
struct Image {
    uint8_t *bytes;
    size_t size;
    void *mapping;
    size_t mapped;
};

static struct Image LoadImage(const char *path) {
    struct Image image = {NULL, 0, NULL, 0};
    FILE *file = fopen(path, "rb");
    if (file == NULL) return image;
    fseek(file, 0, SEEK_END);
    long size = ftell(file);
    fseek(file, 0, SEEK_SET);
    size_t pages = ((size_t)size + 4095) / 4096 + 1;
    image.mapping = mmap(NULL, pages * 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (image.mapping == MAP_FAILED) abort();
    image.mapped = pages * 4096;
    mprotect((uint8_t *)image.mapping + (pages - 1) * 4096, 4096, PROT_NONE);
    image.size = (size_t)size;
    image.bytes = (uint8_t *)image.mapping + (pages - 1) * 4096 - image.size;
    if (fread(image.bytes, 1, image.size, file) != image.size) abort();
    fclose(file);
    return image;
}

static const char *Stem(const char *path) {
    const char *slash = strrchr(path, '/');
    return slash != NULL ? slash + 1 : path;
}

/* ---------------------------------------------------------------- sections */

static void ReportInfo(FILE *out, const struct Family *f) {
    static const int infonos[] = {-1, 0, 1, 2, 3, 4};
    static const int lengths[] = {0, 1, 3, 5, 256};
    for (size_t i = 0; i < sizeof infonos / sizeof *infonos; ++i) {
        for (size_t l = 0; l < sizeof lengths / sizeof *lengths; ++l) {
            uint16_t buf[256 + GUARD]; /* room for either width */
            memset(buf, FILL, sizeof buf);
            int result = FamilyInfo(f, infonos[i], buf, lengths[l]);
            fprintf(out, "GetPluginInfo%s(%d, buflen %d) -> %d ", f->suffix, infonos[i], lengths[l], result);
            DescribeText(out, f, (const uint8_t *)buf, (size_t)lengths[l] + 4);
            fputc('\n', out);
        }
    }
    fprintf(out, "GetPluginInfo%s(0, NULL, 5) -> %d\n", f->suffix, FamilyInfo(f, 0, NULL, 5));
}

static void ReportProbe(FILE *out, const struct Family *f, const char *path, const char *host_path) {
    uintptr_t handle = HostOpen(path);
    if (handle == 0) {
        fprintf(out, "IsSupported%s: cannot open %s\n", f->suffix, path);
    } else {
        int result = FamilyIsSupported(f, host_path, handle);
        fprintf(out, "IsSupported%s(handle) -> %d, the handle left at %llu\n", f->suffix, result,
                (unsigned long long)HostPosition(handle));
        HostClose(handle);
    }
    /* The head a host reads: the first 2048 bytes, zeros past the file. */
    static uint8_t head[2048];
    memset(head, 0, sizeof head);
    FILE *file = fopen(path, "rb");
    if (file != NULL) {
        size_t got = fread(head, 1, sizeof head, file);
        (void)got;
        fclose(file);
    }
    fprintf(out, "IsSupported%s(head) -> %d\n", f->suffix, FamilyIsSupported(f, host_path, (uintptr_t)head));
}

/* Lists the archive; returns the number of records (0 on failure) and,
 * when `records` is not NULL, leaves their bytes in a fresh array the
 * caller frees. */
static size_t ReportListing(FILE *out, const struct Family *f, const char *label, const char *buf,
                            intptr_t len, unsigned flag, uint8_t **records) {
    void *list = (void *)(uintptr_t)0x5A5A5A50u; /* must become NULL on failure */
    int result = FamilyArchiveInfo(f, buf, len, flag, &list);
    fprintf(out, "GetArchiveInfo%s(%s) -> %d", f->suffix, label, result);
    if (list == NULL || result != 0) {
        fprintf(out, ", list %s\n", list == NULL ? "NULL" : "not NULL");
        if (list != NULL && result == 0) BlockFree(list);
        return 0;
    }
    const struct RecordLayout *r = f->record;
    size_t size = BlockSize(list);
    const uint8_t *bytes = BlockLock(list);
    size_t count = 0;
    while ((count + 1) * r->size <= size && bytes[count * r->size] != 0) ++count;
    fprintf(out, ", %zu records, the block holds %zu records and %zu bytes more\n", count, size / r->size,
            size % r->size);
    if (records != NULL) {
        *records = malloc((count + 1) * r->size);
        memcpy(*records, bytes, count * r->size);
    }
    for (size_t k = 0; k < count; ++k) {
        fprintf(out, "  [%zu] ", k);
        PrintRecord(out, f, bytes + k * r->size);
    }
    BlockUnlock(list);
    fprintf(out, "  LocalFree -> %s\n", BlockFree(list) ? "NULL" : "not NULL");
    return count;
}

static void ReportLookup(FILE *out, const struct Family *f, const char *label, const char *buf, intptr_t len,
                         unsigned flag, const char *name) {
    uint8_t record[MAX_RECORD + GUARD];
    memset(record, FILL, sizeof record);
    int result = FamilyFileInfo(f, buf, len, name, flag, record);
    fprintf(out, "GetFileInfo%s(%s, \"%s\") -> %d", f->suffix, label, name, result);
    size_t guard = 0;
    while (guard < GUARD && record[f->record->size + guard] == FILL) ++guard;
    fprintf(out, ", %s past the record", guard == GUARD ? "nothing written" : "WRITTEN");
    if (result == 0) {
        fputs(": ", out);
        PrintRecord(out, f, record);
    } else {
        fputc('\n', out);
    }
}

/* GetFile into a block; the content is saved below `directory`. */
static void ReportExtraction(FILE *out, const struct Family *f, const char *label, const char *src, intptr_t len,
                             unsigned flag, const char *directory, const char *name) {
    void *const untouched = (void *)(uintptr_t)0x5A5A5A50u;
    void *block = untouched;
    int result = FamilyGetFile(f, src, len, (char *)&block, flag);
    fprintf(out, "GetFile%s(%s -> block) -> %d", f->suffix, label, result);
    if (result != 0 || block == untouched) {
        fprintf(out, ", handle %s\n", block == untouched ? "untouched" : "stored");
        if (block != untouched && block != NULL) BlockFree(block);
        return;
    }
    size_t size = BlockSize(block);
    const uint8_t *bytes = BlockLock(block);
    fprintf(out, ", %zu bytes, fnv %016llx", size, (unsigned long long)Fnv(bytes, size));
    SaveBytes(directory, name, bytes, size);
    BlockUnlock(block);
    fprintf(out, ", LocalFree -> %s\n", BlockFree(block) ? "NULL" : "not NULL");
}

static void ReportDiskOutput(FILE *out, const struct Family *f, const char *label, const char *src, intptr_t len,
                             unsigned flag, const char *directory, const char *name) {
    char host_directory[1024];
    HostPath(directory, host_directory, sizeof host_directory);
    int result = FamilyGetFile(f, src, len, host_directory, flag);
    fprintf(out, "GetFile%s(%s -> disk) -> %d", f->suffix, label, result);
    char path[1024];
    snprintf(path, sizeof path, "%s/%s", directory, name);
    struct Image written = LoadImage(path);
    if (written.mapping != NULL) {
        fprintf(out, ", %s: %zu bytes, fnv %016llx", name, written.size,
                (unsigned long long)Fnv(written.bytes, written.size));
        munmap(written.mapping, written.mapped);
    }
    fputc('\n', out);
}

static int CompareNames(const void *a, const void *b) {
    return strcmp(*(char *const *)a, *(char *const *)b);
}

/* What a directory holds, sorted: a leftover temporary file shows here. */
static void ReportDirectory(FILE *out, const char *directory) {
    DIR *dir = opendir(directory);
    char *names[512];
    size_t count = 0;
    for (struct dirent *entry; dir != NULL && (entry = readdir(dir)) != NULL && count < 512;) {
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) names[count++] = strdup(entry->d_name);
    }
    if (dir != NULL) closedir(dir);
    qsort(names, count, sizeof *names, CompareNames);
    fprintf(out, "%s holds %zu files:", Stem(directory), count);
    for (size_t k = 0; k < count; ++k) {
        fprintf(out, " %s", names[k]);
        free(names[k]);
    }
    fputc('\n', out);
}

static void ReportArchive(FILE *out, const struct Family *f, const char *output_dir, const char *path) {
    char host_path[1024], directory[1024];
    HostPath(path, host_path, sizeof host_path);
    struct Image image = LoadImage(path);
    fprintf(out, "\n== %s (%zu bytes)\n", Stem(path), image.size);
    const char *memory = (const char *)image.bytes;
    intptr_t size = (intptr_t)image.size;

    ReportProbe(out, f, path, host_path);
    uint8_t *records = NULL;
    size_t count = ReportListing(out, f, "file", host_path, 0, kFileInput, &records);
    ReportListing(out, f, "memory", memory, size, kMemoryInput, NULL);

    /* Each entry looked up by its name and extracted, from the file and
     * from memory, into a block and into a directory. */
    static const struct {
        const char *label, *directory;
        unsigned flag;
    } kExtractions[] = {
        {"file", "block-from-file", kFileInput | kMemoryOutput},
        {"memory", "block-from-memory", kMemoryInput | kMemoryOutput},
        {"file", "disk-from-file", kFileInput | kDiskOutput},
        {"memory", "disk-from-memory", kMemoryInput | kDiskOutput},
    };
    for (size_t k = 0; k < count; ++k) {
        char name[201];
        NameOf(f, records + k * f->record->size, &name);
        fprintf(out, "-- entry %zu\n", k);
        ReportLookup(out, f, "file", host_path, 0, kFileInput, name);
        ReportLookup(out, f, "memory", memory, size, kMemoryInput, name);
        for (size_t e = 0; e < sizeof kExtractions / sizeof *kExtractions; ++e) {
            unsigned flag = kExtractions[e].flag;
            int from_memory = (flag & 7) == kMemoryInput;
            const char *src = from_memory ? memory + k : host_path;
            intptr_t len = from_memory ? size : (intptr_t)k;
            snprintf(directory, sizeof directory, "%s/%s/%s", output_dir, kExtractions[e].directory, Stem(path));
            if ((flag & 0x700) == kMemoryOutput) {
                ReportExtraction(out, f, kExtractions[e].label, src, len, flag, directory, name);
            } else {
                MakeDirectories(directory);
                ReportDiskOutput(out, f, kExtractions[e].label, src, len, flag, directory, name);
            }
        }
    }
    for (size_t e = 2; count > 0 && e < 4; ++e) {
        snprintf(directory, sizeof directory, "%s/%s/%s", output_dir, kExtractions[e].directory, Stem(path));
        ReportDirectory(out, directory);
    }

    /* Names without an index or past the last entry, and the failure
     * codes of each export on this archive. */
    fprintf(out, "-- failures\n");
    static const char *const names[] = {"x_000", "X_001.bmp", "dir\\y_002.WAV", "noindex.BMP", "z_99999.DAT", ""};
    for (size_t k = 0; k < sizeof names / sizeof *names; ++k) {
        ReportLookup(out, f, "file", host_path, 0, kFileInput, names[k]);
        ReportLookup(out, f, "memory", memory, size, kMemoryInput, names[k]);
    }
    snprintf(directory, sizeof directory, "%s/failures", output_dir);
    ReportExtraction(out, f, "file, index = count", host_path, (intptr_t)count, kFileInput | kMemoryOutput,
                     directory, "unexpected");
    ReportExtraction(out, f, "file, index -1", host_path, -1, kFileInput | kMemoryOutput, directory,
                     "unexpected");
    ReportExtraction(out, f, "memory, src = image + count", memory + count, size, kMemoryInput | kMemoryOutput,
                     directory, "unexpected");
    ReportExtraction(out, f, "memory, len 31", memory, 31, kMemoryInput | kMemoryOutput, directory,
                     "unexpected");
    ReportExtraction(out, f, "input mode 2", host_path, 0, 2 | kMemoryOutput, directory, "unexpected");
    /* An output mode not offered still extracts, hands the block over and
     * answers 1. */
    ReportExtraction(out, f, "output mode 2", host_path, 0, kFileInput | 0x200, directory, "unexpected");
    ReportDiskOutput(out, f, "file, into a missing directory", host_path, 0, kFileInput, "missing-directory/for/sure",
                     "unexpected");
    ReportListing(out, f, "input mode 2", host_path, 0, 2, NULL);
    ReportListing(out, f, "memory, len 31", memory, 31, kMemoryInput, NULL);
    /* offset.DAT holds an archive 512 bytes into the file. */
    ReportListing(out, f, "file at offset 512", host_path, 512, kFileInput, NULL);
    ReportLookup(out, f, "input mode 7", host_path, 0, 7, "x_000");
    fprintf(out, "GetArchiveInfo%s(file, NULL lphInf) -> %d\n", f->suffix,
            FamilyArchiveInfo(f, host_path, 0, kFileInput, NULL));
    fprintf(out, "GetFileInfo%s(file, NULL lpInfo) -> %d\n", f->suffix,
            FamilyFileInfo(f, host_path, 0, "x_000", kFileInput, NULL));
    free(records);
    if (image.mapping != NULL) munmap(image.mapping, image.mapped);
}

static void ReportGeneralFailures(FILE *out, const struct Family *f, const char *output_dir) {
    fprintf(out, "\n== no archive\n");
    char host_path[1024], directory[1024];
    snprintf(directory, sizeof directory, "%s/failures", output_dir);
    HostPath("no-such-file.DAT", host_path, sizeof host_path);
    ReportListing(out, f, "missing file", host_path, 0, kFileInput, NULL);
    ReportLookup(out, f, "missing file", host_path, 0, kFileInput, "x_000");
    ReportExtraction(out, f, "missing file", host_path, 0, kFileInput | kMemoryOutput, directory, "unexpected");
    HostPath(output_dir, host_path, sizeof host_path);
    ReportListing(out, f, "a directory", host_path, 0, kFileInput, NULL);
    ReportListing(out, f, "memory, NULL", NULL, 64, kMemoryInput, NULL);
    ReportExtraction(out, f, "memory, NULL", NULL, 64, kMemoryInput | kMemoryOutput, directory, "unexpected");
    fprintf(out, "IsSupported%s(NULL name, 0) -> %d\n", f->suffix, FamilyIsSupported(f, NULL, 0));
}

static void ReportFamily(FILE *out, const struct Family *f, const char *output_dir, char **archives,
                         int archive_count) {
    fprintf(out, "== information\n");
    ReportInfo(out, f);
    for (int k = 0; k < archive_count; ++k) ReportArchive(out, f, output_dir, archives[k]);
    ReportGeneralFailures(out, f, output_dir);
}

void WriteReport(FILE *out, const char *output_dir, char **archives, int archive_count) {
    ReportFamily(out, AnsiFamily(), output_dir, archives, archive_count);
    /* The UTF-16 family, once the plug-in has it, answers the same calls
     * into a directory of its own. */
    fprintf(out, "\n== the UTF-16 exports: %s\n", PluginHasWide() ? "present" : "absent");
    if (!PluginHasWide()) return;
    char wide_dir[1024];
    snprintf(wide_dir, sizeof wide_dir, "%s/W", output_dir);
    MakeDirectories(wide_dir);
    ReportFamily(out, WideFamily(), wide_dir, archives, archive_count);
}
