// Archives that lie, one group per lie, through every archive export in both
// input modes: a file, and an image placed against unreadable pages so that
// any read outside it crashes the test. Each case gives the exact result of
// listing, lookup and extraction (to memory and to disk), and every call is
// held to the bounds below and must leave nothing held.
//
// Bounds on what a hostile input can make one call cost, the input being
// the file's bytes or the image's len:
//  - working memory: at most the input plus 256 KiB, the window listing
//    reads entry heads through, and a few bytes (accounting build).
//  - the list block, in either family: a record per entry and the closing
//    one, where an index that fits holds at most an eighth of the input's
//    bytes in entries. The content block has the size the entry declares,
//    which the format defines.
//  - time: about a second at most for inputs up to 64 KiB, checked here at
//    a generous 5 s a call so that a loaded machine or valgrind passes.
//  - the content block: fresh zero-filled memory that only the stream's own
//    writes touch, so a 4 GiB block whose stream writes ten bytes leaves the
//    process's resident memory where it was.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>

#ifndef _WIN32
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "tests/host/guarded_memory.h"
#include "tests/host/host_support.h"
#include "tests/host/sample_archive.h"

namespace kova::testing {
namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;
constexpr uint64_t kHeadWindow = uint64_t{256} << 10;
constexpr double kSecondsPerCall = 5.0;
constexpr uint32_t k4GiB = 0xFFFFFFFF;

// Under AddressSanitizer every block of gigabytes costs an eighth of its size
// in the sanitizer's own shadow memory and seconds to poison; the native
// runs check those cases.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

bool UnderValgrind() {
    const char* flag = std::getenv("KOVA_UNDER_VALGRIND");
    return flag != nullptr && std::strcmp(flag, "1") == 0;
}

void ResetHeapPeak() {
#ifndef _WIN32
    static auto reset = reinterpret_cast<void (*)()>(dlsym(Plugin().library, "KovaResetHeapPeak"));
    if (reset != nullptr) reset();
#endif
}

// The most resident memory the process has had, in bytes; 0 where unknown.
uint64_t PeakResidentBytes() {
#ifndef _WIN32
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::strtoull(line.c_str() + 6, nullptr, 10) * 1024;
    }
#endif
    return 0;
}

// One export call held to the time and working-memory bounds.
int Bounded(uint64_t input, const std::function<int()>& call) {
    ResetHeapPeak();
    auto start = std::chrono::steady_clock::now();
    int result = call();
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), kSecondsPerCall);
    if (HasAccounting()) {
        EXPECT_LE(static_cast<uint64_t>(HeldNow().heap_peak_bytes), input + kHeadWindow + 64) << "working memory";
    }
    return result;
}

struct Codes {
    int list, lookup, extract;
};
constexpr Codes kFine{0, 0, 0};
constexpr Codes kRefused{2, 2, 2};

struct Lie {
    std::string what;
    Bytes bytes;
    uint32_t entry;      // the entry looked up and extracted
    Codes file, image;
    Bytes content;       // the entry's first bytes; zeros follow
    uint64_t unpacked;   // its size
    uint64_t size = 0;   // the input's length, when longer than `bytes` (zeros follow)

    uint64_t Size() const { return size > bytes.size() ? size : bytes.size(); }
    // Beyond what valgrind or the Windows tier should be asked to map.
    bool Large() const { return Size() > kMiB || unpacked > kMiB; }
};

Lie Same(std::string what, Bytes bytes, uint32_t entry, Codes codes, Bytes content, uint64_t unpacked) {
    return {std::move(what), std::move(bytes), entry, codes, codes, std::move(content), unpacked};
}

void SetEntry(Bytes& archive, uint32_t index, uint32_t stored_size, uint32_t data_offset) {
    PutLe32(archive, 24 + 8 * index, stored_size);
    PutLe32(archive, 28 + 8 * index, data_offset);
}

