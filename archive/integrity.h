// The integrity walk: what is wrong with an archive, entry by entry, found
// with the format's own rules rather than through the forgiving reads that
// listing and extraction use (where missing bytes read as zero and a broken
// stream simply stops).
//
// Two depths. The index and entry heads alone show a file cut short,
// entries that reach past the end or overlap, and declared sizes no stored
// bytes could produce; that is cheap enough to run before every listing.
// Decoding every coded entry in full also shows streams that end early and
// back copies that reach before the output's start.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/archive_reader.h"
#include "format/decoder.h"
#include "format/entry_kind.h"

namespace kova {

enum class IntegrityDepth {
    kIndexAndHeads,  // the index and each entry's first bytes
    kFullDecode,     // and every coded entry decoded in full
};

enum class IntegrityProblem {
    kCutShort,         // the archive: the file holds fewer bytes than the header gives
    kPastEnd,          // an entry's stored bytes reach past the end of the file or the archive
    kOverlap,          // an entry's stored bytes overlap another's, or the header and index
    kImpossibleSize,   // a coded entry declares more than its stored bytes could produce
    kStreamEndsEarly,  // a coded stream stops before producing the declared size
    kCopyBeforeStart,  // a back copy whose source lies before the output's start
    kNotDecoded,       // no memory to decode the entry in, so its stream went unchecked
};

struct IntegrityFinding {
    IntegrityProblem problem;
    int64_t index = -1;  // the entry; -1 for the archive as a whole
    // The numbers behind the finding:
    //   kCutShort          expected = archive_size, actual = bytes the file holds
    //   kPastEnd           actual = where the entry ends, expected = the end it passes;
    //                      past_file tells whether that is the file's end (else the archive's)
    //   kOverlap           other = the entry overlapped (-1: the header and index),
    //                      actual = the entry's offset, expected = where the other ends
    //   kImpossibleSize    actual = declared size, expected = the most the stored bytes give
    //   kStreamEndsEarly   actual = bytes produced, expected = declared size, stop = why,
    //                      input_used = stored bytes consumed (of stored_size)
    //   kCopyBeforeStart   actual = bytes produced when the copy came, expected = declared size
    //   kNotDecoded        expected = declared size
    uint64_t actual = 0;
    uint64_t expected = 0;
    int64_t other = -1;
    bool past_file = false;
    DecodeStop stop = DecodeStop::kInputExhausted;
    uint64_t input_used = 0;
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

struct IntegrityReport {
    uint32_t archive_size = 0;     // as the header gives it
    uint64_t available_bytes = 0;  // what the file or image holds from the archive's start
    std::vector<EntryFacts> entries;
    std::vector<IntegrityFinding> findings;  // in entry order, the archive's own first
};

// The most a coded entry of `stored_size` stored bytes can unpack to: its
// stream, after the 5-byte head, made of nothing but long pair runs, each 5
// bytes for 131,070, and a last run of whatever bytes are left.
uint64_t MostUnpackedFrom(uint32_t stored_size);

// Walks the archive `reader` has open and describes what it finds in
// `report`. An entry whose stored bytes overlap another's is reported on
// both sides, since either may be the one whose index record was damaged.
void WalkArchive(const ArchiveReader& reader, IntegrityDepth depth, IntegrityReport& report);

}  // namespace kova
