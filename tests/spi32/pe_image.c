#include "pe_image.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>

#include "thread_block.h"

struct PeImage *pe_loaded_image;

enum {
    kDirectoryExport = 0,
    kDirectoryImport = 1,
    kDirectoryRelocation = 5,
    kDirectoryTls = 9,
};
#define MACHINE_I386 0x14c
#define OPTIONAL_MAGIC_PE32 0x10b
#define FILE_DLL 0x2000
#define FILE_RELOCS_STRIPPED 0x0001
#define SCN_EXECUTE 0x20000000u
#define SCN_READ 0x40000000u
#define SCN_WRITE 0x80000000u
#define RELOC_ABSOLUTE 0
#define RELOC_HIGHLOW 3
#define PAGE 4096u

static int Refuse(char *error, size_t size, const char *format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(error, size, format, args);
    va_end(args);
    return 0;
}

static uint16_t U16(const uint8_t *at) { return (uint16_t)(at[0] | at[1] << 8); }
static uint32_t U32(const uint8_t *at) {
    return (uint32_t)at[0] | (uint32_t)at[1] << 8 | (uint32_t)at[2] << 16 | (uint32_t)at[3] << 24;
}

/* True when [rva, rva + length) lies inside the mapped image. */
static int Inside(const struct PeImage *image, uint32_t rva, uint32_t length) {
    return rva <= image->size && length <= image->size - rva;
}

static uint8_t *ReadWholeFile(const char *path, size_t *size) {
    FILE *file = fopen(path, "rb");
    if (file == NULL) return NULL;
    uint8_t *bytes = NULL;
    if (fseek(file, 0, SEEK_END) == 0) {
        long length = ftell(file);
        if (length > 0 && fseek(file, 0, SEEK_SET) == 0 && (bytes = malloc((size_t)length)) != NULL &&
            fread(bytes, 1, (size_t)length, file) != (size_t)length) {
            free(bytes);
            bytes = NULL;
        }
        *size = (size_t)length;
    }
    fclose(file);
    return bytes;
}

/* Reserves the image's range, at the preferred base when it is free (and not
 * to be avoided). */