// A bitmap entry 0 at byte 40 and `second` as entry 1 at byte 44.
Bytes Pair(const Bytes& second) { return BuildArchive({ToBytes("BMok"), second}); }

// A header that validates with any count: the sizes agree in the wrapping
// 32-bit sums validation makes; the index starts at byte 24.
Bytes HeadWithCount(uint32_t count) {
    Bytes head = BuildArchive({});
    uint32_t index_end = 24 + 8 * count;
    PutLe32(head, 4, index_end);
    PutLe32(head, 12, 0);
    PutLe32(head, 16, count);
    PutLe32(head, 28, index_end);
    return head;
}

std::vector<Lie> CountLies() {
    Bytes one_record = HeadWithCount(0x20000001);  // 8 x count wraps to 8
    PutLe32(one_record, 24, 4);
    Append(one_record, ToBytes("BMok"));
    PutLe32(one_record, 4, 36);
    PutLe32(one_record, 12, 4);
    uint32_t list_past = UINT32_MAX / sizeof(EntryInfo);  // (count + 1) records pass 4 GiB
    Bytes list_head = HeadWithCount(list_past);
    PutLe32(list_head, 24, 4);  // entry 0: 4 bytes at the index's end, which the file's end is
    Lie list_block{"list block past 4 GiB, index held", list_head, 0, {4, 0, 0}, {4, 0, 0}, {}, 4,
                   24 + 8ull * list_past};
    Lie index_table{"index table past 4 GiB, index held", HeadWithCount(0x20000000), 0, {5, 5, 5}, {5, 5, 5},
                    {}, 0, 24 + 8ull * 0x20000000};
    return {
        Same("9,586,979 entries in 32 bytes", HeadWithCount(9586979), 0, kRefused, {}, 0),
        Same("8 x count wraps 32 bits to one record", one_record, 0, kRefused, {}, 0),
        Same("count 0xFFFFFFFF", HeadWithCount(0xFFFFFFFF), 0, kRefused, {}, 0),
        list_block,
        index_table,
    };
}

std::vector<Lie> PlacementLies() {
    Bytes far_off = Pair(ToBytes("DATA"));
    SetEntry(far_off, 1, 10, 0x7FFFFFF0);
    Bytes long_end = Pair(ToBytes("BMxyz"));
    SetEntry(long_end, 1, 1000, 44);
    Bytes wrapping = Pair(ToBytes("DATA"));
    SetEntry(wrapping, 1, 0x20, 0xFFFFFFF0);
    // The index is read at index_offset in a file, at byte 24 in an image.
    Bytes index_far = BuildArchive({ToBytes("BMok")});
    PutLe32(index_far, 4, 1012);
    PutLe32(index_far, 8, 1000);
    PutLe32(index_far, 28, 1008);
    Bytes index_wraps = BuildArchive({ToBytes("BMok"), ToBytes("BMno")});
    PutLe32(index_wraps, 4, 16);
    PutLe32(index_wraps, 8, 0xFFFFFFF8);  // + 16 wraps to 8
    PutLe32(index_wraps, 28, 8);
    Bytes shared = Pair(ToBytes("BMxy"));
    SetEntry(shared, 1, 4, 40);
    Bytes whole = Pair(ToBytes("x"));
    SetEntry(whole, 1, 48, 0);
    Bytes into_next = Pair(ToBytes("MThd"));
    SetEntry(into_next, 0, 8, 40);
    return {
        Same("entry far past the end", far_off, 1, kFine, {}, 10),
        Same("entry ending past the end", long_end, 1, kFine, ToBytes("BMxyz"), 1000),
        Same("offset plus size wraps 32 bits", wrapping, 1, kFine, {}, 0x20),
        {"index_offset past the end", index_far, 0, kRefused, kFine, {}, 4},
        {"index_offset wraps with the count", index_wraps, 0, kRefused, kFine, {0xF8, 0xFF, 0xFF, 0xFF}, 4},
        Same("two entries share their bytes", shared, 1, kFine, ToBytes("BMok"), 4),
        Same("an entry that is the header and index", whole, 1, kFine, whole, 48),
        Same("an entry running into the next", into_next, 0, kFine, ToBytes("BMokMThd"), 8),
    };
}

