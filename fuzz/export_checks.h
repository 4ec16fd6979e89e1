// What the export fuzzers share: calling the exports the way a host does,
// taking the blocks they hand out apart (and freeing every one), and the
// expectations that follow from an archive's raw bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "plugin/interface.h"
#include "plugin/exports.h"

namespace kova::fuzz {

using Bytes = std::vector<uint8_t>;

[[noreturn]] void Fail(const char* what, long long detail = -1);

// Bytes in a heap block of exactly their size, so that ASan catches any read
// past them.
struct ExactCopy {
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
    ExactCopy(const uint8_t* data, size_t length);
    const char* chars() const { return reinterpret_cast<const char*>(bytes.get()); }
};

// Entries are extracted only when their content is small, to stay inside
// libFuzzer's memory and time limits. (Listing needs no such bound: an
// archive whose index does not fit its bytes is refused, so a count is at
// most an eighth of the input.)
constexpr uint32_t kMaxExtractedBytes = 1u << 18;

// One of a few host paths; their base names cover the naming rules' corners.
const char* ProbePath(unsigned selector);
// Makes the module's base name that of `path`, whatever the previous input
// left, by probing a valid head under that name.
void ResetBaseName(const char* path);
// True when the listed names of entries lead back to their entries.
bool NamesRoundTrip(const char* path);

// An archive's own bytes (from its first byte on) and where its index is.
// Bytes past the end read as zero, as the module treats them.
struct ArchiveBytes {
    const uint8_t* data;
    size_t size;
    uint64_t index_start;

    uint32_t Le32(uint64_t offset) const;
    uint32_t EntryCount() const { return Le32(16); }
    uint32_t StoredSize(uint32_t i) const { return Le32(index_start + 8ull * i); }
    uint32_t DataOffset(uint32_t i) const { return Le32(index_start + 8ull * i + 4); }
    // The first `limit` of the entry's stored bytes (fewer if it has fewer),
    // zeros where the archive ends first.
    Bytes Stored(uint32_t i, uint32_t limit) const;
    // Whether the header passes validation: the magic, and the sizes agreeing
    // with each other and with the u32 at byte 28 in wrapping arithmetic.
    bool HeadIsValid() const;
    // Whether the index table lies wholly within the bytes: what decides
    // whether a valid head is listed (2 otherwise).
    bool IndexFits() const { return index_start + 8ull * EntryCount() <= size; }
};

// The listing result the archive exports must give an image of `size` bytes
// (index at byte 24) or an archive in a file (index where its header says,
// `size` bytes from the archive's start on): 0 or 2.
int ExpectedImageListing(const ArchiveBytes& image);
int ExpectedFileListing(const ArchiveBytes& archive);

// The record a listing must give entry `i` under the module's base name
// `base` (its name, sizes and fixed fields); fails on any difference.
void CheckListedRecord(const EntryInfo& record, const ArchiveBytes& archive, uint32_t i,
                       const char* base);
// The content extraction must produce for entry `i`.
Bytes ExpectedContent(const ArchiveBytes& archive, uint32_t i);

struct Listing {
    int result = -1;
    Bytes block;  // the whole list block, terminator included
    size_t count() const { return block.size() / sizeof(EntryInfo) - 1; }
    const EntryInfo& record(size_t i) const {
        return reinterpret_cast<const EntryInfo*>(block.data())[i];
    }
};
// GetArchiveInfo, the block copied out and freed. Checks what holds for any
// listing: NULL on failure, (count + 1) records ending with a zero record.
Listing List(const char* buf, LONG_PTR len, unsigned flag);

struct Lookup {
    int result = -1;
    EntryInfo record;
};
// GetFileInfo into a record prefilled with a pattern; checks that a failure
// leaves the record untouched.
Lookup LookUp(const char* buf, LONG_PTR len, const char* name, unsigned flag);

struct Extraction {
    int result = -1;
    bool handed_over = false;
    Bytes content;
};
// GetFile with a memory-block output mode (flag bits 8-10 not 0), the block
// copied out and freed. Checks that a block comes exactly when it should.
Extraction Extract(const char* src, LONG_PTR len, unsigned flag);

// Whether GetFile with memory input from image + i lies within what memory
// input trusts of the host: the image starts with the magic, no other magic
// starts between it and src, src lies inside the image, and the search for
// the start reads nothing past the image on its way (src among the last three
// bytes when they begin the magic would make the compare read past them).
bool ImageStartReachable(const uint8_t* image, size_t size, uint64_t i);

// GetFile with memory input from image + i, wherever i lies (before the
// image's end or past it, with or without other magic between): the bytes
// within `size` of src, zeros outside the image, are lent in a heap block of
// exactly that window, so ASan reports any read further from src. Checks the
// result against the image the search must find: the nearest magic at or
// before src and within reach, `size` bytes from there, listed and extracted
// by its own rules. Returns false when the entry is too large to try.
bool CheckWindowedExtraction(const uint8_t* image, size_t size, uint64_t i);

bool SameRecord(const EntryInfo& a, const EntryInfo& b);

// A private directory for the files a fuzzer writes; removed at exit.
const std::string& ScratchDirectory();

}  // namespace kova::fuzz
