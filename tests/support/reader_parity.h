// The exports held to the library: for one archive, in a file (at an offset
// or not) and as an image in memory, what the plug-in's exports hand a host
// (the listing block, byte for byte, and each entry extracted to memory), in
// the ANSI and the Unicode family, against what archive/ and format/ give for
// the same bytes and the same path: ArchiveReader, the integrity walk's
// facts and DescribeEntry, WriteEntryName from BaseNameOf, ReadStoredEntry
// and DecodeStoredEntry, the functions `kova` reads archives with.
//
// Shared by the host test (tests/host/reader_parity_test.cpp, the plug-in
// loaded as a host loads it) and the fuzz target (fuzz/reader_parity_fuzzer.cpp,
// the plug-in's objects linked in), so that both compare the same way.
// Header only: the fuzz build compiles it with its sanitizers.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/base_name.h"
#include "archive/entry_content.h"
#include "archive/integrity.h"
#include "format/entry_kind.h"
#include "format/layout.h"
#include "host/plugin_loader.h"
#include "plugin/interface.h"

namespace kova::parity {

// Where the interface itself gives the exports another answer than the
// library's. Every comparison that makes room for one counts it here, so a
// caller can tell that its inputs reach each of them.
enum Excuse : size_t {
    // The exports name entries after the path the last recognising probe was
    // given, the library after the archive's own path: each family probes the
    // input's naming path first, with a head that validates, as a host that
    // recognised the file does.
    kNamesFromLastProbe,
    // Memory input reads the index at byte 24 whatever index_offset says
    // (file input reads it where the header says): file and memory
    // listings are held equal only when index_offset is 24.
    kImageIndexAtByte24,
    // An image shorter than the 32 bytes validation reads is no archive; a
    // file that short reads zeros past its end and may be one.
    kShortImage,
    // GetFile with file input reads the archive from byte 0 (len is the
    // entry's index, there is no offset): at an offset only the listing is
    // compared.
    kFileExtractionFromByteZero,
    // GetFile with memory input finds the image's start by searching back
    // from src = image + index for the magic: an image that does not start
    // with it, an index at or past the image's end or the search's reach,
    // or another magic (whole, or cut by the image's end) between the start
    // and src, and the host's contract is broken; no image is compared.
    kImageStartBySearch,
    // The list block holds count + 1 records in a size hosts compute in 32
    // bits: a count whose block would not fit is refused with 4, where the
    // library lists the archive.
    kListBlockPast32Bits,
    kExcuseCount,
};

inline constexpr const char* kExcuseNames[kExcuseCount] = {
    "names come from the last probe",
    "memory input reads the index at byte 24",
    "an image shorter than 32 bytes is no archive",
    "GetFile with file input reads the archive from byte 0",
    "GetFile with memory input finds the image start by searching back",
    "the list block refuses counts whose block would not fit 32 bits",
};

struct Input {
    std::string file;                // UTF-8 path of a file holding the archive `offset` bytes in
    int64_t offset = 0;
    const uint8_t* image = nullptr;  // the archive's bytes in memory, or nullptr for file input only
    size_t image_size = 0;
    std::string naming_path;         // UTF-8: the path a host probes, that entries are named after
    uint32_t max_extracted = 64;     // entries extracted at most, the last one besides
    uint32_t max_entry_bytes = uint32_t{1} << 20;  // larger entries are not extracted
};

struct Report {
    std::vector<std::string> differences;
    std::array<uint64_t, kExcuseCount> excused{};
};

namespace detail {

// How far back GetFile with memory input searches for the image's start.
constexpr uint64_t kImageSearchReach = uint64_t{1} << 20;
constexpr size_t kMostDifferencesKept = 16;

// An empty archive's head, padded to what a host reads for the probe.
inline const uint8_t* ValidHead() {
    static const uint8_t head[kProbeHeadSize] = {'K', 'O', 'V', 'A', 24, 0, 0, 0, 24, 0, 0, 0, 0, 0, 0, 0,
                                                 0,   0,   0,   0,   0,  0, 0, 0, 0,  0, 0, 0, 24};
    return head;
}

inline int ResultFor(ArchiveStatus status) {
    switch (status) {
    case ArchiveStatus::kOk:
        return kSuccess;
    case ArchiveStatus::kCannotOpenFile:
        return kCannotOpenFile;
    case ArchiveStatus::kNotArchive:
        return kNotArchive;
    case ArchiveStatus::kNoMemory:
        return kNoWorkingMemory;
    }
    return -1;
}

inline uint32_t Le32At(const uint8_t* bytes, size_t size, size_t at) {
    uint32_t value = 0;
    for (size_t k = 4; k-- > 0;) value = (value << 8) | (at + k < size ? bytes[at + k] : 0);
    return value;
}

// Whether GetFile from image + index stays within the host's contract (see
// kImageStartBySearch), so that the image it finds is this one.
inline bool ImageStartReachable(const uint8_t* image, size_t size, uint64_t index) {
    if (size < sizeof kMagic || std::memcmp(image, kMagic, sizeof kMagic) != 0) return false;
    if (index >= size || index >= kImageSearchReach) return false;
    for (uint64_t k = 1; k <= index; ++k) {
        size_t held = static_cast<size_t>(std::min<uint64_t>(sizeof kMagic, size - k));
        if (std::memcmp(image + k, kMagic, held) == 0) return false;
    }
    return true;
}

// Copies a block the exports handed over and frees it; false when a block
// with bytes cannot be locked.
inline bool TakeBlock(const PluginApi& api, HLOCAL block, std::vector<uint8_t>& bytes) {
    size_t size = api.local_size(block);
    bytes.clear();
    const auto* data = static_cast<const uint8_t*>(api.local_lock(block));
    if (data != nullptr) {
        bytes.assign(data, data + size);
        api.local_unlock(block);
    }
    api.local_free(block);
    // Hosts take a block that does not lock as a failure, whatever its size.
    return data != nullptr;
}

inline std::u16string Utf16Of(const std::string& text) {
    std::u16string wide(text.size() + 1, u'\0');
    int got = text.empty() ? 0
                           : MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                 wide.data(), static_cast<int>(wide.size()));
    wide.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return wide;
}

template <typename Char>
struct Family;

template <>
struct Family<char> {
    using Record = EntryInfo;
    static constexpr const char* kName = "ANSI";
    static bool Present(const PluginApi&) { return true; }
    static std::string Path(const std::string& utf8) { return utf8; }
    static int Probe(const PluginApi& api, const char* path) {
        return api.is_supported(path, reinterpret_cast<DWORD_PTR>(ValidHead()));
    }
    static int List(const PluginApi& api, const char* buf, LONG_PTR len, unsigned flag, HLOCAL* list) {
        return api.get_archive_info(buf, len, flag, list);
    }
    static int Get(const PluginApi& api, const char* src, LONG_PTR len, HLOCAL* dest, unsigned flag) {
        return api.get_file(src, len, reinterpret_cast<char*>(dest), flag, nullptr, 0);
    }
};

template <>
struct Family<WCHAR> {
    using Record = EntryInfoW;
    static constexpr const char* kName = "Unicode";
    static bool Present(const PluginApi& api) { return api.HasWide(); }
    static std::u16string Path(const std::string& utf8) { return Utf16Of(utf8); }
    static int Probe(const PluginApi& api, const WCHAR* path) {
        return api.is_supported_w(path, reinterpret_cast<DWORD_PTR>(ValidHead()));
    }
    static int List(const PluginApi& api, const WCHAR* buf, LONG_PTR len, unsigned flag, HLOCAL* list) {
        return api.get_archive_info_w(buf, len, flag, list);
    }
    static int Get(const PluginApi& api, const WCHAR* src, LONG_PTR len, HLOCAL* dest, unsigned flag) {
        return api.get_file_w(src, len, reinterpret_cast<WCHAR*>(dest), flag, nullptr, 0);
    }
};

template <typename Char>
class FamilyCheck {
    using F = Family<Char>;
    using Record = typename F::Record;

public:
    FamilyCheck(const PluginApi& api, const Input& input, Report& report)
        : api_(api), in_(input), report_(report), file_(F::Path(input.file)), naming_(F::Path(input.naming_path)) {}

