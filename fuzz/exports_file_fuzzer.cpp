// The exports with file input, and their agreement with memory input.
//
// Input: one option byte, then the archive's bytes, written to a file.
//   bits 0-2  the host path probed (and so the base name of every entry)
//   bits 3-5  when not 0: the same archive is also written after a prefix
//             of this many bytes (see kOffsets) into a second file and
//             listed there with that offset
//
// Checked: the probe through an open handle and the listing result against
// the header's validity and whether the index fits the file (counted from
// the archive's offset); records against the file's bytes; the shifted copy
// lists and looks up exactly as the plain one; and where memory input must
// see the same archive (index right after the header, at least the 32 bytes
// validation reads) listing, lookup and extraction give identical results
// both ways. Elsewhere memory input is held to its own rules.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "fuzz/export_checks.h"
#include "plugin/base_name.h"

using namespace kova;
using namespace kova::fuzz;

namespace {

constexpr unsigned kFileInput = FlagOf(kova::kInputFile, kova::kOutputDiskFile);
constexpr unsigned kMemoryInput = FlagOf(kova::kInputMemory, kova::kOutputDiskFile);
constexpr unsigned kMemoryOutput = FlagOf(kova::kInputFile, kova::kOutputMemory);
constexpr LONG_PTR kOffsets[8] = {0, 1, 3, 24, 512, 4096, 65537, 7};

void WriteBytes(const std::string& path, const uint8_t* prefix, size_t prefix_size, const uint8_t* data,
                size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) Fail("cannot write the archive file");
    bool ok = std::fwrite(prefix, 1, prefix_size, file) == prefix_size && std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !ok) Fail("cannot write the archive file");
}

std::set<uint32_t> Sample(uint32_t count) {
    std::set<uint32_t> sample;
    for (uint32_t i : {0u, 1u, 2u, count / 2, count - 1}) {
        if (i < count) sample.insert(i);
    }
    return sample;
}

void SameListing(const Listing& a, const Listing& b, const char* what) {
    if (a.result != b.result || a.block != b.block) Fail(what, b.result);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const char* host_path = ProbePath(data[0]);
    LONG_PTR offset = kOffsets[(data[0] >> 3) & 7];
    const uint8_t* bytes = data + 1;
    size_t length = size - 1;

    static const std::string plain = ScratchDirectory() + "/plain.dat";
    static const std::string shifted = ScratchDirectory() + "/shifted.dat";
    static uint8_t prefix[65537];
    if (prefix[0] == 0) {
        // Magic bytes in the prefix must not be taken for the archive's.
        for (size_t k = 0; k < sizeof prefix; ++k) prefix[k] = "KOVA"[k % 4];
    }
    WriteBytes(plain, nullptr, 0, bytes, length);
    if (offset > 0) WriteBytes(shifted, prefix, static_cast<size_t>(offset), bytes, length);

    ResetBaseName(host_path);
    BaseName base = BaseNameOf(host_path);
    uint32_t index_offset = ArchiveBytes{bytes, length, 0}.Le32(8);
    ArchiveBytes archive{bytes, length, index_offset};
    uint32_t count = archive.EntryCount();

    // The probe through a handle the host opened: the head alone decides.
    int handle = open(plain.c_str(), O_RDONLY);
    if (handle < 0) Fail("cannot open the archive file");
    int probed = IsSupported(host_path, static_cast<DWORD_PTR>(handle));
    close(handle);
    if (probed != (archive.HeadIsValid() ? 1 : 0)) Fail("probe by handle differs from the head's validity", probed);

    Listing by_file = List(plain.c_str(), 0, kFileInput);
    if (offset > 0) SameListing(by_file, List(shifted.c_str(), offset, kFileInput), "shifted file lists differently");
    if (by_file.result != ExpectedFileListing(archive)) Fail("file listing result differs from the bytes", by_file.result);
    if (by_file.result == 0) {
        if (by_file.count() != count) Fail("listing has the wrong number of records", by_file.count());
        for (uint32_t i = 0; i < count; ++i) CheckListedRecord(by_file.record(i), archive, i, base.text);
    }

    // Memory input reads the index at byte 24 whatever the header says, and
    // an image shorter than 32 bytes is no archive while a file that short
    // reads zeros past its end: the two must agree only when neither rule
    // tells them apart. Otherwise memory input is judged by its own rules.
    bool agree = length >= 32 && index_offset == 24;
    ExactCopy image(bytes, length);
    LONG_PTR image_length = static_cast<LONG_PTR>(length);
    Listing in_memory = List(image.chars(), image_length, kMemoryInput);
    if (agree) {
        SameListing(by_file, in_memory, "memory lists differently");
    } else {
        ArchiveBytes as_image{bytes, length, 24};
        if (in_memory.result != ExpectedImageListing(as_image)) Fail("memory listing result", in_memory.result);
        for (uint32_t i = 0; in_memory.result == 0 && i < in_memory.count(); ++i) {
            CheckListedRecord(in_memory.record(i), as_image, i, base.text);
        }
    }
    if (by_file.result != 0) {
        if (Extract(plain.c_str(), 0, kFileInput | kMemoryOutput).result != 2) {
            Fail("extraction from a non-archive file");
        }
        return 0;
    }

    char name[64];
    std::snprintf(name, sizeof name, "z_%u.BMP", count);
    if (LookUp(plain.c_str(), 0, name, kFileInput).result != 3) Fail("lookup one past the last entry");
    if (Extract(plain.c_str(), static_cast<LONG_PTR>(count), kFileInput | kMemoryOutput).result != 3) {
        Fail("extraction one past the last entry");
    }
    if (Extract(plain.c_str(), -1, kFileInput | kMemoryOutput).result != 3) Fail("extraction of index -1");

    bool round_trip = NamesRoundTrip(host_path);
    for (uint32_t i : Sample(count)) {
        const EntryInfo& record = by_file.record(i);
        std::snprintf(name, sizeof name, "other_%03u", i);
        const char* wanted = round_trip ? record.filename : name;
        Lookup lookup = LookUp(plain.c_str(), 0, wanted, kFileInput);
        if (lookup.result != 0 || !SameRecord(lookup.record, record)) Fail("file lookup differs from listing", i);
        if (offset > 0) {
            Lookup moved = LookUp(shifted.c_str(), offset, wanted, kFileInput);
            if (moved.result != 0 || !SameRecord(moved.record, record)) Fail("shifted lookup differs", i);
        }
        if (agree) {
            Lookup in_memory = LookUp(image.chars(), image_length, wanted, kMemoryInput);
            if (in_memory.result != 0 || !SameRecord(in_memory.record, record)) Fail("memory lookup differs", i);
        }

        if (record.unpacked_size > kMaxExtractedBytes) continue;
        Extraction from_file = Extract(plain.c_str(), static_cast<LONG_PTR>(i), kFileInput | kMemoryOutput);
        Bytes expected = ExpectedContent(archive, i);
        if (from_file.result != 0) Fail("file extraction result", from_file.result);
        if (from_file.content != expected) Fail("file extraction differs from the reference", i);
        if (agree && ImageStartReachable(image.bytes.get(), length, i)) {
            Extraction from_memory = Extract(image.chars() + i, image_length, kMemoryInput | kMemoryOutput);
            if (from_memory.result != from_file.result || from_memory.content != from_file.content) {
                Fail("memory extraction differs from file extraction", i);
            }
        }
    }
    return 0;
}
