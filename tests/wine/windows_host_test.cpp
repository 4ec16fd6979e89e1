// The plug-in as a Windows host meets it: loaded with LoadLibrary, given real
// kernel file handles and backslash paths, handing out the system's movable
// blocks. The portable host tests cover the exports' rules; these cover what
// only the Windows build can get wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/host/host_support.h"
#include "tests/unit/local_memory_table.h"

namespace kova::testing {
namespace {

struct SampleEntry {
    Bytes stored;
    Bytes content;
    const char* extension;
};

// One entry of each kind, both coded methods among them.
const std::vector<SampleEntry>& Samples() {
    static const std::vector<SampleEntry> samples = [] {
        std::vector<SampleEntry> list;
        Bytes bitmap = Concat({ToBytes("BM"), Bytes(60, 0x11)});
        list.push_back({bitmap, bitmap, "BMP"});

        // Literal, byte run, pair run, long byte run, long pair run.
        list.push_back({CodedEntry(1, 22, {0x03, 'a', 'b', 'c', 0x41, 'x', 0x80, 'p', 'q', 0x7F, 0x05,
                                           0x00, 'z', 0xBF, 0x03, 0x00, 'm', 'n', 0x00}),
                        ToBytes("abcxxxxpqpqzzzzzmnmnmn"), "DAT"});

        // A wave header, then a back copy reaching 17 bytes back.
        Bytes wave_head = Concat({ToBytes("RIFF"), {0x10, 0, 0, 0}, ToBytes("WAVEfmt "), {1, 2, 3, 4}});
        list.push_back({CodedEntry(0x82, 23, Concat({{0x14}, wave_head, {0xC0, 0x3F, 0x00}})),
                        Concat({wave_head, {'F', 0x10, 0x00}}), "WAV"});

        Bytes midi = Concat({ToBytes("MThd"), {0, 0, 0, 6, 0, 0, 0, 1, 0, 0x60}, ToBytes("MTrk"), {0, 0, 0, 0}});
        list.push_back({midi, midi, "MID"});
        return list;
    }();
    return samples;
}

Bytes SampleArchive() {
    std::vector<Bytes> stored;
    for (const SampleEntry& entry : Samples()) stored.push_back(entry.stored);
    return BuildArchive(stored);
}

std::string ExpectedName(const std::string& base, size_t index) {
    char name[64];
    std::snprintf(name, sizeof name, "%s_%03zu.%s", base.c_str(), index, Samples()[index].extension);
    return name;
}

// A movable block handed over must be unlocked: a host that locks it once
// and unlocks it once must leave its lock count at zero.
UINT LockCount(HLOCAL block) { return LocalFlags(block) & LMEM_LOCKCOUNT; }

class WindowsHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        DWORD length = GetTempPathA(sizeof temp, temp);
        ASSERT_GT(length, 0u);
        dir_ = std::string(temp, length) + "kova-windows-" + std::to_string(GetCurrentProcessId()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directories(dir_);
        archive_ = dir_ + "\\disk1.DAT";
        WriteFileBytes(archive_, SampleArchive());
        ASSERT_EQ(Plugin().is_supported(archive_.c_str(), Probe(SampleArchive())), 1);
    }

    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    static DWORD_PTR Probe(const Bytes& image) {
        static Bytes head;
        head = image;
        head.resize(kProbeHeadSize);
        return reinterpret_cast<DWORD_PTR>(head.data());
    }

