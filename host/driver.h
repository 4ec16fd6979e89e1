// Driving the plug-in's exports as a host does, and reading back the blocks
// they hand over: shared by the tests, the fuzz targets and the benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "host/plugin_loader.h"
#include "plugin/interface.h"

namespace kova {

// What a list block from GetArchiveInfo (EntryInfo records) or
// GetArchiveInfoW (EntryInfoW records) holds.
template <typename Record>
struct ListBlockOf {
    bool readable = false;  // the block could be locked
    size_t block_size = 0;
    std::vector<Record> records;  // up to, not including, the closing one
    // The list ended with a record whose method starts with a zero byte,
    // all zero and the block's last; not merely at the block's end.
    bool closed = false;
};
using ListBlock = ListBlockOf<EntryInfo>;

// Reads the records of `list` (the list ends at the first record whose
// method starts with a zero byte, or at the block's end). The block stays
// the caller's, unlocked.
template <typename Record = EntryInfo>
ListBlockOf<Record> ReadListBlock(const PluginApi& api, HLOCAL list) {
    ListBlockOf<Record> read;
    read.block_size = api.local_size(list);
    const auto* records = static_cast<const Record*>(api.local_lock(list));
    if (records == nullptr) return read;
    read.readable = true;
    size_t capacity = read.block_size / sizeof(Record);
    for (size_t i = 0; i < capacity; ++i) {
        if (records[i].method[0] == 0) {
            static const Record kZero = {};
            read.closed = std::memcmp(&records[i], &kZero, sizeof kZero) == 0 && i + 1 == capacity;
            break;
        }
        read.records.push_back(records[i]);
    }
    api.local_unlock(list);
    return read;
}

// Copies the content of a block the plug-in handed over and frees the
// block. `block_size` is its size; the result is LocalFree's.
HLOCAL TakeBlockContent(const PluginApi& api, HLOCAL block, std::vector<uint8_t>& content, size_t& block_size);

}  // namespace kova
