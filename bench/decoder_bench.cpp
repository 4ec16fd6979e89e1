// Decoder throughput, in bytes of content produced per second, on coded
// entries of the kinds archives hold, for both methods. Each sample is timed
// three ways on the same bytes: DecodeEntry ("Decode/"), the plain
// byte-at-a-time decoder beside this file ("Plain/"), and a memcpy of the
// content ("Memcpy/"), the ceiling no decoder reaches. Their bytes/s give
// the ratios; compare CPU time, with repetitions:
//
//   build/decoder_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "bench/plain_decoder.h"
#include "format/decoder.h"
#include "format/encoder.h"
#include "tests/support/workload.h"
#include "tests/support/entry_encoder.h"

namespace workload = kova::workload;
using workload::Bytes;

namespace {

struct Sample {
    Bytes content;
    Bytes stored;
};

Bytes Periodic(size_t size, size_t period) {
    Bytes bytes(size);
    for (size_t k = 0; k < size; ++k) bytes[k] = static_cast<uint8_t>((k % period) * 37 + 11);
    return bytes;
}

Bytes Noise(size_t size) {
    Bytes bytes(size);
    uint32_t state = 12345;
    for (uint8_t& b : bytes) {
        state = state * 1103515245 + 12345;
        b = static_cast<uint8_t>(state >> 23);
    }
    return bytes;
}

// Content and its coding are made once, on first use.
const Sample& SampleNamed(const std::string& name) {
    static std::map<std::string, Sample> samples;
    auto found = samples.find(name);
    if (found != samples.end()) return found->second;
    Bytes content;
    uint8_t method = name.back() == '1' ? 1 : 2;
    std::string kind = name.substr(0, name.size() - 2);
    // "-best": coded by the encoder's shortest parse instead of its quick one.
    auto strength = kova::testing::EncoderStrength::kDefault;
    if (kind.ends_with("-best")) {
        strength = kova::testing::EncoderStrength::kBest;
        kind.resize(kind.size() - 5);
    }
    if (kind == "bitmap") content = workload::SampleBitmap(640, 480, 7);
    if (kind == "wave") content = workload::SampleWave(200000, 7);
    if (kind == "noise") content = Noise(256 * 1024);
    if (kind == "runs") content = Bytes(1 << 20, 0x20);
    if (kind == "dither") content = Periodic(1 << 20, 2);
    if (kind == "copy17") content = Periodic(256 * 1024, 17);
    Sample sample{content, kova::testing::EncodeEntry(method, content, nullptr, strength)};
    return samples.emplace(name, std::move(sample)).first->second;
}

// Share of the content each kind of command produces, for the report.
void CountCommands(benchmark::State& state, const Bytes& stored) {
    double literal = 0, run = 0, pair = 0, copy = 0;
    for (size_t i = 5; i < stored.size();) {
        uint8_t c = stored[i++];
        if (c == 0) break;
        if (c <= 0x3F) {
            literal += c;
            i += c;
        } else if (c <= 0x7E) {
            run += c - 61;
            i += 1;
        } else if (c == 0x7F) {
            run += stored[i] | (stored[i + 1] << 8);
            i += 3;
        } else if (c <= 0xBE) {
            pair += 2.0 * (c - 126);
            i += 2;
        } else if (c == 0xBF) {
            pair += 2.0 * (stored[i] | (stored[i + 1] << 8));
            i += 4;
        } else {
            copy += c - 189;
            i += 1;
        }
    }
    double total = literal + run + pair + copy;
    state.counters["lit%"] = 100 * literal / total;
    state.counters["run%"] = 100 * run / total;
    state.counters["pair%"] = 100 * pair / total;
    state.counters["copy%"] = 100 * copy / total;
}

void Report(benchmark::State& state, const Sample& sample) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * sample.content.size()));
    state.counters["ratio"] = static_cast<double>(sample.stored.size()) / static_cast<double>(sample.content.size());
    CountCommands(state, sample.stored);
}

