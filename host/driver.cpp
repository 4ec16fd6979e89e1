#include "host/driver.h"

#include <cstring>

namespace kova {

ListBlock ReadListBlock(const PluginApi& api, HLOCAL list) {
    ListBlock read;
    read.block_size = api.local_size(list);
    const auto* records = static_cast<const EntryInfo*>(api.local_lock(list));
    if (records == nullptr) return read;
    read.readable = true;
    size_t capacity = read.block_size / sizeof(EntryInfo);
    for (size_t i = 0; i < capacity; ++i) {
        if (records[i].method[0] == 0) {
            static const EntryInfo kZero = {};
            read.closed = std::memcmp(&records[i], &kZero, sizeof kZero) == 0 && i + 1 == capacity;
            break;
        }
        read.records.push_back(records[i]);
    }
    api.local_unlock(list);
    return read;
}

HLOCAL TakeBlockContent(const PluginApi& api, HLOCAL block, std::vector<uint8_t>& content, size_t& block_size) {
    block_size = api.local_size(block);
    content.clear();
    if (const auto* data = static_cast<const uint8_t*>(api.local_lock(block))) {
        content.assign(data, data + block_size);
        api.local_unlock(block);
    }
    return api.local_free(block);
}

}  // namespace kova
