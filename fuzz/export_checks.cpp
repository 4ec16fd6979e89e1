#include "fuzz/export_checks.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "tests/support/reference_decoder.h"
#include "plugin/base_name.h"

namespace kova::fuzz {
namespace {

constexpr uint8_t kRecordPattern = 0x5A;
constexpr size_t kValidatedBytes = 32;
// How far back GetFile with memory input looks for the magic at most.
constexpr uint64_t kImageSearchLimit = uint64_t{1} << 20;
// Zeros after an entry's last held byte that the reference decoder is
// given in place of all its missing bytes: a command cut by the end
// consumes fewer than this before it reads the zero that ends the stream,
// so the result is that of the whole entry with its missing bytes as zero.
constexpr uint32_t kMissingBytesModelled = 256;

const char* const kProbePaths[8] = {
    "C:\\games\\disk1.DAT",
    "disk1.dat.bak",
    "/data/saves/save_2.DAT",
    "dir\\",
    ".DAT",
    "a.b\\c.d.e",
    "\\",
    "0123456789abcdefghijklmnopqrstuvwxyzABCDEF.DAT",
};

const char* KindExtension(const uint8_t (&content)[48]) {
    auto has = [&](size_t at, const char* text) {
        return std::memcmp(content + at, text, std::strlen(text)) == 0;
    };
    if (has(0, "BM")) return "BMP";
    if (has(0, "MThd")) return has(14, "MTrk") ? "MID" : "DAT";
    if (has(0, "RIFF")) return has(8, "WAVEfmt") ? "WAV" : "DAT";
    return "DAT";
}

bool IsCoded(const Bytes& head) { return !head.empty() && ((head[0] & 0x7F) == 1 || (head[0] & 0x7F) == 2); }

uint32_t DeclaredSize(const Bytes& head, uint32_t stored_size) {
    if (!IsCoded(head)) return stored_size;
    uint32_t value = 0;
    for (size_t k = 4; k >= 1; --k) value = (value << 8) | (k < head.size() ? head[k] : 0);
    return value;
}

}  // namespace

void Fail(const char* what, long long detail) {
    std::fprintf(stderr, "kova fuzz check failed: %s (%lld)\n", what, detail);
    std::abort();
}

ExactCopy::ExactCopy(const uint8_t* data, size_t length)
    : bytes(new uint8_t[length == 0 ? 1 : length]), size(length) {
    if (length > 0) std::memcpy(bytes.get(), data, length);
}

const char* ProbePath(unsigned selector) { return kProbePaths[selector % 8]; }

void ResetBaseName(const char* path) {
    static uint8_t head[kProbeHeadSize] = {'K', 'O', 'V', 'A', 24, 0, 0, 0, 24, 0, 0, 0, 0, 0, 0, 0,
                                           0,   0,   0,   0,   0,  0, 0, 0, 0,  0, 0, 0, 24};
    if (IsSupported(path, reinterpret_cast<DWORD_PTR>(head)) != 1) Fail("a valid head is not recognized");
}

bool NamesRoundTrip(const char* path) {
    // The number of a name ends at its first '.', so a base name with a dot
    // hides the index behind it.
    return std::strchr(BaseNameOf(path).text, '.') == nullptr;
}

uint32_t ArchiveBytes::Le32(uint64_t offset) const {
    uint32_t value = 0;
    for (int k = 3; k >= 0; --k) {
        uint64_t at = offset + static_cast<uint64_t>(k);
        value = (value << 8) | (at < size ? data[at] : 0);
    }
    return value;
}

Bytes ArchiveBytes::Stored(uint32_t i, uint32_t limit) const {
    uint32_t length = std::min(StoredSize(i), limit);
    uint64_t from = DataOffset(i);
    Bytes stored(length, 0);
    for (uint32_t k = 0; k < length && from + k < size; ++k) stored[k] = data[from + k];
    return stored;
}

bool ArchiveBytes::HeadIsValid() const {
    if (size < 4 || std::memcmp(data, "KOVA", 4) != 0) return false;
    uint32_t index_end = Le32(8) + 8u * EntryCount();
    return Le32(4) == Le32(12) + index_end && Le32(28) == index_end;
}

int ExpectedImageListing(const ArchiveBytes& image) {
    return image.size >= kValidatedBytes && image.HeadIsValid() && image.IndexFits() ? 0 : 2;
}

int ExpectedFileListing(const ArchiveBytes& archive) {
    return archive.HeadIsValid() && archive.IndexFits() ? 0 : 2;
}

void CheckListedRecord(const EntryInfo& record, const ArchiveBytes& archive, uint32_t i,
                       const char* base) {
    uint32_t stored_size = archive.StoredSize(i);
    Bytes head = archive.Stored(i, 64);
    uint8_t content[48] = {};
    ReferenceDecode(head.data(), head.size(), std::min<size_t>(48, stored_size), content, sizeof content);

    // The block starts zero-filled and the module writes only these fields.
    EntryInfo expected;
    std::memset(&expected, 0, sizeof expected);
    std::memcpy(expected.method, "KOVA", 5);
    expected.position = i;
    expected.packed_size = stored_size;
    expected.unpacked_size = DeclaredSize(head, stored_size);
    std::snprintf(expected.filename, sizeof expected.filename, "%s_%03u.%s", base, i, KindExtension(content));
    if (std::memcmp(&record, &expected, sizeof record) != 0) {
        std::fprintf(stderr, "record %u: got %s packed %lu unpacked %lu, want %s packed %lu unpacked %lu\n", i,
                     record.filename, static_cast<unsigned long>(record.packed_size),
                     static_cast<unsigned long>(record.unpacked_size), expected.filename,
                     static_cast<unsigned long>(expected.packed_size),
                     static_cast<unsigned long>(expected.unpacked_size));
        Fail("listed record differs from what the archive's bytes give", i);
    }
}

Bytes ExpectedContent(const ArchiveBytes& archive, uint32_t i) {
    uint32_t stored_size = archive.StoredSize(i);
    uint64_t from = archive.DataOffset(i);
    uint64_t held = from < archive.size ? std::min<uint64_t>(stored_size, archive.size - from) : 0;
    Bytes stored = archive.Stored(i, static_cast<uint32_t>(std::min<uint64_t>(stored_size, held + kMissingBytesModelled)));
    Bytes content(DeclaredSize(stored, stored_size), 0);
    ReferenceDecode(stored.data(), stored.size(), stored.size(), content.data(), content.size());
    return content;
}

Listing List(const char* buf, LONG_PTR len, unsigned flag) {
    static int not_a_block;
    HLOCAL handle = &not_a_block;
    Listing listing;
    listing.result = GetArchiveInfo(buf, len, flag, &handle);
    if (listing.result != 0) {
        if (handle != nullptr) Fail("failed listing left a handle", listing.result);
        return listing;
    }
    if (handle == nullptr) Fail("listing succeeded without a block");
    size_t size = LocalSize(handle);
    if (size == 0 || size % sizeof(EntryInfo) != 0) Fail("list block is not a whole number of records", size);
    const uint8_t* records = static_cast<const uint8_t*>(LocalLock(handle));
    if (records == nullptr) Fail("list block cannot be locked");
    listing.block.assign(records, records + size);
    LocalUnlock(handle);
    if (LocalFree(handle) != nullptr) Fail("list block cannot be freed");
    const uint8_t* last = listing.block.data() + size - sizeof(EntryInfo);
    if (std::any_of(last, last + sizeof(EntryInfo), [](uint8_t b) { return b != 0; })) {
        Fail("the record after the last entry is not all zero");
    }
    return listing;
}

Lookup LookUp(const char* buf, LONG_PTR len, const char* name, unsigned flag) {
    Lookup lookup;
    std::memset(&lookup.record, kRecordPattern, sizeof lookup.record);
    lookup.result = GetFileInfo(buf, len, name, flag, &lookup.record);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&lookup.record);
    if (lookup.result != 0) {
        if (std::any_of(bytes, bytes + sizeof lookup.record, [](uint8_t b) { return b != kRecordPattern; })) {
            Fail("failed lookup wrote into the caller's record", lookup.result);
        }
        return lookup;
    }
    // The caller's bytes the record does not define stay as they were.
    bool kept = std::all_of(lookup.record.method + 5, lookup.record.method + 8,
                            [](unsigned char b) { return b == kRecordPattern; }) &&
                std::all_of(lookup.record.path + 1, lookup.record.path + sizeof lookup.record.path,
                            [](char b) { return static_cast<uint8_t>(b) == kRecordPattern; });
    if (!kept) Fail("lookup wrote bytes of the record it does not define");
    return lookup;
}

