#include "tests/tools/sample_content.h"

#include <cstring>

namespace kova::testing {
namespace {

void PutLe16(Bytes& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutLe32(Bytes& out, uint32_t value) {
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(value >> (8 * k)));
}

void PutBe32(Bytes& out, uint32_t value) {
    for (int k = 3; k >= 0; --k) out.push_back(static_cast<uint8_t>(value >> (8 * k)));
}

void PutText(Bytes& out, const char* text) { out.insert(out.end(), text, text + std::strlen(text)); }

// File header and BITMAPINFOHEADER of an uncompressed bottom-up bitmap.
Bytes BitmapHeaders(int32_t width, int32_t height, uint16_t bits, uint32_t colours, uint32_t pixel_bytes) {
    uint32_t pixel_offset = 14 + 40 + 4 * colours;
    Bytes out;
    PutText(out, "BM");
    PutLe32(out, pixel_offset + pixel_bytes);
    PutLe32(out, 0);
    PutLe32(out, pixel_offset);
    PutLe32(out, 40);
    PutLe32(out, static_cast<uint32_t>(width));
    PutLe32(out, static_cast<uint32_t>(height));
    PutLe16(out, 1);
    PutLe16(out, bits);
    PutLe32(out, 0);  // no compression
    PutLe32(out, pixel_bytes);
    PutLe32(out, 2835);  // 72 dots per inch
    PutLe32(out, 2835);
    PutLe32(out, colours);
    PutLe32(out, colours);
    return out;
}

// A 64 x 48 harbour at dusk in 16 colours: banded sky, a sun, a far shore,
// a pier and a sea with wave crests.
Bytes HarbourBitmap() {
    constexpr int kWidth = 64, kHeight = 48;
    enum : uint8_t { kSkyHigh, kSkyMid, kSkyLow, kSun, kSea, kCrest, kWood, kShore };
    static const uint8_t kPalette[][3] = {  // blue, green, red
        {0x60, 0x20, 0x30}, {0x80, 0x40, 0x90}, {0x70, 0x80, 0xE0}, {0x40, 0xD0, 0xFF},
        {0x70, 0x30, 0x10}, {0xB0, 0x80, 0x40}, {0x20, 0x40, 0x60}, {0x30, 0x30, 0x30},
    };
    constexpr uint32_t kColours = 16;
    uint8_t pixels[kHeight][kWidth];
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            uint8_t colour;
            if (y < 16) {
                colour = y < 6 ? kSkyHigh : y < 11 ? kSkyMid : kSkyLow;
                int dx = x - 46, dy = y - 10;
                if (dx * dx + dy * dy <= 25) colour = kSun;
            } else if (y < 20) {
                int hill = 17 + (x * 7 % 23) / 8;  // a ragged far shore
                colour = y >= hill ? kShore : kSkyLow;
            } else {
                colour = (y % 4 == 0) ? ((x % 2 == 0) ? kCrest : kSea) : kSea;
            }
            bool deck = y >= 24 && y < 27 && x >= 6 && x < 22;
            bool post = y >= 27 && y < 40 && (x == 8 || x == 19);
            if (deck || post) colour = kWood;
            pixels[y][x] = colour;
        }
    }
    Bytes out = BitmapHeaders(kWidth, kHeight, 8, kColours, kWidth * kHeight);
    for (uint32_t k = 0; k < kColours; ++k) {
        const uint8_t* bgr = k < sizeof kPalette / sizeof kPalette[0] ? kPalette[k] : kPalette[0];
        out.insert(out.end(), {bgr[0], bgr[1], bgr[2], 0});
    }
    for (int y = kHeight - 1; y >= 0; --y) out.insert(out.end(), pixels[y], pixels[y] + kWidth);
    return out;
}

// An 8 x 8 true-colour tile: a two-colour checkerboard with a red corner.
Bytes TileBitmap() {
    constexpr int kSide = 8;
    Bytes out = BitmapHeaders(kSide, kSide, 24, 0, kSide * kSide * 3);
    for (int y = kSide - 1; y >= 0; --y) {
        for (int x = 0; x < kSide; ++x) {
            bool corner = x < 2 && y < 2;
            bool dark = (x / 2 + y / 2) % 2 == 1;
            if (corner) {
                out.insert(out.end(), {0x20, 0x20, 0xD0});
            } else if (dark) {
                out.insert(out.end(), {0x50, 0x40, 0x30});
            } else {
                out.insert(out.end(), {0xE0, 0xE8, 0xF0});
            }
        }
    }
    return out;
}

