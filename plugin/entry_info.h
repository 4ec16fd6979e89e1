// The record that describes one entry to the host. Packed, little-endian;
// the integer fields other than crc are pointer-sized, so the 32-bit build has
// the classic 428-byte layout and 64-bit builds the wider 448-byte one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win_api.h"

namespace kova {

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

}  // namespace kova