std::vector<Lie> SizeLies() {
    Bytes stored_4g = BuildArchive({ToBytes("BMxx")});
    SetEntry(stored_4g, 0, k4GiB, 32);
    Bytes ten = CodedEntry(1, k4GiB, Concat({{10}, ToBytes("0123456789"), {0}}));
    Bytes declared_4g = BuildArchive({ten});
    Bytes both_4g = declared_4g;
    SetEntry(both_4g, 0, k4GiB, 32);
    Bytes stored_big = BuildArchive({ToBytes("BMxx")});
    SetEntry(stored_big, 0, 0x70000000, 32);
    Bytes zero = Pair(ToBytes("BMxy"));
    SetEntry(zero, 1, 0, 44);
    Bytes zero_far = Pair(ToBytes("BMxy"));
    SetEntry(zero_far, 1, 0, 0xFFFFFFFF);
    return {
        Same("stored_size 4 GiB in 36 bytes", stored_4g, 0, kFine, ToBytes("BMxx"), k4GiB),
        Same("declares 4 GiB, writes 10 bytes", declared_4g, 0, kFine, ToBytes("0123456789"), k4GiB),
        Same("declares 4 GiB, stored_size 4 GiB", both_4g, 0, kFine, ToBytes("0123456789"), k4GiB),
        Same("stored_size 1.8 GB in 36 bytes", stored_big, 0, kFine, ToBytes("BMxx"), 0x70000000),
        Same("stored_size 0", zero, 1, kFine, {}, 0),
        Same("stored_size 0 past the end", zero_far, 1, kFine, {}, 0),
        Same("coded, declares 0 bytes", Pair(CodedEntry(1, 0, {3, 'a', 'b', 'c', 0})), 1, kFine, {}, 0),
        Same("coded, head cut to two bytes", Pair({0x01, 0x10}), 1, kFine, {}, 16),
    };
}

std::vector<Lie> StreamLies() {
    Bytes sixteen = ToBytes("abcdefghijklmnop");
    Bytes seventeen = ToBytes("abcdefghijklmnopq");
    std::vector<Lie> lies = {
        // Method 2's shortest reach is 80 - 63 = 17 bytes back.
        Same("back copy from before the output", Pair(CodedEntry(2, 24, Concat({{16}, sixteen, {0xC0, 0x3F, 0}}))),
             1, kFine, sixteen, 24),
        Same("back copy from the output's first byte",
             Pair(CodedEntry(2, 24, Concat({{17}, seventeen, {0xC0, 0x3F, 0}}))), 1, kFine,
             Concat({seventeen, ToBytes("abc")}), 24),
        Same("back copy as the first command", Pair(CodedEntry(1, 8, {0xFF, 0x00, 0x00})), 1, kFine, {}, 8),
    };
    // Every command cut inside its operands, after the literal "ab": where
    // the stored size ends (at the end of the input, or with another
    // entry's bytes after it, which must not be read), and where the input
    // ends before the stored size does, the missing bytes reading as zero.
    struct Cut {
        const char* command;
        Bytes stream;
        std::string within, beyond;
    } cuts[] = {
        {"literal", {0x05, 'c', 'd'}, "abcd", "abcd"},
        {"byte run", {0x41}, "ab", "ab"},
        {"long byte run, in its count", {0x7F, 0x05}, "ab", "ab"},
        {"long byte run, before its value", {0x7F, 0x05, 0x00}, "ab", "ab"},
        {"pair run", {0x81, 'x'}, "ab", std::string("abx\0x\0x\0", 8)},
        {"long pair run, in its count", {0xBF, 0x02}, "ab", "ab"},
        {"long pair run, in its pair", {0xBF, 0x02, 0x00, 'x'}, "ab", std::string("abx\0x\0", 6)},
        {"back copy", {0xC3}, "ab", "ab"},
        {"a control byte alone", {0x01}, "ab", "ab"},
    };
    for (const Cut& cut : cuts) {
        Bytes entry = CodedEntry(1, 12, Concat({{0x02, 'a', 'b'}, cut.stream}));
        Bytes at_end = BuildArchive({entry});
        Bytes followed = BuildArchive({entry, ToBytes("QQQQQQQQ")});
        Bytes beyond = at_end;
        SetEntry(beyond, 0, static_cast<uint32_t>(entry.size() + 4), 32);
        lies.push_back(Same(std::string(cut.command) + " cut at the end", at_end, 0, kFine, ToBytes(cut.within), 12));
        lies.push_back(Same(std::string(cut.command) + " cut before another entry", followed, 0, kFine,
                            ToBytes(cut.within), 12));
        lies.push_back(Same(std::string(cut.command) + " cut, the rest missing", beyond, 0, kFine,
                            ToBytes(cut.beyond), 12));
    }
    return lies;
}

