#include "bench/workload.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <stdexcept>

namespace kova::workload {
namespace {

constexpr uint32_t kWideDistances[4] = {320, 640, 1280, 2560};
constexpr uint32_t kNarrowDistances[4] = {80, 160, 320, 640};
constexpr size_t kLongestLiteral = 63;
constexpr size_t kLongestShortRun = 65;
constexpr size_t kLongestShortPairRun = 64;
constexpr size_t kLongestCount = 65535;
constexpr size_t kShortestCopy = 3;
constexpr size_t kLongestCopy = 66;

void PutLe16(Bytes& bytes, uint32_t value) {
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}

void PutLe32(Bytes& bytes, uint32_t value) {
    for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<uint8_t>(value >> (8 * k)));
}

void SetLe32(Bytes& bytes, size_t offset, uint32_t value) {
    for (int k = 0; k < 4; ++k) bytes[offset + k] = static_cast<uint8_t>(value >> (8 * k));
}

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

// Greedy coder: at each position take the longest of a byte run, a pair run
// and a back copy; bytes none of them covers go out as literals.
struct Coder {
    const Bytes& content;
    const uint32_t* distances;
    Bytes out;
    size_t literal_start = 0;

    size_t RunAt(size_t p) const {
        size_t run = 1;
        while (p + run < content.size() && run < kLongestCount && content[p + run] == content[p]) ++run;
        return run;
    }
    size_t PairsAt(size_t p) const {
        if (p + 1 >= content.size()) return 0;
        uint8_t a = content[p], b = content[p + 1];
        if (a == b) return 0;  // a byte run says that more briefly
        size_t pairs = 0;
        while (p + 2 * pairs + 1 < content.size() && pairs < kLongestCount && content[p + 2 * pairs] == a &&
               content[p + 2 * pairs + 1] == b) {
            ++pairs;
        }
        return pairs;
    }
    // Longest copy at p, and the parameter byte that reaches it.
    size_t CopyAt(size_t p, uint8_t& parameter) const {
        size_t best = 0;
        for (uint32_t slot = 0; slot < 4; ++slot) {
            for (uint32_t adjust = 0; adjust < 64; ++adjust) {
                size_t distance = distances[slot] - adjust;
                if (distance > p || content[p - distance] != content[p]) continue;
                size_t length = 1;
                while (length < kLongestCopy && p + length < content.size() &&
                       content[p + length - distance] == content[p + length]) {
                    ++length;
                }
                if (length > best) {
                    best = length;
                    parameter = static_cast<uint8_t>(slot << 6 | adjust);
                }
            }
        }
        return best;
    }
    void FlushLiterals(size_t p) {
        while (literal_start < p) {
            size_t count = std::min(kLongestLiteral, p - literal_start);
            out.push_back(static_cast<uint8_t>(count));
            out.insert(out.end(), content.begin() + static_cast<std::ptrdiff_t>(literal_start),
                       content.begin() + static_cast<std::ptrdiff_t>(literal_start + count));
            literal_start += count;
        }
    }
    void Run(size_t count, uint8_t value) {
        if (count <= kLongestShortRun) {
            out.push_back(static_cast<uint8_t>(count + 61));
        } else {
            out.push_back(0x7F);
            PutLe16(out, static_cast<uint32_t>(count));
        }
        out.push_back(value);
    }
    void PairRun(size_t pairs, uint8_t a, uint8_t b) {
        if (pairs <= kLongestShortPairRun) {
            out.push_back(static_cast<uint8_t>(pairs + 126));
        } else {
            out.push_back(0xBF);
            PutLe16(out, static_cast<uint32_t>(pairs));
        }
        out.push_back(a);
        out.push_back(b);
    }

    void Code() {
        size_t p = 0;
        while (p < content.size()) {
            size_t run = RunAt(p);
            size_t pairs = PairsAt(p);
            size_t run_cover = run >= 3 ? run : 0;
            size_t pair_cover = pairs >= 2 ? 2 * pairs : 0;
            uint8_t parameter = 0;
            size_t copy_cover = 0;
            if (std::max(run_cover, pair_cover) < kLongestCopy) {
                copy_cover = CopyAt(p, parameter);
                if (copy_cover < kShortestCopy) copy_cover = 0;
            }
            size_t cover = std::max({run_cover, pair_cover, copy_cover});
            if (cover == 0) {
                ++p;
                if (p - literal_start == kLongestLiteral) FlushLiterals(p);
                continue;
            }
            FlushLiterals(p);
            if (cover == run_cover) {
                Run(run, content[p]);
            } else if (cover == copy_cover) {
                out.push_back(static_cast<uint8_t>(copy_cover + 189));
                out.push_back(parameter);
            } else {
                PairRun(pairs, content[p], content[p + 1]);
            }
            p += cover;
            literal_start = p;
        }
        FlushLiterals(p);
        out.push_back(0x00);
    }
};

}  // namespace

Bytes EncodeEntry(uint8_t method, const Bytes& content) {
    if (content.size() > UINT32_MAX) throw std::length_error("content too large for an entry");
    Coder coder{content, (method & 0x7F) == 1 ? kWideDistances : kNarrowDistances, {}};
    coder.out.push_back(method);
    PutLe32(coder.out, static_cast<uint32_t>(content.size()));
    coder.Code();
    return std::move(coder.out);
}

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
            if (kind == 1) value = static_cast<int32_t>(amplitude * std::sin(2 * M_PI * k / 80.0));
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

Bytes BuildArchive(const std::vector<Bytes>& stored_entries) {
    const uint32_t index_offset = 24;
    const uint32_t count = static_cast<uint32_t>(stored_entries.size());
    uint32_t data_size = 0;
    for (const Bytes& entry : stored_entries) data_size += static_cast<uint32_t>(entry.size());
    Bytes archive;
    PutText(archive, "KOVA");
    PutLe32(archive, index_offset + 8 * count + data_size);
    PutLe32(archive, index_offset);
    PutLe32(archive, data_size);
    PutLe32(archive, count);
    PutLe32(archive, 0);
    uint32_t offset = index_offset + 8 * count;
    for (const Bytes& entry : stored_entries) {
        PutLe32(archive, static_cast<uint32_t>(entry.size()));
        PutLe32(archive, offset);
        offset += static_cast<uint32_t>(entry.size());
    }
    for (const Bytes& entry : stored_entries) archive.insert(archive.end(), entry.begin(), entry.end());
    // Validation reads the u32 at byte 28 even when there is no index.
    if (archive.size() < 32) archive.resize(32, 0);
    if (count == 0) SetLe32(archive, 28, index_offset);
    return archive;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file) throw std::runtime_error("cannot write " + path);
}

}  // namespace kova::workload
