#include "tests/support/entry_encoder.h"

#include <stdexcept>

namespace kova::testing {

Bytes EncodeEntry(uint8_t method, const Bytes& content, EncoderStats* stats, EncoderStrength strength) {
    Bytes stored;
    if (!kova::EncodeEntry(method, ByteSpan(content.data(), content.size()), stored, strength, stats)) {
        throw std::invalid_argument("coded entries use method 1 or 2, and at most 4 GiB of content");
    }
    return stored;
}

Bytes StoreEntry(const Bytes& content) {
    // Empty is allowed here: tests build such entries on purpose.
    if (!content.empty() && !MayBeStoredAsIs(ByteSpan(content.data(), content.size()))) {
        throw std::invalid_argument("content starting with this byte would read as coded; encode it instead");
    }
    return content;
}

}  // namespace kova::testing