    void Run() {
        if (!F::Present(api_)) return;
        // Excuse kNamesFromLastProbe.
        ++report_.excused[kNamesFromLastProbe];
        if (F::Probe(api_, naming_.c_str()) != 1) return Differ("the probe refuses a valid head");
        base_ = BaseNameOf(naming_.c_str());

        Listed from_file = CheckMode(false);
        if (in_.image == nullptr) return;
        Listed from_memory = CheckMode(true);
        // File and memory input must agree where neither rule of their own
        // tells them apart.
        if (in_.image_size < kValidatedBytes) {
            ++report_.excused[kShortImage];
        } else if (Le32At(in_.image, in_.image_size, 8) != kImageIndexStart) {
            ++report_.excused[kImageIndexAtByte24];
        } else if (from_file.result != from_memory.result || from_file.block != from_memory.block) {
            Differ("file and memory input list differently (" + std::to_string(from_file.result) + " and " +
                   std::to_string(from_memory.result) + ")");
        }
    }

private:
    struct Listed {
        int result = -1;
        std::vector<uint8_t> block;
    };

    void Differ(const std::string& what) {
        if (report_.differences.size() < kMostDifferencesKept) {
            const char* mode = memory_ ? ", memory input: " : ", file input: ";
            report_.differences.push_back(std::string(F::kName) + mode + what);
        }
    }

