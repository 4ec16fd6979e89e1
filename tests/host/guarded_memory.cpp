#include "tests/host/guarded_memory.h"

#include <cstdlib>
#include <cstring>

#ifndef _WIN32
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace kova::testing {

#ifndef _WIN32

bool HasGuardPages() { return true; }

GuardedBytes::GuardedBytes(const Bytes& bytes, uint64_t size, uint64_t lo, uint64_t hi, Flush flush) {
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_t pages = static_cast<size_t>((hi - lo + page - 1) / page) + 1;
    map_size_ = (pages + 2) * page;
    void* map = mmap(nullptr, map_size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (map == MAP_FAILED) return;
    map_ = map;
    uintptr_t first = reinterpret_cast<uintptr_t>(map) + page;
    uintptr_t end = first + pages * page;
    base_ = flush == Flush::kEnd ? end - hi : first - lo;
    // Only the given bytes are written, and only where they are readable.
    for (uint64_t k = 0; k < bytes.size() && k < size; ++k) {
        uintptr_t at = base_ + k;
        if (at >= first && at < end) *reinterpret_cast<uint8_t*>(at) = bytes[k];
    }
    mprotect(map, page, PROT_NONE);
    mprotect(reinterpret_cast<void*>(end), page, PROT_NONE);
}

GuardedBytes::~GuardedBytes() {
    if (map_ != nullptr) munmap(map_, map_size_);
}

#else

bool HasGuardPages() { return false; }

GuardedBytes::GuardedBytes(const Bytes& bytes, uint64_t size, uint64_t, uint64_t, Flush) {
    map_ = std::calloc(static_cast<size_t>(size) + 1, 1);
    if (map_ == nullptr) return;
    if (!bytes.empty()) std::memcpy(map_, bytes.data(), bytes.size() < size ? bytes.size() : static_cast<size_t>(size));
    base_ = reinterpret_cast<uintptr_t>(map_);
}

GuardedBytes::~GuardedBytes() { std::free(map_); }

#endif

}  // namespace kova::testing
