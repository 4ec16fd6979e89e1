#include "tests/host/host_support.h"

#include <cstdlib>
#include <cstring>
#include <random>

#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace kova::testing {

PluginApi& Plugin() {
    static PluginApi api;
    static bool loaded = false;
    if (!loaded) {
        const char* path = std::getenv("KOVA_PLUGIN");
        std::string error;
        if (!LoadPlugin(path != nullptr ? path : DefaultPluginPath(), api, error)) {
            ADD_FAILURE() << error;
            std::abort();
        }
        loaded = true;
    }
    return api;
}

namespace {

struct Accounting {
    void (*counts)(KovaResources*) = nullptr;
    void (*fail)(int64_t) = nullptr;
};

const Accounting& AccountingOf() {
    static Accounting accounting = [] {
        Accounting found;
#ifndef _WIN32
        void* library = Plugin().library;
        found.counts = reinterpret_cast<void (*)(KovaResources*)>(dlsym(library, "KovaResourceCounts"));
        found.fail = reinterpret_cast<void (*)(int64_t)>(dlsym(library, "KovaFailRequest"));
#endif
        return found;
    }();
    return accounting;
}

}  // namespace

bool HasAccounting() { return AccountingOf().counts != nullptr && AccountingOf().fail != nullptr; }

KovaResources HeldNow() {
    KovaResources held = {};
    if (HasAccounting()) AccountingOf().counts(&held);
    return held;
}

void FailRequest(int64_t skip) {
    if (HasAccounting()) AccountingOf().fail(skip);
}

void ExpectNothingHeld(int64_t movable_blocks) {
    if (!HasAccounting()) return;
    KovaResources held = HeldNow();
    EXPECT_EQ(held.open_files, 0) << "files left open";
    EXPECT_EQ(held.heap_blocks, 0) << "working memory not released";
    EXPECT_EQ(held.movable_blocks, movable_blocks) << "movable blocks";
    EXPECT_EQ(held.locks, 0) << "blocks left locked";
}

void HostTest::SetUp() {
    std::random_device seed;
    dir_ = std::filesystem::temp_directory_path() /
           ("kova-host-" + std::to_string(seed()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
}

void HostTest::TearDown() {
    FailRequest(-1);
    ExpectNothingHeld();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::string HostTest::WriteArchive(const std::string& name, const Bytes& bytes) {
    std::string path = (dir_ / name).string();
    WriteFileBytes(path, bytes);
    return path;
}

int HostTest::ProbeByPointer(const std::string& path, const Bytes& head) {
    Bytes padded = head;
    padded.resize(kProbeHeadSize);
    return Plugin().is_supported(path.c_str(), reinterpret_cast<DWORD_PTR>(padded.data()));
}

Listing List(const char* buf, LONG_PTR len, unsigned flag) {
    PluginApi& api = Plugin();
    Listing listing;
    HLOCAL handle = reinterpret_cast<HLOCAL>(static_cast<uintptr_t>(0xDEAD0));
    listing.result = api.get_archive_info(buf, len, flag, &handle);
    listing.handle_after = handle;
    if (listing.result != 0 || handle == nullptr) return listing;

    ListBlock block = ReadListBlock(api, handle);
    listing.block_size = block.block_size;
    listing.records = std::move(block.records);
    listing.closed = block.closed;
    EXPECT_EQ(api.local_free(handle), nullptr);
    return listing;
}

Listing ListFile(const std::string& path, LONG_PTR offset) { return List(path.c_str(), offset, kFileInput); }

Listing ListImage(const Bytes& image) {
    return List(reinterpret_cast<const char*>(image.data()), static_cast<LONG_PTR>(image.size()),
                kMemoryInput);
}

namespace {

Extraction TakeBlock(int result, HLOCAL handle) {
    PluginApi& api = Plugin();
    Extraction out;
    out.result = result;
    out.handle = handle;
    if (handle == nullptr) return out;
    EXPECT_EQ(TakeBlockContent(api, handle, out.content, out.block_size), nullptr);
    return out;
}

}  // namespace

Extraction ExtractFile(const std::string& path, LONG_PTR index, unsigned output) {
    HLOCAL handle = nullptr;
    int result = Plugin().get_file(path.c_str(), index, reinterpret_cast<char*>(&handle),
                                   kFileInput | output, nullptr, 0);
    return TakeBlock(result, handle);
}

Extraction ExtractImage(const Bytes& image, size_t index, unsigned output) {
    HLOCAL handle = nullptr;
    int result = Plugin().get_file(reinterpret_cast<const char*>(image.data()) + index,
                                   static_cast<LONG_PTR>(image.size()), reinterpret_cast<char*>(&handle),
                                   kMemoryInput | output, nullptr, 0);
    return TakeBlock(result, handle);
}

std::string NameOf(const EntryInfo& record) {
    return std::string(record.filename, strnlen(record.filename, sizeof record.filename));
}

}  // namespace kova::testing
