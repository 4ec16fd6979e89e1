// The interface's constants, in one place for the plug-in and its hosts:
// result codes, the flag's mode bits, the probe's head size and the record
// that describes one entry.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win_api.h"

namespace kova {

// Results of the three archive exports, as hosts expect them.
enum ResultCode : int {
    kSuccess = 0,
    kUnsupportedMode = 1,    // input or output mode not offered; disk output failed
    kNotArchive = 2,         // not one of our archives, or a name without an index
    kNoSuchEntry = 3,        // index not below entry_count
    kNoHostBlock = 4,        // a block for the host cannot be allocated
    kNoWorkingMemory = 5,    // a block cannot be locked, or the heap is exhausted
    kCannotOpenFile = 6,
};

// The flag argument: where the archive comes from (bits 0-2) and where
// content goes (bits 8-10).
enum InputMode : unsigned { kInputFile = 0, kInputMemory = 1 };
enum OutputMode : unsigned { kOutputDiskFile = 0, kOutputMemory = 1 };

constexpr unsigned InputModeOf(unsigned flag) { return flag & 7u; }
constexpr unsigned OutputModeOf(unsigned flag) { return (flag >> 8) & 7u; }
constexpr unsigned FlagOf(InputMode input, OutputMode output) { return input | (unsigned{output} << 8); }

// How much of a file a host reads for IsSupported, or the plug-in reads from
// the handle it is given.
constexpr size_t kProbeHeadSize = 2048;
// An IsSupported dw below this is a file handle; anything else points to the
// file's head.
constexpr DWORD_PTR kFirstPointerValue = 0x10000;

// The record that describes one entry to the host. Packed, little-endian;
// the integer fields other than crc are pointer-sized, so the 32-bit build has
// the classic 428-byte layout and 64-bit builds the wider 448-byte one.
#pragma pack(push, 1)
struct EntryInfo {
    unsigned char method[8];  // "KOVA" and a zero byte
    ULONG_PTR position;       // the entry's index when handed to a host
    ULONG_PTR packed_size;
    ULONG_PTR unpacked_size;
    LONG_PTR timestamp;
    char path[200];
    char filename[200];
    uint32_t crc;
#if UINTPTR_MAX > 0xFFFFFFFFu
    unsigned char padding[4];
#endif
};
#pragma pack(pop)

constexpr size_t kEntryNameCapacity = sizeof(EntryInfo::filename);

#if UINTPTR_MAX > 0xFFFFFFFFu
static_assert(sizeof(EntryInfo) == 448);
static_assert(offsetof(EntryInfo, method) == 0);
static_assert(offsetof(EntryInfo, position) == 8);
static_assert(offsetof(EntryInfo, packed_size) == 16);
static_assert(offsetof(EntryInfo, unpacked_size) == 24);
static_assert(offsetof(EntryInfo, timestamp) == 32);
static_assert(offsetof(EntryInfo, path) == 40);
static_assert(offsetof(EntryInfo, filename) == 240);
static_assert(offsetof(EntryInfo, crc) == 440);
static_assert(offsetof(EntryInfo, padding) == 444);
#else
static_assert(sizeof(EntryInfo) == 428);
static_assert(offsetof(EntryInfo, method) == 0);
static_assert(offsetof(EntryInfo, position) == 8);
static_assert(offsetof(EntryInfo, packed_size) == 12);
static_assert(offsetof(EntryInfo, unpacked_size) == 16);
static_assert(offsetof(EntryInfo, timestamp) == 20);
static_assert(offsetof(EntryInfo, path) == 24);
static_assert(offsetof(EntryInfo, filename) == 224);
static_assert(offsetof(EntryInfo, crc) == 424);
#endif

// The record of the Unicode exports: EntryInfo with UTF-16 path and
// filename (method stays 8-bit).
#pragma pack(push, 1)
struct EntryInfoW {
    unsigned char method[8];
    ULONG_PTR position;
    ULONG_PTR packed_size;
    ULONG_PTR unpacked_size;
    LONG_PTR timestamp;
    WCHAR path[200];
    WCHAR filename[200];
    uint32_t crc;
#if UINTPTR_MAX > 0xFFFFFFFFu
    unsigned char padding[4];
#endif
};
#pragma pack(pop)

static_assert(sizeof(WCHAR) == 2);
#if UINTPTR_MAX > 0xFFFFFFFFu
static_assert(sizeof(EntryInfoW) == 848);
static_assert(offsetof(EntryInfoW, method) == 0);
static_assert(offsetof(EntryInfoW, position) == 8);
static_assert(offsetof(EntryInfoW, packed_size) == 16);
static_assert(offsetof(EntryInfoW, unpacked_size) == 24);
static_assert(offsetof(EntryInfoW, timestamp) == 32);
static_assert(offsetof(EntryInfoW, path) == 40);
static_assert(offsetof(EntryInfoW, filename) == 440);
static_assert(offsetof(EntryInfoW, crc) == 840);
static_assert(offsetof(EntryInfoW, padding) == 844);
#else
static_assert(sizeof(EntryInfoW) == 828);
static_assert(offsetof(EntryInfoW, method) == 0);
static_assert(offsetof(EntryInfoW, position) == 8);
static_assert(offsetof(EntryInfoW, packed_size) == 12);
static_assert(offsetof(EntryInfoW, unpacked_size) == 16);
static_assert(offsetof(EntryInfoW, timestamp) == 20);
static_assert(offsetof(EntryInfoW, path) == 24);
static_assert(offsetof(EntryInfoW, filename) == 424);
static_assert(offsetof(EntryInfoW, crc) == 824);
#endif

}  // namespace kova
