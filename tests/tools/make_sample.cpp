// Writes the bundled sample archive: make_sample examples/sample.DAT
#include <cstdio>
#include <exception>

#include "tests/tools/sample_content.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample OUTPUT.DAT\n");
        return 2;
    }
    try {
        kova::testing::EncoderStats stats;
        kova::testing::Bytes archive = kova::testing::SampleArchiveBytes(&stats);
        kova::testing::WriteFileBytes(argv[1], archive);
        std::printf("wrote %s: %zu bytes; commands: %zu literal, %zu byte run, %zu long byte run, %zu pair run, "
                    "%zu long pair run, %zu back copy\n",
                    argv[1], archive.size(), stats.literals, stats.byte_runs, stats.long_byte_runs, stats.pair_runs,
                    stats.long_pair_runs, stats.back_copies);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "make_sample: %s\n", failure.what());
        return 1;
    }
    return 0;
}
