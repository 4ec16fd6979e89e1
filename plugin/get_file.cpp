// Extraction: one entry, decoded, into a block for the host or a disk file.
#include <algorithm>
#include <cstring>

#include "archive/archive_reader.h"
#include "archive/entry_content.h"
#include "format/layout.h"
#include "plugin/archive_input.h"
#include "plugin/base_name.h"
#include "plugin/entry_record.h"
#include "plugin/exports.h"
#include "plugin/interface.h"
#include "plugin/movable_block.h"
#include "plugin/output_file.h"

namespace kova {
namespace {

// Blocks up to this size are allocated as they come and only the tail the
// stream leaves is zeroed: measured, that beats zero-filling the whole block
// first. Larger blocks are zero-filled by the system, whose fresh pages cost
// nothing until written, so a stream that fills little of a block declared
// at gigabytes never makes the plug-in touch the rest.
constexpr size_t kZeroTailLimit = size_t{1} << 20;

// How far back from src memory input looks for the image's magic; it is also
// the number of entries memory input can reach.
constexpr size_t kImageSearchLimit = size_t{1} << 20;

// Compared byte by byte, stopping at the first that differs, so that no
// more is read past src than a matching prefix of the magic.
bool MagicAt(const char* at) {
    for (size_t k = 0; k < sizeof kMagic; ++k) {
        if (at[k] != kMagic[k]) return false;
    }
    return true;
}

// With memory input src lies `index` bytes past the start of an image of
// `length` bytes; nothing tells where that start is but its magic.
//
// What this trusts of the host: the image begins with the magic, no other
// magic begins between its start and src, and src lies inside it. Then the
// search reads only the image: it goes back no further than the start, and
// src being inside puts the start fewer than `length` bytes back. (One
// corner cannot be told apart from a start at src without reading past one
// of the two: src among the image's last three bytes when they begin the
// magic, as "K", "KO" or "KOV"; there the compare reads up to three bytes
// past the image.) When the host breaks the contract, reads still stay
// within `length` bytes of src: the search never goes further back than
// that, and the image found is `length` bytes from its start.
ResultCode OpenImageAt(const char* src, LONG_PTR length, ArchiveReader& source, uint32_t& index) {
    if (src == nullptr || length < static_cast<LONG_PTR>(kValidatedBytes)) return kNotArchive;
    uintptr_t at = reinterpret_cast<uintptr_t>(src);
    size_t reach = std::min<uint64_t>(kImageSearchLimit, static_cast<uint64_t>(length));
    // Byte by byte, nearest first: a wider read could take in bytes before
    // the start, which are not the host's to lend.
    for (size_t back = 0; back < reach && back <= at; ++back) {
        if (!MagicAt(src - back)) continue;
        index = static_cast<uint32_t>(back);
        return OpenImageInput(src - back, length, source);
    }
    return kNotArchive;
}

// With memory input src points into archive bytes, whatever its type says.
template <typename Char>
ResultCode OpenForExtraction(const Char* src, LONG_PTR len, unsigned mode, ArchiveReader& source,
                             uint32_t& index) {
    if (mode == kInputMemory) return OpenImageAt(reinterpret_cast<const char*>(src), len, source, index);
    // With file input the archive always starts the file; len is the index.
    // Only the requested record is read, so a call costs the same whatever
    // the archive's size.
    ResultCode result = OpenFileInput(src, 0, source, IndexReading::kOnDemand);
    if (result != kSuccess) return result;
    if (len < 0 || static_cast<uint64_t>(len) >= source.entry_count) return kNoSuchEntry;
    index = static_cast<uint32_t>(len);
    return kSuccess;
}

// Decodes entry `index` into a fresh block; `record` keeps its name and size,
// in the characters of the family that asked.
template <typename Record, typename Char>
ResultCode Extract(ArchiveReader& source, uint32_t index, Record& record, MovableBlock& content) {
    if (index >= source.entry_count) return kNoSuchEntry;
    StoredEntry stored;
    ResultCode result = ResultOf(ReadStoredEntry(source, index, stored));
    if (result != kSuccess) return result;

    BaseName base = CurrentBaseName();
    FillEntryInfo(record, stored.entry, stored.stored, index, FormOf<Char>(base));
    size_t size = static_cast<size_t>(record.unpacked_size);
    bool zero_filled = size > kZeroTailLimit;
    // An empty entry gets a fixed zero-size block, which locks like any other.
    if (!content.Allocate(size, zero_filled)) return kNoHostBlock;
    if (!content.Lock()) return kNoWorkingMemory;
    DecodeStoredEntry(stored, MutableByteSpan(static_cast<uint8_t*>(content.data), size), zero_filled);
    content.Unlock();
    return kSuccess;
}

template <typename Record, typename Char>
int GetFileOf(const Char* src, LONG_PTR len, Char* dest, unsigned int flag) {
    unsigned input = InputModeOf(flag);
    if (input != kInputFile && input != kInputMemory) return kUnsupportedMode;
    unsigned output = OutputModeOf(flag);
    // Every mode but disk output stores a handle through dest.
    if (output != kOutputDiskFile && dest == nullptr) return kUnsupportedMode;

    ArchiveReader source;
    uint32_t index = 0;
    ResultCode result = OpenForExtraction(src, len, input, source, index);
    if (result != kSuccess) return result;
    Record record;
    MovableBlock content;
    result = Extract<Record, Char>(source, index, record, content);
    source.Release();
    if (result != kSuccess) return result;

    if (output == kOutputDiskFile) {
        Char name[kEntryNameCapacity];
        std::copy(record.filename, record.filename + kEntryNameCapacity, name);
        name[kEntryNameCapacity - 1] = 0;
        bool written = WriteOutputFile(dest, name, content, static_cast<size_t>(record.unpacked_size));
        return written ? kSuccess : kUnsupportedMode;
    }
    *reinterpret_cast<HLOCAL*>(dest) = content.HandOver();
    // An output mode we do not offer still hands the decoded block over.
    return output == kOutputMemory ? kSuccess : kUnsupportedMode;
}

}  // namespace
}  // namespace kova

KOVA_EXPORT int KOVA_CALL GetFile(const char* src, LONG_PTR len, char* dest, unsigned int flag,
                                  KovaProgress /*progress*/, LONG_PTR /*lData*/) {
    return kova::GetFileOf<kova::EntryInfo>(src, len, dest, flag);
}

KOVA_EXPORT int KOVA_CALL GetFileW(const WCHAR* src, LONG_PTR len, WCHAR* dest, unsigned int flag,
                                   KovaProgress /*progress*/, LONG_PTR /*lData*/) {
    return kova::GetFileOf<kova::EntryInfoW>(src, len, dest, flag);
}
