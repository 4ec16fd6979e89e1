#include "patterns.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "family.h"
#include "plugin_api.h"

static uint64_t PositionOf(const struct Family *f, const uint8_t *record) {
    uint64_t value = 0;
    for (size_t k = f->record->width; k-- > 0;) value = value << 8 | record[f->record->position + k];
    return value;
}

static void NameOf(const struct Family *f, const uint8_t *record, char *name, size_t room) {
    size_t k = 0;
    for (uint32_t c; k + 1 < room && (c = UnitAt(f, record + f->record->filename, k)) != 0; ++k) {
        name[k] = c < 0x80 ? (char)c : '?';
    }
    name[k] = '\0';
}

static unsigned Problem(const char *archive, const char *pattern, const char *what, const char *name, int value) {
    fprintf(stderr, "%s, %s: %s%s%s (%d)\n", archive, pattern, name, name[0] != '\0' ? ": " : "", what, value);
    return 1;
}

static unsigned FetchToMemory(const struct Family *f, const char *host_path, uint64_t position,
                              const char *directory, const char *name, const char *archive, const char *pattern) {
    void *block = NULL;
    int result = FamilyGetFile(f, host_path, (intptr_t)position, (char *)&block, 0x100);
    if (result != 0 || block == NULL) {
        if (block != NULL) BlockFree(block);
        return Problem(archive, pattern, "GetFile answered", name, result);
    }
    const uint8_t *data = BlockLock(block);
    size_t size = BlockSize(block);
    if (data == NULL) {
        BlockFree(block);
        return Problem(archive, pattern, "LocalLock failed on a block of this size", name, (int)size);
    }
    uint8_t *copy = malloc(size > 0 ? size : 1);
    memcpy(copy, data, size);
    BlockUnlock(block);
    unsigned problems = BlockFree(block) ? 0 : Problem(archive, pattern, "LocalFree failed", name, 0);
    char path[1400];
    snprintf(path, sizeof path, "%s/%s", directory, name);
    FILE *out = fopen(path, "wb");
    if (out == NULL || (size > 0 && fwrite(copy, 1, size, out) != size)) {
        problems += Problem(archive, pattern, "the host cannot write its copy", name, 0);
    }
    if (out != NULL) fclose(out);
    free(copy);
    return problems;
}

static unsigned FetchToDisk(const struct Family *f, const char *host_path, uint64_t position, const char *directory,
                            const char *name, const char *archive, const char *pattern) {
    char host_directory[1024], path[1400];
    HostPath(directory, host_directory, sizeof host_directory);
    int result = FamilyGetFile(f, host_path, (intptr_t)position, host_directory, 0);
    if (result != 0) return Problem(archive, pattern, "GetFile to disk answered", name, result);
    struct stat written;
    snprintf(path, sizeof path, "%s/%s", directory, name);
    if (stat(path, &written) != 0 || !S_ISREG(written.st_mode)) {
        return Problem(archive, pattern, "no file of that name in the folder", name, 0);
    }
    return 0;
}

static unsigned RunPattern(const struct Family *f, int to_memory, const char *output_dir, const char *archive) {
    const char *pattern = f->unit == 1 ? (to_memory ? "ansi-memory" : "ansi-disk")
                                       : (to_memory ? "wide-memory" : "wide-disk");
    const char *file_name = strrchr(archive, '/') != NULL ? strrchr(archive, '/') + 1 : archive;
    char directory[1024], host_path[1024];
    snprintf(directory, sizeof directory, "%s/patterns/%s/%.*s", output_dir, pattern,
             (int)(strrchr(file_name, '.') != NULL ? strrchr(file_name, '.') - file_name : (long)strlen(file_name)),
             file_name);
    char partial[1024];
    snprintf(partial, sizeof partial, "%s", directory);
    for (char *at = partial + 1; *at != '\0'; ++at) {
        if (*at != '/') continue;
        *at = '\0';
        mkdir(partial, 0777);
        *at = '/';
    }
    mkdir(directory, 0777);
    HostPath(archive, host_path, sizeof host_path);

    static uint8_t head[2048];
    memset(head, 0, sizeof head);
    FILE *file = fopen(archive, "rb");
    if (file != NULL) {
        size_t got = fread(head, 1, sizeof head, file);
        (void)got;
        fclose(file);
    }
    if (FamilyIsSupported(f, host_path, (uintptr_t)head) != 1) return Problem(archive, pattern, "IsSupported said no", "", 0);
    void *list = NULL;
    int result = FamilyArchiveInfo(f, host_path, 0, 0, &list);
    if (result != 0 || list == NULL) return Problem(archive, pattern, "GetArchiveInfo answered", "", result);
    size_t record_size = f->record->size, capacity = BlockSize(list) / record_size, count = 0;
    const uint8_t *records = BlockLock(list);
    uint8_t *copies = NULL;
    unsigned problems = 0;
    if (records == NULL) {
        problems += Problem(archive, pattern, "the list cannot be locked", "", 0);
    } else {
        while (count < capacity && records[count * record_size] != 0) ++count;
        if (count == capacity) problems += Problem(archive, pattern, "the list has no closing record", "", 0);
        copies = malloc(count * record_size + 1);
        memcpy(copies, records, count * record_size);
        BlockUnlock(list);
    }
    BlockFree(list);
    for (size_t k = 0; k < count; ++k) {
        char name[201];
        NameOf(f, copies + k * record_size, name, sizeof name);
        uint64_t position = PositionOf(f, copies + k * record_size);
        problems += to_memory ? FetchToMemory(f, host_path, position, directory, name, archive, pattern)
                              : FetchToDisk(f, host_path, position, directory, name, archive, pattern);
    }
    free(copies);
    return problems;
}

unsigned RunHostPatterns(const char *output_dir, char **archives, int archive_count) {
    unsigned problems = 0;
    for (int k = 0; k < archive_count; ++k) {
        for (int wide = 0; wide <= PluginHasWide(); ++wide) {
            const struct Family *f = wide ? WideFamily() : AnsiFamily();
            problems += RunPattern(f, 1, output_dir, archives[k]);
            problems += RunPattern(f, 0, output_dir, archives[k]);
        }
    }
    return problems;
}

char **PatternArchives(char **args, int *count, int *pattern_count) {
    for (int k = 0; k < *count; ++k) {
        if (strcmp(args[k], "--patterns") != 0) continue;
        *pattern_count = *count - k - 1;
        *count = k;
        return args + k + 1;
    }
    *pattern_count = 0;
    return args + *count;
}
