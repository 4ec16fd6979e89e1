// Packing: the size the default and the best strength reach per kind of
// content, next to gzip -9's, and how fast the default packs, next to
// gzip -6 on the same bytes in the same run (CPU time).
//
//   build-bench/pack_bench [--benchmark_filter=...]
//
// Counters: `packed` is the output size in bytes, `of_best` that size over
// the best strength's (1.0 is the optimum).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <map>
#include <string>

#include "format/encoder.h"
#include "tests/support/workload.h"

namespace workload = kova::workload;
using workload::Bytes;

namespace {

Bytes Text() {
    std::string text;
    for (int line = 0; text.size() < 200000; ++line) {
        text += "scene " + std::to_string(line % 97) + ": the harbour at dusk, lanterns " +
                std::to_string(line * 7 % 13) + ", gulls, the ferry bell rings " + std::to_string(line % 5) +
                " times\n";
    }
    return Bytes(text.begin(), text.end());
}

// What a game disc holds, about 8 MiB: full-screen 8-bit bitmaps, 16-bit
// sounds, songs and text.
Bytes Mixed() {
    Bytes all;
    auto add = [&all](const Bytes& part) { all.insert(all.end(), part.begin(), part.end()); };
    for (uint32_t k = 0; k < 16; ++k) add(workload::SampleBitmap(640, 480, k));
    for (uint32_t k = 0; k < 4; ++k) add(workload::SampleWave(400000, k));
    for (uint32_t k = 0; k < 20; ++k) add(workload::SampleMidi(k));
    add(Text());
    return all;
}

const Bytes& Content(const std::string& kind) {
    static std::map<std::string, Bytes> made;
    auto found = made.find(kind);
    if (found != made.end()) return found->second;
    Bytes content;
    if (kind == "bitmap") content = workload::SampleBitmap(640, 480, 7);
    if (kind == "wave") content = workload::SampleWave(400000, 7);
    if (kind == "midi") for (uint32_t k = 0; k < 40; ++k) { Bytes song = workload::SampleMidi(k); content.insert(content.end(), song.begin(), song.end()); }
    if (kind == "text") content = Text();
    if (kind == "mixed") content = Mixed();
    return made.emplace(kind, std::move(content)).first->second;
}

size_t Packed(const Bytes& content, kova::EncoderStrength strength) {
    Bytes stored;
    kova::PackEntry(kova::ByteSpan(content.data(), content.size()), kova::PackMethod::kAuto, strength, stored);
    return stored.size();
}

size_t BestSize(const std::string& kind) {
    static std::map<std::string, size_t> sizes;
    auto found = sizes.find(kind);
    if (found != sizes.end()) return found->second;
    return sizes[kind] = Packed(Content(kind), kova::EncoderStrength::kBest);
}

void Report(benchmark::State& state, const std::string& kind, size_t packed) {
    const Bytes& content = Content(kind);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * content.size()));
    state.counters["packed"] = static_cast<double>(packed);
    state.counters["of_best"] = static_cast<double>(packed) / static_cast<double>(BestSize(kind));
}

void BM_Pack(benchmark::State& state, std::string kind, kova::EncoderStrength strength) {
    const Bytes& content = Content(kind);
    size_t packed = 0;
    for (auto _ : state) benchmark::DoNotOptimize(packed = Packed(content, strength));
    Report(state, kind, packed);
}

void BM_Gzip(benchmark::State& state, std::string kind, int level) {
    const Bytes& content = Content(kind);
    Bytes out(compressBound(content.size()));
    uLongf packed = 0;
    for (auto _ : state) {
        packed = out.size();
        compress2(out.data(), &packed, content.data(), content.size(), level);
        benchmark::DoNotOptimize(out.data());
    }
    Report(state, kind, packed);
}

void Register() {
    for (const char* kind : {"bitmap", "wave", "midi", "text", "mixed"}) {
        benchmark::RegisterBenchmark((std::string("pack/default/") + kind).c_str(), BM_Pack, kind,
                                     kova::EncoderStrength::kDefault)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
        benchmark::RegisterBenchmark((std::string("pack/best/") + kind).c_str(), BM_Pack, kind,
                                     kova::EncoderStrength::kBest)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->Iterations(1);
        benchmark::RegisterBenchmark((std::string("gzip-6/") + kind).c_str(), BM_Gzip, kind, 6)
            ->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
        benchmark::RegisterBenchmark((std::string("gzip-9/") + kind).c_str(), BM_Gzip, kind, 9)
            ->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
    }
}

}  // namespace

int main(int argc, char** argv) {
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
