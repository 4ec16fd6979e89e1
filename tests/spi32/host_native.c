/* The native counterpart of the 32-bit host: the same report, from kova.so
 * loaded with dlopen, for the comparison.
 *
 *   native_report PLUGIN REPORT OUTPUT_DIR ARCHIVE... [--patterns ARCHIVE...] */
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "patterns.h"
#include "plugin_api.h"
#include "report.h"

static int (*get_plugin_info)(int, char *, int);
static int (*is_supported)(const char *, uintptr_t);
static int (*get_archive_info)(const char *, intptr_t, unsigned, void **);
static int (*get_file_info)(const char *, intptr_t, const char *, unsigned, void *);
static int (*get_file)(const char *, intptr_t, char *, unsigned, void *, intptr_t);
static int (*get_plugin_info_w)(int, uint16_t *, int);
static int (*is_supported_w)(const uint16_t *, uintptr_t);
static int (*get_archive_info_w)(const void *, intptr_t, unsigned, void **);
static int (*get_file_info_w)(const void *, intptr_t, const uint16_t *, unsigned, void *);
static int (*get_file_w)(const void *, intptr_t, void *, unsigned, void *, intptr_t);
static void *(*local_lock)(void *);
static int (*local_unlock)(void *);
static size_t (*local_size)(void *);
static void *(*local_free)(void *);

int PluginInfo(int infono, char *buf, int buflen) { return get_plugin_info(infono, buf, buflen); }
int PluginIsSupported(const char *filename, uintptr_t dw) { return is_supported(filename, dw); }
int PluginArchiveInfo(const char *buf, intptr_t len, unsigned flag, void **list) {
    return get_archive_info(buf, len, flag, list);
}
int PluginFileInfo(const char *buf, intptr_t len, const char *filename, unsigned flag, void *record) {
    return get_file_info(buf, len, filename, flag, record);
}
int PluginGetFile(const char *src, intptr_t len, char *dest, unsigned flag) {
    return get_file(src, len, dest, flag, NULL, 0x5A5A5A5A);
}

int PluginHasWide(void) {
    return get_plugin_info_w != NULL && is_supported_w != NULL && get_archive_info_w != NULL &&
           get_file_info_w != NULL && get_file_w != NULL;
}
int PluginInfoW(int infono, uint16_t *buf, int buflen) { return get_plugin_info_w(infono, buf, buflen); }
int PluginIsSupportedW(const uint16_t *filename, uintptr_t dw) { return is_supported_w(filename, dw); }
int PluginArchiveInfoW(const void *buf, intptr_t len, unsigned flag, void **list) {
    return get_archive_info_w(buf, len, flag, list);
}
int PluginFileInfoW(const void *buf, intptr_t len, const uint16_t *filename, unsigned flag, void *record) {
    return get_file_info_w(buf, len, filename, flag, record);
}
int PluginGetFileW(const void *src, intptr_t len, void *dest, unsigned flag) {
    return get_file_w(src, len, dest, flag, NULL, 0x5A5A5A5A);
}

void *BlockLock(void *block) { return local_lock(block); }
void BlockUnlock(void *block) { local_unlock(block); }
size_t BlockSize(void *block) { return local_size(block); }
int BlockFree(void *block) { return local_free(block) == NULL; }

void HostPath(const char *path, char *out, size_t size) { snprintf(out, size, "%s", path); }

/* A native handle is a descriptor; 0 is never one the plug-in may read. */
uintptr_t HostOpen(const char *path) {
    int fd = open(path, O_RDONLY);
    return fd <= 0 ? 0 : (uintptr_t)fd;
}
uint64_t HostPosition(uintptr_t handle) { return (uint64_t)lseek((int)handle, 0, SEEK_CUR); }
void HostClose(uintptr_t handle) { close((int)handle); }

static void *Symbol(void *library, const char *name) {
    void *address = dlsym(library, name);
    if (address == NULL) {
        fprintf(stderr, "native_report: no %s in the plug-in\n", name);
        _exit(2);
    }
    return address;
}

int main(int argc, char **argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: native_report PLUGIN REPORT OUTPUT_DIR ARCHIVE...\n");
        return 2;
    }
    void *library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == NULL) {
        fprintf(stderr, "native_report: %s\n", dlerror());
        return 2;
    }
    /* Object pointers to function pointers: POSIX guarantees the cast. */
    *(void **)&get_plugin_info = Symbol(library, "GetPluginInfo");
    *(void **)&is_supported = Symbol(library, "IsSupported");
    *(void **)&get_archive_info = Symbol(library, "GetArchiveInfo");
    *(void **)&get_file_info = Symbol(library, "GetFileInfo");
    *(void **)&get_file = Symbol(library, "GetFile");
    /* The UTF-16 family is optional; the report says whether it is there. */
    *(void **)&get_plugin_info_w = dlsym(library, "GetPluginInfoW");
    *(void **)&is_supported_w = dlsym(library, "IsSupportedW");
    *(void **)&get_archive_info_w = dlsym(library, "GetArchiveInfoW");
    *(void **)&get_file_info_w = dlsym(library, "GetFileInfoW");
    *(void **)&get_file_w = dlsym(library, "GetFileW");
    *(void **)&local_lock = Symbol(library, "LocalLock");
    *(void **)&local_unlock = Symbol(library, "LocalUnlock");
    *(void **)&local_size = Symbol(library, "LocalSize");
    *(void **)&local_free = Symbol(library, "LocalFree");

    FILE *report = fopen(argv[2], "w");
    if (report == NULL) {
        fprintf(stderr, "native_report: cannot write %s\n", argv[2]);
        return 2;
    }
    int archive_count = argc - 4, pattern_count = 0;
    char **pattern_archives = PatternArchives(argv + 4, &archive_count, &pattern_count);
    WriteReport(report, argv[3], argv + 4, archive_count);
    fclose(report);
    return RunHostPatterns(argv[3], pattern_archives, pattern_count) == 0 ? 0 : 1;
}
