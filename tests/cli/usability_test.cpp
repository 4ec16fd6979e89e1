// Damage warnings, selection, overwrite modes, many archives at once,
// standard input, and output that cannot be written.
#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>

#include "tests/cli/cli_runner.h"
#include "tests/support/entry_encoder.h"

namespace kova::testing {
namespace {

constexpr size_t kIndexAt = 24;

// Entry 0 coded (method 1), entry 1 coded (method 2), entry 2 stored.
Bytes SoundArchive() {
    Bytes text = ToBytes(std::string(200, 'q') + "a quay, a crane, a quay, a crane, a quay" + std::string(300, 'w'));
    return BuildArchive({EncodeEntry(1, text), EncodeEntry(2, text), ToBytes("plain stored text\n")});
}

uint32_t IndexField(const Bytes& archive, uint32_t entry, uint32_t field) {
    return GetLe32(archive, kIndexAt + 8 * entry + 4 * field);
}

TEST_F(CliTest, DamageWarnsInListAndRefusesImpossibleSizesInExtract) {
    Bytes archive = SoundArchive();
    archive[IndexField(archive, 0, 1) + 4] ^= 0x4B;
    std::string path = Write("t.DAT", archive);
    CliRun listed = Kova({"list", path});
    EXPECT_EQ(listed.exit_code, 0);
    EXPECT_NE(listed.err.find("warning: " + path + ": entry 0 (t_000.DAT)"), std::string::npos) << listed.err;

    CliRun strict = Kova({"extract", path, "-o", Path("strict"), "--strict"});
    EXPECT_EQ(strict.exit_code, 1);
    EXPECT_FALSE(std::filesystem::exists(scratch / "strict")) << "--strict writes nothing";

    CliRun plain = Kova({"extract", path, "-o", Path("out")});
    EXPECT_EQ(plain.exit_code, 1);
    EXPECT_EQ(plain.out, "");
    EXPECT_EQ(FilesIn(scratch / "out"), (std::vector<std::string>{"t_001.DAT", "t_002.DAT"}));
}

struct SelectionCase {
    std::vector<std::string> selectors;
    std::vector<std::string> files;  // expected, sorted
    int exit_code = 0;
};

void PrintTo(const SelectionCase& c, std::ostream* out) {
    for (const std::string& s : c.selectors) *out << s << ' ';
}

class Selection : public CliTest, public ::testing::WithParamInterface<SelectionCase> {};

TEST_P(Selection, ChoosesExactlyTheseEntries) {
    std::vector<std::string> args = {"extract", SampleArchivePath(), "-o", Path("out"), "-q"};
    args.insert(args.end(), GetParam().selectors.begin(), GetParam().selectors.end());
    CliRun run = Kova(args);
    ASSERT_EQ(run.exit_code, GetParam().exit_code) << run.err;
    if (std::filesystem::exists(scratch / "out")) EXPECT_EQ(FilesIn(scratch / "out"), GetParam().files);
    else EXPECT_TRUE(GetParam().files.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cli, Selection,
    ::testing::Values(
        SelectionCase{{"3"}, {"sample_003.DAT"}},
        SelectionCase{{"1-2"}, {"sample_001.WAV", "sample_002.MID"}},
        SelectionCase{{"4-"}, {"sample_004.BMP", "sample_005.DAT"}},
        SelectionCase{{"-e", "*.bmp"}, {"sample_000.BMP", "sample_004.BMP"}},
        SelectionCase{{"-e", "SAMPLE_00[1-2].*"}, {"sample_001.WAV", "sample_002.MID"}},
        SelectionCase{{"-e", "*_00?.DAT", "-e", "0"}, {"sample_000.BMP", "sample_003.DAT", "sample_005.DAT"}},
        SelectionCase{{"--type", "wav", "--type", "mid"}, {"sample_001.WAV", "sample_002.MID"}},
        SelectionCase{{"0-3", "--type", "bmp"}, {"sample_000.BMP"}},
        SelectionCase{{"sample_002.mid"}, {"sample_002.MID"}},
        // A pattern that matches nothing fails the command once the others
        // are extracted; a range that cannot match anywhere is a wrong
        // command line.
        SelectionCase{{"-e", "*.XYZ", "0"}, {"sample_000.BMP"}, 1},
        SelectionCase{{"7-"}, {}, 1},
        SelectionCase{{"0", "--type", "mid"}, {}, 1},
        SelectionCase{{"3-1"}, {}, 2},
        SelectionCase{{"9"}, {}, 1}));

struct OverwriteCase {
    const char* mode;  // nothing: the default
    int exit_code;
    bool replaced;
};

class Overwrite : public CliTest, public ::testing::WithParamInterface<OverwriteCase> {};

TEST_P(Overwrite, TreatsAnExistingFileAsAsked) {
    Write("sample_003.DAT", ToBytes("mine"));
    std::vector<std::string> args = {"extract", SampleArchivePath(), "3", "-o", Path(""), "-q"};
    if (*GetParam().mode != '\0') args.push_back(GetParam().mode);
    CliRun run = Kova(args);
    EXPECT_EQ(run.exit_code, GetParam().exit_code) << run.err;
    EXPECT_EQ(ReadText(scratch / "sample_003.DAT") == "mine", !GetParam().replaced);
    EXPECT_EQ(FilesIn(scratch), std::vector<std::string>{"sample_003.DAT"}) << "no temporary file is left";
}

INSTANTIATE_TEST_SUITE_P(Cli, Overwrite,
                         ::testing::Values(OverwriteCase{"", 0, true}, OverwriteCase{"--overwrite", 0, true},
                                           OverwriteCase{"--skip-existing", 0, false},
                                           OverwriteCase{"--keep", 1, false}));

TEST_F(CliTest, SeveralArchivesEachIntoTheirOwnDirectory) {
    Bytes sample = ReadFileBytes(SampleArchivePath());
    Write("game.v1.DAT", sample);
    Write("game.v2.DAT", sample);
    CliRun run = Kova({"extract", Path("game.v1.DAT"), Path("game.v2.DAT"), "1", "-o", Path("out")});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(FilesIn(scratch / "out" / "game.v1"), std::vector<std::string>{"game_001.WAV"});
    EXPECT_EQ(FilesIn(scratch / "out" / "game.v2"), std::vector<std::string>{"game_001.WAV"});

    CliRun listed = Kova({"list", Path("game.v1.DAT"), Path("game.v2.DAT"), "--json"});
    ASSERT_EQ(listed.exit_code, 0) << listed.err;
    nlohmann::json documents = nlohmann::json::parse(listed.out);
    ASSERT_TRUE(documents.is_array());
    EXPECT_EQ(documents.size(), 2u);
}

TEST_F(CliTest, StandardInputIsAnArchiveNamedByName) {
    CliRun run = RunKovaRedirected({"cat", "-", "--name", "disk1.DAT", "disk1_003.DAT", "5"}, scratch,
                                   SampleArchivePath());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    CliRun first = Kova({"cat", SampleArchivePath(), "3"});
    CliRun second = Kova({"cat", SampleArchivePath(), "5"});
    EXPECT_EQ(run.out, first.out + second.out);

    // An index that is not right after the header lists from standard input
    // exactly as from the file.
    Bytes moved = ReadFileBytes(SampleArchivePath());
    // index_offset 32: the header still adds up with data_size and the
    // u32 at byte 28 moved along.
    PutLe32(moved, 8, 32);
    PutLe32(moved, 12, GetLe32(moved, 12) - 8);
    PutLe32(moved, 28, GetLe32(moved, 28) + 8);
    std::string path = Write("moved.DAT", moved);
    CliRun piped = RunKovaRedirected({"list", "-", "--name", "moved.DAT", "--json"}, scratch, path);
    CliRun named = RunKova({"list", "moved.DAT", "--json"}, scratch);
    EXPECT_EQ(piped.exit_code, named.exit_code);
    nlohmann::json from_pipe = nlohmann::json::parse(piped.out), from_file = nlohmann::json::parse(named.out);
    EXPECT_EQ(from_pipe["entries"], from_file["entries"]);
}

TEST_F(CliTest, OutputThatCannotBeWrittenFails) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    for (std::vector<std::string> args : {std::vector<std::string>{"list", SampleArchivePath()},
                                          std::vector<std::string>{"info"},
                                          std::vector<std::string>{"check", SampleArchivePath()}}) {
        CliRun run = RunKovaRedirected(args, scratch, "/dev/null", "/dev/full");
        EXPECT_EQ(run.exit_code, 1) << args[0];
        EXPECT_NE(run.err.find("cannot write to standard output"), std::string::npos) << run.err;
    }
}

TEST_F(CliTest, HashesAreSha256OfTheContent) {
    // One block, the 56-byte length that needs a second block for padding,
    // and an empty entry, whose content comes without a buffer.
    Write("a_000.DAT", ToBytes("abc"));
    Write("a_001.DAT", ToBytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"));
    Write("a_002.DAT", {});
    ASSERT_EQ(Kova({"pack", Path("h.DAT"), Path("a_000.DAT"), Path("a_001.DAT"), Path("a_002.DAT"), "-q"}).exit_code, 0);
    CliRun run = Kova({"list", Path("h.DAT"), "--json", "--hash"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    nlohmann::json document = nlohmann::json::parse(run.out);
    EXPECT_EQ(document["entries"][0]["sha256"], "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(document["entries"][1]["sha256"], "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(document["entries"][2]["sha256"], "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

// A coded entry is hashed as it is decoded, a window at a time; its digest
// is the one its content has when kept as it is.
TEST_F(CliTest, CodedAndStoredContentHashAlike) {
    Bytes content(3u << 20);
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>((i / 700) * 31 + (i % 7 == 0) + 5);
    Write("big_000.DAT", content);
    std::string digests[2];
    const char* methods[2] = {"stored", "2"};
    for (int k = 0; k < 2; ++k) {
        ASSERT_EQ(Kova({"pack", Path("h.DAT"), Path("big_000.DAT"), "--method", methods[k], "-q"}).exit_code, 0);
        CliRun run = Kova({"list", Path("h.DAT"), "--json", "--hash"});
        ASSERT_EQ(run.exit_code, 0) << run.err;
        nlohmann::json document = nlohmann::json::parse(run.out);
        EXPECT_EQ(document["entries"][0]["method"], k == 0 ? nlohmann::json("stored") : nlohmann::json(2));
        digests[k] = document["entries"][0]["sha256"];
    }
    EXPECT_EQ(digests[0], digests[1]);
}

}  // namespace
}  // namespace kova::testing
