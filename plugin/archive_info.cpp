// Listing an archive, and looking one entry up by name.
#include <algorithm>
#include <cstring>

#include "archive/archive_reader.h"
#include "plugin/archive_input.h"
#include "plugin/base_name.h"
#include "plugin/entry_record.h"
#include "plugin/exports.h"
#include "plugin/host_path.h"
#include "plugin/interface.h"
#include "plugin/movable_block.h"

namespace kova {
namespace {

// With memory input buf points at archive bytes, whatever its type says.
template <typename Char>
ResultCode OpenForListing(const Char* buf, LONG_PTR len, unsigned mode, ArchiveReader& source) {
    if (mode == kInputFile) return OpenFileInput(buf, len, source);
    return OpenImageInput(reinterpret_cast<const char*>(buf), len, source);
}

bool IsKnownInputMode(unsigned mode) { return mode == kInputFile || mode == kInputMemory; }

// Every record, then one whose first byte is zero to end the list. Each
// family's records carry its own form of the base name.
template <typename Record, typename Char>
ResultCode ListEntries(const ArchiveReader& source, HLOCAL* list) {
    uint64_t bytes = (uint64_t{source.entry_count} + 1) * sizeof(Record);
    // The block's size must be expressible as the 32-bit size hosts compute.
    if (bytes > UINT32_MAX) return kNoHostBlock;
    MovableBlock block;
    if (!block.Allocate(static_cast<size_t>(bytes))) return kNoHostBlock;
    if (!block.Lock()) return kNoWorkingMemory;

    BaseName base = CurrentBaseName();
    Record* records = static_cast<Record*>(block.data);
    uint8_t head[kEntryHeadSize];
    HeadReader heads(source);
    for (uint32_t i = 0; i < source.entry_count; ++i) {
        IndexEntry entry = source.Entry(i);
        FillEntryInfo(records[i], entry, heads.Head(i, entry, head), i, FormOf<Char>(base));
        records[i].position = i;
    }
    *list = block.HandOver();
    return kSuccess;
}

template <typename Record, typename Char>
int GetArchiveInfoOf(const Char* buf, LONG_PTR len, unsigned int flag, HLOCAL* lphInf) {
    // Hosts free any handle they find here afterwards, so a failure must
    // leave none.
    if (lphInf != nullptr) *lphInf = nullptr;
    unsigned mode = InputModeOf(flag);
    if (!IsKnownInputMode(mode) || lphInf == nullptr) return kUnsupportedMode;

    ArchiveReader source;
    ResultCode result = OpenForListing(buf, len, mode, source);
    if (result != kSuccess) return result;
    return ListEntries<Record, Char>(source, lphInf);
}

template <typename Record, typename Char>
int GetFileInfoOf(const Char* buf, LONG_PTR len, const Char* filename, unsigned int flag, Record* lpInfo) {
    unsigned mode = InputModeOf(flag);
    if (!IsKnownInputMode(mode) || lpInfo == nullptr) return kUnsupportedMode;

    ArchiveReader source;
    ResultCode result = OpenForListing(buf, len, mode, source);
    if (result != kSuccess) return result;
    int32_t index = EntryIndexOfName(filename);
    if (index == -1) return kNotArchive;
    // Compared unsigned: a number that wrapped negative is simply too large.
    uint32_t wanted = static_cast<uint32_t>(index);
    if (wanted >= source.entry_count) return kNoSuchEntry;

    BaseName base = CurrentBaseName();
    IndexEntry entry = source.Entry(wanted);
    uint8_t head[kEntryHeadSize];
    FillEntryInfo(*lpInfo, entry, source.ReadHead(entry, head), wanted, FormOf<Char>(base));
    lpInfo->position = wanted;
    return kSuccess;
}

}  // namespace
}  // namespace kova

KOVA_EXPORT int KOVA_CALL GetArchiveInfo(const char* buf, LONG_PTR len, unsigned int flag,
                                         HLOCAL* lphInf) {
    return kova::GetArchiveInfoOf<kova::EntryInfo>(buf, len, flag, lphInf);
}

KOVA_EXPORT int KOVA_CALL GetFileInfo(const char* buf, LONG_PTR len, const char* filename,
                                      unsigned int flag, kova::EntryInfo* lpInfo) {
    return kova::GetFileInfoOf(buf, len, filename, flag, lpInfo);
}

KOVA_EXPORT int KOVA_CALL GetArchiveInfoW(const WCHAR* buf, LONG_PTR len, unsigned int flag,
                                          HLOCAL* lphInf) {
    return kova::GetArchiveInfoOf<kova::EntryInfoW>(buf, len, flag, lphInf);
}

KOVA_EXPORT int KOVA_CALL GetFileInfoW(const WCHAR* buf, LONG_PTR len, const WCHAR* filename,
                                       unsigned int flag, kova::EntryInfoW* lpInfo) {
    return kova::GetFileInfoOf(buf, len, filename, flag, lpInfo);
}