// Whether the first `length` bytes of an empty archive, zeros after them,
// make a head that validates.
bool WholeWhenPadded(size_t length) { return length == 4 || length >= 29; }

std::vector<Lie> ShortHeadLies() {
    // A file's missing bytes read as zero: the magic alone is an empty
    // archive (every field zero), and so is an empty archive's head from
    // byte 29 on; cut between, its fields disagree. An image shorter than
    // 32 bytes is never an archive.
    Bytes empty = BuildArchive({});
    Bytes one = BuildArchive({ToBytes("BMok")});
    std::vector<Lie> lies;
    for (size_t length : {0, 3, 4, 8, 28, 29, 31}) {
        Bytes head(empty.begin(), empty.begin() + length);
        Codes file = WholeWhenPadded(length) ? Codes{0, 3, 3} : kRefused;
        lies.push_back({"empty archive's head cut to " + std::to_string(length), head, 0, file, kRefused, {}, 0});
    }
    lies.push_back(Same("one entry's head cut to 31", Bytes(one.begin(), one.begin() + 31), 0, kRefused, {}, 0));
    return lies;
}

class HostileArchiveTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        ASSERT_EQ(ProbeByPointer("lie.DAT", SampleArchive()), 1);  // names fit for a disk
    }

    struct Input {
        const char* buf;  // file name or image
        LONG_PTR len;     // archive offset or image length
        unsigned mode;
        const char* src;  // GetFile's
        LONG_PTR src_len;
    };

    void Run(const std::vector<Lie>& lies) {
        for (const Lie& lie : lies) {
            SCOPED_TRACE(lie.what);
#ifdef _WIN32
            if (lie.Large()) continue;
#endif
            if (lie.Large() && UnderValgrind()) continue;
            if (lie.unpacked > kMiB && kAddressSanitizer) continue;
            std::string path = WriteArchive("lie.DAT", lie.bytes);
            if (lie.Size() > lie.bytes.size()) std::filesystem::resize_file(path, lie.Size());
            {
                SCOPED_TRACE("file");
                Check(lie, lie.file, {path.c_str(), 0, kFileInput, path.c_str(), static_cast<LONG_PTR>(lie.entry)});
            }
            for (Flush flush : {Flush::kEnd, Flush::kStart}) {
                SCOPED_TRACE(flush == Flush::kEnd ? "image against the page after it" : "image against the page before it");
                GuardedBytes image(lie.bytes, lie.Size(), 0, lie.Size(), flush);
                ASSERT_TRUE(image.Mapped());
                LONG_PTR len = static_cast<LONG_PTR>(lie.Size());
                Check(lie, lie.image, {image.At(0), len, kMemoryInput, image.At(lie.entry), len});
            }
        }
    }

    void Check(const Lie& lie, const Codes& want, const Input& in) {
        uint64_t input = lie.Size();
        Listing listing;
        EXPECT_EQ(Bounded(input, [&] { return (listing = List(in.buf, in.len, in.mode)).result; }), want.list);
        ExpectNothingHeld();
        if (listing.result == 0) {
            EXPECT_TRUE(listing.closed);
            EXPECT_LE(listing.block_size, (input / 8 + 1) * sizeof(EntryInfo)) << "list block";
        }
        if (Plugin().HasWide()) {
            // The Unicode family's records are the larger: 848 bytes an entry.
            std::basic_string<WCHAR> wide_path(in.buf, in.buf + (in.mode == kFileInput ? std::strlen(in.buf) : 0));
            const void* buf = in.mode == kFileInput ? static_cast<const void*>(wide_path.c_str()) : in.buf;
            HLOCAL list = nullptr;
            int wide = Bounded(input, [&] {
                return Plugin().get_archive_info_w(static_cast<const WCHAR*>(buf), in.len, in.mode, &list);
            });
            EXPECT_EQ(wide, want.list) << "Unicode family";
            if (list != nullptr) {
                EXPECT_LE(Plugin().local_size(list), (input / 8 + 1) * sizeof(EntryInfoW)) << "Unicode list block";
                Plugin().local_free(list);
            }
            ExpectNothingHeld();
        }

        EntryInfo record = {};
        std::string name = "x_" + std::to_string(lie.entry) + ".DAT";
        EXPECT_EQ(Bounded(input, [&] { return Plugin().get_file_info(in.buf, in.len, name.c_str(), in.mode, &record); }),
                  want.lookup);
        ExpectNothingHeld();
        if (want.lookup == 0) {
            EXPECT_EQ(record.unpacked_size, lie.unpacked);
            if (lie.entry < listing.records.size()) {
                EXPECT_EQ(std::memcmp(&record, &listing.records[lie.entry], sizeof record), 0) << "listed differently";
            }
        }

        HLOCAL handle = nullptr;
        // Working memory may be resident; the block must not be.
        uint64_t resident = PeakResidentBytes();
        int got = Bounded(input, [&] {
            return Plugin().get_file(in.src, in.src_len, reinterpret_cast<char*>(&handle), in.mode | kMemoryOutput,
                                     nullptr, 0);
        });
        // A host whose system will not give a block of the declared size
        // gets 4 for it.
        if (!(lie.unpacked > kMiB && got == 4)) {
            EXPECT_EQ(got, want.extract);
        }
        EXPECT_EQ(handle != nullptr, got == 0);
        if (handle != nullptr) {
            ExpectNothingHeld(1);
            if (resident != 0) {
                EXPECT_LT(PeakResidentBytes() - resident, 2 * input + 64 * kMiB) << "block touched";
            }
            EXPECT_EQ(Plugin().local_size(handle), lie.unpacked);
            ExpectContent(static_cast<const uint8_t*>(Plugin().local_lock(handle)), lie);
            Plugin().local_unlock(handle);
            EXPECT_EQ(Plugin().local_free(handle), nullptr);
        }
        if (lie.unpacked <= kMiB) CheckDiskOutput(lie, want, in);
    }

    static void ExpectContent(const uint8_t* data, const Lie& lie) {
        ASSERT_NE(data, nullptr);
        size_t checked = static_cast<size_t>(lie.unpacked <= kMiB ? lie.unpacked : lie.content.size());
        Bytes expected = lie.content;
        expected.resize(checked, 0);
        EXPECT_EQ(Bytes(data, data + checked), expected);
    }

    // The entry's file appears whole, or nothing appears; no temporary file
    // is left either way.
    void CheckDiskOutput(const Lie& lie, const Codes& want, const Input& in) {
        std::filesystem::path out = dir_ / "out";
        std::filesystem::remove_all(out);
        std::filesystem::create_directories(out);
        std::string dest = out.string();
        EXPECT_EQ(Bounded(lie.Size(), [&] { return Plugin().get_file(in.src, in.src_len, dest.data(), in.mode, nullptr, 0); }),
                  want.extract);
        ExpectNothingHeld();
        std::vector<std::filesystem::path> files;
        for (const auto& file : std::filesystem::directory_iterator(out)) files.push_back(file.path());
        ASSERT_EQ(files.size(), want.extract == 0 ? 1u : 0u);
        if (want.extract == 0) {
            Bytes written = ReadFileBytes(files[0].string());
            ASSERT_EQ(written.size(), lie.unpacked);
            if (lie.unpacked > 0) ExpectContent(written.data(), lie);
        }
    }
};

