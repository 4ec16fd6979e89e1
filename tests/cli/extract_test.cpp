// kova extract: the files it writes must be exactly the files the sample was
// made from, under the names the listing shows.
#include <gtest/gtest.h>

#include "tests/cli/cli_runner.h"
#include "tests/support/entry_encoder.h"
#include "tests/tools/sample_content.h"

namespace kova::testing {
namespace {

std::string SampleName(size_t index) {
    char name[32];
    std::snprintf(name, sizeof name, "sample_%03zu.%s", index, SampleFiles()[index].extension.c_str());
    return name;
}

void ExpectSampleFile(const std::filesystem::path& directory, size_t index) {
    std::filesystem::path path = directory / SampleName(index);
    ASSERT_TRUE(std::filesystem::is_regular_file(path)) << path;
    EXPECT_TRUE(ReadFileBytes(path.string()) == SampleFiles()[index].content) << path << " differs";
}

TEST_F(CliTest, ExtractWritesEveryEntry) {
    CliRun run = Kova({"extract", SampleArchivePath(), "-o", Path("out")});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.err, "") << "no progress bar when standard error is not a terminal";
    EXPECT_NE(run.out.find("extracted 6 entries"), std::string::npos) << run.out;
    std::vector<std::string> expected;
    for (size_t k = 0; k < SampleFiles().size(); ++k) expected.push_back(SampleName(k));
    EXPECT_EQ(FilesIn(scratch / "out"), expected);
    for (size_t k = 0; k < expected.size(); ++k) ExpectSampleFile(scratch / "out", k);
}

// Wherever the index lies, and wherever the archive comes from (its own
// file, standard input, or inside a larger file), the files are the same.
TEST_F(CliTest, ExtractionGivesTheSameFilesWhereverTheIndexLies) {
    std::vector<Bytes> entries = {ToBytes("BM a picture"), ToBytes("RIFF a sound"), ToBytes("MThd a song")};
    Bytes after_header = BuildArchive(entries);
    // The entries from byte 32, the index after them; byte 28 holds what
    // validation expects there, the end of the index.
    uint32_t data_size = 0;
    for (const Bytes& entry : entries) data_size += static_cast<uint32_t>(entry.size());
    uint32_t index_offset = 32 + data_size, index_end = index_offset + 8 * static_cast<uint32_t>(entries.size());
    Bytes at_end = ToBytes("KOVA");
    for (uint32_t field : {data_size + index_end, index_offset, data_size, uint32_t{3}, 0u, 0u, index_end}) {
        PutLe32(at_end, at_end.size(), field);
    }
    Bytes index;
    uint32_t at = 32;
    for (const Bytes& entry : entries) {
        Append(at_end, entry);
        PutLe32(index, index.size(), static_cast<uint32_t>(entry.size()));
        PutLe32(index, index.size(), at);
        at += static_cast<uint32_t>(entry.size());
    }
    Append(at_end, index);
    for (const Bytes* archive : {&after_header, &at_end}) {
        std::string layout = archive == &after_header ? "near" : "far";
        std::string path = Write(layout + ".DAT", *archive);
        Bytes embedded(100, 'x');
        Append(embedded, *archive);
        Append(embedded, Bytes(50, 'y'));
        std::string larger = Write(layout + ".BIN", embedded);
        for (const char* route : {"file", "stdin", "offset"}) {
            std::string name = layout + "-" + route;
            std::vector<std::string> args = {"extract", route == std::string("file") ? path : "-", "-o", Path(name),
                                             "--name", layout + ".DAT"};
            if (route == std::string("offset")) args = {"extract", larger, "--offset", "100", "-o", Path(name)};
            CliRun run = RunKovaRedirected(args, scratch, route == std::string("stdin") ? path : "/dev/null");
            ASSERT_EQ(run.exit_code, 0) << name << ": " << run.err;
            std::vector<std::string> files = FilesIn(scratch / name);
            ASSERT_EQ(files.size(), entries.size()) << name;
            for (size_t k = 0; k < entries.size(); ++k) {
                EXPECT_EQ(ReadFileBytes(Path(name + "/" + files[k])), entries[k]) << name << "/" << files[k];
            }
        }
    }
}

TEST_F(CliTest, ExtractDefaultsToTheCurrentDirectory) {
    CliRun run = Kova({"extract", SampleArchivePath(), "--quiet"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(FilesIn(scratch).size(), SampleFiles().size());
    ExpectSampleFile(scratch, 1);
}

struct SelectionCase {
    std::string name;
    std::vector<std::string> selectors;
    std::vector<size_t> written;  // entries expected in the output, and nothing else
};

void PrintTo(const SelectionCase& c, std::ostream* out) { *out << c.name; }

class ExtractSelection : public CliTest, public ::testing::WithParamInterface<SelectionCase> {};

TEST_P(ExtractSelection, WritesExactlyTheEntriesNamed) {
    std::vector<std::string> args = {"extract", SampleArchivePath(), "-o", Path("out")};
    args.insert(args.end(), GetParam().selectors.begin(), GetParam().selectors.end());
    CliRun run = Kova(args);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    std::vector<std::string> expected;
    for (size_t index : GetParam().written) expected.push_back(SampleName(index));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FilesIn(scratch / "out"), expected);
    for (size_t index : GetParam().written) ExpectSampleFile(scratch / "out", index);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, ExtractSelection,
    ::testing::Values(SelectionCase{"by_name", {"sample_002.MID"}, {2}},
                      SelectionCase{"by_index", {"3"}, {3}},
                      SelectionCase{"by_index_with_leading_zeros", {"005"}, {5}},
                      SelectionCase{"by_name_in_other_case", {"SAMPLE_004.bmp"}, {4}},
                      SelectionCase{"several_mixed", {"0", "sample_001.WAV", "5"}, {0, 1, 5}},
                      SelectionCase{"same_entry_twice", {"0", "sample_000.BMP"}, {0}}),
    [](const auto& info) { return info.param.name; });

TEST_F(CliTest, ExtractCreatesMissingDirectoriesAndReplacesFiles) {
    std::filesystem::path out = scratch / "a" / "b" / "c";
    std::filesystem::create_directories(out);
    WriteFileBytes((out / SampleName(3)).string(), Bytes(100000, 'x'));  // longer than the entry
    std::filesystem::remove_all(scratch / "a" / "b");

    CliRun first = Kova({"extract", SampleArchivePath(), "3", "-o", out.string()});
    ASSERT_EQ(first.exit_code, 0) << first.err;
    WriteFileBytes((out / SampleName(3)).string(), Bytes(100000, 'x'));
    CliRun second = Kova({"extract", SampleArchivePath(), "3", "-o", out.string()});
    ASSERT_EQ(second.exit_code, 0) << second.err;
    ExpectSampleFile(out, 3);
    EXPECT_EQ(FilesIn(out).size(), 1u);
}

// An entry of size 0 becomes an empty file.
TEST_F(CliTest, EmptyEntriesBecomeEmptyFiles) {
    std::string path = Write("hollow.DAT", BuildArchive({StoreEntry({}), EncodeEntry(1, {}), StoreEntry(ToBytes("BM!"))}));
    CliRun run = Kova({"extract", path, "-o", Path("out")});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(FilesIn(scratch / "out"),
              (std::vector<std::string>{"hollow_000.DAT", "hollow_001.DAT", "hollow_002.BMP"}));
    EXPECT_EQ(std::filesystem::file_size(scratch / "out" / "hollow_000.DAT"), 0u);
    EXPECT_EQ(std::filesystem::file_size(scratch / "out" / "hollow_001.DAT"), 0u);
    EXPECT_EQ(ReadText(scratch / "out" / "hollow_002.BMP"), "BM!");

    CliRun cat = Kova({"cat", path, "1"});
    EXPECT_EQ(cat.exit_code, 0) << cat.err;
    EXPECT_EQ(cat.out, "");
    EXPECT_EQ(cat.err, "");
}

TEST_F(CliTest, OneEntryThatCannotBeWrittenDoesNotKeepTheOthersIn) {
    std::string path = Write("three.DAT", BuildArchive({StoreEntry(ToBytes("one")), StoreEntry(ToBytes("two")),
                                                        StoreEntry(ToBytes("three"))}));
    std::filesystem::create_directories(scratch / "out" / "three_001.DAT");  // in the way
    CliRun run = Kova({"extract", path, "-o", Path("out"), "--quiet"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("three_001.DAT"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("1 entry could not be extracted"), std::string::npos) << run.err;
    EXPECT_EQ(ReadText(scratch / "out" / "three_000.DAT"), "one");
    EXPECT_EQ(ReadText(scratch / "out" / "three_002.DAT"), "three");
}

TEST_F(CliTest, AnArchiveCutShortIsReportedButStillRead) {
    Bytes whole = ReadFileBytes(SampleArchivePath());
    std::string path = Write("cut.DAT", Bytes(whole.begin(), whole.begin() + 900));
    std::vector<std::vector<std::string>> commands = {{"list", path}, {"extract", path, "-o", Path("out"), "--quiet"}};
    for (const std::vector<std::string>& command : commands) {
        SCOPED_TRACE(command[0]);
        CliRun run = Kova(command);
        EXPECT_EQ(run.exit_code, 0) << run.err;
        EXPECT_NE(run.err.find("warning: " + path + ": the file is cut short"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("holds 900"), std::string::npos) << run.err;
    }
    CliRun whole_run = Kova({"list", SampleArchivePath()});
    EXPECT_EQ(whole_run.err, "");
}

// An entry read from the mapped file (each entry handed over as an image
// of its own) gives what the archive's whole image gives on standard input,
// damage included: a file cut short inside an entry, or before it, and an
// entry whose bytes lie in the index.
TEST_F(CliTest, EveryWayAnEntryIsReadGivesTheSameBytes) {
    Bytes whole = ReadFileBytes(SampleArchivePath());
    Bytes into_index = whole;
    PutLe32(into_index, 24 + 8 * 2 + 4, 30);  // entry 2 starts inside the index
    struct Case {
        const char* what;
        Bytes archive;
    } cases[] = {
        {"whole", whole},
        {"cut inside an entry", Bytes(whole.begin(), whole.begin() + 900)},
        {"cut before the last entries", Bytes(whole.begin(), whole.begin() + 400)},
        {"an entry in the index", into_index},
    };
    for (const Case& c : cases) {
        std::string path = Write("routes.DAT", c.archive);
        for (size_t k = 0; k < SampleFiles().size(); ++k) {
            std::string entry = std::to_string(k);
            CliRun mapped = Kova({"cat", path, entry, "--force"});
            CliRun image = RunKovaRedirected({"cat", "-", "--name", "routes.DAT", entry, "--force"}, scratch, path);
            EXPECT_EQ(mapped.exit_code, image.exit_code) << c.what << ", entry " << k << ": " << mapped.err << image.err;
            EXPECT_TRUE(mapped.out == image.out) << c.what << ", entry " << k;
        }
    }
}

TEST_F(CliTest, ProgressBarShowsOnATerminalUnlessQuiet) {
    CliRun loud;
    if (!RunKovaOnTerminal({"extract", SampleArchivePath(), "-o", Path("loud")}, scratch, loud)) {
        GTEST_SKIP() << "script(1) is not installed";
    }
    ASSERT_EQ(loud.exit_code, 0) << loud.out;
    EXPECT_NE(loud.out.find("6/6 entries"), std::string::npos) << loud.out;
    EXPECT_NE(loud.out.find("[########################]"), std::string::npos) << loud.out;

    CliRun quiet;
    RunKovaOnTerminal({"extract", SampleArchivePath(), "-o", Path("quiet"), "--quiet"}, scratch, quiet);
    ASSERT_EQ(quiet.exit_code, 0) << quiet.out;
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(FilesIn(scratch / "quiet").size(), SampleFiles().size());
}

}  // namespace
}  // namespace kova::testing
