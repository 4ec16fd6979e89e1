// Local-memory blocks as the module and its hosts use them: always movable,
// handed out by handle, reachable only while locked. A zero-size block exists
// but cannot be locked, as on Windows.
#include "platform/win_api.h"

#include "platform/accounting.h"

#include <cstdlib>
#include <cstring>
#include <sys/mman.h>

namespace {

// The tag lets LocalFree and LocalLock refuse a pointer that is not one of
// ours instead of freeing or dereferencing it.
constexpr uint64_t kBlockTag = 0x4b4f56414c4d454dull;  // "KOVALMEM"

struct Block {
    uint64_t tag;
    size_t size;
    uint32_t locks;
    uint32_t flags;
    alignas(16) unsigned char data[];
};

Block* BlockOf(HLOCAL handle) {
    if (handle == nullptr) return nullptr;
    Block* block = static_cast<Block*>(handle);
    return block->tag == kBlockTag ? block : nullptr;
}

// Blocks this large come fresh from the system, zero-filled and untouched, so
// a block of gigabytes whose content is mostly never written costs nothing
// for those parts. Asking for large pages there makes the parts that are
// written cost one fault per 2 MiB instead of one per 4 KiB.
constexpr size_t kLargeBlock = size_t{2} << 20;
constexpr uintptr_t kPageMask = 4095;

void PreferLargePages(void* raw, size_t total) {
    uintptr_t from = (reinterpret_cast<uintptr_t>(raw) + kPageMask) & ~kPageMask;
    uintptr_t to = (reinterpret_cast<uintptr_t>(raw) + total) & ~kPageMask;
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

}  // namespace

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
    if (bytes > SIZE_MAX - sizeof(Block) || !kova::accounting::RequestMayProceed()) return nullptr;
    size_t total = sizeof(Block) + bytes;
    void* raw = (flags & LMEM_ZEROINIT) ? std::calloc(1, total) : std::malloc(total);
    if (raw == nullptr) return nullptr;
    Block* block = static_cast<Block*>(raw);
    block->tag = kBlockTag;
    block->size = bytes;
    block->locks = 0;
    block->flags = flags;
    if (bytes >= kLargeBlock) PreferLargePages(raw, total);
    kova::accounting::BlockAllocated();
    return block;
}

LPVOID LocalLock(HLOCAL handle) {
    Block* block = BlockOf(handle);
    if (block == nullptr || block->size == 0 || !kova::accounting::RequestMayProceed()) return nullptr;
    ++block->locks;
    kova::accounting::BlockLocked();
    return block->data;
}

BOOL LocalUnlock(HLOCAL handle) {
    Block* block = BlockOf(handle);
    if (block == nullptr || block->locks == 0) return FALSE;
    --block->locks;
    kova::accounting::BlockUnlocked();
    return block->locks != 0 ? TRUE : FALSE;
}

HLOCAL LocalFree(HLOCAL handle) {
    if (handle == nullptr) return nullptr;
    Block* block = BlockOf(handle);
    if (block == nullptr) return handle;
    for (; block->locks > 0; --block->locks) kova::accounting::BlockUnlocked();
    block->tag = 0;
    std::free(block);
    kova::accounting::BlockFreed();
    return nullptr;
}

SIZE_T LocalSize(HLOCAL handle) {
    Block* block = BlockOf(handle);
    return block == nullptr ? 0 : block->size;
}
