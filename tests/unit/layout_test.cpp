// ValidateHeader, the header and index writers, and OpenArchiveFile.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include <string>

#include "format/layout.h"
#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "tests/unit/unit_support.h"

namespace kova::testing {
namespace {

// The first 32 bytes of a candidate archive, field by field.
Bytes Head(uint32_t archive_size, uint32_t index_offset, uint32_t data_size, uint32_t count,
           uint32_t reserved, uint32_t word28, const char* magic = "KOVA") {
    Bytes head(magic, magic + 4);
    PutLe32(head, 4, archive_size);
    PutLe32(head, 8, index_offset);
    PutLe32(head, 12, data_size);
    PutLe32(head, 16, count);
    PutLe32(head, 20, reserved);
    PutLe32(head, 24, 30);
    PutLe32(head, 28, word28);
    return head;
}

Bytes Cut(Bytes bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

struct HeadCase {
    const char* name;
    Bytes head;
    bool recognized;
};

void PrintTo(const HeadCase& c, std::ostream* os) { *os << c.name; }

class ValidateHeaderTest : public ::testing::TestWithParam<HeadCase> {};

TEST_P(ValidateHeaderTest, Judges) {
    EXPECT_EQ(ValidateHeader(View(GetParam().head)), GetParam().recognized);
}

INSTANTIATE_TEST_SUITE_P(
    Layout, ValidateHeaderTest,
    ::testing::Values(
        HeadCase{"WorkedExample", Head(148, 24, 100, 3, 0, 48), true},
        HeadCase{"Byte20AllOnes", Head(148, 24, 100, 3, 0xFFFFFFFF, 48), true},
        HeadCase{"Byte20Text", Head(148, 24, 100, 3, 0x41424344, 48), true},
        HeadCase{"ArchiveSizeOneMore", Head(149, 24, 100, 3, 0, 48), false},
        HeadCase{"ArchiveSizeOneLess", Head(147, 24, 100, 3, 0, 48), false},
        HeadCase{"Word28Differs", Head(148, 24, 100, 3, 0, 49), false},
        HeadCase{"Word28IsIndexOffset", Head(148, 24, 100, 3, 0, 24), false},
        HeadCase{"MagicWrong", Head(148, 24, 100, 3, 0, 48, "KOVB"), false},
        HeadCase{"MagicLowerCase", Head(148, 24, 100, 3, 0, 48, "kova"), false},
        HeadCase{"NoEntriesWord28IsIndexOffset", Head(124, 24, 100, 0, 0, 24), true},
        HeadCase{"NoEntriesWord28Past", Head(124, 24, 100, 0, 0, 32), false},
        HeadCase{"IndexElsewhere", Head(1116, 1000, 100, 2, 0, 1016), true},
        // Unsigned 32-bit arithmetic that wraps: a wrapped sum still matches.
        HeadCase{"IndexEndWraps", Head(0x110, 0xFFFFFFF0, 0x100, 4, 0, 0x10), true},
        HeadCase{"ArchiveSizeWraps", Head(23, 24, 0xFFFFFFFF, 0, 0, 24), true},
        HeadCase{"EntryCountTimesEightWraps", Head(124, 24, 100, 0x20000000, 0, 24), true},
        // Only the first 32 bytes are read, and a shorter head is never one,
        // even when its missing bytes would have been zeros.
        HeadCase{"Exactly32", Head(124, 24, 100, 0, 0, 24), true},
        HeadCase{"TrailingBytesIgnored", Concat({Head(124, 24, 100, 0, 0, 24), Bytes(2016, 0xAB)}),
                 true},
        HeadCase{"Short31", Cut(Head(124, 24, 100, 0, 0, 24), 31), false},
        HeadCase{"Short24", Cut(Head(124, 24, 100, 0, 0, 24), 24), false},
        HeadCase{"MagicOnly", ToBytes("KOVA"), false},
        HeadCase{"Empty", Bytes{}, false}));

TEST(Layout, BuilderArchivesAreRecognized) {
    EXPECT_TRUE(ValidateHeader(View(BuildArchive({}))));
    EXPECT_TRUE(ValidateHeader(View(BuildArchive({ToBytes("BM"), Bytes(100, 7)}, 0xDEADBEEF))));
}

// What the writers put down reads back field for field, and validates when
// the fields agree; neither writes past its span.
TEST(Layout, WrittenHeaderAndIndexReadBack) {
    const ArchiveHeader header{24 + 16 + 7, 24, 7, 2, 0xDEADBEEF};
    Bytes archive(24 + 16 + 7, 0);
    WriteHeader(MutableByteSpan(archive.data(), archive.size()), header);
    MutableByteSpan table(archive.data() + 24, 16);
    WriteIndexEntry(table, 0, IndexEntry{3, 40});
    WriteIndexEntry(table, 1, IndexEntry{4, 43});
    WriteIndexEntry(table, 2, IndexEntry{9, 9});  // beyond the table: nothing
    EXPECT_TRUE(ValidateHeader(View(archive)));
    Bytes expected = Concat({Head(47, 24, 7, 2, 0xDEADBEEF, 40), {4, 0, 0, 0, 43, 0, 0, 0}, Bytes(7, 0)});
    PutLe32(expected, 24, 3);
    EXPECT_EQ(archive, expected);
    ArchiveHeader read = ReadHeader(View(archive));
    EXPECT_EQ(read.archive_size, 47u);
    EXPECT_EQ(read.reserved, 0xDEADBEEFu);
    EXPECT_EQ(ReadIndexEntry(View(archive).subspan(24), 1).data_offset, 43u);
    // A record cut off by the table's end keeps the bytes that are there.
    IndexEntry cut = ReadIndexEntry(View(archive).subspan(24, 14), 1);
    EXPECT_EQ(cut.stored_size, 4u);
    EXPECT_EQ(cut.data_offset, 43u);

    Bytes small(10, 0x55);
    WriteHeader(MutableByteSpan(small.data(), 6), header);
    EXPECT_EQ(small, Concat({ToBytes("KOVA"), {47, 0}, Bytes(4, 0x55)}));
}

class OpenArchiveTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const Bytes& bytes) {
        std::string path = dir_.File(name);
        WriteFileBytes(path, bytes);
        return path;
    }
    ScratchDir dir_;
};

TEST_F(OpenArchiveTest, ReadsHeaderAndIndexAtAnyOffset) {
    Bytes archive = BuildArchive({Bytes(30, 1), Bytes(30, 2), Bytes(40, 3)});
    for (int64_t offset : {0, 1, 512, 70000}) {
        SCOPED_TRACE(offset);
        std::string path = Write("a.DAT", Concat({Bytes(static_cast<size_t>(offset), 0x5A), archive}));
        ArchiveReader opened;
        ASSERT_EQ(OpenArchiveFile(path.c_str(), offset, opened), ArchiveStatus::kOk);
        EXPECT_TRUE(opened.file.IsOpen());
        EXPECT_EQ(opened.archive_offset, offset);
        EXPECT_EQ(opened.entry_count, 3u);
        EXPECT_EQ(opened.index_offset, 24u);
        const uint32_t expected[3][2] = {{30, 48}, {30, 78}, {40, 108}};
        for (uint32_t i = 0; i < 3; ++i) {
            EXPECT_EQ(opened.Entry(i).stored_size, expected[i][0]);
            EXPECT_EQ(opened.Entry(i).data_offset, expected[i][1]);
        }
        EXPECT_EQ(opened.archive_offset + opened.Entry(1).data_offset, offset + 78);
        if (offset != 0) {
            ArchiveReader at_zero;
            EXPECT_EQ(OpenArchiveFile(path.c_str(), 0, at_zero), ArchiveStatus::kNotArchive);
            EXPECT_FALSE(at_zero.file.IsOpen());
        }
    }
}

TEST_F(OpenArchiveTest, IndexIsReadAtOffsetPlusIndexOffset) {
    // Index at 40, two records; bytes 24-39 are filler whose u32 at 28 is the
    // index end, as validation wants. A reader that took the index from 24
    // would see the filler.
    Bytes archive = Head(56 + 10, 40, 10, 2, 0, 56);
    archive.resize(40, 0x77);
    PutLe32(archive, 40, 4);
    PutLe32(archive, 44, 56);
    PutLe32(archive, 48, 6);
    PutLe32(archive, 52, 60);
    archive.resize(66, 0x11);
    std::string path = Write("b.DAT", Concat({Bytes(100, 0), archive}));
    ArchiveReader opened;
    ASSERT_EQ(OpenArchiveFile(path.c_str(), 100, opened), ArchiveStatus::kOk);
    EXPECT_EQ(opened.index_offset, 40u);
    ASSERT_EQ(opened.entry_count, 2u);
    EXPECT_EQ(opened.Entry(0).stored_size, 4u);
    EXPECT_EQ(opened.Entry(0).data_offset, 56u);
    EXPECT_EQ(opened.Entry(1).stored_size, 6u);
    EXPECT_EQ(opened.Entry(1).data_offset, 60u);
}

TEST_F(OpenArchiveTest, Failures) {
    ArchiveReader opened;
    EXPECT_EQ(OpenArchiveFile(dir_.File("missing.DAT").c_str(), 0, opened), ArchiveStatus::kCannotOpenFile);
    EXPECT_EQ(OpenArchiveFile(dir_.Path().c_str(), 0, opened), ArchiveStatus::kCannotOpenFile);  // a directory
    EXPECT_EQ(OpenArchiveFile("", 0, opened), ArchiveStatus::kCannotOpenFile);
    EXPECT_EQ(OpenArchiveFile(static_cast<const char*>(nullptr), 0, opened), ArchiveStatus::kCannotOpenFile);
    EXPECT_EQ(OpenArchiveFile(Write("junk", Bytes(4096, 0x42)).c_str(), 0, opened), ArchiveStatus::kNotArchive);
    EXPECT_EQ(OpenArchiveFile(Write("empty", {}).c_str(), 0, opened), ArchiveStatus::kNotArchive);
    Bytes off_by_one = BuildArchive({Bytes(5, 1)});
    PutLe32(off_by_one, 4, GetLe32(off_by_one, 4) + 1);
    EXPECT_EQ(OpenArchiveFile(Write("off", off_by_one).c_str(), 0, opened), ArchiveStatus::kNotArchive);
    // Past the end of the file.
    EXPECT_EQ(OpenArchiveFile(Write("c.DAT", BuildArchive({})).c_str(), 1000, opened), ArchiveStatus::kNotArchive);
    EXPECT_FALSE(opened.file.IsOpen());
}

// A head that validates only because 8 * entry_count wrapped past
// 32 bits: its index cannot fit a small file (2); in a file large enough
// to hold it the table still cannot be sized in 32 bits (5). Nothing read.
TEST_F(OpenArchiveTest, EntryCountWhoseTableWrapsIsRefused) {
    struct Case {
        uint32_t count, word28;
    };
    for (Case c : {Case{0x20000000, 24}, Case{0x20000001, 32}, Case{0xFFFFFFFF, 16}}) {
        SCOPED_TRACE(c.count);
        Bytes head = Head(100 + c.word28, 24, 100, c.count, 0, c.word28);
        ASSERT_TRUE(ValidateHeader(View(head)));
        ArchiveReader opened;
        std::string path = Write("w.DAT", head);
        EXPECT_EQ(OpenArchiveFile(path.c_str(), 0, opened), ArchiveStatus::kNotArchive);
        std::filesystem::resize_file(path, 24 + 8ull * c.count);  // sparse
        EXPECT_EQ(OpenArchiveFile(path.c_str(), 0, opened), ArchiveStatus::kNoMemory);
        EXPECT_FALSE(opened.file.IsOpen());
    }
}

// Bytes past the end of the file read as zero, in the header copy
// as in the index table.
TEST_F(OpenArchiveTest, ShortFileReadsAsZeros) {
    // An empty archive whose u32 at 28 is 24 = 18 00 00 00: cut after byte 28
    // the missing bytes are the zeros it needs.
    Bytes empty = BuildArchive({});
    ArchiveReader opened;
    ASSERT_EQ(OpenArchiveFile(Write("e.DAT", Cut(empty, 29)).c_str(), 0, opened), ArchiveStatus::kOk);
    EXPECT_EQ(opened.entry_count, 0u);

    // Three entries, the file cut inside record 1: the index does not fit,
    // so this is no archive; cut inside the data, it opens whole.
    Bytes three = BuildArchive({Bytes(30, 1), Bytes(30, 2), Bytes(40, 3)});
    EXPECT_EQ(OpenArchiveFile(Write("t.DAT", Cut(three, 36)).c_str(), 0, opened), ArchiveStatus::kNotArchive);
    ASSERT_EQ(OpenArchiveFile(Write("d.DAT", Cut(three, 49)).c_str(), 0, opened), ArchiveStatus::kOk);
    ASSERT_EQ(opened.entry_count, 3u);
    EXPECT_EQ(opened.Entry(2).stored_size, 40u);
    EXPECT_EQ(opened.Entry(2).data_offset, 108u);
    EXPECT_EQ(opened.archive_bytes, 49u);
}

// Reads say how much they got, from a file and from an image alike, and
// leave what they did not get as it was.
TEST_F(OpenArchiveTest, ReadsReportWhatTheyGot) {
    Bytes archive = BuildArchive({ToBytes("abcdef"), ToBytes("ghij")});  // data at 40
    Bytes cut = Cut(archive, 43);
    ArchiveReader from_file;
    ASSERT_EQ(OpenArchiveFile(Write("r.DAT", Concat({Bytes(5, 0), cut})).c_str(), 5, from_file), ArchiveStatus::kOk);
    ArchiveReader from_image;
    ASSERT_EQ(OpenArchiveImage(cut.data(), static_cast<int64_t>(cut.size()), from_image), ArchiveStatus::kOk);
    for (ArchiveReader* reader : {&from_file, &from_image}) {
        uint8_t buffer[8];
        std::memset(buffer, 0x77, sizeof buffer);
        EXPECT_EQ(reader->ReadBytes(40, buffer, sizeof buffer), 3u);
        EXPECT_EQ(Bytes(buffer, buffer + 4), Concat({ToBytes("abc"), {0x77}}));
        EXPECT_EQ(reader->ReadBytes(1000, buffer, sizeof buffer), 0u);
        uint8_t head[kEntryHeadSize];
        size_t got = 99;
        EXPECT_EQ(reader->ReadHead(reader->Entry(1), head, &got).size(), 4u);
        EXPECT_EQ(got, 0u);
        EXPECT_EQ(reader->BytesHeldOf(reader->Entry(0)), 3u);
    }
}

// Reads through the read-ahead window get what direct reads get: across the
// window's edges, backwards, at the file's end and past it, and reads too
// large for the window.
TEST_F(OpenArchiveTest, ReadAheadReadsWhatDirectReadsRead) {
    Bytes content(300);
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i * 7 + 1);
    std::string path = Write("ahead.DAT", Concat({Bytes(3, 0), BuildArchive({content})}));
    ArchiveReader direct, ahead;
    ASSERT_EQ(OpenArchiveFile(path.c_str(), 3, direct), ArchiveStatus::kOk);
    ASSERT_EQ(OpenArchiveFile(path.c_str(), 3, ahead), ArchiveStatus::kOk);
    ahead.read_ahead = 64;
    const uint64_t end = direct.archive_bytes;
    const std::pair<uint64_t, size_t> reads[] = {{0, 8},  {60, 8},       {30, 32},      {100, 33}, {90, 10},
                                                 {5, 1},  {end - 5, 10}, {end, 4},      {end + 50, 4},
                                                 {40, 0}, {10, 200},     {end - 20, 20}};
    for (const auto& [offset, size] : reads) {
        SCOPED_TRACE(offset);
        Bytes want(size + 1, 0x77), got(size + 1, 0x77);
        EXPECT_EQ(ahead.ReadBytes(offset, got.data(), size), direct.ReadBytes(offset, want.data(), size));
        EXPECT_EQ(got, want);
    }
}

