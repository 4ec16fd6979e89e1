// Packed sizes of real files: for each file named on the command line, one
// JSON line with its size and the stored size kova pack gives it by default,
// with --best (the format's optimum) and by the plain greedy coder. Every
// coded form is decoded back and compared with the file.
//
//   build-bench/corpus_sizes FILE...
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/greedy_reference.h"
#include "format/decoder.h"
#include "format/encoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

bool DecodesTo(const Bytes& stored, const Bytes& content) {
    Bytes out(content.size());
    kova::DecodeEntry(kova::ByteSpan(stored), stored.size(), kova::MutableByteSpan(out));
    return out == content;
}

size_t Packed(const Bytes& content, kova::EncoderStrength strength, bool& sound) {
    Bytes stored;
    kova::PackEntry(kova::ByteSpan(content), kova::PackMethod::kAuto, strength, stored);
    sound = sound && DecodesTo(stored, content);
    return stored.size();
}

}  // namespace

int main(int argc, char** argv) {
    int failures = 0;
    for (int k = 1; k < argc; ++k) {
        std::ifstream file(argv[k], std::ios::binary);
        Bytes content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (!file.eof() && !file) {
            std::fprintf(stderr, "cannot read %s\n", argv[k]);
            return 1;
        }
        bool sound = true;
        size_t fast = Packed(content, kova::EncoderStrength::kDefault, sound);
        size_t best = Packed(content, kova::EncoderStrength::kBest, sound);
        for (uint8_t method : {uint8_t{1}, uint8_t{2}}) sound = sound && DecodesTo(kova::testing::GreedyEntry(kova::ByteSpan(content), method), content);
        size_t greedy = kova::testing::GreedyPackedSize(kova::ByteSpan(content));
        std::printf("{\"file\": \"%s\", \"size\": %zu, \"default\": %zu, \"best\": %zu, \"greedy\": %zu}\n", argv[k],
                    content.size(), fast, best, greedy);
        if (!sound) {
            std::fprintf(stderr, "%s: a coded form does not decode to the file\n", argv[k]);
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
