// Viewer parity: for every archive below, and for copies of it cut short
// and placed inside a larger file, the exports of the plug-in loaded as a
// host loads it list and extract exactly what the library reads, in both
// families and both input modes (tests/support/reader_parity.h compares;
// the cases where the interface gives the exports another answer are named
// there, parity::Excuse, each with why). The table must reach every one of
// those cases, so that none is kept as an excuse for nothing.
#include <algorithm>
#include <filesystem>

#include "tests/host/host_support.h"
#include "tests/host/sample_archive.h"
#include "tests/support/entry_encoder.h"
#include "tests/support/reader_parity.h"
#include "tests/support/workload.h"

namespace kova::testing {
namespace {

struct Archive {
    std::string what;
    Bytes bytes;
    uint64_t file_size = 0;  // a file longer than `bytes`, zeros after them: file input only
};

void SetEntry(Bytes& archive, uint32_t index, uint32_t stored_size, uint32_t data_offset) {
    PutLe32(archive, 24 + 8 * index, stored_size);
    PutLe32(archive, 28 + 8 * index, data_offset);
}

// A header that validates for `count` entries indexed at `index_offset`,
// the sizes agreeing in the wrapping sums validation makes.
Bytes ConsistentHead(uint32_t index_offset, uint32_t count, uint32_t data_size) {
    Bytes head = ToBytes("KOVA");
    uint32_t index_end = index_offset + 8 * count;
    PutLe32(head, 4, data_size + index_end);
    PutLe32(head, 8, index_offset);
    PutLe32(head, 12, data_size);
    PutLe32(head, 16, count);
    PutLe32(head, 28, index_end);
    return head;
}

// The entries first, then the index: right after them, or at `index_offset`
// when that lies further.
Bytes IndexAfterData(const std::vector<Bytes>& entries, uint32_t index_offset) {
    Bytes data;
    Bytes index;
    for (const Bytes& entry : entries) {
        PutLe32(index, index.size(), static_cast<uint32_t>(entry.size()));
        PutLe32(index, index.size(), static_cast<uint32_t>(32 + data.size()));
        Append(data, entry);
    }
    index_offset = std::max(index_offset, static_cast<uint32_t>(32 + data.size()));
    Bytes archive = ConsistentHead(index_offset, static_cast<uint32_t>(entries.size()),
                                   static_cast<uint32_t>(index_offset - 24));
    Append(archive, data);
    archive.resize(index_offset, 0);
    Append(archive, index);
    return archive;
}

std::vector<Archive> Archives() {
    Bytes bitmap = workload::SampleBitmap(40, 12, 1);
    Bytes wave = workload::SampleWave(300, 2);
    Bytes midi = workload::SampleMidi(3);
    Bytes text = ToBytes("plain data, plain data, plain data");
    Bytes runs = Concat({Bytes(300, 'a'), Bytes(40, 0), ToBytes("xyxyxyxy")});
    std::vector<Bytes> coded = {EncodeEntry(1, bitmap), EncodeEntry(2, wave), midi, EncodeEntry(0x82, midi),
                                EncodeEntry(1, runs), text, {}};
    Bytes three = BuildArchive({text, EncodeEntry(1, runs), midi});

    auto placed = [&](uint32_t index, uint32_t stored_size, uint32_t data_offset) {
        Bytes archive = three;
        SetEntry(archive, index, stored_size, data_offset);
        return archive;
    };
    Bytes list_past = ConsistentHead(24, UINT32_MAX / sizeof(EntryInfo), 0);
    PutLe32(list_past, 24, 4);
    Bytes index_far = IndexAfterData({text, midi}, 4000);
    return {
        {"examples/sample.DAT", ReadFileBytes(KOVA_SAMPLE_ARCHIVE)},
        {"the host tests' sample", SampleArchive()},
        {"coded and stored entries", BuildArchive(coded)},
        {"an empty archive", BuildArchive({})},
        {"not an archive", ToBytes("this is not an archive, not at all, no")},
        {"an archive inside an entry", BuildArchive({BuildArchive({text, midi}), text})},
        {"an entry far past the end", placed(1, 10, 0x7FFFFFF0)},
        {"an entry ending past the end", placed(2, 1000, GetLe32(three, 44))},
        {"offset plus size wraps 32 bits", placed(1, 0x20, 0xFFFFFFF0)},
        {"two entries share their bytes", placed(1, GetLe32(three, 24), GetLe32(three, 28))},
        {"an entry that is the header and index", placed(0, 48, 0)},
        {"entries that overlap", placed(1, GetLe32(three, 32) + 20, GetLe32(three, 28) + 3)},
        {"empty entries, one far away", placed(0, 0, 0xFFFFFFFF)},
        {"a coded entry declaring 4 GiB", BuildArchive({CodedEntry(1, 0xFFFFFFF0, {0x7F, 0xFF, 0xFF, 'z', 0})})},
        {"a coded entry declaring more than it can give", BuildArchive({CodedEntry(1, 200000, {3, 'a', 'b', 'c', 0})})},
        {"a coded entry declaring 0", BuildArchive({CodedEntry(0x81, 0, {0x41, 'q', 0}), text})},
        {"a coded head cut to two bytes", BuildArchive({{1, 0x10}, {2}})},
        {"a back copy from before the output", BuildArchive({CodedEntry(1, 16, {0xC0, 0x00, 0x41, 0x00})})},
        {"a long run without its value", BuildArchive({CodedEntry(1, 64, {0x7F, 0x40, 0x00})})},
        {"the index after the data", IndexAfterData({text, EncodeEntry(2, wave), bitmap}, 0)},
        {"the index far after the data", index_far},
        {"the index past the end", Bytes(index_far.begin(), index_far.begin() + 3000)},
        {"9,586,979 entries in 32 bytes", ConsistentHead(24, 9586979, 0)},
        {"a list block past 32 bits, its index held", list_past, 24 + 8ull * (UINT32_MAX / sizeof(EntryInfo))},
        {"an index table past 32 bits, held", ConsistentHead(24, 0x20000000, 0), 24 + 8ull * 0x20000000},
    };
}

// Where the archive starts in its file, and how much of it the file holds.
struct Copy {
    std::string what;
    size_t offset;
    size_t length;
};

std::vector<Copy> CopiesOf(const Archive& archive) {
    size_t size = archive.bytes.size();
    std::vector<Copy> copies = {{"whole", 0, size}};
    if (archive.file_size != 0) return copies;
    copies.push_back({"at offset 512", 512, size});
    copies.push_back({"at offset 3", 3, size});
    for (size_t length : {size_t{3}, size_t{31}, size_t{32}, size_t{40}, size / 2, size - 1}) {
        if (length < size && length != 0) copies.push_back({"cut to " + std::to_string(length), 0, length});
    }
    return copies;
}

// Base names of every shape a host's path gives: plain, with dots and
// characters beyond ASCII, over 31 bytes with a character across the cut.
const char* const kNamingPaths[] = {
    "C:\\games\\disk1.DAT",
    "/saves/\xC3\xA9t\xC3\xA9.dat.bak",
    "0123456789abcdefghijklmnopqrstu\xE6\x97\xA5.DAT",
};

class ReaderParityTest : public HostTest {};

TEST_F(ReaderParityTest, ExportsListAndExtractWhatTheLibraryReads) {
    parity::Report report;
    size_t cases = 0;
    for (const Archive& archive : Archives()) {
        for (const Copy& copy : CopiesOf(archive)) {
            SCOPED_TRACE(archive.what + ", " + copy.what);
            // The prefix is all magic, so that a search for the start that
            // went past the archive's own would find another.
            Bytes file(copy.offset, 0);
            for (size_t k = 0; k < copy.offset; ++k) file[k] = static_cast<uint8_t>(kMagic[k % 4]);
            Append(file, Bytes(archive.bytes.begin(), archive.bytes.begin() + copy.length));
            parity::Input input;
            input.file = WriteArchive("parity.DAT", file);
            if (archive.file_size != 0) std::filesystem::resize_file(input.file, archive.file_size);
            input.offset = static_cast<int64_t>(copy.offset);
            if (archive.file_size == 0) {
                input.image = file.data() + copy.offset;
                input.image_size = copy.length;
            }
            input.naming_path = kNamingPaths[cases++ % std::size(kNamingPaths)];
            parity::Compare(Plugin(), input, report);
            for (const std::string& difference : report.differences) ADD_FAILURE() << difference;
            report.differences.clear();
        }
    }
    for (size_t k = 0; k < parity::kExcuseCount; ++k) {
        EXPECT_GT(report.excused[k], 0u) << parity::kExcuseNames[k] << ": no input reaches it";
    }
}

}  // namespace
}  // namespace kova::testing
