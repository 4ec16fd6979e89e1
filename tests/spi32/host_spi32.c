/* The 32-bit host: loads kova.spi with our PE loader, starts it as Windows
 * would, checks the start-up and every call, and writes the report of
 * report.c for the archives given.
 *
 *   spi32_host [--elsewhere] PLUGIN REPORT OUTPUT_DIR ARCHIVE... [--patterns ARCHIVE...]
 *
 * The archives after --patterns are read once more in the two host patterns
 * (patterns.h), into OUTPUT_DIR/patterns/.
 * --elsewhere loads the DLL away from its preferred base, so that its base
 * relocations are applied. PASS and FAIL lines go to standard output; the
 * exit status is 1 when any check failed. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "checked_call.h"
#include "checks.h"
#include "patterns.h"
#include "pe_image.h"
#include "plugin_api.h"
#include "report.h"
#include "system.h"
#include "thread_block.h"
#include "tests/unit/local_memory_table.h"

/* The ANSI family, which must be there, then the UTF-16 one, which may. */
enum {
    kGetPluginInfo, kIsSupported, kGetArchiveInfo, kGetFileInfo, kGetFile,
    kGetPluginInfoW, kIsSupportedW, kGetArchiveInfoW, kGetFileInfoW, kGetFileW,
    kExportCount,
    kAnsiCount = kGetPluginInfoW,
};
static const char *const kExportNames[kExportCount] = {
    "GetPluginInfo", "IsSupported", "GetArchiveInfo", "GetFileInfo", "GetFile",
    "GetPluginInfoW", "IsSupportedW", "GetArchiveInfoW", "GetFileInfoW", "GetFileW",
};
static void *exports[kExportCount];

/* Calls that broke the resource rules: every call closes the files it
 * opened, leaves no block locked, and frees every block it does not hand
 * over. */
static unsigned export_calls, resource_faults;

static uint32_t CallExport(int which, unsigned count, const uint32_t *args, int handed_over_at) {
    unsigned files = OpenFileCount(), blocks = LiveBlockCount();
    uint32_t result = CheckedCall(kExportNames[which], exports[which], count, args);
    ++export_calls;
    /* A handle stored through an argument is a block handed over. */
    unsigned handed = 0;
    if (handed_over_at >= 0 && args[handed_over_at] != 0) {
        void *stored = *(void **)(uintptr_t)args[handed_over_at];
        if (stored != NULL && stored != (void *)(uintptr_t)0x5A5A5A50u) {
            handed = 1;
            if (LockCountOf(stored) != 0) {
                ++resource_faults;
                Fail("%s handed over a block still locked", kExportNames[which]);
            }
        }
    }
    if (OpenFileCount() != files) {
        ++resource_faults;
        Fail("%s left %d file handle(s) open", kExportNames[which], (int)(OpenFileCount() - files));
    }
    if (LockedBlockCount() != 0) {
        ++resource_faults;
        Fail("%s left a block locked", kExportNames[which]);
    }
    if (LiveBlockCount() != blocks + handed) {
        ++resource_faults;
        Fail("%s: %u blocks live after the call, %u expected", kExportNames[which], LiveBlockCount(),
             blocks + handed);
    }
    return result;
}

static uint32_t Arg(const void *pointer) { return (uint32_t)(uintptr_t)pointer; }

int PluginInfo(int infono, char *buf, int buflen) {
    uint32_t args[] = {(uint32_t)infono, Arg(buf), (uint32_t)buflen};
    return (int)CallExport(kGetPluginInfo, 3, args, -1);
}

int PluginIsSupported(const char *filename, uintptr_t dw) {
    uint32_t args[] = {Arg(filename), (uint32_t)dw};
    return (int)CallExport(kIsSupported, 2, args, -1);
}

int PluginArchiveInfo(const char *buf, intptr_t len, unsigned flag, void **list) {
    uint32_t args[] = {Arg(buf), (uint32_t)len, flag, Arg(list)};
    return (int)CallExport(kGetArchiveInfo, 4, args, 3);
}

