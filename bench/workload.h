// Test data for the fuzz seeds and the benchmarks: content that looks like
// what the archives hold (bitmaps, sounds), an encoder that codes it with
// literals, runs, pair runs and back copies, and an archive writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kova::workload {

using Bytes = std::vector<uint8_t>;

// Stored bytes of a coded entry of method 1 or 2 whose content is `content`.
// The command stream ends with the end command.
Bytes EncodeEntry(uint8_t method, const Bytes& content);

// A 256-colour bitmap file of width x height pixels: flat areas, gradients,
// dithered and noisy patches, rows repeated from the one above.
Bytes SampleBitmap(uint32_t width, uint32_t height, uint32_t seed);
// A 16-bit mono wave file: silence, tones and noise.
Bytes SampleWave(uint32_t samples, uint32_t seed);
// A small standard MIDI file.
Bytes SampleMidi(uint32_t seed);

// An archive with the index after the header and the entries after the index.
Bytes BuildArchive(const std::vector<Bytes>& stored_entries);

void WriteFile(const std::string& path, const Bytes& bytes);

}  // namespace kova::workload
