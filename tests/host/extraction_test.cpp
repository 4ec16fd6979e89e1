// Extraction through GetFile: both inputs, both outputs, every failure.
#include <cstring>
#include <filesystem>
#include <fstream>
#ifndef _WIN32
#include <dlfcn.h>
#endif

#include "tests/host/host_support.h"
#include "tests/host/sample_archive.h"

namespace kova::testing {
namespace {

class ExtractionTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        archive_ = SampleArchive();
        path_ = WriteArchive("disk1.DAT", archive_);
        ASSERT_EQ(ProbeByPointer("disk1.DAT", archive_), 1);
    }

    int ExtractToDisk(const std::string& directory, size_t index, char* dest_buffer) {
        std::strcpy(dest_buffer, directory.c_str());
        return Plugin().get_file(path_.c_str(), static_cast<LONG_PTR>(index), dest_buffer,
                                 kFileInput | kDiskOutput, nullptr, 0);
    }

    Bytes archive_;
    std::string path_;
};

TEST_F(ExtractionTest, EveryEntryDecodesAlikeFromFileAndMemory) {
    for (size_t i = 0; i < kSampleCount; ++i) {
        SCOPED_TRACE(i);
        Extraction from_file = ExtractFile(path_, static_cast<LONG_PTR>(i));
        Extraction from_memory = ExtractImage(archive_, i);
        ASSERT_EQ(from_file.result, 0);
        ASSERT_EQ(from_memory.result, 0);
        EXPECT_EQ(from_file.block_size, SampleContent()[i].size());
        EXPECT_EQ(from_file.content, SampleContent()[i]);
        EXPECT_EQ(from_memory.content, SampleContent()[i]);
    }
}

TEST_F(ExtractionTest, EntriesBeyondTheEndOfTheFileReadAsZero) {
    // Cut the file inside the last entry: what is missing reads as zero in
    // both inputs, and both agree.
    Bytes cut(archive_.begin(), archive_.end() - 10);
    std::string path = WriteArchive("cut.DAT", cut);
    size_t last = kSampleCount - 1;
    Extraction from_file = ExtractFile(path, static_cast<LONG_PTR>(last));
    Extraction from_memory = ExtractImage(cut, last);
    ASSERT_EQ(from_file.result, 0);
    ASSERT_EQ(from_memory.result, 0);
    Bytes expected = SampleContent()[last];
    for (size_t k = expected.size() - 10; k < expected.size(); ++k) expected[k] = 0;
    EXPECT_EQ(from_file.content, expected);
    EXPECT_EQ(from_memory.content, expected);
}

