#include "format/entry_kind.h"

#include <algorithm>
#include <cstring>

#include "format/decoder.h"

namespace kova {
namespace {

bool HasAt(ByteSpan content, size_t offset, const char* text) {
    size_t length = std::strlen(text);
    return offset + length <= content.size() &&
           std::memcmp(content.data() + offset, text, length) == 0;
}

}  // namespace

const char* ExtensionOf(EntryKind kind) {
    // Four 4-byte slots, indexed by the kind's value.
    static const char kExtensions[4][4] = {"BMP", "WAV", "MID", "DAT"};
    int slot = static_cast<int>(kind);
    return kExtensions[(slot >= 0 && slot < 4) ? slot : 3];
}

EntryKind ClassifyContent(ByteSpan content) {
    if (HasAt(content, 0, "BM")) return EntryKind::kBitmap;
    if (HasAt(content, 0, "MThd")) return HasAt(content, 14, "MTrk") ? EntryKind::kMidi : EntryKind::kOther;
    if (HasAt(content, 0, "RIFF")) return HasAt(content, 8, "WAVEfmt") ? EntryKind::kWave : EntryKind::kOther;
    return EntryKind::kOther;
}

SniffResult SniffKind(ByteSpan stored) {
    uint8_t content[kSniffBytes] = {};
    DecodeResult decoded = DecodeEntry(stored, std::min(kSniffBytes, stored.size()), content);
    return {ClassifyContent(content), decoded.coded};
}

EntryDescription DescribeEntry(const IndexEntry& entry, ByteSpan stored) {
    ByteSpan own = stored.first(std::min<size_t>(stored.size(), entry.stored_size));
    SniffResult sniffed = SniffKind(own);
    // A coded entry declares its size in bytes 1-4; bytes it lacks read as 0.
    uint32_t unpacked = sniffed.coded ? ReadLe32(own, 1) : entry.stored_size;
    return {sniffed.kind, sniffed.coded, unpacked, entry.stored_size};
}

}  // namespace kova
