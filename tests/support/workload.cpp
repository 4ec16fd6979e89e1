#include "tests/support/workload.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kova::workload {
namespace {

void PutLe16(Bytes& bytes, uint32_t value) {
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}

void PutLe32(Bytes& bytes, uint32_t value) { kova::testing::PutLe32(bytes, bytes.size(), value); }

void PutText(Bytes& bytes, const char* text) {
    while (*text != '\0') bytes.push_back(static_cast<uint8_t>(*text++));
}

// A small, fixed generator so that every run sees the same data.
struct Random {
    uint64_t state;
    explicit Random(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<uint32_t>(state >> 16);
    }
    uint32_t Below(uint32_t bound) { return Next() % bound; }
};

}  // namespace

Bytes SampleBitmap(uint32_t width, uint32_t height, uint32_t seed) {
    Random random(seed);
    uint32_t stride = (width + 3) & ~3u;
    uint32_t pixels = stride * height;
    uint32_t offset = 14 + 40 + 256 * 4;
    Bytes bmp;
    PutText(bmp, "BM");
    PutLe32(bmp, offset + pixels);
    PutLe32(bmp, 0);
    PutLe32(bmp, offset);
    PutLe32(bmp, 40);
    PutLe32(bmp, width);
    PutLe32(bmp, height);
    PutLe16(bmp, 1);
    PutLe16(bmp, 8);
    PutLe32(bmp, 0);
    PutLe32(bmp, pixels);
    PutLe32(bmp, 2835);
    PutLe32(bmp, 2835);
    PutLe32(bmp, 256);
    PutLe32(bmp, 0);
    for (uint32_t c = 0; c < 256; ++c) {
        bmp.push_back(static_cast<uint8_t>(c));
        bmp.push_back(static_cast<uint8_t>(255 - c));
        bmp.push_back(static_cast<uint8_t>(c * 3));
        bmp.push_back(0);
    }
    size_t rows_start = bmp.size();
    bmp.resize(rows_start + pixels, 0);
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = bmp.data() + rows_start + size_t{y} * stride;
        const uint8_t* above = y > 0 ? row - stride : nullptr;
        uint32_t band = (y / 24 + seed) % 5;
        // Many rows of a picture repeat the one above, at least in part.
        if (above != nullptr && random.Below(3) == 0) {
            std::copy(above, above + stride, row);
            uint32_t from = random.Below(width);
            uint32_t to = std::min(width, from + random.Below(40));
            for (uint32_t x = from; x < to; ++x) row[x] = static_cast<uint8_t>(random.Next());
            continue;
        }
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t pixel;
            switch (band) {
            case 0: pixel = static_cast<uint8_t>(y / 4 + x * 6 / width); break;          // sky
            case 1: pixel = ((x + y) & 1) ? 0x21 : 0x84; break;                        // dither
            case 2: pixel = static_cast<uint8_t>(((x / 8) ^ (y / 8)) * 37 + (x % 8)); break;  // tiles
            case 3: pixel = static_cast<uint8_t>(0x60 + random.Below(6)); break;        // grain
            default: pixel = x < width / 3 ? 0x10 : static_cast<uint8_t>(x / 16); break;  // flat, bars
            }
            row[x] = pixel;
        }
    }
    return bmp;
}

Bytes SampleWave(uint32_t samples, uint32_t seed) {
    Random random(seed);
    Bytes wav;
    PutText(wav, "RIFF");
    PutLe32(wav, 36 + samples * 2);
    PutText(wav, "WAVEfmt ");
    PutLe32(wav, 16);
    PutLe16(wav, 1);
    PutLe16(wav, 1);
    PutLe32(wav, 22050);
    PutLe32(wav, 44100);
    PutLe16(wav, 2);
    PutLe16(wav, 16);
    PutText(wav, "data");
    PutLe32(wav, samples * 2);
    uint32_t s = 0;
    while (s < samples) {
        uint32_t length = std::min(samples - s, 2000 + random.Below(6000));
        uint32_t kind = random.Below(3);
        // A tone whose period is 80 samples repeats every 160 bytes.
        double amplitude = 2000.0 + random.Below(8000);
        for (uint32_t k = 0; k < length; ++k, ++s) {
            int32_t value = 0;
            if (kind == 1) value = static_cast<int32_t>(amplitude * std::sin(2 * std::numbers::pi * k / 80.0));
            if (kind == 2) value = static_cast<int32_t>(random.Below(4000)) - 2000;
            PutLe16(wav, static_cast<uint32_t>(value) & 0xFFFF);
        }
    }
    return wav;
}

Bytes SampleMidi(uint32_t seed) {
    Bytes track;
    for (uint32_t k = 0; k < 16 + seed % 16; ++k) {
        uint8_t note = static_cast<uint8_t>(60 + (k * 5 + seed) % 12);
        Bytes event = {0x00, 0x90, note, 0x64, 0x60, 0x80, note, 0x00};
        track.insert(track.end(), event.begin(), event.end());
    }
    Bytes end = {0x00, 0xFF, 0x2F, 0x00};
    track.insert(track.end(), end.begin(), end.end());
    Bytes midi;
    PutText(midi, "MThd");
    Bytes head = {0, 0, 0, 6, 0, 0, 0, 1, 0, 0x60};
    midi.insert(midi.end(), head.begin(), head.end());
    PutText(midi, "MTrk");
    uint32_t size = static_cast<uint32_t>(track.size());
    for (int k = 3; k >= 0; --k) midi.push_back(static_cast<uint8_t>(size >> (8 * k)));
    midi.insert(midi.end(), track.begin(), track.end());
    return midi;
}

}  // namespace kova::workload
