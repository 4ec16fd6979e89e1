/* KERNEL32's local memory, kept to Windows' semantics since the DLL hands
 * these blocks to its host: a movable block is reached through its handle
 * only while locked, and its handle is no pointer to its data. Our handles
 * point into an inaccessible range, so a handle the DLL mistakes for a
 * pointer faults at once. Also VirtualQuery and VirtualProtect, over the
 * loaded image. */
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>

#include "checks.h"
#include "pe_image.h"
#include "system.h"

struct Block {
    unsigned char *data; /* NULL for a zero-size movable block */
    size_t size;
    unsigned locks;
    int live, movable;
};

/* Handles are never reused, so a block freed twice is told from another. */
#define HANDLE_SPACE (1u << 20)
#define HANDLE_STRIDE 16u
static unsigned char *handle_range;
static struct Block *blocks;
static unsigned block_count, block_capacity;
static unsigned live_blocks;

static unsigned misuses;

void Misuse(const char *format, ...) {
    char what[512];
    va_list args;
    va_start(args, format);
    vsnprintf(what, sizeof what, format, args);
    va_end(args);
    Fail("the DLL misused a system function: %s", what);
    ++misuses;
}

unsigned MisuseCount(void) { return misuses; }

static HLOCAL HandleOf(unsigned index) {
    if (handle_range == NULL) {
        handle_range = mmap(NULL, HANDLE_SPACE * HANDLE_STRIDE, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (handle_range == MAP_FAILED) abort();
    }
    return handle_range + (size_t)index * HANDLE_STRIDE + 4;
}

/* The block a handle names: a movable block by its handle, a fixed one by
 * its pointer. NULL, and a misuse counted, for anything else. */
static struct Block *BlockOf(HLOCAL handle, const char *caller) {
    unsigned char *at = handle;
    if (handle_range != NULL && at >= handle_range && at < handle_range + (size_t)block_count * HANDLE_STRIDE &&
        (size_t)(at - handle_range) % HANDLE_STRIDE == 4) {
        struct Block *block = &blocks[(at - handle_range) / HANDLE_STRIDE];
        if (block->live && block->movable) return block;
    }
    for (unsigned k = 0; handle != NULL && k < block_count; ++k) {
        if (blocks[k].live && !blocks[k].movable && blocks[k].data == handle) return &blocks[k];
    }
    Misuse("%s: %p is no live block", caller, handle);
    SetLastErrorValue(ERROR_INVALID_HANDLE);
    return NULL;
}

HLOCAL WINAPI LocalAlloc(UINT flags, size_t bytes) {
    if (block_count == block_capacity) {
        if (block_capacity == HANDLE_SPACE) abort();
        block_capacity = block_capacity == 0 ? 256 : 2 * block_capacity;
        blocks = realloc(blocks, block_capacity * sizeof *blocks);
        if (blocks == NULL) abort();
    }
    struct Block block = {NULL, bytes, 0, 1, (flags & LMEM_MOVEABLE) != 0};
    if (bytes > 0 || !block.movable) {
        /* Not zero-initialised unless asked: filled instead, so that a
         * reliance on zeros it did not ask for shows. */
        block.data = malloc(bytes > 0 ? bytes : 1);
        if (block.data == NULL) {
            SetLastErrorValue(ERROR_NOT_ENOUGH_MEMORY);
            return NULL;
        }
        memset(block.data, (flags & LMEM_ZEROINIT) ? 0 : 0xCD, bytes);
    }
    unsigned index = block_count++;
    blocks[index] = block;
    ++live_blocks;
    return block.movable ? HandleOf(index) : block.data;
}

void *WINAPI LocalLock(HLOCAL handle) {
    struct Block *block = BlockOf(handle, "LocalLock");
    if (block == NULL) return NULL;
    if (!block->movable) return block->data;
    if (block->data == NULL) {
        SetLastErrorValue(ERROR_DISCARDED);
        return NULL;
    }
    ++block->locks;
    return block->data;
}

BOOL WINAPI LocalUnlock(HLOCAL handle) {
    struct Block *block = BlockOf(handle, "LocalUnlock");
    if (block == NULL) return FALSE;
    if (block->locks == 0) {
        SetLastErrorValue(ERROR_NOT_LOCKED);
        return FALSE;
    }
    if (--block->locks == 0) SetLastErrorValue(ERROR_SUCCESS);
    return block->locks != 0;
}

HLOCAL WINAPI LocalFree(HLOCAL handle) {
    if (handle == NULL) return NULL;
    struct Block *block = BlockOf(handle, "LocalFree");
    if (block == NULL) return handle;
    free(block->data);
    block->data = NULL;
    block->live = 0;
    block->locks = 0;
    --live_blocks;
    return NULL;
}

size_t WINAPI LocalSize(HLOCAL handle) {
    struct Block *block = BlockOf(handle, "LocalSize");
    return block == NULL ? 0 : block->size;
}

unsigned LiveBlockCount(void) { return live_blocks; }

unsigned LockedBlockCount(void) {
    unsigned locked = 0;
    for (unsigned k = 0; k < block_count; ++k) locked += blocks[k].live && blocks[k].locks > 0;
    return locked;
}

unsigned LockCountOf(HLOCAL handle) {
    struct Block *block = BlockOf(handle, "LockCountOf");
    return block == NULL ? 0 : block->locks;
}

/* The 32-bit MEMORY_BASIC_INFORMATION. */
struct MemoryInformation {
    void *base, *allocation_base;
    DWORD allocation_protect;
    size_t region_size;
    DWORD state, protect, type;
};
#define MEM_COMMIT 0x1000u
#define MEM_IMAGE 0x1000000u

static DWORD PageProtection(int protection) {
    if (protection & PROT_EXEC) return protection & PROT_WRITE ? 0x40 : 0x20;
    if (protection & PROT_WRITE) return 0x04;
    return protection & PROT_READ ? 0x02 : 0x01;
}

static int PosixProtection(DWORD page) {
    switch (page & 0xFFu) {
    case 0x01: return PROT_NONE;
    case 0x02: return PROT_READ;
    case 0x04: case 0x08: return PROT_READ | PROT_WRITE;
    case 0x10: case 0x20: return PROT_READ | PROT_EXEC;
    default: return PROT_READ | PROT_WRITE | PROT_EXEC;
    }
}

/* The runtime's start-up asks these only about its own image. */
static size_t WINAPI VirtualQuery(const void *address, struct MemoryInformation *info, size_t length) {
    struct PeSection *section = pe_loaded_image != NULL ? PeSectionAt(pe_loaded_image, address) : NULL;
    if (section == NULL || info == NULL || length < sizeof *info) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return 0;
    }
    info->base = pe_loaded_image->base + section->rva;
    info->allocation_base = pe_loaded_image->base;
    info->allocation_protect = 0x80; /* PAGE_EXECUTE_WRITECOPY */
    info->region_size = (section->size + 4095u) & ~4095u;
    info->state = MEM_COMMIT;
    info->protect = PageProtection(section->protection);
    info->type = MEM_IMAGE;
    return sizeof *info;
}

static BOOL WINAPI VirtualProtect(void *address, size_t size, DWORD protection, DWORD *old_protection) {
    struct PeSection *section = pe_loaded_image != NULL ? PeSectionAt(pe_loaded_image, address) : NULL;
    if (section == NULL || old_protection == NULL) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uintptr_t from = (uintptr_t)address & ~(uintptr_t)4095u;
    uintptr_t to = ((uintptr_t)address + size + 4095u) & ~(uintptr_t)4095u;
    if (mprotect((void *)from, to - from, PosixProtection(protection)) != 0) return FALSE;
    *old_protection = PageProtection(section->protection);
    section->protection = PosixProtection(protection);
    return TRUE;
}

const struct ImportSymbol kernel32_memory_symbols[] = {
    {"LocalAlloc", LocalAlloc},
    {"LocalFree", LocalFree},
    {"LocalLock", LocalLock},
    {"LocalSize", LocalSize},
    {"LocalUnlock", LocalUnlock},
    {"VirtualProtect", VirtualProtect},
    {"VirtualQuery", VirtualQuery},
    {NULL, NULL},
};
