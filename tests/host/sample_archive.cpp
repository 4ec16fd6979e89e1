#include "tests/host/sample_archive.h"

namespace kova::testing {
namespace {

Bytes Repeat(const Bytes& unit, size_t times) {
    Bytes all;
    for (size_t k = 0; k < times; ++k) Append(all, unit);
    return all;
}

Bytes WaveContent() {
    // "RIFF", size, "WAVEfmt ", then 17 literal bytes and a copy of 30 bytes
    // from 80 - 63 = 17 back: the copy repeats the 17 bytes before it.
    Bytes head = Concat({ToBytes("RIFF"), {36, 0, 0, 0}, ToBytes("WAVEfmt "), {16, 0, 0, 0, 1, 0, 1, 0}});
    Bytes pattern(head.end() - 17, head.end());
    Bytes tail;
    for (size_t k = 0; k < 30; ++k) tail.push_back(pattern[k % 17]);
    return Concat({head, tail});
}

}  // namespace

const std::vector<Bytes>& SampleStored() {
    static const std::vector<Bytes> stored = [] {
        Bytes wave = WaveContent();
        Bytes literal(wave.begin(), wave.end() - 30);
        Bytes wave_commands = Concat({{static_cast<uint8_t>(literal.size())}, literal,
                                      {0xDB /* 30 bytes */, 0x3F /* from 80 - 63 back */, 0x00}});
        return std::vector<Bytes>{
            Concat({ToBytes("BM"), Repeat({0x10, 0x20, 0x30}, 20)}),
            CodedEntry(1, 22, {0x03, 0x61, 0x62, 0x63, 0x41, 0x78, 0x80, 0x70, 0x71, 0x7F, 0x05, 0x00, 0x7A,
                               0xBF, 0x03, 0x00, 0x6D, 0x6E, 0x00}),
            CodedEntry(0x82, static_cast<uint32_t>(wave.size()), wave_commands),
            Concat({ToBytes("MThd"), {0, 0, 0, 6, 0, 0, 0, 1, 0, 96}, ToBytes("MTrk"), {0, 0, 0, 4, 0, 0xFF, 0x2F, 0}}),
            CodedEntry(1, 40, {0x4A, 0x55}),  // a run of 13, then the input ends
            ToBytes("plain text, stored as it is"),
        };
    }();
    return stored;
}

const std::vector<Bytes>& SampleContent() {
    static const std::vector<Bytes> content = [] {
        const std::vector<Bytes>& stored = SampleStored();
        Bytes cut(40, 0);
        for (size_t k = 0; k < 13; ++k) cut[k] = 0x55;
        return std::vector<Bytes>{
            stored[kStoredBitmap],
            Concat({ToBytes("abc"), Bytes(4, 'x'), ToBytes("pqpq"), Bytes(5, 'z'), ToBytes("mnmnmn")}),
            WaveContent(),
            stored[kStoredMidi],
            cut,
            stored[kStoredOther],
        };
    }();
    return content;
}

Bytes SampleArchive() { return BuildArchive(SampleStored(), 0x12345678); }

}  // namespace kova::testing
