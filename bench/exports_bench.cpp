// The exports as a host calls them: listing an archive of 10,000 entries
// from a file and from memory, and extracting one large entry into a memory
// block from either input. For the performance goals: GetFile on the last
// entry of archives of 16, 10,000 and 1,000,000 entries; listing 1,000,000
// entries next to one seek and one 64-byte read per entry; the peak memory
// of extracting a 64 MiB entry. scripts/bench prints the ratios.
//
//   build-bench/exports_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <fcntl.h>
#include <fstream>
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

// Small entries, a few kinds, `count` of them.
const ArchiveOnDisk& Counted(uint32_t count) {
    static std::map<uint32_t, std::unique_ptr<ArchiveOnDisk>> made;
    auto found = made.find(count);
    if (found != made.end()) return *found->second;
    std::vector<Bytes> distinct;
    for (uint32_t k = 0; k < 16; ++k) {
        switch (k % 4) {
        case 0: distinct.push_back(support::EncodeEntry(1 + k % 2, workload::SampleBitmap(8 + k, 4, k))); break;
        case 1: distinct.push_back(support::EncodeEntry(2, workload::SampleWave(40 + k, k))); break;
        default: distinct.push_back(Bytes(30 + k, static_cast<uint8_t>(k + 3))); break;
        }
    }
    std::vector<Bytes> entries;
    entries.reserve(count);
    for (uint32_t i = 0; i < count; ++i) entries.push_back(distinct[i % distinct.size()]);
    std::string stem = "kova-bench-count" + std::to_string(count);
    auto archive = std::make_unique<ArchiveOnDisk>(support::BuildArchive(entries), stem.c_str());
    return *made.emplace(count, std::move(archive)).first->second;
}

// GetFile by file name on the archive's last entry.
void ExtractLast(benchmark::State& state, uint32_t count) {
    const ArchiveOnDisk& archive = Counted(count);
    // The probe is what names the entries; take this archive's.
    IsSupported(archive.path.c_str(), reinterpret_cast<DWORD_PTR>(archive.Head().data()));
    unsigned flag = kova::FlagOf(kova::kInputFile, kova::kOutputMemory);
    for (auto _ : state) {
        HLOCAL content = nullptr;
        if (GetFile(archive.path.c_str(), static_cast<LONG_PTR>(count - 1), reinterpret_cast<char*>(&content), flag,
                    nullptr, 0) != 0) {
            state.SkipWithError("extraction failed");
            break;
        }
        LocalFree(content);
    }
}

void ListCounted(benchmark::State& state, uint32_t count) {
    const ArchiveOnDisk& archive = Counted(count);
    IsSupported(archive.path.c_str(), reinterpret_cast<DWORD_PTR>(archive.Head().data()));
    for (auto _ : state) {
        HLOCAL list = nullptr;
        if (GetArchiveInfo(archive.path.c_str(), 0, 0, &list) != 0) {
            state.SkipWithError("listing failed");
            break;
        }
        LocalFree(list);
    }
}

// The floor a listing is held to: one seek and one 64-byte read at each
// entry's stored bytes, through an open file, in index order.
void SeekAndReadEach(benchmark::State& state, uint32_t count) {
    const ArchiveOnDisk& archive = Counted(count);
    std::vector<uint32_t> offsets(count);
    for (uint32_t i = 0; i < count; ++i) offsets[i] = support::GetLe32(archive.image, 24 + 8 * size_t{i} + 4);
    int file = open(archive.path.c_str(), O_RDONLY);
    char head[64];
    for (auto _ : state) {
        for (uint32_t offset : offsets) {
            lseek(file, offset, SEEK_SET);
            benchmark::DoNotOptimize(read(file, head, sizeof head));
        }
    }
    close(file);
}

uint64_t StatusBytes(const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0) return std::strtoull(line.c_str() + std::strlen(field), nullptr, 10) * 1024;
    }
    return 0;
}

// The process's peak resident memory while one 64 MiB entry is extracted
// from a file, over what it held before; counters give it next to the
// entry's stored size plus its unpacked size plus 1 MiB.
void PeakOf64MiB(benchmark::State& state) {
    static const ArchiveOnDisk archive = [] {
        Bytes content;
        for (uint32_t k = 0; content.size() < (size_t{64} << 20); ++k) {
            Bytes part = workload::SampleWave(1 << 20, k);
            content.insert(content.end(), part.begin(), part.end());
        }
        content.resize(size_t{64} << 20);
        return ArchiveOnDisk(support::BuildArchive({support::EncodeEntry(2, content)}), "kova-bench-64mib", 0,
                             content.size());
    }();
    uint64_t stored = support::GetLe32(archive.image, 24);
    unsigned flag = kova::FlagOf(kova::kInputFile, kova::kOutputMemory);
    uint64_t peak = 0;
    for (auto _ : state) {
        // Writing 5 to clear_refs resets the peak to what is resident now.
        { std::ofstream("/proc/self/clear_refs") << "5"; }
        uint64_t before = StatusBytes("VmRSS:");
        HLOCAL content = nullptr;
        if (GetFile(archive.path.c_str(), 0, reinterpret_cast<char*>(&content), flag, nullptr, 0) != 0) {
            state.SkipWithError("extraction failed");
            break;
        }
        // The kernel updates the peak when memory is given back, so it is read
        // after the block is freed.
        LocalFree(content);
        peak = std::max(peak, StatusBytes("VmHWM:") - before);
    }
    state.counters["peak_bytes"] = static_cast<double>(peak);
    state.counters["bound_bytes"] = static_cast<double>(stored + archive.large_size + (1 << 20));
}

BENCHMARK_CAPTURE(ExtractLast, 16, 16)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ExtractLast, 10000, 10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ExtractLast, 1000000, 1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ListCounted, 1000000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SeekAndReadEach, 1000000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(PeakOf64MiB)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
