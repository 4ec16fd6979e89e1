// Local-memory blocks as the module and its hosts use them, with the rules of
// Windows for both kinds:
//  - a movable block (LMEM_MOVEABLE) is handed out by a handle that is no
//    pointer to its data, which is reachable only while locked; a zero-size
//    one exists but cannot be locked (LocalLock gives NULL);
//  - a fixed block (LMEM_FIXED) is handed out by its address: LocalLock
//    returns the handle itself, at size 0 too, and keeps no lock count, so
//    LocalUnlock of it answers FALSE.
// LocalSize gives the size asked for, LocalFree NULL on success.
#include "platform/win_api.h"

#include "platform/accounting.h"

#include <cstdlib>
#include <cstring>
#include <sys/mman.h>

namespace {

// The tags let the functions tell a handle of either kind from the other and
// refuse a pointer that is neither instead of freeing or dereferencing it.
constexpr uint64_t kMovableTag = 0x4b4f56414c4d454dull;  // "KOVALMEM"
constexpr uint64_t kFixedTag = 0x4b4f564146495845ull;    // "KOVAFIXE"

// A movable handle points at `movable_tag`, a fixed one at `data`. Each is
// told by the word just before it or at it, all inside the block's header:
// the word before a fixed handle is `fixed_tag`; the word before a movable
// handle is `locks`, which never reaches kFixedTag. So no look-up reads
// outside a block of ours, not even for a fixed block of size 0.
struct Block {
    size_t size;
    uint64_t locks;        // movable blocks only
    uint64_t movable_tag;  // kMovableTag in a live movable block, else 0
    uint64_t fixed_tag;    // kFixedTag in a live fixed block, else 0
    alignas(16) unsigned char data[];
};
static_assert(sizeof(Block) == 32 && offsetof(Block, data) == 32);

Block* HeaderAt(void* at) { return static_cast<Block*>(at); }

Block* FixedBlockOf(HLOCAL handle) {
    auto* data = static_cast<unsigned char*>(handle);
    uint64_t before;
    std::memcpy(&before, data - sizeof before, sizeof before);
    return before == kFixedTag ? HeaderAt(data - offsetof(Block, data)) : nullptr;
}

Block* MovableBlockOf(HLOCAL handle) {
    auto* at = static_cast<unsigned char*>(handle);
    uint64_t tag;
    std::memcpy(&tag, at, sizeof tag);
    return tag == kMovableTag ? HeaderAt(at - offsetof(Block, movable_tag)) : nullptr;
}

struct Found {
    Block* block = nullptr;
    bool fixed = false;
};

Found BlockOf(HLOCAL handle) {
    if (handle == nullptr) return {};
    if (Block* fixed = FixedBlockOf(handle)) return {fixed, true};
    return {MovableBlockOf(handle), false};
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
    Block* block = HeaderAt(raw);
    bool movable = (flags & LMEM_MOVEABLE) != 0;
    block->size = bytes;
    block->locks = 0;
    block->movable_tag = movable ? kMovableTag : 0;
    block->fixed_tag = movable ? 0 : kFixedTag;
    if (bytes >= kLargeBlock) PreferLargePages(raw, total);
    kova::accounting::BlockAllocated();
    return movable ? static_cast<HLOCAL>(&block->movable_tag) : static_cast<HLOCAL>(block->data);
}

LPVOID LocalLock(HLOCAL handle) {
    Found found = BlockOf(handle);
    if (found.block == nullptr) return nullptr;
    // A fixed block is its own address and is never locked, so this cannot fail.
    if (found.fixed) return handle;
    Block* block = found.block;
    if (block->size == 0 || !kova::accounting::RequestMayProceed()) return nullptr;
    ++block->locks;
    kova::accounting::BlockLocked();
    return block->data;
}

BOOL LocalUnlock(HLOCAL handle) {
    Found found = BlockOf(handle);
    if (found.block == nullptr || found.fixed || found.block->locks == 0) return FALSE;
    Block* block = found.block;
    --block->locks;
    kova::accounting::BlockUnlocked();
    return block->locks != 0 ? TRUE : FALSE;
}

HLOCAL LocalFree(HLOCAL handle) {
    if (handle == nullptr) return nullptr;
    Block* block = BlockOf(handle).block;
    if (block == nullptr) return handle;
    for (; block->locks > 0; --block->locks) kova::accounting::BlockUnlocked();
    block->movable_tag = 0;
    block->fixed_tag = 0;
    std::free(block);
    kova::accounting::BlockFreed();
    return nullptr;
}

SIZE_T LocalSize(HLOCAL handle) {
    Block* block = BlockOf(handle).block;
    return block == nullptr ? 0 : block->size;
}