int PluginFileInfo(const char *buf, intptr_t len, const char *filename, unsigned flag, void *record) {
    uint32_t args[] = {Arg(buf), (uint32_t)len, Arg(filename), flag, Arg(record)};
    return (int)CallExport(kGetFileInfo, 5, args, -1);
}

/* A progress callback the module must never call: a NULL one would crash
 * if it did. lData likewise is never read. */
static int GetFileOf(int which, const void *src, intptr_t len, void *dest, unsigned flag) {
    uint32_t args[] = {Arg(src), (uint32_t)len, Arg(dest), flag, 0, 0x5A5A5A5Au};
    int memory_output = ((flag >> 8) & 7) != 0;
    return (int)CallExport(which, 6, args, memory_output ? 2 : -1);
}

int PluginGetFile(const char *src, intptr_t len, char *dest, unsigned flag) {
    return GetFileOf(kGetFile, src, len, dest, flag);
}

int PluginHasWide(void) {
    for (int k = kAnsiCount; k < kExportCount; ++k) {
        if (exports[k] == NULL) return 0;
    }
    return 1;
}

int PluginInfoW(int infono, uint16_t *buf, int buflen) {
    uint32_t args[] = {(uint32_t)infono, Arg(buf), (uint32_t)buflen};
    return (int)CallExport(kGetPluginInfoW, 3, args, -1);
}

int PluginIsSupportedW(const uint16_t *filename, uintptr_t dw) {
    uint32_t args[] = {Arg(filename), (uint32_t)dw};
    return (int)CallExport(kIsSupportedW, 2, args, -1);
}

int PluginArchiveInfoW(const void *buf, intptr_t len, unsigned flag, void **list) {
    uint32_t args[] = {Arg(buf), (uint32_t)len, flag, Arg(list)};
    return (int)CallExport(kGetArchiveInfoW, 4, args, 3);
}

int PluginFileInfoW(const void *buf, intptr_t len, const uint16_t *filename, unsigned flag, void *record) {
    uint32_t args[] = {Arg(buf), (uint32_t)len, Arg(filename), flag, Arg(record)};
    return (int)CallExport(kGetFileInfoW, 5, args, -1);
}

int PluginGetFileW(const void *src, intptr_t len, void *dest, unsigned flag) {
    return GetFileOf(kGetFileW, src, len, dest, flag);
}

void *BlockLock(void *block) { return LocalLock(block); }
void BlockUnlock(void *block) { LocalUnlock(block); }
size_t BlockSize(void *block) { return LocalSize(block); }
int BlockFree(void *block) { return LocalFree(block) == NULL; }

void HostPath(const char *path, char *out, size_t size) {
    snprintf(out, size, "%s", path);
    for (char *at = out; *at != '\0'; ++at) {
        if (*at == '/') *at = '\\';
    }
}

uintptr_t HostOpen(const char *path) {
    char host_path[1024];
    HostPath(path, host_path, sizeof host_path);
    HANDLE file = CreateFileA(host_path, GENERIC_READ, 1, NULL, OPEN_EXISTING, 0, NULL);
    return file == INVALID_HANDLE_VALUE ? 0 : (uintptr_t)file;
}

uint64_t HostPosition(uintptr_t handle) { return FilePosition((HANDLE)handle); }
void HostClose(uintptr_t handle) { CloseHandle((HANDLE)handle); }

/* TLS callbacks, then the entry point, as Windows calls them on loading
 * (and the reverse on unloading). */
static int Notify(const struct PeImage *image, void *const *callbacks, uint32_t reason) {
    uint32_t args[] = {Arg(image->base), reason, 0};
    unsigned count = 0;
    for (; callbacks != NULL && callbacks[count] != NULL; ++count) {
        CheckedCall("a TLS callback", callbacks[count], 3, args);
    }
    uint32_t result = CheckedCall("DllMain", image->base + image->entry_rva, 3, args);
    if (reason == DLL_PROCESS_ATTACH) Pass("%u TLS callback(s) run", count);
    return result != 0;
}

static void TableFailure(const char *what) { Fail("local memory: %s", what); }

