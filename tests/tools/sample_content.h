// The content of the bundled sample archive, examples/sample.DAT: small but
// real files of every kind the plug-in names, each packed one of the three
// ways an archive can hold an entry.
#pragma once

#include <string>
#include <vector>

#include "tests/support/entry_encoder.h"

namespace kova::testing {

enum class Packing { kStored, kCodedWide, kCodedNarrow };

struct SampleFile {
    std::string extension;  // what the plug-in should name it: BMP, WAV, MID, DAT
    std::string about;
    Packing packing;
    Bytes content;
};

// In archive order: entry k is sample_00k.<extension> once the archive is
// probed under the name sample.DAT.
std::vector<SampleFile> SampleFiles();

// The archive itself; `stats` (optional) sums the commands of its coded entries.
Bytes SampleArchiveBytes(EncoderStats* stats = nullptr);
// The sample's entries as stored, in index order.
std::vector<Bytes> SampleStoredEntries(EncoderStats* stats = nullptr);

}  // namespace kova::testing
