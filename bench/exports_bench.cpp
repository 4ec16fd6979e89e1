// The exports as a host calls them: listing an archive of 10,000 entries
// from a file and from memory, and extracting one large entry into a memory
// block from either input.
//
//   build-bench/exports_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "tests/support/workload.h"
#include "plugin/exports.h"
#include "tests/support/archive_builder.h"
#include "tests/support/entry_encoder.h"

namespace workload = kova::workload;
namespace support = kova::testing;
using support::Bytes;

namespace {

constexpr uint32_t kListedEntries = 10000;

struct ArchiveOnDisk {
    Bytes image;
    std::string path;
    uint32_t large_index = 0;
    size_t large_size = 0;

    ArchiveOnDisk(Bytes bytes, const char* stem, uint32_t large = 0, size_t size = 0)
        : image(std::move(bytes)), large_index(large), large_size(size) {
        const char* tmp = std::getenv("TMPDIR");
        path = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/" + stem + "-" +
               std::to_string(getpid()) + ".DAT";
        support::WriteFileBytes(path, image);
        // The probe makes this file's base name the one entries are named by.
        if (IsSupported(path.c_str(), reinterpret_cast<DWORD_PTR>(Head().data())) != 1) std::abort();
    }
    ArchiveOnDisk(const ArchiveOnDisk&) = delete;
    ArchiveOnDisk& operator=(const ArchiveOnDisk&) = delete;
    ~ArchiveOnDisk() { std::remove(path.c_str()); }
    Bytes Head() const {
        Bytes head(kova::kProbeHeadSize, 0);
        std::copy(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(kova::kProbeHeadSize, image.size())),
                  head.begin());
        return head;
    }
};

// 10,000 entries as a game's archive holds them: small coded sprites and
// sounds, stored songs and data. A few dozen distinct entries, repeated.
const ArchiveOnDisk& ManyEntries() {
    static const ArchiveOnDisk archive = [] {
        std::vector<Bytes> distinct;
        for (uint32_t k = 0; k < 48; ++k) {
            switch (k % 4) {
            case 0: distinct.push_back(support::EncodeEntry(1 + k % 2, workload::SampleBitmap(24 + k, 16, k))); break;
            case 1: distinct.push_back(support::EncodeEntry(2, workload::SampleWave(400 + 10 * k, k))); break;
            case 2: distinct.push_back(workload::SampleMidi(k)); break;
            default: distinct.push_back(Bytes(100 + k, static_cast<uint8_t>(k))); break;
            }
        }
        std::vector<Bytes> entries;
        for (uint32_t i = 0; i < kListedEntries; ++i) entries.push_back(distinct[i % distinct.size()]);
        return ArchiveOnDisk(support::BuildArchive(entries), "kova-bench-list");
    }();
    return archive;
}

// One 1600 x 1200 bitmap of about 1.9 MB, coded with either method, among a
// few small entries.
const ArchiveOnDisk& LargeEntry(int method) {
    auto make = [](uint8_t m) {
        Bytes content = workload::SampleBitmap(1600, 1200, 3);
        std::vector<Bytes> entries = {workload::SampleMidi(1), support::EncodeEntry(m, content),
                                      workload::SampleMidi(2)};
        return ArchiveOnDisk(support::BuildArchive(entries), m == 1 ? "kova-bench-large1" : "kova-bench-large2",
                             1, content.size());
    };
    static const ArchiveOnDisk wide = make(1);
    static const ArchiveOnDisk narrow = make(2);
    return method == 1 ? wide : narrow;
}

void ListArchive(benchmark::State& state, bool from_memory) {
    const ArchiveOnDisk& archive = ManyEntries();
    const char* buf = from_memory ? reinterpret_cast<const char*>(archive.image.data()) : archive.path.c_str();
    LONG_PTR len = from_memory ? static_cast<LONG_PTR>(archive.image.size()) : 0;
    unsigned flag = from_memory ? 1 : 0;
    for (auto _ : state) {
        HLOCAL list = nullptr;
        if (GetArchiveInfo(buf, len, flag, &list) != 0) {
            state.SkipWithError("listing failed");
            break;
        }
        LocalFree(list);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kListedEntries));
}

void ExtractLarge(benchmark::State& state, bool from_memory, int method) {
    const ArchiveOnDisk& archive = LargeEntry(method);
    const char* src = from_memory ? reinterpret_cast<const char*>(archive.image.data()) + archive.large_index
                                  : archive.path.c_str();
    LONG_PTR len = from_memory ? static_cast<LONG_PTR>(archive.image.size()) : archive.large_index;
    unsigned flag = kova::FlagOf(from_memory ? kova::kInputMemory : kova::kInputFile, kova::kOutputMemory);
    for (auto _ : state) {
        HLOCAL content = nullptr;
        if (GetFile(src, len, reinterpret_cast<char*>(&content), flag, nullptr, 0) != 0 ||
            LocalSize(content) != archive.large_size) {
            state.SkipWithError("extraction failed");
            break;
        }
        LocalFree(content);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * archive.large_size));
}

BENCHMARK_CAPTURE(ListArchive, file_10000, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ListArchive, memory_10000, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ExtractLarge, memory_method1, true, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ExtractLarge, memory_method2, true, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ExtractLarge, file_method1, false, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ExtractLarge, file_method2, false, 2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
