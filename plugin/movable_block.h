// A local-memory block on its way to the host. It is freed on every path
// unless handed over, and unlocked before it is. Every block is movable but
// an empty one: a zero-size movable block cannot be locked, and hosts that
// read blocks with LocalLock and LocalSize take that for a failure, so an
// empty block is fixed, which locks to its own non-NULL address.
#pragma once

#include <cstddef>

#include "platform/win_api.h"

namespace kova {

struct MovableBlock {
    HLOCAL handle = nullptr;
    void* data = nullptr;  // while locked

    MovableBlock() = default;
    MovableBlock(const MovableBlock&) = delete;
    MovableBlock& operator=(const MovableBlock&) = delete;
    ~MovableBlock() {
        Unlock();
        if (handle != nullptr) LocalFree(handle);
    }

    // A block of `bytes`, zero-filled unless the caller writes every byte
    // itself; false when the system has none.
    bool Allocate(size_t bytes, bool zero_filled = true) {
        UINT flags = bytes == 0 ? LMEM_FIXED | LMEM_ZEROINIT
                                : (zero_filled ? LMEM_MOVEABLE | LMEM_ZEROINIT : LMEM_MOVEABLE);
        handle = LocalAlloc(flags, bytes);
        return handle != nullptr;
    }
    // False for a block that cannot be locked.
    bool Lock() {
        data = LocalLock(handle);
        return data != nullptr;
    }
    void Unlock() {
        if (data != nullptr) LocalUnlock(handle);
        data = nullptr;
    }
    // The host owns the block from here on.
    HLOCAL HandOver() {
        Unlock();
        HLOCAL given = handle;
        handle = nullptr;
        return given;
    }
};

}  // namespace kova
