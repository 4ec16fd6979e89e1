// Writes the fuzzers' seed corpora: a few small, valid entries and archives
// of every kind the module names, coded both ways and stored.
//   make_seeds DIR   ->  DIR/decode, DIR/memory, DIR/file, DIR/names
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/workload.h"
#include "tests/support/archive_builder.h"
#include "tests/support/entry_encoder.h"

namespace workload = kova::workload;
namespace support = kova::testing;
using support::Bytes;
using support::Concat;

namespace {

void Write(const std::filesystem::path& directory, const std::string& name, const Bytes& bytes) {
    std::filesystem::create_directories(directory);
    support::WriteFileBytes((directory / name).string(), bytes);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    std::filesystem::path root = argv[1];

    Bytes bitmap = workload::SampleBitmap(40, 12, 1);
    Bytes wave = workload::SampleWave(300, 2);
    Bytes midi = workload::SampleMidi(3);
    Bytes handmade = {1, 22, 0, 0, 0, 0x03, 0x61, 0x62, 0x63, 0x41, 0x78, 0x80, 0x70, 0x71,
                      0x7F, 0x05, 0x00, 0x7A, 0xBF, 0x03, 0x00, 0x6D, 0x6E, 0x00};
    std::vector<Bytes> entries = {
        bitmap,                                // stored bitmap
        support::EncodeEntry(1, bitmap),      // coded, wide distances
        support::EncodeEntry(2, wave),        // coded, narrow distances
        midi,                                  // stored MIDI song
        support::EncodeEntry(0x82, midi),     // bit 7 of the method ignored
        handmade,
        support::ToBytes("plain data"),
        {},                                    // empty entry
    };

    // Decoder: capacity, prefix fraction, input-length mode, stored bytes.
    const Bytes params[] = {{0x00, 0x10, 0x80, 0x00}, {0x40, 0x00, 0x30, 0x41}, {0x30, 0x00, 0xF0, 0xC0 | 48}};
    int k = 0;
    for (const Bytes& entry : entries) {
        for (const Bytes& param : params) Write(root / "decode", "seed" + std::to_string(k++), Concat({param, entry}));
    }

    // Archives: all entries, each on its own, and an empty one. The option
    // byte picks the probe path and, for files, the offset of a second copy.
    std::vector<Bytes> archives = {support::BuildArchive(entries), support::BuildArchive({})};
    for (const Bytes& entry : entries) archives.push_back(support::BuildArchive({entry}));
    k = 0;
    for (const Bytes& archive : archives) {
        uint8_t option = static_cast<uint8_t>(k * 9);
        Write(root / "memory", "seed" + std::to_string(k), Concat({{option}, archive}));
        Write(root / "file", "seed" + std::to_string(k), Concat({{option}, archive}));
        ++k;
    }

    // Names: a probe path, a zero byte, a name to look up.
    const char* names[][2] = {
        {"C:\\games\\disk1.DAT", "disk1_002.DAT"}, {"disk1.dat.bak", "C:\\x\\save_012.WAV"},
        {"noext", "dir\\12.DAT"},                     {"dir\\", "a_b_7.MID"},
        {".DAT", "x_.BMP"},                            {"a.b\\c.d.e", "x_1a.BMP"},
        {"\\", "_3.X.Y"},                              {"/saves/f_6.B", "\\f_6.B"},
        {"x", "x_007"},                                {"y", "z_4294967295.BMP"},
    };
    k = 0;
    for (const auto& pair : names) {
        Bytes seed = Concat({support::ToBytes(pair[0]), {0}, support::ToBytes(pair[1])});
        Write(root / "names", "seed" + std::to_string(k++), seed);
    }
    return 0;
}