    Listed CheckMode(bool memory) {
        memory_ = memory;
        ArchiveReader reader;
        ArchiveStatus status = memory ? OpenArchiveImage(in_.image, static_cast<int64_t>(in_.image_size), reader)
                                      : OpenArchiveFile(file_.c_str(), in_.offset, reader);
        Listed listed = ListByExports();
        int expected = ResultFor(status);
        bool listable = status == ArchiveStatus::kOk;
        if (listable && (uint64_t{reader.entry_count} + 1) * sizeof(Record) > UINT32_MAX) {
            // Excuse kListBlockPast32Bits.
            ++report_.excused[kListBlockPast32Bits];
            expected = kNoHostBlock;
            listable = false;
        }
        if (listed.result != expected) {
            Differ("listing gives " + std::to_string(listed.result) + ", the library " + std::to_string(expected));
        }
        facts_.clear();
        if (listable) {
            IntegrityReport walk;
            WalkArchive(reader, IntegrityDepth::kIndexAndHeads, walk);
            facts_ = std::move(walk.entries);
            if (listed.result == kSuccess) CompareBlock(reader, listed.block);
        }
        CheckExtraction(reader, status);
        return listed;
    }

    Listed ListByExports() {
        Listed listed;
        HLOCAL list = reinterpret_cast<HLOCAL>(uintptr_t{0xDEAD0});
        const Char* buf = memory_ ? reinterpret_cast<const Char*>(in_.image) : file_.c_str();
        LONG_PTR len = memory_ ? static_cast<LONG_PTR>(in_.image_size) : static_cast<LONG_PTR>(in_.offset);
        listed.result = F::List(api_, buf, len, memory_ ? kInputMemory : kInputFile, &list);
        if (listed.result != kSuccess) {
            if (list != nullptr) Differ("a failed listing leaves a handle");
            return listed;
        }
        if (list == nullptr || !TakeBlock(api_, list, listed.block)) Differ("the list block cannot be read");
        return listed;
    }

    // The block a host should get: a record per entry from the library's
    // facts, in a zero-filled block, and a zero record to close it.
    void CompareBlock(const ArchiveReader& reader, const std::vector<uint8_t>& block) {
        std::vector<uint8_t> expected((facts_.size() + 1) * sizeof(Record), 0);
        for (uint32_t i = 0; i < facts_.size(); ++i) {
            const EntryFacts& facts = facts_[i];
            IndexEntry entry = reader.Entry(i);
            uint8_t head[kEntryHeadSize];
            EntryDescription described = DescribeEntry(entry, reader.ReadHead(entry, head));
            if (described.kind != facts.kind || described.coded != facts.coded ||
                described.unpacked_size != facts.unpacked_size || described.stored_size != facts.stored_size ||
                entry.data_offset != facts.data_offset) {
                Differ("library: the walk and DescribeEntry describe entry " + std::to_string(i) + " differently");
            }
            Record record;
            std::memset(&record, 0, sizeof record);
            std::memcpy(record.method, "KOVA", 5);
            record.position = i;
            record.packed_size = facts.stored_size;
            record.unpacked_size = facts.unpacked_size;
            WriteEntryName(record.filename, FormOf<Char>(base_), i, facts.kind);
            std::memcpy(expected.data() + size_t{i} * sizeof record, &record, sizeof record);
        }
        if (block.size() != expected.size()) {
            return Differ("list block of " + std::to_string(block.size()) + " bytes, the library's " +
                          std::to_string(expected.size()));
        }
        auto at = std::mismatch(block.begin(), block.end(), expected.begin()).first;
        if (at == block.end()) return;
        size_t offset = static_cast<size_t>(at - block.begin());
        Differ("record " + std::to_string(offset / sizeof(Record)) + " differs at byte " +
               std::to_string(offset % sizeof(Record)));
    }