TEST_F(ExtractionTest, TheIndexMustNameAnEntry) {
    struct Case {
        LONG_PTR index;
        int result;
    } cases[] = {{0, 0}, {kSampleCount - 1, 0}, {kSampleCount, 3}, {-1, 3}, {0x7FFFFFFF, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        Extraction got = ExtractFile(path_, c.index);
        EXPECT_EQ(got.result, c.result);
        EXPECT_EQ(got.handle != nullptr, c.result == 0);
    }
    EXPECT_EQ(ExtractImage(archive_, kSampleCount).result, 3);
}

TEST_F(ExtractionTest, FailuresReturnTheirCodesAndHandOutNothing) {
    Bytes junk = ToBytes("KOVA but nothing that agrees with itself, at all");
    std::string junk_path = WriteArchive("junk.DAT", junk);
    Bytes offset_file(100, 0);
    Append(offset_file, archive_);
    std::string offset_path = WriteArchive("offset.DAT", offset_file);
    std::string missing = (dir_ / "missing.DAT").string();

    struct Case {
        const char* what;
        const char* src;
        LONG_PTR len;
        unsigned flag;
        int result;
    } cases[] = {
        {"input mode 2", path_.c_str(), 0, 0x102, 1},
        {"missing file", missing.c_str(), 0, kMemoryOutput, 6},
        {"NULL file name", nullptr, 0, kMemoryOutput, 6},
        {"not an archive", junk_path.c_str(), 0, kMemoryOutput, 2},
        {"archive not at the file start", offset_path.c_str(), 0, kMemoryOutput, 2},
        {"image not an archive", reinterpret_cast<const char*>(junk.data()),
         static_cast<LONG_PTR>(junk.size()), 0x101, 2},
        {"image not an archive, odd output mode", reinterpret_cast<const char*>(junk.data()),
         static_cast<LONG_PTR>(junk.size()), 0x701, 2},
        {"NULL image", nullptr, 100, 0x101, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HLOCAL handle = nullptr;
        EXPECT_EQ(Plugin().get_file(c.src, c.len, reinterpret_cast<char*>(&handle), c.flag, nullptr, 0),
                  c.result);
        EXPECT_EQ(handle, nullptr);
    }
    EXPECT_EQ(Plugin().get_file(path_.c_str(), 0, nullptr, kMemoryOutput, nullptr, 0), 1);
}

TEST_F(ExtractionTest, AnImageThatEndsBeforeItsIndexIsNoArchive) {
    // 32 bytes whose header claims 40 entries: no entry pointer into it may
    // send the search for the image start reading past it. (The vector is
    // exactly 32 bytes, so the sanitizer build sees any such read.)
    Bytes image = BuildArchive({});
    PutLe32(image, 16, 40);
    PutLe32(image, 4, 24 + 8 * 40);
    PutLe32(image, 28, 24 + 8 * 40);
    ASSERT_EQ(image.size(), 32u);
    EXPECT_EQ(ListImage(image).result, 2);
    for (size_t at : {0, 1, 27, 31}) EXPECT_EQ(ExtractImage(image, at).result, 2) << at;
}

TEST_F(ExtractionTest, AnUnknownOutputModeStillHandsTheBlockOver) {
    Extraction got = ExtractFile(path_, kCodedWide, 0x200);
    EXPECT_EQ(got.result, 1);
    ASSERT_NE(got.handle, nullptr);
    EXPECT_EQ(got.content, SampleContent()[kCodedWide]);
}

TEST_F(ExtractionTest, DiskOutputWritesIntoTheDestinationDirectory) {
    std::filesystem::path out = dir_ / "out";
    std::filesystem::create_directories(out);
    WriteFileBytes((out / "disk1_001.DAT").string(), Bytes(1000, 0x99));  // replaced, and cut

    char dest[512];
    for (size_t i = 0; i < kSampleCount; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(ExtractToDisk(out.string(), i, dest), 0);
        // Nothing is stored through dest in this mode.
        EXPECT_STREQ(dest, out.string().c_str());
    }
    const char* names[kSampleCount] = {"disk1_000.BMP", "disk1_001.DAT", "disk1_002.WAV",
                                       "disk1_003.MID", "disk1_004.DAT", "disk1_005.DAT"};
    for (size_t i = 0; i < kSampleCount; ++i) {
        EXPECT_EQ(ReadFileBytes((out / names[i]).string()), SampleContent()[i]) << names[i];
    }
    std::string with_separator = (out / "").string();
    ASSERT_EQ(ExtractToDisk(with_separator, kStoredMidi, dest), 0);
    EXPECT_EQ(ReadFileBytes((out / names[kStoredMidi]).string()), SampleContent()[kStoredMidi]);
}

TEST_F(ExtractionTest, DiskOutputThatCannotBeWrittenFails) {
    char dest[512];
    EXPECT_EQ(ExtractToDisk((dir_ / "no" / "such" / "dir").string(), 0, dest), 1);
    // A directory in the way of the output file.
    std::filesystem::create_directories(dir_ / "blocked" / "disk1_000.BMP");
    EXPECT_EQ(ExtractToDisk((dir_ / "blocked").string(), 0, dest), 1);
}

// Memory input finds the image start by looking back from src, and reaches
// exactly the first 1,048,576 entries. Every entry here shares one stored
// entry, so the image is the index and four bytes.
TEST_F(ExtractionTest, MemoryInputReachesTheFirst1048576Entries) {
    constexpr uint32_t kReach = 1u << 20;
    constexpr uint32_t kCount = kReach + 1;
    uint32_t data_offset = 24 + 8 * kCount;
    Bytes image(data_offset, 0);
    std::memcpy(image.data(), "KOVA", 4);
    PutLe32(image, 4, data_offset + 4);
    PutLe32(image, 8, 24);
    PutLe32(image, 12, 4);
    PutLe32(image, 16, kCount);
    for (uint32_t i = 0; i < kCount; ++i) {
        PutLe32(image, 24 + 8 * i, 4);
        PutLe32(image, 28 + 8 * i, data_offset);
    }
    Append(image, ToBytes("BMok"));
    Extraction last = ExtractImage(image, kReach - 1);
    EXPECT_EQ(last.result, 0);
    EXPECT_EQ(last.content, ToBytes("BMok"));
    EXPECT_EQ(ExtractImage(image, kReach).result, 2);
}

// Extraction reads the header and the one record it needs: an index of
// gigabytes (held sparsely by the file) costs it no memory, and only a count
// whose table would not fit in 32 bits is still refused.
TEST_F(ExtractionTest, HugeIndexesAreNotReadToExtractOneEntry) {
#ifndef _WIN32
    if (std::getenv("KOVA_UNDER_VALGRIND") != nullptr) GTEST_SKIP() << "files of gigabytes";
    auto reset_peak = reinterpret_cast<void (*)()>(dlsym(Plugin().library, "KovaResetHeapPeak"));
    struct Case {
        uint32_t count;
        int result;
    } cases[] = {{1u << 27, 0}, {(1u << 29) - 1, 0}, {1u << 29, 5}};
    const Bytes content = ToBytes("the last entry's stored bytes");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        // The header agrees with entry 0's record in wrapping arithmetic; the
        // last record points at content kept inside the (sparse) index.
        uint32_t index_end = 24u + 8u * c.count;
        Bytes head = Concat({ToBytes("KOVA"), Bytes(20, 0), Bytes(8, 0)});
        PutLe32(head, 4, index_end);
        PutLe32(head, 8, 24);
        PutLe32(head, 16, c.count);
        PutLe32(head, 28, index_end);
        std::string path = WriteArchive("huge.DAT", head);
        uint64_t last_record = 24 + 8 * (uint64_t{c.count} - 1);
        std::filesystem::resize_file(path, last_record + 8);
        {
            std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
            file.seekp(4096);
            file.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
            Bytes record(8, 0);
            PutLe32(record, 0, static_cast<uint32_t>(content.size()));
            PutLe32(record, 4, 4096);
            file.seekp(static_cast<std::streamoff>(last_record));
            file.write(reinterpret_cast<const char*>(record.data()), 8);
        }
        if (reset_peak != nullptr) reset_peak();
        Extraction got = ExtractFile(path, static_cast<LONG_PTR>(c.count - 1));
        EXPECT_EQ(got.result, c.result);
        if (c.result == 0) {
            EXPECT_EQ(got.content, content);
        }
        if (HasAccounting()) {
            EXPECT_LE(HeldNow().heap_peak_bytes, 64 << 10);
        }
        std::filesystem::remove(path);
    }
#endif
}

}  // namespace
}  // namespace kova::testing
