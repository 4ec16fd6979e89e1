// Counters behind platform/accounting.h, and the two functions the
// accounting build of the plug-in exports for its tests.
#include "platform/accounting.h"

#include <atomic>

namespace kova::accounting {
namespace {

std::atomic<int64_t> g_open_files{0};
std::atomic<int64_t> g_heap_blocks{0};
std::atomic<int64_t> g_heap_bytes{0};
std::atomic<int64_t> g_heap_peak_bytes{0};
std::atomic<int64_t> g_movable_blocks{0};
std::atomic<int64_t> g_locks{0};
std::atomic<int64_t> g_requests{0};
// The request number that is to fail; -1 for none.
std::atomic<int64_t> g_failing_request{-1};

}  // namespace

bool RequestMayProceed() {
    int64_t number = g_requests.fetch_add(1);
    return number != g_failing_request.load();
}

void FileOpened() { ++g_open_files; }
void FileClosed() { --g_open_files; }
void HeapAllocated(size_t bytes) {
    ++g_heap_blocks;
    int64_t now = g_heap_bytes += static_cast<int64_t>(bytes);
    int64_t peak = g_heap_peak_bytes.load();
    while (now > peak && !g_heap_peak_bytes.compare_exchange_weak(peak, now)) {
    }
}
void HeapReleased(size_t bytes) {
    --g_heap_blocks;
    g_heap_bytes -= static_cast<int64_t>(bytes);
}
void BlockAllocated() { ++g_movable_blocks; }
void BlockFreed() { --g_movable_blocks; }
void BlockLocked() { ++g_locks; }
void BlockUnlocked() { --g_locks; }

}  // namespace kova::accounting

extern "C" __attribute__((visibility("default"))) void KovaResourceCounts(KovaResources* out) {
    using namespace kova::accounting;
    out->open_files = g_open_files.load();
    out->heap_blocks = g_heap_blocks.load();
    out->movable_blocks = g_movable_blocks.load();
    out->locks = g_locks.load();
    out->requests = g_requests.load();
    out->heap_bytes = g_heap_bytes.load();
    out->heap_peak_bytes = g_heap_peak_bytes.load();
}

// Starts a new peak: from now on heap_peak_bytes counts from what is held.
extern "C" __attribute__((visibility("default"))) void KovaResetHeapPeak() {
    using namespace kova::accounting;
    g_heap_peak_bytes.store(g_heap_bytes.load());
}

// Makes the request `skip` requests from now fail (0: the very next one);
// a negative `skip` makes none fail.
extern "C" __attribute__((visibility("default"))) void KovaFailRequest(int64_t skip) {
    using namespace kova::accounting;
    g_failing_request.store(skip < 0 ? -1 : g_requests.load() + skip);
}
