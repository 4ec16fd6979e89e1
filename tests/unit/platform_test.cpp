// The native platform layer:
// local-memory blocks as hosts and the module use them, and the Windows file
// functions over descriptors.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/win_api.h"
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

TEST(LocalMemory, ZeroSizeBlockExistsButCannotBeLocked) {
    HLOCAL block = LocalAlloc(kMovableZeroed, 0);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(LocalSize(block), 0u);
    EXPECT_EQ(LocalLock(block), nullptr);
    EXPECT_EQ(LocalUnlock(block), FALSE);
    EXPECT_EQ(LocalFree(block), nullptr);
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

}  // namespace
}  // namespace kova::testing
