// One archive with an entry of every shape the host tests look at.
#pragma once

#include "tests/support/archive_builder.h"

namespace kova::testing {

enum SampleEntry : size_t {
    kStoredBitmap = 0,
    kCodedWide = 1,     // method 1: literal, runs of bytes and pairs, long runs
    kCodedWave = 2,     // method 2 with bit 7 set, back copies, a wave header
    kStoredMidi = 3,
    kCodedCutShort = 4, // declares 40 bytes, its stream gives 13
    kStoredOther = 5,
    kSampleCount = 6,
};

// The stored bytes of each entry, and the content each must extract to.
const std::vector<Bytes>& SampleStored();
const std::vector<Bytes>& SampleContent();
Bytes SampleArchive();

}  // namespace kova::testing