// Working memory starts aligned and zeroed at every size: the kernel fills
// a misaligned buffer several times slower, and the heap's large blocks
// start 16 bytes into a line.
TEST(HeapBufferTest, StartsAlignedAndZeroed) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{100}, size_t{4096}, size_t{300000}, size_t{3} << 20}) {
        SCOPED_TRACE(size);
        HeapBuffer buffer;
        ASSERT_TRUE(buffer.Allocate(size));
        EXPECT_EQ(buffer.size, size);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.data) % kHeapBufferAlignment, 0u);
        for (size_t i = 0; i < size; i += 4093) {
            ASSERT_EQ(buffer.data[i], 0) << i;
        }
        if (size != 0) {
            EXPECT_EQ(buffer.data[size - 1], 0);
        }
    }
}

// A head the file holds only part of reads as zeros past the file's end,
// whatever an earlier fetch left in the head window.
TEST_F(OpenArchiveTest, CutHeadReadsZerosPastTheEnd) {
    Bytes coded(64, 0);
    coded[0] = 0x01;
    coded[1] = 0x10;
    Bytes archive = BuildArchive({Bytes(64, 0xEE), Bytes(300000, 0), coded});
    ArchiveReader whole;
    ASSERT_EQ(OpenArchiveImage(archive.data(), static_cast<int64_t>(archive.size()), whole), ArchiveStatus::kOk);
    const uint32_t last = whole.Entry(2).data_offset;
    std::string path = Write("cut-head.DAT", Cut(archive, last + 2));
    ArchiveReader reader;
    ASSERT_EQ(OpenArchiveFile(path.c_str(), 0, reader), ArchiveStatus::kOk);
    HeadReader heads(reader);
    uint8_t head[kEntryHeadSize];
    for (uint32_t i = 0; i < 3; ++i) heads.Head(i, reader.Entry(i), head);
    EXPECT_EQ(heads.reads, 2u) << "the far head is a fetch of its own";
    EXPECT_EQ(Bytes(head, head + 8), Bytes({0x01, 0x10, 0, 0, 0, 0, 0, 0}));
}