// 16-bit mono at 8000 Hz: a moment of silence, a 400 Hz tone, a softer
// 500 Hz square tone, a held level, silence again.
Bytes ChimeWave() {
    static const int16_t kSine[20] = {0,     2472,  4702,  6472,  7608,  8000,  7608,  6472,  4702,  2472,
                                      0,     -2472, -4702, -6472, -7608, -8000, -7608, -6472, -4702, -2472};
    std::vector<int16_t> samples;
    samples.insert(samples.end(), 400, 0);
    for (int period = 0; period < 80; ++period) samples.insert(samples.end(), kSine, kSine + 20);
    for (int period = 0; period < 50; ++period) {
        samples.insert(samples.end(), 8, 2000);
        samples.insert(samples.end(), 8, -2000);
    }
    samples.insert(samples.end(), 200, 0x1000);
    samples.insert(samples.end(), 400, 0);

    uint32_t data_bytes = static_cast<uint32_t>(samples.size() * 2);
    Bytes out;
    PutText(out, "RIFF");
    PutLe32(out, 36 + data_bytes);
    PutText(out, "WAVEfmt ");
    PutLe32(out, 16);
    PutLe16(out, 1);  // PCM
    PutLe16(out, 1);  // mono
    PutLe32(out, 8000);
    PutLe32(out, 16000);
    PutLe16(out, 2);
    PutLe16(out, 16);
    PutText(out, "data");
    PutLe32(out, data_bytes);
    for (int16_t sample : samples) PutLe16(out, static_cast<uint16_t>(sample));
    return out;
}

// A format-0 song: tempo, a vibraphone, and an arpeggio C E G C.
Bytes ArpeggioMidi() {
    Bytes track = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  // 120 beats a minute
                   0x00, 0xC0, 0x0B};                         // vibraphone
    for (uint8_t note : {60, 64, 67, 72}) {
        track.insert(track.end(), {0x00, 0x90, note, 0x64});  // on
        track.insert(track.end(), {0x60, 0x80, note, 0x40});  // off a beat later
    }
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});  // end of track

    Bytes out;
    PutText(out, "MThd");
    PutBe32(out, 6);
    out.insert(out.end(), {0x00, 0x00, 0x00, 0x01, 0x00, 0x60});  // format 0, one track, 96 ticks a beat
    PutText(out, "MTrk");
    PutBe32(out, static_cast<uint32_t>(track.size()));
    out.insert(out.end(), track.begin(), track.end());
    return out;
}

Bytes ReadmeText() {
    const char* text =
        "kova sample archive\r\n"
        "===================\r\n"
        "\r\n"
        "This archive was written by the kova project's own tools to show the\r\n"
        "plug-in at work. It holds six entries:\r\n"
        "\r\n"
        "  0  a 64 x 48 bitmap of a harbour at dusk (coded, narrow distances)\r\n"
        "  1  a short chime, 16-bit mono wave sound (coded, wide distances)\r\n"
        "  2  a four-note MIDI song (stored as it is)\r\n"
        "  3  this text (coded, narrow distances)\r\n"
        "  4  an 8 x 8 true-colour tile bitmap (stored as it is)\r\n"
        "  5  a small level map (coded, wide distances)\r\n"
        "\r\n"
        "Archives hold no names: every entry is named after the archive, its\r\n"
        "index and what its first bytes look like.\r\n";
    Bytes out;
    PutText(out, text);
    return out;
}

// A level map: a version byte of 1 (which is why it cannot be stored as it
// is), its size, then 32 x 16 tiles.
Bytes LevelMap() {
    constexpr int kWidth = 32, kHeight = 16;
    Bytes out = {0x01, kWidth, kHeight};
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            char tile = '.';
            if (y == 0 || y == kHeight - 1 || x == 0 || x == kWidth - 1) tile = '#';
            if (y == 7 && x > 3 && x < 28) tile = '=';
            if ((x == 10 || x == 21) && y > 2 && y < 13) tile = '|';
            if (y == 12 && x == 16) tile = '*';
            out.push_back(static_cast<uint8_t>(tile));
        }
    }
    return out;
}

void AddStats(EncoderStats& total, const EncoderStats& part) {
    total.literals += part.literals;
    total.byte_runs += part.byte_runs;
    total.long_byte_runs += part.long_byte_runs;
    total.pair_runs += part.pair_runs;
    total.long_pair_runs += part.long_pair_runs;
    total.back_copies += part.back_copies;
}

}  // namespace

std::vector<SampleFile> SampleFiles() {
    return {
        {"BMP", "harbour bitmap", Packing::kCodedNarrow, HarbourBitmap()},
        {"WAV", "chime sound", Packing::kCodedWide, ChimeWave()},
        {"MID", "arpeggio song", Packing::kStored, ArpeggioMidi()},
        {"DAT", "readme text", Packing::kCodedNarrow, ReadmeText()},
        {"BMP", "tile bitmap", Packing::kStored, TileBitmap()},
        {"DAT", "level map", Packing::kCodedWide, LevelMap()},
    };
}

std::vector<Bytes> SampleStoredEntries(EncoderStats* stats) {
    EncoderStats total;
    std::vector<Bytes> stored;
    for (const SampleFile& file : SampleFiles()) {
        EncoderStats part;
        switch (file.packing) {
        case Packing::kStored:
            stored.push_back(StoreEntry(file.content));
            break;
        case Packing::kCodedWide:
            stored.push_back(EncodeEntry(1, file.content, &part));
            break;
        case Packing::kCodedNarrow:
            stored.push_back(EncodeEntry(2, file.content, &part));
            break;
        }
        AddStats(total, part);
    }
    if (stats != nullptr) *stats = total;
    return stored;
}

Bytes SampleArchiveBytes(EncoderStats* stats) { return BuildArchive(SampleStoredEntries(stats)); }

}  // namespace kova::testing