int main(int argc, char **argv) {
    int elsewhere = argc > 1 && strcmp(argv[1], "--elsewhere") == 0;
    if (argc - elsewhere < 4) {
        fprintf(stderr, "usage: spi32_host [--elsewhere] PLUGIN REPORT OUTPUT_DIR ARCHIVE...\n");
        return 2;
    }
    char **arg = argv + 1 + elsewhere;
    const char *plugin = arg[0], *report_path = arg[1], *output_dir = arg[2];

    if (!SetUpThreadBlock()) {
        Fail("cannot point %%fs at a thread block");
        return 1;
    }
    /* The blocks the DLL hands over follow Windows' rules here too. */
    if (RunLocalMemoryTable(TableFailure) == 0) {
        Pass("local memory keeps Windows' rules for fixed and movable blocks of 0 bytes, 1 byte and 3 MiB");
    }
    static struct PeImage image;
    char error[256];
    if (!PeLoad(plugin, elsewhere, ResolveImport, &image, error, sizeof error)) {
        Fail("loading %s: %s", plugin, error);
        return 1;
    }
    int at_preferred = (uint32_t)(uintptr_t)image.base == image.preferred_base;
    if (elsewhere && (at_preferred || image.relocations_applied == 0)) {
        Fail("loaded at %p, preferred %#x: the relocations were not exercised", (void *)image.base,
             image.preferred_base);
    } else {
        Pass("mapped at %p (preferred %#x), %u relocations applied", (void *)image.base, image.preferred_base,
             image.relocations_applied);
    }
    if (image.unknown_imports == 0) {
        Pass("every import of KERNEL32.dll and msvcrt.dll is provided");
    } else {
        Fail("%u import(s) have no implementation in tests/spi32 (named above)", image.unknown_imports);
    }

    void *const *callbacks = PeSetUpTls(&image);
    if (!Notify(&image, callbacks, DLL_PROCESS_ATTACH)) {
        Fail("DllMain(DLL_PROCESS_ATTACH) returned FALSE");
        return 1;
    }
    Pass("DllMain(DLL_PROCESS_ATTACH) returned TRUE");

    int missing = 0;
    for (int k = 0; k < kExportCount; ++k) {
        exports[k] = PeExport(&image, kExportNames[k]);
        if (exports[k] == NULL && k < kAnsiCount) missing = !Fail("no export %s", kExportNames[k]);
    }
    if (missing) return 1;
    Pass("the five exports found by name%s", PluginHasWide() ? ", and their five UTF-16 twins" : "");

    FILE *report = fopen(report_path, "w");
    if (report == NULL) {
        Fail("cannot write %s", report_path);
        return 1;
    }
    int archive_count = argc - 1 - elsewhere - 3, pattern_count = 0;
    char **pattern_archives = PatternArchives(arg + 3, &archive_count, &pattern_count);
    WriteReport(report, output_dir, arg + 3, archive_count);
    fclose(report);
    if (pattern_count > 0) {
        unsigned problems = RunHostPatterns(output_dir, pattern_archives, pattern_count);
        if (problems == 0) Pass("host patterns: every entry of %d archive(s) arrived, to memory and to disk, both families", pattern_count);
        else Fail("host patterns: %u problem(s), printed above", problems);
    }

    if (BrokenCallCount() == 0) {
        Pass("all %u export calls kept the stdcall convention (esp, ebx, esi, edi, ebp, direction flag)",
             CheckedCallCount());
    }
    if (resource_faults == 0) {
        Pass("all %u export calls closed their files and freed or handed over (unlocked) their blocks",
             export_calls);
    }
    if (LiveBlockCount() == 0) Pass("no block outlives the host's LocalFree");
    else Fail("%u block(s) still live at the end", LiveBlockCount());

    if (!Notify(&image, callbacks, DLL_PROCESS_DETACH)) Fail("DllMain(DLL_PROCESS_DETACH) returned FALSE");
    else Pass("DllMain(DLL_PROCESS_DETACH) returned TRUE");
    if (MisuseCount() == 0) Pass("no handle, block or lock misused through the system functions");
    return AnyFailed() ? 1 : 0;
}
