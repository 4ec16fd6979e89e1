// Driving the plug-in's exports as a host does, and reading back the blocks
// they hand over: shared by the kova command, the tests and the benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/plugin_loader.h"
#include "plugin/interface.h"

namespace kova {

// What a list block from GetArchiveInfo holds.
struct ListBlock {
    bool readable = false;  // the block could be locked
    size_t block_size = 0;
    std::vector<EntryInfo> records;  // up to, not including, the closing one
    // The list ended with a record whose method starts with a zero byte,
    // all zero and the block's last; not merely at the block's end.
    bool closed = false;
};

// Reads the records of `list` (the list ends at the first record whose
// method starts with a zero byte, or at the block's end). The block stays
// the caller's, unlocked.
ListBlock ReadListBlock(const PluginApi& api, HLOCAL list);

// Copies the content of a block the plug-in handed over and frees the
// block. `block_size` is its size; the result is LocalFree's.
HLOCAL TakeBlockContent(const PluginApi& api, HLOCAL block, std::vector<uint8_t>& content, size_t& block_size);

}  // namespace kova