    std::string dir_;      // backslash-separated, as Windows gives it
    std::string archive_;  // <dir_>\disk1.DAT
};

// The table the native and 32-bit local-memory functions are held to, run
// against the system's own: the rules it states are Windows' rules.
TEST(WindowsLocalMemory, TheSystemKeepsTheTableNativeBuildsAreHeldTo) {
    EXPECT_EQ(RunLocalMemoryTable([](const char* what) { ADD_FAILURE() << what; }), 0);
}

// An empty entry comes as a zero-size fixed block of the system's: it locks
// to its own address, LocalSize gives 0, and LocalFree takes it; disk output
// writes an empty file.
TEST_F(WindowsHostTest, AnEmptyEntryIsAFixedBlockThatLocks) {
    std::string path = dir_ + "\\empty.DAT";
    WriteFileBytes(path, BuildArchive({CodedEntry(1, 0, {0x00}), Bytes{}}));
    for (LONG_PTR index : {0, 1}) {
        SCOPED_TRACE(index);
        HLOCAL block = nullptr;
        ASSERT_EQ(Plugin().get_file(path.c_str(), index, reinterpret_cast<char*>(&block), kFileInput | kMemoryOutput,
                                    nullptr, 0),
                  0);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(LocalSize(block), 0u);
        EXPECT_EQ(LocalLock(block), block);
        EXPECT_EQ(LocalFlags(block) & LMEM_DISCARDED, 0u);
        LocalUnlock(block);
        EXPECT_EQ(LocalFree(block), nullptr);

        std::string out = dir_ + "\\empty-out";
        std::filesystem::create_directories(out);
        std::string dest = out;
        ASSERT_EQ(Plugin().get_file(path.c_str(), index, dest.data(), kFileInput | kDiskOutput, nullptr, 0), 0);
        EXPECT_EQ(ReadFileBytes(out + "\\disk1_00" + std::to_string(index) + ".DAT"), Bytes{});
    }
}

TEST_F(WindowsHostTest, ProbeReadsFromAKernelHandleAndLeavesItOpen) {
    struct Case {
        const char* label;
        Bytes bytes;
        int expected;
    };
    Bytes not_archive = SampleArchive();
    not_archive[0] = 'X';
    const Case cases[] = {
        {"archive", SampleArchive(), 1},
        {"wrong magic", not_archive, 0},
        {"longer than the head", BuildArchive({Concat({ToBytes("BM"), Bytes(3000, 0x22)})}), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::string path = dir_ + "\\probe.DAT";
        WriteFileBytes(path, c.bytes);
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        // The probe takes small values for handles; a kernel handle is one.
        ASSERT_LT(reinterpret_cast<DWORD_PTR>(file), kFirstPointerValue);

        EXPECT_EQ(Plugin().is_supported(path.c_str(), reinterpret_cast<DWORD_PTR>(file)), c.expected);
        // Still the host's: open, and positioned where the probe's read ended.
        EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), std::min<size_t>(c.bytes.size(), kProbeHeadSize));
        EXPECT_TRUE(CloseHandle(file));
    }
}

TEST_F(WindowsHostTest, ListingIsAnUnlockedSystemBlock) {
    struct Input {
        const char* label;
        const char* buf;
        LONG_PTR len;
        unsigned flag;
    };
    const Bytes image = SampleArchive();
    const Input inputs[] = {
        {"file", archive_.c_str(), 0, kFileInput},
        {"image", reinterpret_cast<const char*>(image.data()), static_cast<LONG_PTR>(image.size()),
         kMemoryInput},
    };
    for (const Input& input : inputs) {
        SCOPED_TRACE(input.label);
        HLOCAL block = nullptr;
        ASSERT_EQ(Plugin().get_archive_info(input.buf, input.len, input.flag, &block), 0);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(LockCount(block), 0u);
        ASSERT_EQ(LocalSize(block), (Samples().size() + 1) * sizeof(EntryInfo));

        auto* records = static_cast<const EntryInfo*>(LocalLock(block));
        ASSERT_NE(records, nullptr);
        for (size_t i = 0; i < Samples().size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(std::memcmp(records[i].method, "KOVA", 5), 0);
            EXPECT_EQ(records[i].position, i);
            EXPECT_EQ(records[i].packed_size, Samples()[i].stored.size());
            EXPECT_EQ(records[i].unpacked_size, Samples()[i].content.size());
            EXPECT_STREQ(records[i].filename, ExpectedName("disk1", i).c_str());
        }
        EXPECT_EQ(records[Samples().size()].method[0], 0);
        LocalUnlock(block);
        EXPECT_EQ(LocalFree(block), nullptr);
    }
}

TEST_F(WindowsHostTest, ExtractsEveryEntryIntoAnUnlockedSystemBlock) {
    for (size_t i = 0; i < Samples().size(); ++i) {
        SCOPED_TRACE(i);
        HLOCAL block = nullptr;
        ASSERT_EQ(Plugin().get_file(archive_.c_str(), static_cast<LONG_PTR>(i),
                                    reinterpret_cast<char*>(&block), kFileInput | kMemoryOutput, nullptr, 0),
                  0);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(LockCount(block), 0u);
        ASSERT_EQ(LocalSize(block), Samples()[i].content.size());
        const auto* data = static_cast<const uint8_t*>(LocalLock(block));
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(Bytes(data, data + LocalSize(block)), Samples()[i].content);
        LocalUnlock(block);
        EXPECT_EQ(LocalFree(block), nullptr);
    }
}

