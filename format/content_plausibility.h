// Does an entry's content agree with itself? Archives carry no checksums,
// but bitmaps, wave sounds and MIDI songs carry sizes of their own: a
// bitmap's file size, pixel offset and image size, a wave's RIFF and data
// chunk sizes, a song's track chunks. Where they disagree with the entry's
// size, the content was cut, joined or damaged, or the index record lies.
//
// The content is looked at as it is decoded, in pieces, so that an entry of
// any size costs a few bytes of state.
#pragma once

#include <cstdint>
#include <vector>

#include "format/bytes.h"
#include "format/entry_kind.h"

namespace kova {

enum class Implausibility {
    kBitmapFileSize,     // value = the header's file size, limit = the entry's size
    kBitmapPixelOffset,  // value = where the header puts the pixels, limit = the entry's size
    kBitmapImageSize,    // value = where the pixels end by the header, limit = the entry's size
    kWaveRiffSize,       // value = where the RIFF chunk ends by its size, limit = the entry's size
    kWaveDataSize,       // value = where the data chunk ends, limit = the entry's size; at = its header
    kMidiTrackPastEnd,   // value = where a chunk ends by its size, limit = the entry's size; at = its header
    kMidiTrackCount,     // value = the track chunks found, limit = the count the header gives
};

struct PlausibilityFinding {
    Implausibility kind;
    uint64_t at = 0;  // where in the content the size that disagrees is
    uint64_t value = 0;
    uint64_t limit = 0;
};

// Fed the content of one entry in order; Finish tells what disagrees.
struct ContentScanner {
    // `kind` as sniffed; `size` is the entry's content size. Other kinds
    // are looked at not at all.
    void Begin(EntryKind kind, uint64_t size);
    void Feed(ByteSpan piece);
    void Finish(std::vector<PlausibilityFinding>& found);

    static void FeedThrough(void* scanner, ByteSpan piece) { static_cast<ContentScanner*>(scanner)->Feed(piece); }

private:
    static constexpr size_t kHeadBytes = 64;
    void ChunkHeader(uint64_t at, const uint8_t (&header)[8]);

    EntryKind kind_ = EntryKind::kOther;
    uint64_t size_ = 0;
    uint64_t seen_ = 0;
    uint8_t head_[kHeadBytes] = {};
    // Chunks (RIFF sub-chunks, MIDI chunks): the next header's offset and
    // its bytes as they come.
    bool walking_ = false;
    bool walked_ = false;
    uint64_t next_chunk_ = 0;
    uint8_t chunk_[8] = {};
    size_t chunk_have_ = 0;
    uint64_t chunk_limit_ = 0;  // no chunk is looked for from here on
    uint64_t tracks_ = 0;
    std::vector<PlausibilityFinding> found_;
};

}  // namespace kova
