// Test data for the fuzz seeds and the benchmarks: content that looks like
// what the archives hold (bitmaps, sounds). The entries are coded and the
// archives written with the support code beside it.
#pragma once

#include <cstdint>

#include "tests/support/archive_builder.h"

namespace kova::workload {

using Bytes = kova::testing::Bytes;

// A 256-colour bitmap file of width x height pixels: flat areas, gradients,
// dithered and noisy patches, rows repeated from the one above.
Bytes SampleBitmap(uint32_t width, uint32_t height, uint32_t seed);
// A 16-bit mono wave file: silence, tones and noise.
Bytes SampleWave(uint32_t samples, uint32_t seed);
// A small standard MIDI file.
Bytes SampleMidi(uint32_t seed);

}  // namespace kova::workload