void Decode(benchmark::State& state, const std::string& name) {
    const Sample& sample = SampleNamed(name);
    Bytes out(sample.content.size());
    for (auto _ : state) {
        kova::DecodeEntry(kova::ByteSpan(sample.stored), sample.stored.size(), kova::MutableByteSpan(out));
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    if (out != sample.content) state.SkipWithError("decoded content differs from the original");
    Report(state, sample);
}

void DecodePlain(benchmark::State& state, const std::string& name) {
    const Sample& sample = SampleNamed(name);
    Bytes out(sample.content.size());
    for (auto _ : state) {
        kova::bench::PlainDecode(sample.stored.data(), sample.stored.size(), sample.stored.size(), out.data(),
                                 out.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    if (out != sample.content) state.SkipWithError("decoded content differs from the original");
    Report(state, sample);
}

// The content copied as it is, into an output of the same size.
void CopyContent(benchmark::State& state, const std::string& name) {
    const Sample& sample = SampleNamed(name);
    Bytes out(sample.content.size());
    for (auto _ : state) {
        std::memcpy(out.data(), sample.content.data(), out.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    Report(state, sample);
}

// Decoding into a fresh block as extraction does, its zeroing included:
// either zero-filled when allocated ("Zeroed/"), or allocated as it comes and
// only the tail the stream left zeroed afterwards ("Tail/").
void DecodeIntoBlock(benchmark::State& state, const std::string& name, bool zero_filled) {
    const Sample& sample = SampleNamed(name);
    size_t size = sample.content.size();
    bool same = true;
    for (auto _ : state) {
        auto* out = static_cast<uint8_t*>(zero_filled ? std::calloc(size, 1) : std::malloc(size));
        kova::DecodeResult result =
            kova::DecodeEntry(kova::ByteSpan(sample.stored), sample.stored.size(), kova::MutableByteSpan(out, size));
        if (!zero_filled) std::memset(out + result.written, 0, size - result.written);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
        same = same && out[size - 1] == sample.content[size - 1];
        std::free(out);
    }
    if (!same) state.SkipWithError("decoded content differs from the original");
    Report(state, sample);
}

// The sniffer's decode: 48 stored bytes into 48 content bytes.
void DecodeSniff(benchmark::State& state) {
    const Sample& sample = SampleNamed("bitmap/1");
    uint8_t out[48];
    for (auto _ : state) {
        kova::DecodeEntry(kova::ByteSpan(sample.stored), 48, kova::MutableByteSpan(out));
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

// The real-content corpus (scripts/bench makes it and names its folder in
// KOVA_REAL_CORPUS), every file packed as kova pack packs it by default.
// "Tail/real" decodes them all as GetFile to memory does, block and zeroing
// included; "Plain/real" with the plain decoder into a zeroed block.
std::vector<Sample> RealCorpus() {
    std::vector<Sample> samples;
    const char* folder = std::getenv("KOVA_REAL_CORPUS");
    if (folder == nullptr) return samples;
    std::vector<std::filesystem::path> files;
    for (const auto& found : std::filesystem::directory_iterator(folder)) files.push_back(found.path());
    std::sort(files.begin(), files.end());
    for (const auto& path : files) {
        std::ifstream file(path, std::ios::binary);
        Bytes content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        Bytes stored;
        kova::PackEntry(kova::ByteSpan(content), kova::PackMethod::kAuto, kova::EncoderStrength::kDefault, stored);
        samples.push_back({std::move(content), std::move(stored)});
    }
    return samples;
}

const std::vector<Sample>& Real() {
    static const std::vector<Sample> samples = RealCorpus();
    return samples;
}

void ReportReal(benchmark::State& state, bool same) {
    if (!same) state.SkipWithError("decoded content differs from the original");
    size_t content = 0, stored = 0;
    for (const Sample& sample : Real()) {
        content += sample.content.size();
        stored += sample.stored.size();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * content));
    state.counters["ratio"] = static_cast<double>(stored) / static_cast<double>(content);
}

void DecodeRealIntoBlocks(benchmark::State& state) {
    bool same = true;
    for (auto _ : state) {
        for (const Sample& sample : Real()) {
            size_t size = sample.content.size();
            auto* out = static_cast<uint8_t*>(std::malloc(size > 0 ? size : 1));
            kova::DecodeResult result = kova::DecodeEntry(kova::ByteSpan(sample.stored), sample.stored.size(),
                                                          kova::MutableByteSpan(out, size));
            std::memset(out + result.written, 0, size - result.written);
            benchmark::DoNotOptimize(out);
            benchmark::ClobberMemory();
            same = same && (size == 0 || out[size - 1] == sample.content[size - 1]);
            std::free(out);
        }
    }
    ReportReal(state, same);
}

// As "Plain/" above: into outputs made once, outside the timing.
void DecodeRealPlain(benchmark::State& state) {
    std::vector<Bytes> outs;
    for (const Sample& sample : Real()) outs.emplace_back(sample.content.size());
    for (auto _ : state) {
        for (size_t k = 0; k < Real().size(); ++k) {
            const Sample& sample = Real()[k];
            kova::bench::PlainDecode(sample.stored.data(), sample.stored.size(), sample.stored.size(), outs[k].data(),
                                     outs[k].size());
            benchmark::DoNotOptimize(outs[k].data());
            benchmark::ClobberMemory();
        }
    }
    bool same = true;
    for (size_t k = 0; k < Real().size(); ++k) same = same && outs[k] == Real()[k].content;
    ReportReal(state, same);
}

const int kRegistered = [] {
    for (const char* kind : {"bitmap", "bitmap-best", "wave", "wave-best", "noise", "runs", "dither", "copy17"}) {
        for (const char* method : {"1", "2"}) {
            std::string name = std::string(kind) + "/" + method;
            benchmark::RegisterBenchmark(("Decode/" + name).c_str(), Decode, name);
            benchmark::RegisterBenchmark(("Plain/" + name).c_str(), DecodePlain, name);
            benchmark::RegisterBenchmark(("Memcpy/" + name).c_str(), CopyContent, name);
            benchmark::RegisterBenchmark(("Zeroed/" + name).c_str(), DecodeIntoBlock, name, true);
            benchmark::RegisterBenchmark(("Tail/" + name).c_str(), DecodeIntoBlock, name, false);
        }
    }
    benchmark::RegisterBenchmark("DecodeSniff48", DecodeSniff);
    if (std::getenv("KOVA_REAL_CORPUS") != nullptr) {
        benchmark::RegisterBenchmark("Tail/real", DecodeRealIntoBlocks);
        benchmark::RegisterBenchmark("Plain/real", DecodeRealPlain);
    }
    return 0;
}();

}  // namespace

BENCHMARK_MAIN();
