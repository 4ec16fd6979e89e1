// Resource accounting for test builds of the native plug-in.
//
// A plug-in lives inside somebody else's process: every handle it opens and
// every byte it allocates must be given back, or handed to the host, before
// an export returns, on success and on every failure path. Builds made with
// KOVA_RESOURCE_ACCOUNTING count what is held and can make the n-th request
// for a resource fail, so tests can walk every failure path and check that
// the counts balance. Other builds compile all of this to nothing.
#pragma once

#include <cstddef>
#include <cstdint>

// What is held at one moment, as tests read it from the plug-in.
struct KovaResources {
    int64_t open_files;      // handles from CreateFileA not yet closed
    int64_t heap_blocks;     // working-memory allocations not yet released
    int64_t movable_blocks;  // LocalAlloc blocks not yet freed
    int64_t locks;           // LocalLock calls not yet undone
    int64_t requests;        // fallible requests so far (allocations and locks)
    int64_t heap_bytes;      // working-memory bytes held now
    int64_t heap_peak_bytes; // the most held at once since KovaResetHeapPeak
};

namespace kova::accounting {

#ifdef KOVA_RESOURCE_ACCOUNTING
// False when this request is the one a test asked to fail.
bool RequestMayProceed();
void FileOpened();
void FileClosed();
void HeapAllocated(size_t bytes);
void HeapReleased(size_t bytes);
void BlockAllocated();
void BlockFreed();
void BlockLocked();
void BlockUnlocked();
#else
inline bool RequestMayProceed() { return true; }
inline void FileOpened() {}
inline void FileClosed() {}
inline void HeapAllocated(size_t) {}
inline void HeapReleased(size_t) {}
inline void BlockAllocated() {}
inline void BlockFreed() {}
inline void BlockLocked() {}
inline void BlockUnlocked() {}
#endif

}  // namespace kova::accounting