TEST_F(HostileArchiveTest, CountsThatCannotBeTrue) { Run(CountLies()); }
TEST_F(HostileArchiveTest, EntriesPlacedOutsideOrOverEachOther) { Run(PlacementLies()); }
TEST_F(HostileArchiveTest, SizesNearFourGiBAndZero) { Run(SizeLies()); }
TEST_F(HostileArchiveTest, StreamsThatReachBackTooFarOrStopShort) { Run(StreamLies()); }
TEST_F(HostileArchiveTest, HeadsShorterThan32Bytes) { Run(ShortHeadLies()); }

// As many entries as 64 KiB can index, all over the same 64 bytes: listing
// reads every head and still stays far inside the time bound.
TEST_F(HostileArchiveTest, AFullIndexIn64KiB) {
    const uint32_t count = (65536 - 24 - 64) / 8;
    const uint32_t data = 24 + 8 * count;
    Bytes archive = HeadWithCount(count);
    archive.resize(65536, 'x');
    archive[data] = 'B';
    archive[data + 1] = 'M';
    for (uint32_t i = 0; i < count; ++i) SetEntry(archive, i, 64, data);
    Run({Same("full index", archive, count - 1, kFine, Bytes(archive.begin() + data, archive.end()), 64)});
}

#ifndef _WIN32
// What the probe reads through a handle is the file's head; bytes the file
// lacks read as zero, as they do for the archive exports.
TEST_F(HostileArchiveTest, ShortHeadsThroughAHandle) {
    Bytes head = BuildArchive({});
    for (size_t length = 0; length < 32; ++length) {
        std::string path = WriteArchive("short.DAT", Bytes(head.begin(), head.begin() + length));
        int fd = open(path.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(Plugin().is_supported("short.DAT", static_cast<DWORD_PTR>(fd)), WholeWhenPadded(length) ? 1 : 0) << length;
        close(fd);
    }
}
#endif

#ifndef _WIN32
// The exports read by name only what is a file: a FIFO nobody writes to (or
// a device) would hold a host in the open or the read for good.
TEST_F(HostileArchiveTest, ByNameOnlyFilesAreRead) {
    std::string fifo = (dir_ / "waits.DAT").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const char* path : {fifo.c_str(), "/dev/zero"}) {
        EXPECT_EQ(ListFile(path).result, 6) << path;
        EXPECT_EQ(ExtractFile(path, 0).result, 6) << path;
    }
}
#endif

