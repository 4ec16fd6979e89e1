#include "host/driver.h"

#include <cstring>

namespace kova {

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
