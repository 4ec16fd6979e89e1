// What every host-level test needs: the plug-in loaded the way a host loads
// it, scratch files, and the exports' results in plain containers.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/driver.h"
#include "host/plugin_loader.h"
#include "platform/accounting.h"
#include "plugin/interface.h"
#include "tests/support/archive_builder.h"

namespace kova::testing {

constexpr unsigned kFileInput = FlagOf(kova::kInputFile, kova::kOutputDiskFile);
constexpr unsigned kMemoryInput = FlagOf(kova::kInputMemory, kova::kOutputDiskFile);
constexpr unsigned kDiskOutput = FlagOf(kova::kInputFile, kova::kOutputDiskFile);
constexpr unsigned kMemoryOutput = FlagOf(kova::kInputFile, kova::kOutputMemory);

// The plug-in named by KOVA_PLUGIN, or the one beside the test program.
PluginApi& Plugin();

// The accounting build of the plug-in (kova_accounted.so) tells what it
// holds and fails a chosen request on demand; other builds do neither.
bool HasAccounting();
// What the plug-in holds now (all zero without accounting).
KovaResources HeldNow();
// Makes the request `skip` requests from now fail; negative: none.
void FailRequest(int64_t skip);
// Checks that nothing is held beyond `movable_blocks` blocks (the host's),
// none of them locked: no open file, no working memory.
void ExpectNothingHeld(int64_t movable_blocks = 0);

// A directory of its own for each test, removed afterwards. With the
// accounting build, every test ends with nothing held by the plug-in.
class HostTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes `bytes` to a file of that name in the test's directory.
    std::string WriteArchive(const std::string& name, const Bytes& bytes);
    // Probes `path` with the head given by pointer, as a host that read it.
    int ProbeByPointer(const std::string& path, const Bytes& head);

    std::filesystem::path dir_;
};

struct Listing {
    int result = -1;
    size_t block_size = 0;
    std::vector<EntryInfo> records;  // up to, not including, the closing one
    bool closed = false;             // the record after the last is all zero
    HLOCAL handle_after = nullptr;   // what the call left in *lphInf
};

// GetArchiveInfo; `buf` is a file name or an image, `len` an offset or a length.
Listing List(const char* buf, LONG_PTR len, unsigned flag);
Listing ListFile(const std::string& path, LONG_PTR offset = 0);
Listing ListImage(const Bytes& image);

struct Extraction {
    int result = -1;
    HLOCAL handle = nullptr;  // left in dest; released by the helper
    size_t block_size = 0;
    Bytes content;
};

Extraction ExtractFile(const std::string& path, LONG_PTR index, unsigned output = kMemoryOutput);
Extraction ExtractImage(const Bytes& image, size_t index, unsigned output = kMemoryOutput);

std::string NameOf(const EntryInfo& record);

}  // namespace kova::testing
