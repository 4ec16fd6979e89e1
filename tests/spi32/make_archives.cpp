// Writes the archives both hosts report on: sound ones of every packing,
// and damaged ones whose answers are decided by the plug-in's rules for
// short files, wild streams and bad headers. Names are ASCII so that the
// 32-bit and native builds name entries alike.
//
//   make_archives DIR
#include <cstdio>
#include <exception>
#include <string>

#include "tests/support/archive_builder.h"
#include "tests/support/entry_encoder.h"
#include "tests/tools/sample_content.h"

using namespace kova::testing;

namespace {

// The same bytes on every run and every machine.
struct Random {
    uint32_t state;
    uint8_t Byte() {
        state = state * 1664525u + 1013904223u;
        return static_cast<uint8_t>(state >> 24);
    }
    Bytes Take(size_t count) {
        Bytes bytes(count);
        for (uint8_t& byte : bytes) byte = Byte();
        return bytes;
    }
};

// Every sample file in each packing it allows, bit 7 of the method set on
// some, and a large repetitive entry.
Bytes Mixed() {
    std::vector<Bytes> entries;
    for (const SampleFile& file : SampleFiles()) {
        entries.push_back(EncodeEntry(0x81, file.content));
        entries.push_back(EncodeEntry(2, file.content));
        uint8_t method = file.content.empty() ? 0 : file.content[0] & 0x7F;
        if (method != 1 && method != 2) entries.push_back(StoreEntry(file.content));
    }
    Bytes large(300000);
    for (size_t k = 0; k < large.size(); ++k) large[k] = static_cast<uint8_t>((k / 700) % 5 == 0 ? k : k / 700);
    entries.push_back(EncodeEntry(0x82, large));
    return BuildArchive(entries, 0xDEADBEEF);
}

// Coded entries whose command streams are random bytes, with declared sizes
// above and below what the stream makes: the decoder's every stop.
Bytes WildStreams() {
    Random random{20251208};
    std::vector<Bytes> entries;
    for (uint32_t k = 0; k < 12; ++k) {
        uint32_t declared = k * k * 97 % 6000;
        entries.push_back(CodedEntry(static_cast<uint8_t>(1 + k % 2 + (k % 3 == 0 ? 0x80 : 0)), declared,
                                     random.Take(3 + k * 41 % 300)));
    }
    entries.push_back(CodedEntry(1, 5000, {}));      // no stream at all
    entries.push_back(CodedEntry(2, 16, {0x00}));    // ends at once, a zero tail
    entries.push_back(Bytes{0x01, 0x10});            // a head cut short
    return BuildArchive(entries);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_archives DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    auto write = [&](const std::string& name, const Bytes& bytes) { WriteFileBytes(dir + "/" + name, bytes); };
    try {
        write("sample.DAT", SampleArchiveBytes());
        Bytes mixed = Mixed();
        write("mixed.DAT", mixed);
        write("two.dots.DAT", BuildArchive({StoreEntry(ToBytes("BM stored text")), EncodeEntry(1, ToBytes("MThd"))}));
        write("an_archive_whose_base_name_is_longer_than_thirty_one.DAT",
              BuildArchive({EncodeEntry(2, ToBytes(std::string("RIFF\x10\0\0\0WAVEfmt ", 16)))}));
        write("wild_streams.DAT", WildStreams());

        // Empty entries: a coded one declaring no bytes, a stored one of
        // no bytes at all; and an archive of no entries.
        write("empty_entries.DAT", BuildArchive({CodedEntry(1, 0, {0x00}), Bytes{}, StoreEntry(ToBytes("x"))}));
        write("no_entries.DAT", BuildArchive({}));

        // The entries at the edges, read in the host patterns too: empty
        // (coded and stored), one byte, a stored text, coded over 1 MiB.
        std::string large;
        for (int k = 0; large.size() <= (size_t{5} << 18); ++k) large += "line " + std::to_string(k) + " of the large entry\n";
        write("edge_entries.DAT", BuildArchive({EncodeEntry(1, {}), Bytes{}, StoreEntry(ToBytes("x")),
                                                StoreEntry(ToBytes("plain text, stored as it is")),
                                                EncodeEntry(2, ToBytes(large))}));

        // A copy cut short inside its data: listed and extracted, the
        // missing bytes reading as zero.
        write("cut_short.DAT", Bytes(mixed.begin(), mixed.begin() + static_cast<long>(mixed.size() / 3)));

        // Index records that point past the file's end and into the header.
        Bytes stray = BuildArchive({EncodeEntry(1, ToBytes("stray entries")), StoreEntry(ToBytes("abc")),
                                    StoreEntry(ToBytes("defgh"))});
        PutLe32(stray, 32, 0x4000);      // entry 1 runs past the end
        PutLe32(stray, 44, 4);           // entry 2 starts inside the header
        write("stray_offsets.DAT", stray);

        // A consistent header whose index cannot fit the file: a probe says
        // yes (it judges the head alone), the archive exports refuse it.
        Bytes too_big = BuildArchive({StoreEntry(ToBytes("only one"))});
        uint32_t count = 0x10000000;
        PutLe32(too_big, 16, count);
        PutLe32(too_big, 4, 24 + 8 * count + GetLe32(too_big, 12));
        PutLe32(too_big, 28, 24 + 8 * count);
        write("index_too_big.DAT", too_big);

        // Counts and offsets whose sums wrap past 32 bits: the 32-bit build
        // must judge them as the native one does, never wrapping into the
        // header or into a small table.
        for (uint32_t wrapping : {0x1FFFFFFFu, 0x20000000u, 0xFFFFFFFFu}) {
            Bytes wrapped = BuildArchive({StoreEntry(ToBytes("wrapped"))});
            PutLe32(wrapped, 16, wrapping);
            PutLe32(wrapped, 4, 24 + 8 * wrapping + GetLe32(wrapped, 12));
            PutLe32(wrapped, 28, 24 + 8 * wrapping);
            char name[64];
            std::snprintf(name, sizeof name, "count_%08x.DAT", wrapping);
            write(name, wrapped);
        }
        Bytes far = BuildArchive({StoreEntry(ToBytes("first")), StoreEntry(ToBytes("second")),
                                  EncodeEntry(1, ToBytes("third, coded"))});
        PutLe32(far, 32, 0x20);        // entry 1: 32 bytes from 4 GiB - 16, wrapping to 16
        PutLe32(far, 36, 0xFFFFFFF0);
        PutLe32(far, 44, 0xFFFFFFFF);  // entry 2: one byte short of 4 GiB
        write("far_offsets.DAT", far);

        Bytes wrong_magic = BuildArchive({StoreEntry(ToBytes("text"))});
        wrong_magic[3] = 'B';
        write("wrong_magic.DAT", wrong_magic);
        write("tiny.DAT", ToBytes("KOVA\x10"));
        write("empty_file.DAT", {});

        // An archive 512 bytes into a larger file.
        Random random{512};
        write("offset.DAT", Concat({random.Take(512), BuildArchive({EncodeEntry(1, ToBytes("at an offset"))})}));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_archives: %s\n", error.what());
        return 1;
    }
    return 0;
}
