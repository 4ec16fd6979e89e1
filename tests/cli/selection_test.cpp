// Choosing entries the same way in list, extract and cat (-e, --type,
// --exclude), list's long form and totals, and what extract's --dry-run and
// --flat do with the files.
#include <gtest/gtest.h>

#include "tests/cli/cli_runner.h"
#include "tests/tools/sample_content.h"

namespace kova::testing {
namespace {

struct ListCase {
    const char* name;
    std::vector<std::string> options;
    std::vector<int> indices;  // the entries listed, in order
};

void PrintTo(const ListCase& c, std::ostream* out) { *out << c.name; }

class ListSelection : public CliTest, public ::testing::WithParamInterface<ListCase> {};

TEST_P(ListSelection, ListsExactlyTheChosenEntries) {
    std::vector<std::string> args = {"list", SampleArchivePath(), "--names-only"};
    args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
    CliRun run = Kova(args);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    std::vector<std::string> expected, rows;
    for (int index : GetParam().indices) {
        char name[32];
        std::snprintf(name, sizeof name, "sample_%03d.%s", index, SampleFiles()[index].extension.c_str());
        expected.push_back(name);
        rows.push_back(std::string(4, ' ') + std::to_string(index) + "  " + name);
    }
    EXPECT_EQ(Lines(run.out), expected);

    // The table gives each chosen row its own index and name.
    args.erase(args.begin() + 2);
    run = Kova(args);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), rows.size());
    for (size_t k = 0; k < rows.size(); ++k) EXPECT_EQ(lines[k].substr(0, rows[k].size()), rows[k]);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, ListSelection,
    ::testing::Values(ListCase{"glob", {"-e", "*.BMP"}, {0, 4}},
                      ListCase{"order_given", {"-e", "5", "-e", "1-2"}, {5, 1, 2}},
                      ListCase{"kind", {"--type", "dat"}, {3, 5}},
                      ListCase{"exclude_range", {"--exclude", "1-4"}, {0, 5}},
                      ListCase{"exclude_within_a_kind", {"--type", "bmp", "--exclude", "SAMPLE_000.bmp"}, {4}},
                      ListCase{"exclude_glob_matching_nothing", {"--exclude", "*.XYZ"}, {0, 1, 2, 3, 4, 5}}),
    [](const auto& info) { return info.param.name; });

TEST_F(CliTest, ListSelectionThatMatchesNothingFails) {
    CliRun run = Kova({"list", SampleArchivePath(), "-e", "*.XYZ"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "kova: '*.XYZ' matched no entry\n");
}

TEST_F(CliTest, LongListOnATerminalHasHeadingAndTotals) {
    CliRun run;
    if (!RunKovaOnTerminal({"list", "-l", SampleArchivePath(), "--exclude", "5"}, scratch, run)) {
        GTEST_SKIP() << "script(1) is not installed";
    }
    ASSERT_EQ(run.exit_code, 0) << run.out;
    EXPECT_EQ(Lines(run.out), (std::vector<std::string>{
                                  "index  name            method  offset  kind  packed  unpacked  ratio",
                                  "    0  sample_000.BMP       2      72  bmp      287      3190    9 %",
                                  "    1  sample_001.WAV       1     359  wav      527      6844    8 %",
                                  "    2  sample_002.MID  stored     886  mid       68        68  100 %",
                                  "    3  sample_003.DAT       2     954  dat      484       601   81 %",
                                  "    4  sample_004.BMP  stored    1438  bmp      246       246  100 %",
                                  "5 entries, 1,612 packed, 10,949 unpacked, 15 % of unpacked"}));
}

TEST_F(CliTest, DryRunNamesTheFilesAndWritesNothing) {
    CliRun run = Kova({"extract", SampleArchivePath(), "-n", "-o", Path("out"), "--exclude", "1-4"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(Lines(run.out), (std::vector<std::string>{Path("out") + "/sample_000.BMP", Path("out") + "/sample_005.DAT",
                                                         "would extract 2 entries (3.6 KiB) into " + Path("out")}));
    EXPECT_FALSE(std::filesystem::exists(scratch / "out")) << "a dry run makes no directory";
}

TEST_F(CliTest, FlatPutsSeveralArchivesInOneDirectoryUnlessTheirNamesCollide) {
    Bytes sample = ReadFileBytes(SampleArchivePath());
    std::string a = Write("a.DAT", sample), b = Write("b.DAT", sample);
    CliRun run = Kova({"extract", "--flat", "-q", a, b, "-o", Path("out"), "-e", "0"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(FilesIn(scratch / "out"), (std::vector<std::string>{"a_000.BMP", "b_000.BMP"}));

    std::filesystem::create_directory(scratch / "other");
    std::string again = Write("other/A.v2.DAT", sample);
    CliRun collides = Kova({"extract", "--flat", a, again, "-o", Path("two")});
    EXPECT_EQ(collides.exit_code, 1);
    EXPECT_EQ(collides.err, "kova: " + a + " and " + again +
                                ": their entries' names (a_NNN and A_NNN) would collide with --flat; extract them one "
                                "at a time\n");
    EXPECT_FALSE(std::filesystem::exists(scratch / "two")) << "refused before anything is written";
}

TEST_F(CliTest, CatLeavesOutWhatIsExcluded) {
    CliRun run = Kova({"cat", SampleArchivePath(), "*", "--exclude", "1-", "--exclude", "sample_000.BMP"});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, "");
    CliRun one = Kova({"cat", SampleArchivePath(), "0-1", "--exclude", "1"});
    ASSERT_EQ(one.exit_code, 0) << one.err;
    Bytes first = SampleFiles()[0].content;
    EXPECT_TRUE(one.out == std::string(first.begin(), first.end()));
}

}  // namespace
}  // namespace kova::testing
