// Writes the fuzzers' seed corpora, one directory per target, plus two
// general sets for targets that have none of their own:
//
//   make_seeds DIR  ->  DIR/decode_entry_fuzzer, DIR/decode_stream_fuzzer,
//                       DIR/exports_memory_fuzzer, DIR/exports_file_fuzzer,
//                       DIR/names_fuzzer,
//                       DIR/_archives (archive images as they are),
//                       DIR/_contents (entry content before coding)
//
// Valid entries and archives come from the library's encoder and the tests' archive builder;
// beside them lie the ways an archive can lie: counts that wrap or do not
// fit, offsets and sizes past the end, overlapping entries, streams cut
// inside every command, an index away from byte 24, a second magic inside.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/workload.h"
#include "tests/support/archive_builder.h"
#include "tests/support/entry_encoder.h"

namespace workload = kova::workload;
namespace support = kova::testing;
using support::Bytes;
using support::Concat;
using support::PutLe32;

namespace {

class SeedSet {
public:
    SeedSet(const std::filesystem::path& root, const std::string& name) : directory_(root / name) {
        std::filesystem::create_directories(directory_);
    }
    void Add(const Bytes& bytes) {
        support::WriteFileBytes((directory_ / ("seed" + std::to_string(count_++))).string(), bytes);
    }

private:
    std::filesystem::path directory_;
    int count_ = 0;
};

// A header (and the u32 after it) that passes validation for any fields:
// the sizes agree in wrapping 32-bit arithmetic and byte 28 holds the end of
// the index, as the first entry's data_offset would.
Bytes ConsistentHead(uint32_t index_offset, uint32_t count, uint32_t data_size) {
    uint32_t index_end = index_offset + 8u * count;
    Bytes head = {'K', 'O', 'V', 'A'};
    PutLe32(head, 4, data_size + index_end);
    PutLe32(head, 8, index_offset);
    PutLe32(head, 12, data_size);
    PutLe32(head, 16, count);
    PutLe32(head, 20, 0);
    PutLe32(head, 24, 0);
    PutLe32(head, 28, index_end);
    return head;
}

// The entries' stored bytes first, then the index: index_offset is not 24.
// Bytes 24-31 carry what validation reads at byte 28.
Bytes IndexAtEnd(const std::vector<Bytes>& entries) {
    uint32_t data_size = 0;
    for (const Bytes& entry : entries) data_size += static_cast<uint32_t>(entry.size());
    uint32_t count = static_cast<uint32_t>(entries.size());
    uint32_t index_offset = 32 + data_size;
    Bytes archive = ConsistentHead(index_offset, count, data_size);
    uint32_t at = 32;
    Bytes index;
    for (const Bytes& entry : entries) {
        support::Append(archive, entry);
        PutLe32(index, index.size(), static_cast<uint32_t>(entry.size()));
        PutLe32(index, index.size(), at);
        at += static_cast<uint32_t>(entry.size());
    }
    support::Append(archive, index);
    return archive;
}

Bytes Cut(const Bytes& bytes, size_t length) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(length, bytes.size())));
}