Extraction Extract(const char* src, LONG_PTR len, unsigned flag) {
    Extraction extraction;
    HLOCAL handle = nullptr;
    extraction.result = GetFile(src, len, reinterpret_cast<char*>(&handle), flag, nullptr, 0);
    if (handle != nullptr) {
        extraction.handed_over = true;
        size_t size = LocalSize(handle);
        const uint8_t* content = static_cast<const uint8_t*>(LocalLock(handle));
        if (content == nullptr) Fail("content block cannot be locked", size);
        extraction.content.assign(content, content + size);
        LocalUnlock(handle);
        if (LocalFree(handle) != nullptr) Fail("content block cannot be freed");
    }
    unsigned output = (flag >> 8) & 7;
    if (extraction.result == 0 && !extraction.handed_over) Fail("extraction succeeded without a block");
    if (extraction.handed_over && extraction.result != 0 && !(extraction.result == 1 && output > 1)) {
        Fail("failed extraction handed a block over", extraction.result);
    }
    return extraction;
}

bool ImageStartReachable(const uint8_t* image, size_t size, uint64_t i) {
    if (i >= size || i >= kImageSearchLimit) return false;
    if (size < 4 || std::memcmp(image, "KOVA", 4) != 0) return false;
    // The search compares byte by byte from src back to the start.
    for (uint64_t at = i; at >= 1; --at) {
        size_t matched = 0;
        while (matched < 4 && at + matched < size && image[at + matched] == "KOVA"[matched]) ++matched;
        if (matched == 4 || at + matched == size) return false;
    }
    return true;
}