// Handle 0 is no handle: the probe must not read standard input, where a
// native build would find it.
TEST_F(HostileArchiveTest, HandleZeroIsNoHandle) {
#ifdef _WIN32
    EXPECT_EQ(Plugin().is_supported("x.DAT", 0), 0);
#else
    Bytes head = SampleArchive();
    head.resize(kProbeHeadSize);
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    ASSERT_EQ(write(pipe_ends[1], head.data(), head.size()), static_cast<ssize_t>(head.size()));
    close(pipe_ends[1]);
    int saved = dup(0);
    dup2(pipe_ends[0], 0);
    int recognized = Plugin().is_supported("x.DAT", 0);
    dup2(saved, 0);
    close(saved);
    EXPECT_EQ(recognized, 0);
    Bytes left(4096);
    EXPECT_EQ(read(pipe_ends[0], left.data(), left.size()), 2048) << "standard input was read";
    close(pipe_ends[0]);
#endif
}

// Names and paths are looked at up to 255 bytes; the archive's own path is
// opened as given, however long.
TEST_F(HostileArchiveTest, NamesAndPathsOver255Bytes) {
    Bytes archive = SampleArchive();
    struct Case {
        std::string name;
        int result;
        size_t index;
    } cases[] = {
        {std::string(251, 'a') + "_0012.BMP", 0, 1},  // cut to "..._001"
        {std::string(250, 'a') + "_0003.BMP", 0, 3},
        {std::string(300, 'a') + "_1.BMP", 2, 0},
        {std::string(260, 'd') + "\\x_001.BMP", 2, 0},
    };
    std::string path = WriteArchive("long.DAT", archive);
    for (const Case& c : cases) {
        for (unsigned mode : {kFileInput, kMemoryInput}) {
            SCOPED_TRACE(c.name.substr(c.name.size() - 12) + (mode == kFileInput ? ", file" : ", image"));
            EntryInfo record = {};
            const char* buf = mode == kFileInput ? path.c_str() : reinterpret_cast<const char*>(archive.data());
            LONG_PTR len = mode == kFileInput ? 0 : static_cast<LONG_PTR>(archive.size());
            EXPECT_EQ(Plugin().get_file_info(buf, len, c.name.c_str(), mode, &record), c.result);
            if (c.result == 0) {
                EXPECT_EQ(record.position, c.index);
            }
        }
    }
#ifndef _WIN32
    std::filesystem::path deep = dir_ / std::string(120, 'p') / std::string(120, 'q') / std::string(120, 'r');
    std::filesystem::create_directories(deep);
    std::string long_path = (deep / "long.DAT").string();
    WriteFileBytes(long_path, archive);
    EXPECT_EQ(ListFile(long_path).records.size(), kSampleCount);
    EXPECT_EQ(ExtractFile(long_path, kCodedWave).content, SampleContent()[kCodedWave]);
#endif
}