TEST_F(OpenArchiveTest, ReopeningReleasesThePreviousArchive) {
    std::string good = Write("g.DAT", BuildArchive({Bytes(3, 9)}));
    ArchiveReader opened;
    ASSERT_EQ(OpenArchiveFile(good.c_str(), 0, opened), ArchiveStatus::kOk);
    EXPECT_EQ(OpenArchiveFile(dir_.File("missing").c_str(), 0, opened), ArchiveStatus::kCannotOpenFile);
    EXPECT_FALSE(opened.file.IsOpen());
    EXPECT_EQ(opened.index_table.data, nullptr);
    EXPECT_TRUE(opened.index.empty());
    EXPECT_EQ(opened.header_copy.data, nullptr);
}

}  // namespace
}  // namespace kova::testing

namespace kova::testing {
namespace {

// The writer lays archives out byte for byte as the builder the tests trust,
// and an empty one still validates; sizes past 32 bits are refused before
// anything is written, leaving what had the name as it was.
TEST_F(OpenArchiveTest, WriterLaysOutWhatReadersRead) {
    std::vector<Bytes> stored = {ToBytes("BMxyz"), {}, Bytes(300, 7), ToBytes("plain")};
    std::vector<ByteSpan> spans(stored.begin(), stored.end());
    std::string path = dir_.File("w.DAT");
    ASSERT_EQ(WriteArchive(path.c_str(), spans.data(), spans.size()), WriteStatus::kOk);
    EXPECT_EQ(ReadFileBytes(path), BuildArchive(stored));

    ASSERT_EQ(WriteArchive(path.c_str(), nullptr, 0), WriteStatus::kOk);
    Bytes empty = ReadFileBytes(path);
    ASSERT_EQ(empty.size(), 32u);
    EXPECT_TRUE(ValidateHeader(View(empty)));
    ArchiveReader reader;
    ASSERT_EQ(OpenArchiveFile(path.c_str(), 0, reader), ArchiveStatus::kOk);
    EXPECT_EQ(reader.entry_count, 0u);
    reader.Release();

    uint8_t byte = 0;
    ByteSpan huge[2] = {ByteSpan(&byte, 0xF0000000u), ByteSpan(&byte, 0x10000000u)};
    EXPECT_EQ(WriteArchive(path.c_str(), huge, 2), WriteStatus::kTooLarge);
    EXPECT_EQ(ReadFileBytes(path), empty);
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(path).parent_path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1u) << "a temporary file stayed behind";
}

}  // namespace
}  // namespace kova::testing
