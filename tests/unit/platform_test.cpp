// The native platform layer:
// local-memory blocks as hosts and the module use them, and the Windows file
// functions over descriptors.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "platform/win_api.h"
#include "tests/unit/local_memory_table.h"
#include "tests/unit/unit_support.h"

namespace kova::testing {
namespace {

constexpr UINT kMovableZeroed = LMEM_MOVEABLE | LMEM_ZEROINIT;

TEST(LocalMemory, ZeroFilledAndSizedAsAsked) {
    for (SIZE_T size : {SIZE_T{1}, SIZE_T{13}, SIZE_T{428}, SIZE_T{4096}, SIZE_T{1} << 20}) {
        SCOPED_TRACE(size);
        // Dirty a block of the same size first, so reused memory would show.
        HLOCAL dirty = LocalAlloc(kMovableZeroed, size);
        ASSERT_NE(dirty, nullptr);
        std::memset(LocalLock(dirty), 0xAB, size);
        LocalUnlock(dirty);
        EXPECT_EQ(LocalFree(dirty), nullptr);

        HLOCAL block = LocalAlloc(kMovableZeroed, size);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(LocalSize(block), size);
        auto* bytes = static_cast<unsigned char*>(LocalLock(block));
        ASSERT_NE(bytes, nullptr);
        for (SIZE_T k = 0; k < size; ++k) ASSERT_EQ(bytes[k], 0) << "byte " << k;
        bytes[size - 1] = 1;  // the whole size is writable
        LocalUnlock(block);
        EXPECT_EQ(LocalFree(block), nullptr);
    }
}

// Fixed and movable blocks of sizes 0, 1 and large keep Windows' rules; the
// Windows tier and the 32-bit loader run the same table.
TEST(LocalMemory, FixedAndMovableBlocksKeepWindowsRules) {
    EXPECT_EQ(RunLocalMemoryTable([](const char* what) { ADD_FAILURE() << what; }), 0);
}

TEST(LocalMemory, LockCounting) {
    HLOCAL block = LocalAlloc(kMovableZeroed, 64);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(LocalUnlock(block), FALSE);  // not locked
    void* first = LocalLock(block);
    void* second = LocalLock(block);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(LocalUnlock(block), TRUE);   // still locked once
    EXPECT_EQ(LocalUnlock(block), FALSE);  // now unlocked
    EXPECT_EQ(LocalUnlock(block), FALSE);
    EXPECT_EQ(LocalLock(block), first);  // relockable after unlocking
    LocalUnlock(block);
    EXPECT_EQ(LocalFree(block), nullptr);
}

TEST(LocalMemory, NullHandle) {
    EXPECT_EQ(LocalLock(nullptr), nullptr);
    EXPECT_EQ(LocalUnlock(nullptr), FALSE);
    EXPECT_EQ(LocalSize(nullptr), 0u);
    EXPECT_EQ(LocalFree(nullptr), nullptr);
}

class Files : public ::testing::Test {
protected:
    HANDLE Create(const std::string& path, DWORD access, DWORD disposition) {
        return CreateFileA(path.c_str(), access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    ScratchDir dir_;
};

TEST_F(Files, WriteSeekTruncateRead) {
    std::string path = dir_.File("out.bin");
    HANDLE file = Create(path, GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 99;
    ASSERT_TRUE(WriteFile(file, "hello world", 11, &written, nullptr));
    EXPECT_EQ(written, 11u);
    EXPECT_EQ(SetFilePointer(file, 5, nullptr, FILE_BEGIN), 5u);
    ASSERT_TRUE(SetEndOfFile(file));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(ReadFileBytes(path), ToBytes("hello"));

    file = Create(path, GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char buf[16] = {};
    DWORD got = 99;
    ASSERT_TRUE(ReadFile(file, buf, sizeof buf, &got, nullptr));  // short read at the end
    EXPECT_EQ(got, 5u);
    EXPECT_EQ(std::string(buf, got), "hello");
    ASSERT_TRUE(ReadFile(file, buf, sizeof buf, &got, nullptr));  // at the end: success, 0 bytes
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(SetFilePointer(file, -2, nullptr, FILE_END), 3u);
    EXPECT_EQ(SetFilePointer(file, -1, nullptr, FILE_CURRENT), 2u);
    ASSERT_TRUE(ReadFile(file, buf, 2, &got, nullptr));
    EXPECT_EQ(std::string(buf, got), "ll");
    EXPECT_EQ(SetFilePointer(file, -10, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    // With a high part the halves form one 64-bit position.
    LONG high = 1;
    EXPECT_EQ(SetFilePointer(file, 7, &high, FILE_BEGIN), 7u);
    EXPECT_EQ(high, 1);
    high = 0;
    EXPECT_EQ(SetFilePointer(file, 0, &high, FILE_CURRENT), 7u);
    EXPECT_EQ(high, 1);
    // Past the end: reads succeed with nothing.
    ASSERT_TRUE(ReadFile(file, buf, sizeof buf, &got, nullptr));
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(CloseHandle(file));
}

TEST_F(Files, CreateAlwaysReplacesAndOpenExistingNeedsAFile) {
    std::string path = dir_.File("r.bin");
    WriteFileBytes(path, Bytes(100, 1));
    HANDLE file = Create(path, GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, "ab", 2, &written, nullptr));
    CloseHandle(file);
    EXPECT_EQ(ReadFileBytes(path), ToBytes("ab"));

    EXPECT_EQ(Create(dir_.File("missing"), GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Create("", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
}

TEST_F(Files, DirectoriesAreRefused) {
    EXPECT_EQ(Create(dir_.Path(), GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Create(dir_.Path(), GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Create(dir_.Path(), GENERIC_READ, OPEN_ALWAYS), INVALID_HANDLE_VALUE);
}

TEST_F(Files, InvalidHandle) {
    char buf[4];
    DWORD count = 99;
    EXPECT_FALSE(ReadFile(INVALID_HANDLE_VALUE, buf, 4, &count, nullptr));
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(WriteFile(INVALID_HANDLE_VALUE, buf, 4, &count, nullptr));
    EXPECT_EQ(SetFilePointer(INVALID_HANDLE_VALUE, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_FALSE(SetEndOfFile(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
}

// Text between UTF-16 and UTF-8, the ANSI code page of these systems: what
// the Unicode exports' paths and base names go through.
TEST(CodePages, WideToNarrow) {
    struct Case {
        const char* label;
        std::u16string wide;
        UINT code_page;
        DWORD flags;
        std::string narrow;  // "" with result 0: refused
        int result;
    };
    const Case cases[] = {
        {"ASCII", u"disk1", CP_ACP, 0, "disk1", 5},
        {"two and three bytes", u"Жゲ", CP_ACP, 0, "\xD0\x96\xE3\x82\xB2", 5},
        {"a surrogate pair is one character", u"\U0001F600", CP_UTF8, 0, "\xF0\x9F\x98\x80", 4},
        {"a lone surrogate in the ANSI form", std::u16string(1, u'\xD800') + u"a", CP_ACP, WC_NO_BEST_FIT_CHARS, "?a", 2},
        {"a lone surrogate names no file", std::u16string(1, u'\xDC00'), CP_UTF8, WC_ERR_INVALID_CHARS, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        char out[16] = {};
        int got = WideCharToMultiByte(c.code_page, c.flags, c.wide.data(), static_cast<int>(c.wide.size()), out,
                                      sizeof out, c.code_page == CP_ACP ? "?" : nullptr, nullptr);
        EXPECT_EQ(got, c.result);
        EXPECT_EQ(std::string(out), c.narrow);
    }
    // No room for the whole result: nothing is claimed.
    char small[3];
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"ゲ", 1, small, 2, nullptr, nullptr), 0);
}

TEST(CodePages, NarrowToWide) {
    struct Case {
        const char* label;
        std::string narrow;
        std::u16string wide;
    };
    const Case cases[] = {
        {"two and three bytes", "\xD0\x96\xE3\x82\xB2", u"Жゲ"},
        {"four bytes: a surrogate pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
        {"a stray continuation byte", "a\x80" "b", u"a\uFFFDb"},
        {"cut short", "\xE3\x82", u"\uFFFD\uFFFD"},
        {"overlong", "\xC0\xAF", u"\uFFFD\uFFFD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        WCHAR out[16] = {};
        int got = MultiByteToWideChar(CP_ACP, 0, c.narrow.data(), static_cast<int>(c.narrow.size()), out, 16);
        EXPECT_EQ(std::u16string(out, out + (got > 0 ? got : 0)), c.wide);
    }
}

// A UTF-16 name reaches the file system as UTF-8; one that is not
// well-formed UTF-16 opens nothing.
TEST(WideFiles, NamesAreUtf8OnDisk) {
    ScratchDir dir;
    WriteFileBytes(dir.File("Диск.DAT"), Bytes{1, 2, 3});
    std::u16string name = std::filesystem::path(dir.File("Диск.DAT")).u16string();
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(file));
    std::u16string lone = std::filesystem::path(dir.Path()).u16string() + u"/" + std::u16string(1, u'\xD800');
    EXPECT_EQ(CreateFileW(lone.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr), INVALID_HANDLE_VALUE);
}

}  // namespace
}  // namespace kova::testing
