// The integrity walk over any bytes taken as an archive image.
//
// Checked: no access outside the image or any buffer (ASan); every finding
// names the archive (-1) or one of its entries, in entry order; the full
// walk finds everything the walk of the index and heads finds; an entry the
// full walk passes really decodes to its declared size; the windowed decoder
// gives what DecodeEntry gives, stop for stop and byte for byte, through a
// window of a few bytes; and records that share a range share its findings.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "archive/integrity.h"
#include "archive/window_decoder.h"

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

    // An entry the full walk passes decodes to its declared size; the
    // windowed decoder agrees with the decoder on every coded entry.
    std::vector<size_t> stream_findings(full.entries.size(), 0);
    for (const kova::IntegrityFinding& finding : full.findings) {
        if (finding.index < 0) continue;
        auto problem = finding.problem;
        if (problem == IntegrityProblem::kStreamEndsEarly || problem == IntegrityProblem::kCopyBeforeStart ||
            problem == IntegrityProblem::kUnusedBytes) {
            ++stream_findings[static_cast<size_t>(finding.index)];
        }
    }
    kova::HeapBuffer window;
    for (size_t k = 0; k < full.entries.size(); ++k) {
        const kova::EntryFacts& facts = full.entries[k];
        if (stream_findings[k] != stream_findings[full.OwnerOf(static_cast<uint32_t>(k))]) {
            Fail("records sharing a range do not share its findings");
        }
        if (!facts.coded) continue;
        kova::IndexEntry entry = reader.Entry(static_cast<uint32_t>(k));
        kova::ByteSpan stored = kova::SubSpan(reader.image, entry.data_offset, entry.stored_size);
        std::vector<uint8_t> content(facts.unpacked_size);
        kova::DecodeResult decoded = kova::DecodeEntry(stored, entry.stored_size, content);
        bool flagged = false;
        for (const kova::IntegrityFinding& finding : full.findings) flagged |= finding.index == static_cast<int64_t>(k);
        if (!flagged && decoded.written != facts.unpacked_size) Fail("a passed entry does not decode to its declared size");

        std::vector<uint8_t> seen;
        auto keep = [](void* into, kova::ByteSpan piece) {
            auto& bytes = *static_cast<std::vector<uint8_t>*>(into);
            bytes.insert(bytes.end(), piece.begin(), piece.end());
        };
        kova::WindowedResult windowed;
        // A window of a few bytes wherever that stays cheap: every command
        // then meets the window's edge somewhere.
        size_t window_size = facts.unpacked_size <= (1 << 16) ? 5 : 4096;
        if (!kova::DecodeInWindow(stored, entry.stored_size, facts.unpacked_size, window, keep, &seen, windowed,
                                  window_size)) {
            continue;
        }
        if (windowed.written != decoded.written || windowed.stop != decoded.stop ||
            windowed.input_used != decoded.input_used) {
            Fail("the windowed decoder stops elsewhere than the decoder");
        }
        if (seen.size() != decoded.written || !std::equal(seen.begin(), seen.end(), content.begin())) {
            Fail("the windowed decoder gives other bytes than the decoder");
        }
    }
    return 0;
}