#ifndef _WIN32
// A base name is cut to 31 bytes between UTF-8 characters, and so is a path
// cut to 255 bytes: a name ending inside a character matches no file.
TEST_F(HostileArchiveTest, BaseNamesCutBetweenCharacters) {
    const std::string e = "\xC3\xA9", euro = "\xE2\x82\xAC", smile = "\xF0\x9F\x98\x80", sun = "\xE6\x97\xA5";
    std::string sun11, sun10, e16, e15;
    for (int k = 0; k < 11; ++k) sun11 += sun;
    for (int k = 0; k < 10; ++k) sun10 += sun;
    for (int k = 0; k < 16; ++k) e16 += e;
    for (int k = 0; k < 15; ++k) e15 += e;
    std::string a28(28, 'a'), a29(29, 'a'), a30(30, 'a'), a31(31, 'a');
    // Every path starts as a string, never as a literal joined to a temporary:
    // g++ 12 at -O3 takes that join for an overlapping copy (-Wrestrict).
    const std::string g = "/g/";
    std::string deep = std::string(1, '/') + std::string(248, 'd') + "/";  // the final component starts at byte 250
    struct Case {
        std::string path, base;
    } cases[] = {
        {g + a30 + e + "b.DAT", a30},
        {g + a29 + euro + ".DAT", a29},
        {g + a28 + smile + "x.DAT", a28},
        {g + a31 + e + ".DAT", a31},
        {g + a29 + e + "zz.DAT", a29 + e},
        {g + sun11 + ".DAT", sun10},
        {g + e16 + ".DAT", e15},
        {deep + e + e + e + e + ".DAT", e + e},
    };
    Bytes archive = SampleArchive();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.base);
        ASSERT_EQ(ProbeByPointer(c.path, archive), 1);
        Listing listing = ListImage(archive);
        ASSERT_EQ(listing.result, 0);
        EXPECT_EQ(NameOf(listing.records.at(0)), c.base + "_000.BMP");
    }
}
#endif

}  // namespace
}  // namespace kova::testing
