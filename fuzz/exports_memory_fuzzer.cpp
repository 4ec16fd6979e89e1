// The exports with memory input, as a host drives them: probe, list, look
// entries up by their listed names, extract them into memory and to disk.
//
// Input: one option byte, then the archive image.
//   bits 0-2  the host path probed (and so the base name of every entry)
//   bit 7     GetFileInfo is called with bit 7 of the flag set
//
// The image is lent in a heap block of exactly its size, so a read outside it
// is an ASan report; every block handed out is freed, so a leak is a
// LeakSanitizer report. Records and content are checked against what the
// image's bytes give by the plain reference decoder, and the listing result
// against the header's validity and whether the index fits the image.
// GetFile is also called from where the host contract does not hold (src
// past the image's end, another magic before src, no magic at the start),
// with the bytes within len of src lent: the result must be that of the
// image the backward search finds, and no read may leave that window.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "fuzz/export_checks.h"
#include "plugin/base_name.h"

using namespace kova;
using namespace kova::fuzz;

namespace {

constexpr unsigned kMemoryInput = FlagOf(kova::kInputMemory, kova::kOutputDiskFile);
constexpr unsigned kMemoryOutput = FlagOf(kova::kInputFile, kova::kOutputMemory);
constexpr unsigned kOutputNotOffered = 0x200;

std::set<uint32_t> Sample(uint32_t count) {
    std::set<uint32_t> sample;
    for (uint32_t i : {0u, 1u, 2u, count / 2, count - 1}) {
        if (i < count) sample.insert(i);
    }
    return sample;
}

Bytes ReadWhole(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::set<std::string> FilesIn(const std::string& directory) {
    std::set<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(directory)) names.insert(item.path().filename());
    return names;
}

// Extraction of entry i from within the image, as the host contract has it:
// exactly the image lent, so any read outside it is an ASan report. Returns
// whether the entry was extracted.
bool CheckExtraction(const ExactCopy& image, const ArchiveBytes& archive, const EntryInfo& record, uint32_t i,
                     bool to_disk) {
    if (!ImageStartReachable(image.bytes.get(), image.size, i)) return false;
    if (record.unpacked_size > kMaxExtractedBytes) return false;
    const char* src = image.chars() + i;
    LONG_PTR len = static_cast<LONG_PTR>(image.size);
    Bytes expected = ExpectedContent(archive, i);

    Extraction to_memory = Extract(src, len, kMemoryInput | kMemoryOutput);
    if (to_memory.result != 0) Fail("memory extraction failed", to_memory.result);
    if (to_memory.content != expected) Fail("extracted content differs from the reference", i);

    Extraction not_offered = Extract(src, len, kMemoryInput | kOutputNotOffered);
    if (not_offered.result != 1 || not_offered.content != expected) Fail("output mode 2: not 1 with the block");
    if (!to_disk) return true;

    // Disk output: the file is the entry's name inside the directory given,
    // and nothing else is left there (the temporary file is renamed).
    const std::string& directory = ScratchDirectory();
    std::string path = directory + "/" + record.filename;
    bool writable = std::strpbrk(record.filename, "/\\") == nullptr;
    std::set<std::string> before = FilesIn(directory);
    int result = GetFile(src, len, const_cast<char*>(directory.c_str()), kMemoryInput, nullptr, 0);
    if (result != (writable ? 0 : 1)) Fail("disk extraction result", result);
    if (writable) {
        if (ReadWhole(path) != expected) Fail("written file differs from the content", i);
        std::remove(path.c_str());
    }
    if (FilesIn(directory) != before) Fail("disk extraction left a file behind", i);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const char* host_path = ProbePath(data[0]);
    unsigned lookup_flag = kMemoryInput | ((data[0] & 0x80) ? 0x80u : 0u);
    ExactCopy image(data + 1, size - 1);
    LONG_PTR len = static_cast<LONG_PTR>(image.size);
    ArchiveBytes archive{image.bytes.get(), image.size, 24};

    ResetBaseName(host_path);
    BaseName base = BaseNameOf(host_path);
    // A host reads 2048 bytes of the file for the probe, zeros past its end;
    // the probe judges the head alone.
    uint8_t head[kProbeHeadSize] = {};
    std::memcpy(head, image.bytes.get(), std::min(image.size, sizeof head));
    int probed = IsSupported(host_path, reinterpret_cast<DWORD_PTR>(head));
    if (probed != (archive.HeadIsValid() ? 1 : 0)) Fail("probe differs from the head's validity", probed);

    if (GetArchiveInfo(image.chars(), len, 2, nullptr) != 1) Fail("input mode 2 is not refused");
    uint32_t count = archive.EntryCount();

    // GetFile from the image start, from its last byte, and from past its
    // end, with room around the image: whatever the bytes, the result is
    // that of the image the search finds and no read goes further than len.
    for (uint64_t i : {uint64_t{0}, uint64_t{count}, uint64_t{image.size} - 1, uint64_t{image.size},
                       uint64_t{image.size} + 5}) {
        CheckWindowedExtraction(image.bytes.get(), image.size, i);
    }

    Listing listing = List(image.chars(), len, kMemoryInput);
    int expected_listing = ExpectedImageListing(archive);
    if (listing.result != expected_listing) Fail("listing result differs from the image's bytes", listing.result);
    if (listing.result != 0) {
        if (LookUp(image.chars(), len, "x_000.BMP", lookup_flag).result != 2) Fail("lookup in a non-archive");
        if (ImageStartReachable(image.bytes.get(), image.size, 0) &&
            Extract(image.chars(), len, kMemoryInput | kMemoryOutput).result != 2) {
            Fail("extraction from a non-archive");
        }
        return 0;
    }
    if (listing.count() != count) Fail("listing has the wrong number of records", listing.count());
    for (uint32_t i = 0; i < count; ++i) CheckListedRecord(listing.record(i), archive, i, base.text);

    char name[64];
    std::snprintf(name, sizeof name, "z_%u.BMP", count);
    if (LookUp(image.chars(), len, name, lookup_flag).result != 3) Fail("lookup one past the last entry");
    if (LookUp(image.chars(), len, "x_1a.BMP", lookup_flag).result != 2) Fail("lookup of a name without index");
    bool round_trip = NamesRoundTrip(host_path);
    bool written_to_disk = false;  // once per input is enough, and files are slow
    for (uint32_t i : Sample(count)) {
        const EntryInfo& record = listing.record(i);
        std::snprintf(name, sizeof name, "dir\\other_%03u.X", i);
        Lookup lookup = LookUp(image.chars(), len, round_trip ? record.filename : name, lookup_flag);
        if (lookup.result != 0 || !SameRecord(lookup.record, record)) Fail("lookup differs from listing", i);
        if (CheckExtraction(image, archive, record, i, !written_to_disk)) written_to_disk = true;
        if (i != 0) CheckWindowedExtraction(image.bytes.get(), image.size, i);
    }
    return 0;
}
