// Bytes placed in memory with unreadable pages around them, so that a read
// outside the span a test allows crashes the test instead of going unseen.
#pragma once

#include <cstdint>

#include "tests/support/archive_builder.h"

namespace kova::testing {

// Which end of the readable span lies right against an unreadable page. The
// other end has up to a page of readable slack; run both to pin both ends.
enum class Flush { kEnd, kStart };

class GuardedBytes {
public:
    // `size` bytes, `bytes` first and zeros after them (pages never written
    // stay untouched, so a huge size costs only address space). Offsets
    // `lo` to `hi` are readable; the page at `hi` (kEnd) or just before `lo`
    // (kStart) is not. Without guard pages (Windows) it is a plain copy.
    GuardedBytes(const Bytes& bytes, uint64_t size, uint64_t lo, uint64_t hi, Flush flush);
    // The whole of `bytes` readable, nothing around it.
    GuardedBytes(const Bytes& bytes, Flush flush) : GuardedBytes(bytes, bytes.size(), 0, bytes.size(), flush) {}
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;
    ~GuardedBytes();

    bool Mapped() const { return map_ != nullptr; }
    const char* At(uint64_t offset) const { return reinterpret_cast<const char*>(base_ + offset); }

private:
    void* map_ = nullptr;
    size_t map_size_ = 0;
    uintptr_t base_ = 0;
};

// True where guard pages exist.
bool HasGuardPages();

}  // namespace kova::testing