// Every prefix of a short stream, a dozen spread over a long one.
std::vector<Bytes> CutsOf(const Bytes& stored) {
    std::vector<Bytes> cuts;
    size_t step = stored.size() <= 48 ? 1 : stored.size() / 12;
    for (size_t length = 1; length < stored.size(); length += step) cuts.push_back(Cut(stored, length));
    return cuts;
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
    Bytes text = support::ToBytes("plain data, plain data, plain data");
    Bytes runs = Concat({Bytes(300, 'a'), Bytes(40, 0), {'x', 'y', 'x', 'y', 'x', 'y', 'x', 'y'}});
    // Every command kind once: literals, a short run, a pair run, a long
    // run, a long pair run, back copies with both distance rows.
    Bytes handmade = {1, 22, 0, 0, 0, 0x03, 0x61, 0x62, 0x63, 0x41, 0x78, 0x80, 0x70, 0x71,
                      0x7F, 0x05, 0x00, 0x7A, 0xBF, 0x03, 0x00, 0x6D, 0x6E, 0x00};
    std::vector<Bytes> contents = {bitmap, wave, midi, text, runs};

    std::vector<Bytes> entries = {
        bitmap,                              // stored bitmap
        support::EncodeEntry(1, bitmap),     // coded, wide distances
        support::EncodeEntry(2, wave),       // coded, narrow distances
        midi,                                // stored MIDI song
        support::EncodeEntry(0x82, midi),    // bit 7 of the method ignored
        support::EncodeEntry(1, runs),       // long runs
        handmade,
        text,
        {},                                  // empty entry
    };
    // Streams that lie: a back copy before the output's start, a long run
    // whose value byte is missing, a literal count past the end, a declared
    // size near 4 GiB, a coded entry shorter than its own head.
    std::vector<Bytes> hostile_entries = {
        support::CodedEntry(1, 16, {0xC0, 0x00, 0x41, 0x00}),
        support::CodedEntry(2, 16, {0x02, 'a', 'b', 0xC5, 0x7E, 0x00}),
        support::CodedEntry(1, 64, {0x7F, 0x40, 0x00}),
        support::CodedEntry(1, 64, {0xBF, 0x20, 0x00, 'p'}),
        support::CodedEntry(1, 64, {0x3F, 'a', 'b'}),
        support::CodedEntry(1, 0xFFFFFFF0u, {0x7F, 0xFF, 0xFF, 'z', 0x00}),
        support::CodedEntry(0x81, 0, {0x41, 'q', 0x00}),
        {1, 0x10},
        {2},
    };
    std::vector<Bytes> cut_streams;
    for (const Bytes& stored : {handmade, support::EncodeEntry(1, runs), support::EncodeEntry(2, wave)}) {
        for (const Bytes& cut : CutsOf(stored)) cut_streams.push_back(cut);
    }

    // Decoder: capacity, prefix fraction, input-length mode, stored bytes.
    SeedSet decode(root, "decode_entry_fuzzer");
    const Bytes params[] = {{0x00, 0x10, 0x80, 0x00}, {0x40, 0x00, 0x30, 0x41}, {0x30, 0x00, 0xF0, 0xC0 | 48}};
    for (const auto* set : {&entries, &hostile_entries}) {
        for (const Bytes& entry : *set) {
            for (const Bytes& param : params) decode.Add(Concat({param, entry}));
        }
    }
    for (const Bytes& cut : cut_streams) decode.Add(Concat({params[0], cut}));

    // Decoder behind a literal prefix: option byte, capacity past the prefix,
    // bytes cut from the end, then a command stream without its head.
    SeedSet streams(root, "decode_stream_fuzzer");
    const Bytes stream_params[] = {{0x00, 0xFF, 0xFF, 0x00}, {0x0D, 0x00, 0x01, 0x05}, {0x1A, 0x40, 0x00, 0x01}};
    for (const Bytes& stored : {handmade, support::EncodeEntry(1, bitmap), support::EncodeEntry(2, wave),
                                support::EncodeEntry(1, runs), support::EncodeEntry(2, midi)}) {
        for (const Bytes& param : stream_params) streams.Add(Concat({param, Bytes(stored.begin() + 5, stored.end())}));
    }

    // Archives: all entries, each on its own, the hostile ones, and archives
    // whose header or index lies.
    std::vector<Bytes> archives = {support::BuildArchive(entries), support::BuildArchive({})};
    for (const Bytes& entry : entries) archives.push_back(support::BuildArchive({entry}));
    archives.push_back(support::BuildArchive(hostile_entries));
    for (size_t k = 0; k < cut_streams.size(); k += 3) archives.push_back(support::BuildArchive({cut_streams[k]}));
    archives.push_back(support::BuildArchive({{}, {}, {}, text}));

    // Counts that do not fit the bytes there are, or wrap 8 x count.
    for (uint32_t count : {3u, 9586979u, 0x1FFFFFFFu, 0x20000000u, 0x20000003u, 0xFFFFFFFFu}) {
        archives.push_back(ConsistentHead(24, count, 0));
        archives.push_back(Concat({ConsistentHead(24, count, 4), Bytes(20, 0)}));
    }
    // Offsets and sizes past the end, overlapping entries.
    {
        Bytes base = support::BuildArchive({text, support::EncodeEntry(1, runs), midi});
        Bytes far = base;
        PutLe32(far, 24 + 8 + 4, 0xFFFFFF00u);
        archives.push_back(far);
        Bytes huge = base;
        PutLe32(huge, 24 + 16, 0xFFFFFFFFu);
        archives.push_back(huge);
        Bytes overlapping = base;
        PutLe32(overlapping, 24 + 8, support::GetLe32(base, 24) + 20);
        PutLe32(overlapping, 24 + 12, support::GetLe32(base, 28) + 3);
        archives.push_back(overlapping);
        Bytes into_header = base;
        PutLe32(into_header, 24 + 16 + 4, 0);
        archives.push_back(into_header);
        // A copy cut inside its data area, and one cut inside its index.
        archives.push_back(Cut(base, base.size() - 30));
        archives.push_back(Cut(base, 40));
        archives.push_back(Cut(base, 31));
    }
    // The index after the data, and an archive inside an entry (a second
    // magic in the image).
    archives.push_back(IndexAtEnd({text, support::EncodeEntry(2, wave), bitmap}));
    archives.push_back(IndexAtEnd({}));
    archives.push_back(support::BuildArchive({support::BuildArchive({text, midi}), text}));

    // The option byte picks the probe path and, for files, the offset of a
    // second copy; the seeds walk through both.
    SeedSet memory(root, "exports_memory_fuzzer");
    SeedSet file(root, "exports_file_fuzzer");
    SeedSet plain_archives(root, "_archives");
    for (size_t k = 0; k < archives.size(); ++k) {
        uint8_t option = static_cast<uint8_t>(k * 9 + (k & 0x10 ? 0x80 : 0));
        memory.Add(Concat({{option}, archives[k]}));
        file.Add(Concat({{option}, archives[k]}));
        plain_archives.Add(archives[k]);
    }

    SeedSet plain_contents(root, "_contents");
    for (const Bytes& content : contents) plain_contents.Add(content);

    // Names: a probe path, a zero byte, a name to look up.
    std::string long_path(300, 'p');
    std::vector<std::pair<std::string, std::string>> names = {
        {"C:\\games\\disk1.DAT", "disk1_002.DAT"}, {"disk1.dat.bak", "C:\\x\\save_012.WAV"},
        {"noext", "dir\\12.DAT"},                     {"dir\\", "a_b_7.MID"},
        {".DAT", "x_.BMP"},                            {"a.b\\c.d.e", "x_1a.BMP"},
        {"\\", "_3.X.Y"},                              {"/saves/f_6.B", "\\f_6.B"},
        {"x", "x_007"},                                {"y", "z_4294967295.BMP"},
        {"y", "z_4294967296.BMP"},                     {long_path + ".DAT", long_path + "_001.WAV"},
        {"dir/" + long_path, std::string(250, 'n') + "_00001.DAT"},
        // Base names cut at 31 bytes with a multi-byte character across the cut.
        {"C:\\abcdefghijklmnopqrstuvwxyz1234\xC3\xA9.DAT", "abc_000.BMP"},
        {"/d/abcdefghijklmnopqrstuvwxyz123\xE3\x81\x82\xE3\x81\x82.DAT", "\xE3\x81\x82_001"},
        {"abcdefghijklmnopqrstuvwxyz12\xF0\x9F\x8E\xAE.DAT", "x/y\\z_002.MID"},
    };
    SeedSet name_seeds(root, "names_fuzzer");
    for (const auto& [path, name] : names) {
        name_seeds.Add(Concat({support::ToBytes(path), {0}, support::ToBytes(name)}));
    }
    return 0;
}