    void CheckExtraction(const ArchiveReader& reader, ArchiveStatus status) {
        if (!memory_ && in_.offset != 0) {
            // Excuse kFileExtractionFromByteZero.
            ++report_.excused[kFileExtractionFromByteZero];
            return;
        }
        uint32_t count = status == ArchiveStatus::kOk ? reader.entry_count : 0;
        std::vector<uint32_t> indices;
        for (uint32_t i = 0; i < count && i < in_.max_extracted; ++i) indices.push_back(i);
        if (count > in_.max_extracted) indices.push_back(count - 1);
        // One past the last entry, or the first of what is no archive.
        indices.push_back(count);
        for (uint32_t i : indices) ExtractOne(reader, status, i, count);
    }

    void ExtractOne(const ArchiveReader& reader, ArchiveStatus status, uint32_t i, uint32_t count) {
        if (memory_ && !ImageStartReachable(in_.image, in_.image_size, i)) {
            // Excuse kImageStartBySearch.
            ++report_.excused[kImageStartBySearch];
            return;
        }
        std::string which = "entry " + std::to_string(i) + ": ";
        int expected = status != ArchiveStatus::kOk ? ResultFor(status) : kNoSuchEntry;
        std::vector<uint8_t> content;
        if (status == ArchiveStatus::kOk && i < count) {
            StoredEntry stored;
            ArchiveStatus read = ReadStoredEntry(reader, i, stored);
            expected = ResultFor(read);
            if (read == ArchiveStatus::kOk) {
                uint32_t size = stored.described.unpacked_size;
                if (i < facts_.size() && facts_[i].unpacked_size != size) {
                    Differ(which + "library: listed and extracted sizes differ");
                }
                if (size > in_.max_entry_bytes) return;
                content.assign(size, 0);
                DecodeStoredEntry(stored, MutableByteSpan(content.data(), content.size()), true);
            }
        }

        HLOCAL block = nullptr;
        const Char* src = memory_ ? reinterpret_cast<const Char*>(in_.image + i) : file_.c_str();
        LONG_PTR len = memory_ ? static_cast<LONG_PTR>(in_.image_size) : static_cast<LONG_PTR>(i);
        int result = F::Get(api_, src, len, &block, FlagOf(memory_ ? kInputMemory : kInputFile, kOutputMemory));
        std::vector<uint8_t> got;
        bool readable = block == nullptr || TakeBlock(api_, block, got);
        if (result != expected) {
            return Differ(which + "GetFile gives " + std::to_string(result) + ", the library " +
                          std::to_string(expected));
        }
        if ((block != nullptr) != (result == kSuccess)) {
            return Differ(which + "a block comes with result " + std::to_string(result));
        }
        if (block == nullptr) return;
        if (!readable) return Differ(which + "the content block cannot be read");
        if (got.size() != content.size()) {
            return Differ(which + std::to_string(got.size()) + " bytes extracted, the library's " +
                          std::to_string(content.size()));
        }
        auto at = std::mismatch(got.begin(), got.end(), content.begin()).first;
        if (at != got.end()) Differ(which + "content differs at byte " + std::to_string(at - got.begin()));
    }

    const PluginApi& api_;
    const Input& in_;
    Report& report_;
    std::basic_string<Char> file_;
    std::basic_string<Char> naming_;
    BaseName base_{};
    bool memory_ = false;
    std::vector<EntryFacts> facts_;
};

}  // namespace detail

// Compares the exports with the library for `input`, in each family the
// plug-in has; differences go to report.differences (a few at most, each
// saying family, input mode and what differs).
inline void Compare(const PluginApi& api, const Input& input, Report& report) {
    detail::FamilyCheck<char>(api, input, report).Run();
    detail::FamilyCheck<WCHAR>(api, input, report).Run();
}

}  // namespace kova::parity