TEST_F(WindowsHostTest, ExtractsToADirectoryReplacingWhatIsThere) {
    const std::string out = dir_ + "\\out";
    std::filesystem::create_directories(out);
    struct Case {
        const char* label;
        std::string dest;
    };
    const Case cases[] = {
        {"no trailing separator", out},
        {"trailing backslash", out + "\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        for (size_t i = 0; i < Samples().size(); ++i) {
            SCOPED_TRACE(i);
            const std::string target = out + "\\" + ExpectedName("disk1", i);
            // A longer file already there must not leave a tail behind.
            WriteFileBytes(target, Bytes(4096, 0xEE));
            std::string dest = c.dest;
            ASSERT_EQ(Plugin().get_file(archive_.c_str(), static_cast<LONG_PTR>(i), dest.data(),
                                        kFileInput | kDiskOutput, nullptr, 0),
                      0);
            EXPECT_EQ(dest, c.dest);
            EXPECT_EQ(ReadFileBytes(target), Samples()[i].content);
        }
    }
}

TEST_F(WindowsHostTest, DiskOutputRefusesNamesThatLeaveTheDirectory) {
    // A base name with a drive colon would name a file relative to another
    // drive's current directory, or a stream of some other file.
    const std::string plain = dir_ + "\\plain.DAT";
    WriteFileBytes(plain, SampleArchive());
    ASSERT_EQ(Plugin().is_supported((dir_ + "\\C:disk1.DAT").c_str(), Probe(SampleArchive())), 1);
    auto count_files = [&] {
        size_t n = 0;
        for ([[maybe_unused]] const auto& item : std::filesystem::directory_iterator(dir_)) ++n;
        return n;
    };
    const size_t before = count_files();
    std::string dest = dir_;
    EXPECT_EQ(Plugin().get_file(plain.c_str(), 0, dest.data(), kFileInput | kDiskOutput, nullptr, 0), 1);
    EXPECT_EQ(count_files(), before);
}

// A host that calls the ANSI exports with a path the code page cannot spell
// passes what Windows' conversion gives it, '?' for each missing character.
// The plug-in opens the one file such a path can stand for, and no other.
TEST_F(WindowsHostTest, AnsiPathsWithLostCharactersOpenTheOneFileTheyFit) {
    auto spelled = [](const std::wstring& wide) {
        char ansi[MAX_PATH * 2] = {};
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi, sizeof ansi, nullptr, nullptr);
        return std::string(ansi);
    };
    const std::wstring base = std::filesystem::path(dir_).wstring();
    struct Case {
        const char* label;
        std::vector<std::wstring> files;  // archives written under the test's folder
        std::wstring asked;               // the path the host holds
        int expected;
    };
    const Case cases[] = {
        {"a folder", {L"\\ゲーム\\disk1.DAT"}, L"\\ゲーム\\disk1.DAT", 0},
        {"a folder and a file name", {L"\\ゲーム\\ディスク1.DAT"}, L"\\ゲーム\\ディスク1.DAT", 0},
        {"two folders spelled alike", {L"\\ゲーム\\disk1.DAT", L"\\ゲーマ\\disk1.DAT"}, L"\\ゲーム\\disk1.DAT", 6},
        {"nothing of that spelling", {L"\\ゲーム\\disk1.DAT"}, L"\\ゲーム\\disk2.DAT", 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::string path = spelled(base + c.asked);
        if (path.find('?') == std::string::npos) GTEST_SKIP() << "this ANSI code page spells Japanese";
        for (const std::wstring& file : c.files) {
            std::filesystem::path archive(base + file);
            std::filesystem::create_directories(archive.parent_path());
            Bytes image = SampleArchive();
            std::FILE* out = _wfopen(archive.c_str(), L"wb");
            ASSERT_NE(out, nullptr);
            std::fwrite(image.data(), 1, image.size(), out);
            std::fclose(out);
        }
        HLOCAL block = nullptr;
        EXPECT_EQ(Plugin().get_archive_info(path.c_str(), 0, kFileInput, &block), c.expected);
        if (block != nullptr) LocalFree(block);
        block = nullptr;
        EXPECT_EQ(Plugin().get_file(path.c_str(), 0, reinterpret_cast<char*>(&block), kFileInput | kMemoryOutput,
                                    nullptr, 0),
                  c.expected);
        if (block != nullptr) LocalFree(block);
        for (const std::wstring& file : c.files) std::filesystem::remove_all(std::filesystem::path(base + file).parent_path());
    }
}

}  // namespace
}  // namespace kova::testing
