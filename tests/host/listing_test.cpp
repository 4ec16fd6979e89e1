// Listing and lookup through the exports, as a host calls them.
#include <algorithm>
#include <cstring>
#include <functional>

#include "tests/host/host_support.h"
#include "tests/host/sample_archive.h"

namespace kova::testing {
namespace {

class ListingTest : public HostTest {};

TEST_F(ListingTest, FileAndMemoryInputGiveTheSameRecords) {
    Bytes archive = SampleArchive();
    std::string path = WriteArchive("disk1.DAT", archive);
    ASSERT_EQ(ProbeByPointer("C:\\games\\disk1.DAT", archive), 1);

    Listing from_file = ListFile(path);
    Listing from_memory = ListImage(archive);
    ASSERT_EQ(from_file.result, 0);
    ASSERT_EQ(from_memory.result, 0);
    EXPECT_EQ(from_file.block_size, (kSampleCount + 1) * sizeof(EntryInfo));
    EXPECT_TRUE(from_file.closed);
    EXPECT_TRUE(from_memory.closed);
    ASSERT_EQ(from_file.records.size(), kSampleCount);
    ASSERT_EQ(from_memory.records.size(), kSampleCount);

    const char* names[kSampleCount] = {"disk1_000.BMP", "disk1_001.DAT", "disk1_002.WAV",
                                       "disk1_003.MID", "disk1_004.DAT", "disk1_005.DAT"};
    for (size_t i = 0; i < kSampleCount; ++i) {
        SCOPED_TRACE(i);
        const EntryInfo& record = from_file.records[i];
        EXPECT_EQ(std::memcmp(&record, &from_memory.records[i], sizeof record), 0);
        EXPECT_EQ(NameOf(record), names[i]);
        EXPECT_EQ(std::memcmp(record.method, "KOVA\0", 5), 0);
        EXPECT_EQ(record.position, i);
        EXPECT_EQ(record.packed_size, SampleStored()[i].size());
        EXPECT_EQ(record.unpacked_size, SampleContent()[i].size());
        EXPECT_EQ(record.timestamp, 0);
        EXPECT_EQ(record.path[0], '\0');
        EXPECT_EQ(record.crc, 0u);
    }
}

TEST_F(ListingTest, AnEmptyArchiveListsOnlyTheClosingRecord) {
    Bytes archive = BuildArchive({});
    Listing from_file = ListFile(WriteArchive("empty.DAT", archive));
    Listing from_memory = ListImage(archive);
    for (const Listing* listing : {&from_file, &from_memory}) {
        EXPECT_EQ(listing->result, 0);
        EXPECT_EQ(listing->block_size, sizeof(EntryInfo));
        EXPECT_TRUE(listing->closed);
        EXPECT_TRUE(listing->records.empty());
    }
}

TEST_F(ListingTest, NamesFollowTheLastRecognizedProbe) {
    Bytes archive = SampleArchive();
    std::string path = WriteArchive("a.DAT", archive);

    ASSERT_EQ(ProbeByPointer("first.DAT", archive), 1);
    EXPECT_EQ(NameOf(ListFile(path).records.at(0)), "first_000.BMP");
    ASSERT_EQ(ProbeByPointer("second.dat.bak", archive), 1);
    EXPECT_EQ(NameOf(ListFile(path).records.at(0)), "second_000.BMP");
    // A file that is not recognized leaves the name as it was.
    ASSERT_EQ(ProbeByPointer("third.DAT", ToBytes("not an archive")), 0);
    EXPECT_EQ(NameOf(ListImage(archive).records.at(3)), "second_003.MID");
}

TEST_F(ListingTest, AnArchiveInsideALargerFileIsListedAtItsOffset) {
    Bytes archive = SampleArchive();
    Bytes file(512, 0xEE);
    Append(file, archive);
    std::string path = WriteArchive("inside.DAT", file);
    ASSERT_EQ(ProbeByPointer("inside.DAT", archive), 1);

    Listing at_offset = ListFile(path, 512);
    Listing direct = ListImage(archive);
    ASSERT_EQ(at_offset.result, 0);
    ASSERT_EQ(at_offset.records.size(), direct.records.size());
    for (size_t i = 0; i < direct.records.size(); ++i) {
        EXPECT_EQ(std::memcmp(&at_offset.records[i], &direct.records[i], sizeof(EntryInfo)), 0) << i;
    }
    EXPECT_EQ(ListFile(path, 0).result, 2);
    EXPECT_EQ(ListFile(path, -1).result, 2);
}

Bytes WithEntryCount(uint32_t count) {
    // A head that validates with any count: sizes chosen to agree.
    Bytes head = BuildArchive({});
    PutLe32(head, 12, 0);
    PutLe32(head, 16, count);
    PutLe32(head, 4, 24 + 8 * count);
    PutLe32(head, 28, 24 + 8 * count);
    return head;
}

TEST_F(ListingTest, EveryFailureHasItsCodeAndLeavesNoHandle) {
    Bytes archive = SampleArchive();
    std::string good = WriteArchive("good.DAT", archive);
    std::string junk = WriteArchive("junk.DAT", ToBytes("this is not an archive, not at all, no"));
    Bytes huge_list = WithEntryCount(0x1000000);      // list block beyond 32 bits
    Bytes huge_index = WithEntryCount(0x20000000);    // index table beyond 32 bits
    std::string huge_list_path = WriteArchive("huge_list.DAT", huge_list);
    std::string huge_index_path = WriteArchive("huge_index.DAT", huge_index);
    // The same heads in files that do hold their index (sparse, so cheap):
    // only then do the sizes that do not fit 32 bits come into play.
    std::string held_list_path = WriteArchive("held_list.DAT", huge_list);
    std::string held_index_path = WriteArchive("held_index.DAT", huge_index);
    std::filesystem::resize_file(held_list_path, 24 + 8ull * 0x1000000);
    std::filesystem::resize_file(held_index_path, 24 + 8ull * 0x20000000);
    Bytes short_image(archive.begin(), archive.begin() + 31);
    std::string missing = (dir_ / "missing.DAT").string();
    std::string directory = dir_.string();

    struct Case {
        const char* what;
        const char* buf;
        LONG_PTR len;
        unsigned flag;
        int result;
    } cases[] = {
        {"input mode 2", good.c_str(), 0, 2, 1},
        {"input mode 7", good.c_str(), 0, 7, 1},
        {"missing file", missing.c_str(), 0, kFileInput, 6},
        {"directory", directory.c_str(), 0, kFileInput, 6},
        {"NULL file name", nullptr, 0, kFileInput, 6},
        {"not an archive", junk.c_str(), 0, kFileInput, 2},
        {"image not an archive", junk.c_str(), 38, kMemoryInput, 2},
        {"image shorter than a header", reinterpret_cast<const char*>(short_image.data()), 31, kMemoryInput, 2},
        {"NULL image", nullptr, 100, kMemoryInput, 2},
        {"index past the file's end", huge_list_path.c_str(), 0, kFileInput, 2},
        {"index past the image's end", reinterpret_cast<const char*>(huge_list.data()),
         static_cast<LONG_PTR>(huge_list.size()), kMemoryInput, 2},
        {"index wrapping 32 bits, past the file's end", huge_index_path.c_str(), 0, kFileInput, 2},
        {"list block too large", held_list_path.c_str(), 0, kFileInput, 4},
        {"index table too large", held_index_path.c_str(), 0, kFileInput, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Listing listing = List(c.buf, c.len, c.flag);
        EXPECT_EQ(listing.result, c.result);
        EXPECT_EQ(listing.handle_after, nullptr);
    }
    EXPECT_EQ(Plugin().get_archive_info(good.c_str(), 0, kFileInput, nullptr), 1);
}

TEST_F(ListingTest, LookupByNameFindsTheListedRecord) {
    Bytes archive = SampleArchive();
    std::string path = WriteArchive("disk1.DAT", archive);
    ASSERT_EQ(ProbeByPointer("disk1.DAT", archive), 1);
    Listing listing = ListFile(path);
    ASSERT_EQ(listing.records.size(), kSampleCount);

    // Only the digits matter: base name and extension are not compared.
    const char* names[] = {"disk1_002.WAV", "other_2.BMP", "dir\\2", "C:\\x\\save_002.DAT"};
    for (const char* name : names) {
        for (unsigned mode : {kFileInput, kMemoryInput}) {
            SCOPED_TRACE(std::string(name) + (mode ? " memory" : " file"));
            EntryInfo record;
            std::memset(&record, 0xAB, sizeof record);
            const char* buf = mode ? reinterpret_cast<const char*>(archive.data()) : path.c_str();
            LONG_PTR len = mode ? static_cast<LONG_PTR>(archive.size()) : 0;
            ASSERT_EQ(Plugin().get_file_info(buf, len, name, mode | 0x80, &record), 0);
            EXPECT_EQ(NameOf(record), "disk1_002.WAV");
            EXPECT_EQ(record.position, 2u);
            EXPECT_EQ(record.unpacked_size, listing.records[2].unpacked_size);
            // Bytes the record's filler does not own keep the caller's values.
            EXPECT_EQ(record.method[5], 0xAB);
            EXPECT_EQ(record.method[7], 0xAB);
            EXPECT_EQ(static_cast<uint8_t>(record.path[1]), 0xAB);
            EXPECT_EQ(static_cast<uint8_t>(record.path[199]), 0xAB);
        }
    }
}

TEST_F(ListingTest, LookupFailuresLeaveTheCallersRecordAlone) {
    Bytes archive = SampleArchive();
    std::string path = WriteArchive("disk1.DAT", archive);
    std::string junk = WriteArchive("junk.DAT", Bytes(64, 0x11));
    std::string missing = (dir_ / "missing.DAT").string();
    struct Case {
        const char* what;
        const char* buf;
        const char* name;
        unsigned flag;
        int result;
    } cases[] = {
        {"one past the last", path.c_str(), "x_006.DAT", kFileInput, 3},
        {"wrapped negative", path.c_str(), "x_4294967294.DAT", kFileInput, 3},
        {"letter in the number", path.c_str(), "x_1a.BMP", kFileInput, 2},
        {"wraps to -1", path.c_str(), "x_4294967295.BMP", kFileInput, 2},
        {"bad archive before bad name", junk.c_str(), "x_1a.BMP", kFileInput, 2},
        {"bad archive before range", junk.c_str(), "x_999.BMP", kFileInput, 2},
        {"missing file", missing.c_str(), "x_000.BMP", kFileInput, 6},
        {"input mode 3", path.c_str(), "x_000.BMP", 3, 1},
        {"image, one past the last", reinterpret_cast<const char*>(archive.data()), "x_006.DAT",
         kMemoryInput, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EntryInfo record;
        std::memset(&record, 0xCD, sizeof record);
        EntryInfo before = record;
        LONG_PTR len = (c.flag & 7) == kMemoryInput ? static_cast<LONG_PTR>(archive.size()) : 0;
        EXPECT_EQ(Plugin().get_file_info(c.buf, len, c.name, c.flag, &record), c.result);
        EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
    }
    EXPECT_EQ(Plugin().get_file_info(path.c_str(), 0, "x_000.BMP", kFileInput, nullptr), 1);
}

// Heads of entries that lie in order are fetched in large reads; whatever the
// layout, a file's listing is byte for byte the listing of the same bytes in
// memory, which reads each head where it lies.
TEST_F(ListingTest, HeadsReadInLargeReadsListAsReadOneByOne) {
    constexpr uint32_t kCount = 3000;
    std::vector<Bytes> entries;
    for (uint32_t i = 0; i < kCount; ++i) {
        // Coded and stored heads alike, of sizes around the head's 64 bytes,
        // and now and then an empty entry or one long enough to leave a gap
        // wider than a read takes in.
        size_t size = i % 97 == 0 ? 0 : i % 211 == 0 ? 20000 : 20 + (i * 37) % 150;
        Bytes entry(size);
        for (size_t k = 0; k < size; ++k) entry[k] = static_cast<uint8_t>(i * 7 + k * 13);
        if (size > 5) entry[0] = static_cast<uint8_t>(1 + i % 2);
        entries.push_back(entry);
    }
    const Bytes built = BuildArchive(entries);
    auto offset_of = [](const Bytes& archive, uint32_t i) { return GetLe32(archive, 24 + 8 * i + 4); };
    auto place = [](Bytes& archive, uint32_t i, uint32_t offset) { PutLe32(archive, 24 + 8 * i + 4, offset); };
    struct Layout {
        const char* what;
        std::function<void(Bytes&)> change;
    } layouts[] = {
        {"in order", [](Bytes&) {}},
        {"reversed", [](Bytes& a) {
             for (uint32_t i = 1, j = kCount - 1; i < j; ++i, --j) {
                 std::swap_ranges(a.begin() + 24 + 8 * i, a.begin() + 32 + 8 * i, a.begin() + 24 + 8 * j);
             }
         }},
        {"overlapping", [&](Bytes& a) {
             for (uint32_t i = 2; i < kCount; i += 3) place(a, i, offset_of(a, i - 1) + 5);
         }},
        {"some far back", [&](Bytes& a) {
             for (uint32_t i = 50; i < kCount; i += 50) place(a, i, offset_of(a, i / 2));
         }},
        {"past the end", [&](Bytes& a) {
             for (uint32_t i = 100; i < kCount; i += 100) place(a, i, static_cast<uint32_t>(a.size()) - 30 + i % 60);
             a.resize(a.size() - 3000);  // the last entries cut off, one head cut through
         }},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.what);
        Bytes archive = built;
        layout.change(archive);
        std::string path = WriteArchive("layout.DAT", archive);
        ASSERT_EQ(ProbeByPointer(path, archive), 1);
        Listing from_file = ListFile(path);
        Listing from_memory = ListImage(archive);
        ASSERT_EQ(from_file.result, 0);
        ASSERT_EQ(from_memory.result, 0);
        ASSERT_EQ(from_file.records.size(), kCount);
        ASSERT_EQ(from_memory.records.size(), kCount);
        for (uint32_t i = 0; i < kCount; ++i) {
            ASSERT_EQ(std::memcmp(&from_file.records[i], &from_memory.records[i], sizeof(EntryInfo)), 0) << i;
        }
    }
}

}  // namespace
}  // namespace kova::testing
