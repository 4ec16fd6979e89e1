#include "format/content_plausibility.h"

#include <algorithm>
#include <cstring>

namespace kova {
namespace {

uint32_t Be32(const uint8_t* at) {
    return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | at[3];
}

// Where a RIFF header's content starts, and a MIDI header's.
constexpr uint64_t kRiffFirstChunk = 12;
constexpr uint64_t kBitmapHeadBytes = 54;
constexpr uint64_t kMidiHeadBytes = 14;

}  // namespace

void ContentScanner::Begin(EntryKind kind, uint64_t size) {
    *this = ContentScanner{};
    kind_ = kind;
    size_ = size;
}

void ContentScanner::Feed(ByteSpan piece) {
    if (kind_ == EntryKind::kOther || piece.empty()) return;
    uint64_t start = seen_;
    seen_ += piece.size();
    if (start < kHeadBytes) {
        size_t take = static_cast<size_t>(std::min<uint64_t>(kHeadBytes - start, piece.size()));
        std::memcpy(head_ + start, piece.data(), take);
    }
    // The sizes at bytes 4 to 7 tell where the chunks begin, at byte 8 or later.
    if (!walking_ && !walked_ && seen_ >= 8) {
        walking_ = walked_ = true;
        ByteSpan head(head_, 8);
        if (kind_ == EntryKind::kWave) {
            next_chunk_ = kRiffFirstChunk;
            chunk_limit_ = std::min<uint64_t>(size_, uint64_t{ReadLe32(head, 4)} + 8);
        } else if (kind_ == EntryKind::kMidi) {
            next_chunk_ = 8 + uint64_t{Be32(head_ + 4)};
            chunk_limit_ = size_;
        } else {
            walking_ = false;
        }
    }
    // Chunk headers inside this piece, wherever they fall.
    while (walking_ && next_chunk_ + 8 <= chunk_limit_) {
        uint64_t from = next_chunk_ + chunk_have_;
        if (from >= seen_) break;
        // Headers come in order and none begins before byte 8, so none
        // began before this piece unless its first bytes came earlier.
        size_t offset = static_cast<size_t>(from - start);
        size_t take = std::min<size_t>(8 - chunk_have_, piece.size() - offset);
        std::memcpy(chunk_ + chunk_have_, piece.data() + offset, take);
        chunk_have_ += take;
        if (chunk_have_ < 8) break;
        uint64_t at = next_chunk_;
        chunk_have_ = 0;
        ChunkHeader(at, chunk_);
    }
}

void ContentScanner::ChunkHeader(uint64_t at, const uint8_t (&header)[8]) {
    if (kind_ == EntryKind::kWave) {
        uint64_t length = ReadLe32(ByteSpan(header, 8), 4);
        uint64_t end = at + 8 + length;
        if (std::memcmp(header, "data", 4) == 0 && end > size_) {
            found_.push_back({Implausibility::kWaveDataSize, at, end, size_});
        }
        next_chunk_ = end + (length & 1);  // chunks are padded to an even length
        return;
    }
    uint64_t end = at + 8 + Be32(header + 4);
    if (end > size_) {
        found_.push_back({Implausibility::kMidiTrackPastEnd, at, end, size_});
        walking_ = false;
        return;
    }
    if (std::memcmp(header, "MTrk", 4) == 0) ++tracks_;
    next_chunk_ = end;
}

void ContentScanner::Finish(std::vector<PlausibilityFinding>& found) {
    found.clear();
    if (kind_ == EntryKind::kOther) return;
    ByteSpan head(head_, static_cast<size_t>(std::min<uint64_t>(seen_, kHeadBytes)));
    if (kind_ == EntryKind::kBitmap && head.size() >= kBitmapHeadBytes) {
        uint64_t file_size = ReadLe32(head, 2), pixels = ReadLe32(head, 10);
        uint64_t info_size = ReadLe32(head, 14), image_size = ReadLe32(head, 34);
        if (file_size != size_) found.push_back({Implausibility::kBitmapFileSize, 2, file_size, size_});
        if (pixels >= size_) {
            found.push_back({Implausibility::kBitmapPixelOffset, 10, pixels, size_});
        } else if (info_size >= 40 && image_size != 0 && pixels + image_size > size_) {
            // Image size 0 is allowed for uncompressed pictures.
            found.push_back({Implausibility::kBitmapImageSize, 34, pixels + image_size, size_});
        }
    } else if (kind_ == EntryKind::kWave && head.size() >= kRiffFirstChunk) {
        uint64_t riff_end = uint64_t{ReadLe32(head, 4)} + 8;
        if (riff_end > size_) found.push_back({Implausibility::kWaveRiffSize, 4, riff_end, size_});
    } else if (kind_ == EntryKind::kMidi && head.size() >= kMidiHeadBytes && walking_) {
        uint64_t declared = uint64_t{head_[10]} << 8 | head_[11];
        if (tracks_ != declared) found.push_back({Implausibility::kMidiTrackCount, 10, tracks_, declared});
    }
    found.insert(found.end(), found_.begin(), found_.end());
}

}  // namespace kova
