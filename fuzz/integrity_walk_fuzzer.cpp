// The integrity walk over any bytes taken as an archive image.
//
// Checked: no access outside the image or any buffer (ASan); every finding
// names the archive (-1) or one of its entries, in entry order; the full
// walk finds everything the walk of the index and heads finds; and an entry
// the full walk passes really decodes to its declared size.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "archive/integrity.h"

namespace {

// Entries declaring more than this are walked at the heads' depth only: the
// fuzz runs cap every allocation well below what a declared size may ask.
constexpr uint64_t kMostDecoded = 1 << 20;

[[noreturn]] void Fail(const char* what) {
    std::printf("integrity_walk_fuzzer: %s\n", what);
    std::abort();
}

void CheckOrder(const kova::IntegrityReport& report) {
    int64_t last = -1;
    for (const kova::IntegrityFinding& finding : report.findings) {
        if (finding.index < -1 || finding.index >= static_cast<int64_t>(report.entries.size())) {
            Fail("a finding names no entry of the archive");
        }
        if (finding.index < last) Fail("findings out of entry order");
        last = finding.index;
    }
}

size_t CountOf(const kova::IntegrityReport& report, kova::IntegrityProblem problem) {
    size_t count = 0;
    for (const kova::IntegrityFinding& finding : report.findings) count += finding.problem == problem;
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly the image's bytes, so that a read past them is caught.
    std::vector<uint8_t> image(data, data + size);
    kova::ArchiveReader reader;
    if (kova::OpenArchiveImage(image.data(), static_cast<int64_t>(image.size()), reader) != kova::ArchiveStatus::kOk) {
        return 0;
    }
    kova::IntegrityReport heads;
    kova::WalkArchive(reader, kova::IntegrityDepth::kIndexAndHeads, heads);
    CheckOrder(heads);
    for (const kova::EntryFacts& facts : heads.entries) {
        if (facts.coded && facts.unpacked_size > kMostDecoded) return 0;
    }

    kova::IntegrityReport full;
    kova::WalkArchive(reader, kova::IntegrityDepth::kFullDecode, full);
    CheckOrder(full);
    if (full.entries.size() != heads.entries.size()) Fail("the two depths see different entries");
    using kova::IntegrityProblem;
    for (IntegrityProblem problem : {IntegrityProblem::kCutShort, IntegrityProblem::kPastEnd,
                                     IntegrityProblem::kOverlap, IntegrityProblem::kImpossibleSize}) {
        if (CountOf(full, problem) != CountOf(heads, problem)) Fail("the full walk lost a finding of the heads");
    }
    if (CountOf(heads, IntegrityProblem::kStreamEndsEarly) + CountOf(heads, IntegrityProblem::kCopyBeforeStart) != 0) {
        Fail("the heads' walk reported stream damage it cannot see");
    }

    // An entry the full walk passes decodes to its declared size.
    for (size_t k = 0; k < full.entries.size(); ++k) {
        const kova::EntryFacts& facts = full.entries[k];
        bool flagged = false;
        for (const kova::IntegrityFinding& finding : full.findings) flagged |= finding.index == static_cast<int64_t>(k);
        if (flagged || !facts.coded) continue;
        kova::IndexEntry entry = reader.Entry(static_cast<uint32_t>(k));
        kova::ByteSpan stored = kova::SubSpan(reader.image, entry.data_offset, entry.stored_size);
        std::vector<uint8_t> content(facts.unpacked_size);
        kova::DecodeResult decoded = kova::DecodeEntry(stored, entry.stored_size, content);
        if (decoded.written != facts.unpacked_size) Fail("a passed entry does not decode to its declared size");
    }
    return 0;
}
