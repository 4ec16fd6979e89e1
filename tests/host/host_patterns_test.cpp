// The two host patterns of tests/host/host_patterns.h, in both families, on
// the sample and on an archive of the entries at the edges: empty ones (coded
// and stored), a single byte, a stored text and a coded entry over 1 MiB.
// Every listed entry must arrive byte for byte. Under Wine this runs against
// kova.sph with the system's blocks.
#include <cstdio>

#include "tests/host/host_patterns.h"
#include "tests/host/host_support.h"
#include "tests/host/sample_archive.h"
#include "tests/support/entry_encoder.h"

namespace kova::testing {
namespace {

struct PatternArchive {
    std::string name;
    Bytes image;
    std::vector<Bytes> contents;
};

Bytes LargeText() {
    Bytes text;
    char line[64];
    for (int k = 0; text.size() <= (size_t{5} << 18); ++k) {
        int length = std::snprintf(line, sizeof line, "line %06d of the large entry\n", k);
        text.insert(text.end(), line, line + length);
    }
    return text;
}

PatternArchive EdgeArchive() {
    Bytes large = LargeText();
    std::vector<Bytes> contents = {{}, {}, ToBytes("x"), ToBytes("plain text, stored as it is"), large};
    Bytes archive = BuildArchive({EncodeEntry(1, {}), Bytes{}, StoreEntry(contents[2]), StoreEntry(contents[3]),
                                  EncodeEntry(2, large)});
    return {"edge.DAT", archive, contents};
}

class HostPatternsTest : public HostTest {};

TEST_F(HostPatternsTest, EveryEntryArrivesInEveryPattern) {
    const PatternArchive archives[] = {{"sample.DAT", SampleArchive(), SampleContent()}, EdgeArchive()};
    for (const PatternArchive& archive : archives) {
        std::filesystem::path path = WriteArchive(archive.name, archive.image);
        for (PatternFamily family : {PatternFamily::kAnsi, PatternFamily::kWide}) {
            for (PatternOutput output : {PatternOutput::kMemory, PatternOutput::kDisk}) {
                std::string label = PatternLabel(family, output);
                SCOPED_TRACE(archive.name + ", " + label);
                std::filesystem::path folder = dir_ / label / path.stem();
                std::filesystem::create_directories(folder);
                PatternResult run = RunHostPattern(Plugin(), family, output, path, folder);
                for (const std::string& problem : run.problems) ADD_FAILURE() << problem;
                ExpectNothingHeld();
                ASSERT_EQ(run.names.size(), archive.contents.size());
                for (size_t i = 0; i < run.names.size(); ++i) {
                    EXPECT_EQ(ReadFileBytes((folder / run.names[i]).string()), archive.contents[i]) << run.names[i];
                }
            }
        }
    }
}

}  // namespace
}  // namespace kova::testing