static uint8_t *Reserve(uint32_t preferred, uint32_t size, int avoid_preferred) {
    if (avoid_preferred) {
        /* Left mapped for the process's life, so nothing else takes it. */
        mmap((void *)(uintptr_t)preferred, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    }
    void *at = mmap((void *)(uintptr_t)preferred, size, PROT_READ | PROT_WRITE,
                    MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return at == MAP_FAILED ? NULL : at;
}

static int Relocate(struct PeImage *image, uint32_t rva, uint32_t size, char *error, size_t error_size) {
    uint32_t delta = (uint32_t)(uintptr_t)image->base - image->preferred_base;
    if (!Inside(image, rva, size)) return Refuse(error, error_size, "relocation table outside the image");
    const uint8_t *at = image->base + rva, *end = at + size;
    while (end - at >= 8) {
        uint32_t page = U32(at), block = U32(at + 4);
        if (block < 8 || block > (uint32_t)(end - at)) return Refuse(error, error_size, "bad relocation block");
        for (uint32_t k = 8; k + 2 <= block; k += 2) {
            uint16_t entry = U16(at + k);
            unsigned type = entry >> 12;
            uint32_t target = page + (entry & 0xFFFu);
            if (type == RELOC_ABSOLUTE) continue;
            if (type != RELOC_HIGHLOW) return Refuse(error, error_size, "relocation type %u not handled", type);
            if (!Inside(image, target, 4)) return Refuse(error, error_size, "relocation outside the image");
            uint32_t value = U32(image->base + target) + delta;
            memcpy(image->base + target, &value, 4);
            ++image->relocations_applied;
        }
        at += block;
    }
    return 1;
}

/* A stub for an import we do not provide: pushes the import's name and calls
 * UnknownImportCalled, which says which it was and aborts. */
static void UnknownImportCalled(const char *name) {
    fprintf(stderr, "FAIL the DLL called %s, which the 32-bit test loader does not provide\n", name);
    abort();
}

static const void *MakeStub(const char *dll, const char *name) {
    static uint8_t *page;
    static size_t used;
    enum { kStubSize = 16 };
    if (page == NULL || used + kStubSize > PAGE) {
        page = mmap(NULL, PAGE, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (page == MAP_FAILED) abort();
        used = 0;
    }
    size_t length = strlen(dll) + strlen(name) + 2;
    char *label = malloc(length);
    if (label == NULL) abort();
    snprintf(label, length, "%s!%s", dll, name);
    uint8_t *stub = page + used;
    uint32_t label_address = (uint32_t)(uintptr_t)label;
    uint32_t handler = (uint32_t)(uintptr_t)UnknownImportCalled;
    stub[0] = 0x68; /* push imm32 */
    memcpy(stub + 1, &label_address, 4);
    stub[5] = 0xB8; /* mov eax, imm32 */
    memcpy(stub + 6, &handler, 4);
    stub[10] = 0xFF; /* call eax */
    stub[11] = 0xD0;
    memset(stub + 12, 0xCC, kStubSize - 12);
    used += kStubSize;
    return stub;
}

static const char *ImageString(const struct PeImage *image, uint32_t rva) {
    if (!Inside(image, rva, 1)) return NULL;
    size_t room = image->size - rva;
    return memchr(image->base + rva, 0, room) != NULL ? (const char *)image->base + rva : NULL;
}

static int BindImports(struct PeImage *image, uint32_t rva, uint32_t size, ImportResolver resolve,
                       char *error, size_t error_size) {
    if (size == 0) return 1;
    for (;; rva += 20) {
        if (!Inside(image, rva, 20)) return Refuse(error, error_size, "import table outside the image");
        const uint8_t *descriptor = image->base + rva;
        uint32_t lookup = U32(descriptor), name_rva = U32(descriptor + 12), bound = U32(descriptor + 16);
        if (name_rva == 0 && bound == 0) return 1;
        const char *dll = ImageString(image, name_rva);
        if (dll == NULL) return Refuse(error, error_size, "import DLL name outside the image");
        if (lookup == 0) lookup = bound;
        for (uint32_t k = 0;; k += 4) {
            if (!Inside(image, lookup + k, 4) || !Inside(image, bound + k, 4)) {
                return Refuse(error, error_size, "import thunks of %s outside the image", dll);
            }
            uint32_t thunk = U32(image->base + lookup + k);
            if (thunk == 0) break;
            char ordinal_name[24];
            const char *name;
            const void *address = NULL;
            if (thunk & 0x80000000u) {
                snprintf(ordinal_name, sizeof ordinal_name, "#%u", thunk & 0xFFFFu);
                name = ordinal_name;
            } else {
                name = ImageString(image, thunk + 2);
                if (name == NULL) return Refuse(error, error_size, "import name outside the image");
                address = resolve(dll, name);
            }
            if (address == NULL) {
                fprintf(stderr, "note: %s!%s is not provided; calling it aborts\n", dll, name);
                address = MakeStub(dll, name);
                ++image->unknown_imports;
            }
            uint32_t value = (uint32_t)(uintptr_t)address;
            memcpy(image->base + bound + k, &value, 4);
        }
    }
}

static int ProtectionOf(uint32_t characteristics) {
    int protection = PROT_NONE;
    if (characteristics & SCN_READ) protection |= PROT_READ;
    if (characteristics & SCN_WRITE) protection |= PROT_WRITE;
    if (characteristics & SCN_EXECUTE) protection |= PROT_EXEC | PROT_READ;
    return protection;
}

int PeLoad(const char *path, int avoid_preferred_base, ImportResolver resolve, struct PeImage *image,
           char *error, size_t error_size) {
    memset(image, 0, sizeof *image);
    size_t file_size = 0;
    uint8_t *file = ReadWholeFile(path, &file_size);
    if (file == NULL) return Refuse(error, error_size, "cannot read %s", path);
    int ok = 0;

    if (file_size < 64 || file[0] != 'M' || file[1] != 'Z') {
        Refuse(error, error_size, "no MZ header");
        goto done;
    }
    uint32_t pe = U32(file + 0x3c);
    if (pe > file_size || file_size - pe < 24 + 96 || memcmp(file + pe, "PE\0\0", 4) != 0) {
        Refuse(error, error_size, "no PE signature");
        goto done;
    }
    const uint8_t *coff = file + pe + 4, *optional = coff + 20;
    unsigned section_count = U16(coff + 2), optional_size = U16(coff + 16), characteristics = U16(coff + 18);
    if (U16(coff) != MACHINE_I386 || U16(optional) != OPTIONAL_MAGIC_PE32 || !(characteristics & FILE_DLL)) {
        Refuse(error, error_size, "not a 32-bit x86 DLL");
        goto done;
    }
    uint32_t directory_count = U32(optional + 92);
    if (optional_size < 96 || directory_count > 16 || optional_size < 96 + 8 * directory_count ||
        section_count > PE_MAX_SECTIONS ||
        (size_t)(optional - file) + optional_size + 40u * section_count > file_size) {
        Refuse(error, error_size, "headers do not fit the file");
        goto done;
    }
    image->entry_rva = U32(optional + 16);
    image->preferred_base = U32(optional + 28);
    image->size = U32(optional + 56);
    uint32_t header_size = U32(optional + 60);
    uint32_t directories[16][2] = {{0}};
    for (unsigned d = 0; d < directory_count; ++d) {
        directories[d][0] = U32(optional + 96 + 8 * d);
        directories[d][1] = U32(optional + 100 + 8 * d);
    }
    if (image->size == 0 || header_size > image->size || header_size > file_size) {
        Refuse(error, error_size, "bad image size");
        goto done;
    }

    image->base = Reserve(image->preferred_base, image->size, avoid_preferred_base);
    if (image->base == NULL) {
        Refuse(error, error_size, "cannot reserve %u bytes", image->size);
        goto done;
    }
    memcpy(image->base, file, header_size);
    const uint8_t *table = optional + optional_size;
    for (unsigned s = 0; s < section_count; ++s) {
        const uint8_t *header = table + 40 * s;
        uint32_t virtual_size = U32(header + 8), rva = U32(header + 12);
        uint32_t raw_size = U32(header + 16), raw_offset = U32(header + 20);
        uint32_t flags = U32(header + 36);
        uint32_t copied = raw_size < virtual_size || virtual_size == 0 ? raw_size : virtual_size;
        uint32_t extent = virtual_size > raw_size ? virtual_size : raw_size;
        if (!Inside(image, rva, extent) || raw_offset > file_size || copied > file_size - raw_offset) {
            Refuse(error, error_size, "section %u does not fit", s);
            goto done;
        }
        memcpy(image->base + rva, file + raw_offset, copied);
        image->sections[s].rva = rva;
        image->sections[s].size = extent;
        image->sections[s].protection = ProtectionOf(flags);
    }
    image->section_count = section_count;

    if ((uint32_t)(uintptr_t)image->base != image->preferred_base) {
        if (characteristics & FILE_RELOCS_STRIPPED) {
            Refuse(error, error_size, "not at its preferred base, and its relocations are stripped");
            goto done;
        }
        if (!Relocate(image, directories[kDirectoryRelocation][0], directories[kDirectoryRelocation][1],
                      error, error_size)) {
            goto done;
        }
    }
    if (!BindImports(image, directories[kDirectoryImport][0], directories[kDirectoryImport][1], resolve,
                     error, error_size)) {
        goto done;
    }
    image->export_rva = directories[kDirectoryExport][0];
    image->export_size = directories[kDirectoryExport][1];
    image->tls_rva = directories[kDirectoryTls][1] != 0 ? directories[kDirectoryTls][0] : 0;

    /* Headers read-only, each section as its flags say, once nothing more
     * is written by the loader: a write into code or constants faults here
     * as it would on Windows. Sections start on page boundaries in every
     * image the linker makes with its default alignment. */
    mprotect(image->base, (header_size + PAGE - 1) & ~(PAGE - 1), PROT_READ);
    for (unsigned s = 0; s < section_count; ++s) {
        const struct PeSection *section = &image->sections[s];
        if (section->rva % PAGE != 0) continue;
        mprotect(image->base + section->rva, (section->size + PAGE - 1) & ~(PAGE - 1), section->protection);
    }
    pe_loaded_image = image;
    ok = 1;
done:
    free(file);
    return ok;
}

void *PeExport(const struct PeImage *image, const char *name) {
    uint32_t rva = image->export_rva;
    if (rva == 0 || !Inside(image, rva, 40)) return NULL;
    const uint8_t *directory = image->base + rva;
    uint32_t function_count = U32(directory + 20), name_count = U32(directory + 24);
    uint32_t functions = U32(directory + 28), names = U32(directory + 32), ordinals = U32(directory + 36);
    for (uint32_t k = 0; k < name_count; ++k) {
        if (!Inside(image, names + 4 * k, 4) || !Inside(image, ordinals + 2 * k, 2)) return NULL;
        const char *export_name = ImageString(image, U32(image->base + names + 4 * k));
        if (export_name == NULL || strcmp(export_name, name) != 0) continue;
        uint16_t index = U16(image->base + ordinals + 2 * k);
        if (index >= function_count || !Inside(image, functions + 4 * index, 4)) return NULL;
        uint32_t target = U32(image->base + functions + 4 * index);
        /* An address inside the export table is a forwarder string. */
        if (target >= rva && target < rva + image->export_size) return NULL;
        return Inside(image, target, 1) ? image->base + target : NULL;
    }
    return NULL;
}

void *const *PeSetUpTls(const struct PeImage *image) {
    if (image->tls_rva == 0 || !Inside(image, image->tls_rva, 24)) return NULL;
    /* The directory holds addresses, already relocated with the image. */
    const uint8_t *directory = image->base + image->tls_rva;
    uint32_t start = U32(directory), end = U32(directory + 4), index_at = U32(directory + 8);
    uint32_t callbacks = U32(directory + 12), zero_fill = U32(directory + 16);
    uint32_t template_size = end > start ? end - start : 0;
    uint8_t *block = calloc(1, template_size + zero_fill + 16);
    if (block == NULL) abort();
    if (template_size > 0) memcpy(block, (const void *)(uintptr_t)start, template_size);
    SetThreadLocalBlock(block);
    if (index_at != 0) *(uint32_t *)(uintptr_t)index_at = 0;
    return callbacks != 0 ? (void *const *)(uintptr_t)callbacks : NULL;
}

struct PeSection *PeSectionAt(struct PeImage *image, const void *address) {
    uintptr_t at = (uintptr_t)address;
    for (unsigned s = 0; s < image->section_count; ++s) {
        struct PeSection *section = &image->sections[s];
        uintptr_t start = (uintptr_t)image->base + section->rva;
        if (at >= start && at - start < section->size) return section;
    }
    return NULL;
}
