// The integrity walk: what is wrong with an archive, entry by entry, found
// with the format's own rules rather than through the forgiving reads that
// listing and extraction use (where missing bytes read as zero and a broken
// stream simply stops).
//
// Two depths. The index and entry heads alone show a file cut short,
// entries that reach past the end or overlap, and declared sizes no stored
// bytes could produce; that is cheap enough to run before every listing.
// The full walk accounts for every byte of the file besides: bytes that
// belong to nothing (between stored ranges, after the archive's end), and
// every coded stream decoded to its end, through a window of bounded size,
// with where and why it stopped. It also looks at whether bitmaps, waves
// and songs agree with their own sizes.
//
// Records that name the identical stored range share it: writers do that on
// purpose, so it is told apart from an overlap and is no damage. Such a range
// is decoded once for all its records.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/archive_reader.h"
#include "format/decoder.h"
#include "format/entry_kind.h"

namespace kova {

enum class IntegrityDepth {
    kIndexAndHeads,  // the index and each entry's first bytes
    kFullDecode,     // every byte accounted for, every coded entry decoded in full
};

enum class IntegrityProblem {
    // Damage.
    kHeaderCut,        // the file ends inside the 24-byte header
    kIndexCut,         // the file ends inside the index (told by DiagnoseCutHead)
    kCutShort,         // the file holds fewer bytes than the header gives
    kPastEnd,          // an entry's stored bytes reach past the end of the file or the archive
    kOverlap,          // an entry's stored bytes partly overlap another's, or the header and index
    kGap,              // bytes between stored ranges that belong to no entry
    kTrailingBytes,    // bytes after the archive's declared end
    kImpossibleSize,   // a coded entry declares more than its stored bytes could produce
    kStreamEndsEarly,  // a coded stream stops (end command, input spent) before its declared size
    kCopyBeforeStart,  // a back copy whose source lies before the output's start
    kUnusedBytes,      // a coded stream's output is full with stored bytes left over
    kNotDecoded,       // no memory to decode the entry in, so its stream went unchecked
    // Warnings: content that disagrees with its own sizes.
    kBitmapFileSize,
    kBitmapPixelOffset,
    kBitmapImageSize,
    kWaveRiffSize,
    kWaveDataSize,
    kMidiTrackPastEnd,
    kMidiTrackCount,
};

// Content plausibility: what the content says of itself, not damage to the
// container.
bool IsContentWarning(IntegrityProblem problem);

struct IntegrityFinding {
    IntegrityProblem problem;
    int64_t index = -1;  // the entry; -1 for the archive as a whole
    // Where in the archive it is (counted from the archive's first byte), and
    // the numbers behind it:
    //   kHeaderCut         actual = bytes the file holds, expected = 24
    //   kIndexCut          actual = whole records held, expected = entry_count;
    //                      offset = index_offset
    //   kCutShort          expected = archive_size, actual = bytes the file holds
    //   kPastEnd           actual = where the entry ends, expected = the end it passes;
    //                      past_file tells whether that is the file's end (else the archive's)
    //   kOverlap           other = the entry overlapped (-1: the header and index),
    //                      actual = the entry's offset, expected = where the other ends
    //   kGap               offset, length: the bytes; index = the entry they follow (-1: the index)
    //   kTrailingBytes     offset = the archive's end, length = bytes after it
    //   kImpossibleSize    actual = declared size, expected = the most the stored bytes give
    //   kStreamEndsEarly   actual = bytes produced, expected = declared size, stop = why,
    //   kCopyBeforeStart   input_used = stored bytes consumed, unused = stored bytes
    //   kUnusedBytes       the file holds after that (the closing 0x00 of a full
    //                      output not counted); offset = where it stopped (the end
    //                      command itself, else the first stored byte not taken)
    //   kNotDecoded        expected = declared size
    //   warnings           actual = what the content's header gives, expected = the
    //                      entry's size (kMidiTrackCount: tracks found and declared);
    //                      at = where in the content that size is
    uint64_t actual = 0;
    uint64_t expected = 0;
    int64_t other = -1;
    bool past_file = false;
    DecodeStop stop = DecodeStop::kInputExhausted;
    uint64_t input_used = 0;
    uint64_t unused = 0;
    uint64_t offset = 0;
    uint64_t length = 0;
    uint64_t at = 0;
};

// One entry as the index and its head describe it.
struct EntryFacts {
    uint32_t data_offset = 0;
    uint32_t stored_size = 0;
    uint32_t unpacked_size = 0;  // declared by a coded entry; the stored size otherwise
    uint8_t method_byte = 0;
    bool coded = false;
    EntryKind kind = EntryKind::kOther;
};

// Records that name the identical stored range: `entries` in index order,
// the first of them the one the others are decoded as.
struct SharedRange {
    uint32_t data_offset = 0;
    uint32_t stored_size = 0;
    std::vector<uint32_t> entries;
};

struct IntegrityReport {
    uint32_t archive_size = 0;     // as the header gives it
    uint64_t available_bytes = 0;  // what the file or image holds from the archive's start
    std::vector<EntryFacts> entries;
    std::vector<IntegrityFinding> findings;  // in entry order, the archive's own first
    std::vector<SharedRange> shared;         // in order of their first entries
    // Entry k's range is first named by entry owner[k]; empty when no range
    // is shared (then every entry is its own).
    std::vector<uint32_t> owner;

    uint32_t OwnerOf(uint32_t k) const { return owner.empty() ? k : owner[k]; }
};

struct WalkOptions {
    // Bytes after the archive's declared end are the file's own when the
    // archive lies inside a larger file; then they are no finding.
    bool whole_file = true;
    // Content held at a time while a stream is decoded (tests make it small).
    size_t window_size = size_t{1} << 20;
};

// The most a coded entry of `stored_size` stored bytes can unpack to: its
// stream, after the 5-byte head, made of nothing but long pair runs, each 5
// bytes for 131,070, and a last run of whatever bytes are left.
uint64_t MostUnpackedFrom(uint32_t stored_size);

// Walks the archive `reader` has open and describes what it finds in
// `report`. An entry whose stored bytes overlap another's is reported on
// both sides, since either may be the one whose index record was damaged.
void WalkArchive(const ArchiveReader& reader, IntegrityDepth depth, IntegrityReport& report,
                 const WalkOptions& options = {});

// A file that begins with the magic but that no reader opens: is it one of
// ours cut inside its header or its index? `head` holds the file's first
// bytes from the archive's start (up to 32), `held` how many the file holds
// in all. True with the finding (kHeaderCut or kIndexCut) when so.
bool DiagnoseCutHead(ByteSpan head, uint64_t held, IntegrityFinding& finding);

}  // namespace kova