bool CheckWindowedExtraction(const uint8_t* image, size_t size, uint64_t i) {
    if (size == 0 || size > kImageSearchLimit) return false;
    // The window: `size` - 1 bytes before src, src, `size` - 1 after it.
    size_t src = size - 1;
    Bytes window(2 * size - 1, 0);
    for (size_t k = 0; k < window.size(); ++k) {
        uint64_t at = i + k - src;  // wraps for positions before the image
        if (i + k >= src && at < size) window[k] = image[at];
    }

    // The image found: the nearest magic at or before src, `size` back at most.
    // An image too short for a header is refused before any search.
    int expected_result = 2;
    Bytes expected_content;
    size_t back = size;
    for (size_t k = 0; size >= kValidatedBytes && k < size; ++k) {
        if (std::memcmp(window.data() + src - k, "KOVA", 4) == 0) {
            back = k;
            break;
        }
    }
    if (back < size) {
        ArchiveBytes found{window.data() + src - back, size, 24};
        if (ExpectedImageListing(found) != 0) {
            expected_result = 2;
        } else if (back >= found.EntryCount()) {
            expected_result = 3;
        } else {
            Bytes head = found.Stored(static_cast<uint32_t>(back), 64);
            if (DeclaredSize(head, found.StoredSize(static_cast<uint32_t>(back))) > kMaxExtractedBytes) return false;
            expected_content = ExpectedContent(found, static_cast<uint32_t>(back));
            // An empty entry too: it comes as a zero-size fixed block.
            expected_result = 0;
        }
    }

    ExactCopy lent(window.data(), window.size());
    Extraction got = Extract(lent.chars() + src, static_cast<LONG_PTR>(size), FlagOf(kInputMemory, kOutputMemory));
    if (got.result != expected_result) Fail("memory extraction: result differs from the image searched for", got.result);
    if (got.content != expected_content) Fail("memory extraction: content differs from the image searched for", back);
    return true;
}

bool SameRecord(const EntryInfo& a, const EntryInfo& b) {
    return std::memcmp(a.method, b.method, 5) == 0 && a.position == b.position &&
           a.packed_size == b.packed_size && a.unpacked_size == b.unpacked_size &&
           a.timestamp == b.timestamp && a.path[0] == b.path[0] &&
           std::memcmp(a.filename, b.filename, sizeof a.filename) == 0 && a.crc == b.crc;
}

const std::string& ScratchDirectory() {
    // Never destroyed, so that the exit handler that removes it can still
    // read its name.
    static const std::string* directory = [] {
        // Files rewritten thousands of times a second belong in memory: a
        // disk file system may flush each rewrite.
        const char* tmp = std::getenv("TMPDIR");
        std::string parent = tmp != nullptr && *tmp != '\0' ? tmp
                             : std::filesystem::is_directory("/dev/shm") ? "/dev/shm"
                                                                          : "/tmp";
        std::string pattern = parent + "/kova-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) Fail("cannot create a scratch directory");
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(*directory, ignored);
        });
        return new std::string(pattern);
    }();
    return *directory;
}

}  // namespace kova::fuzz
