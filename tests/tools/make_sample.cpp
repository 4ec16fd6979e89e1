// Writes the bundled sample archive: make_sample examples/sample.DAT
#include <cstdio>
#include <exception>

#include "archive/archive_writer.h"
#include "tests/tools/sample_content.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample OUTPUT.DAT\n");
        return 2;
    }
    try {
        kova::testing::EncoderStats stats;
        std::vector<kova::testing::Bytes> entries = kova::testing::SampleStoredEntries(&stats);
        std::vector<kova::ByteSpan> spans(entries.begin(), entries.end());
        if (kova::WriteArchive(argv[1], spans.data(), spans.size()) != kova::WriteStatus::kOk) {
            std::fprintf(stderr, "make_sample: cannot write %s\n", argv[1]);
            return 1;
        }
        std::printf("wrote %s: %zu bytes; commands: %zu literal, %zu byte run, %zu long byte run, %zu pair run, "
                    "%zu long pair run, %zu back copy\n",
                    argv[1], kova::testing::ReadFileBytes(argv[1]).size(), stats.literals, stats.byte_runs, stats.long_byte_runs, stats.pair_runs,
                    stats.long_pair_runs, stats.back_copies);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "make_sample: %s\n", failure.what());
        return 1;
    }
    return 0;
}
