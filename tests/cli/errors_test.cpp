// What a user sees when something is wrong: one line on standard error that
// names the file and the trouble, nothing on standard output, exit 1; or,
// for a command line that makes no sense, a line naming the command and the
// wrong word, and exit 2.
#include <gtest/gtest.h>

#include "tests/cli/cli_runner.h"

namespace kova::testing {
namespace {

// Placeholders a case's arguments may use, replaced per test.
constexpr const char* kSample = "@sample";
constexpr const char* kScratch = "@scratch/";

struct FailureCase {
    std::string name;
    std::vector<std::string> args;
    int exit_code;
    std::string message;  // must appear in the first line of standard error
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

class CommandFailures : public CliTest, public ::testing::WithParamInterface<FailureCase> {
protected:
    // Every placeholder in `text` replaced by the path it stands for.
    std::string Resolve(std::string text) const {
        for (auto [placeholder, path] : {std::pair<std::string, std::string>{kSample, SampleArchivePath()},
                                         std::pair<std::string, std::string>{kScratch, Path("")}}) {
            for (size_t at; (at = text.find(placeholder)) != std::string::npos;) text.replace(at, placeholder.size(), path);
        }
        return text;
    }
    std::vector<std::string> Resolve(const std::vector<std::string>& args) const {
        std::vector<std::string> resolved;
        for (const std::string& arg : args) resolved.push_back(Resolve(arg));
        return resolved;
    }
    void SetUp() override {
        CliTest::SetUp();
        Write("notes.txt", ToBytes("these are not the archives you are looking for\n"));
        Write("empty.DAT", {});
        // Right magic, wrong sizes: the header does not add up.
        Bytes broken = BuildArchive({ToBytes("BM")});
        PutLe32(broken, 4, GetLe32(broken, 4) + 1);
        Write("broken.DAT", broken);
        std::filesystem::create_directory(scratch / "folder.DAT");
        // Directories that cannot be packed, and content that cannot be stored.
        for (const char* name : {"stray/x_000.BMP", "stray/notes.txt", "gap/x_000.BMP", "gap/x_002.BMP",
                                 "twice/x_000.BMP", "twice/y_0.BMP", "nested/x_000.BMP"}) {
            std::filesystem::create_directories((scratch / name).parent_path());
            Write(name, ToBytes("BM"));
        }
        std::filesystem::create_directory(scratch / "nested" / "x_001.BMP");
        Write("coded.bin", {0x81, 'B', 'M'});
    }
};

TEST_P(CommandFailures, ReportClearly) {
    const FailureCase& c = GetParam();
    CliRun run = Kova(Resolve(c.args));
    EXPECT_EQ(run.exit_code, c.exit_code) << run.err;
    EXPECT_EQ(run.out, "") << "nothing on standard output when failing";
    std::vector<std::string> lines = Lines(run.err);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].rfind("kova: ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(Resolve(c.message)), std::string::npos) << lines[0];
    EXPECT_FALSE(std::filesystem::exists(scratch / "new.DAT")) << "a failed pack writes nothing";
    EXPECT_FALSE(std::filesystem::exists(scratch / "o.DAT")) << "a failed replace writes nothing";
    EXPECT_EQ(lines.size(), 1u) << "a failure is one line:\n" << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CommandFailures,
    ::testing::Values(
        // Files that are missing or are not archives.
        FailureCase{"list_missing_file", {"list", "@scratch/missing.DAT"}, 1,
                    "cannot open @scratch/missing.DAT: No such file or directory"},
        FailureCase{"extract_missing_file", {"extract", "@scratch/missing.DAT"}, 1, "cannot open @scratch/missing.DAT"},
        FailureCase{"cat_missing_file", {"cat", "@scratch/missing.DAT", "0"}, 1, "cannot open @scratch/missing.DAT"},
        FailureCase{"list_text_file", {"list", "@scratch/notes.txt"}, 1, "@scratch/notes.txt: not a KOVA archive"},
        FailureCase{"list_empty_file", {"list", "@scratch/empty.DAT"}, 1, "@scratch/empty.DAT: not a KOVA archive"},
        FailureCase{"list_inconsistent_header", {"list", "@scratch/broken.DAT"}, 1, "not a KOVA archive"},
        FailureCase{"extract_text_file", {"extract", "@scratch/notes.txt", "-o", "@scratch/out"}, 1,
                    "@scratch/notes.txt: not a KOVA archive"},
        FailureCase{"list_directory", {"list", "@scratch/folder.DAT"}, 1, "it is a directory"},
        FailureCase{"list_at_wrong_offset", {"list", "--offset", "7", kSample}, 1, "not a KOVA archive at offset 7"},
        // Entries that do not exist.
        FailureCase{"extract_unknown_name", {"extract", kSample, "sample_000.PNG", "-o", "@scratch/out"}, 1,
                    "no entry named 'sample_000.PNG'"},
        FailureCase{"extract_other_archives_name", {"extract", kSample, "disk1_000.BMP", "-o", "@scratch/out"}, 1,
                    "no entry named 'disk1_000.BMP'"},
        FailureCase{"extract_index_out_of_range", {"extract", kSample, "6", "-o", "@scratch/out"}, 1,
                    "no entry 6: the archive has 6 entries"},
        FailureCase{"extract_huge_index", {"extract", kSample, "99999999999999999999999", "-o", "@scratch/out"}, 1,
                    "no entry 99999999999999999999999"},
        FailureCase{"cat_index_out_of_range", {"cat", kSample, "12"}, 1, "no entry 12: the archive has 6 entries"},
        FailureCase{"cat_unknown_name", {"cat", kSample, "readme.txt"}, 1, "no entry named 'readme.txt'"},
        // Output that cannot be written.
        FailureCase{"extract_into_a_file", {"extract", kSample, "-o", "@scratch/notes.txt"}, 1,
                    "cannot create directory @scratch/notes.txt"},
        // Packing: inputs that cannot become entries. Nothing is written.
        FailureCase{"pack_missing_input", {"pack", "@scratch/new.DAT", "@scratch/none.BMP"}, 1,
                    "cannot read @scratch/none.BMP"},
        FailureCase{"pack_file_without_index", {"pack", "@scratch/new.DAT", "@scratch/stray"}, 1,
                    "@scratch/stray/notes.txt: the name carries no entry index"},
        FailureCase{"pack_gap_in_indexes", {"pack", "@scratch/new.DAT", "@scratch/gap"}, 1,
                    "@scratch/gap/x_002.BMP: no file for entry 1"},
        FailureCase{"pack_duplicate_index", {"pack", "@scratch/new.DAT", "@scratch/twice"}, 1, "entry 0 again"},
        FailureCase{"pack_subdirectory", {"pack", "@scratch/new.DAT", "@scratch/nested"}, 1, "is a directory"},
        FailureCase{"pack_stored_would_read_coded", {"pack", "@scratch/new.DAT", "@scratch/coded.bin", "--method",
                     "stored"}, 1, "@scratch/coded.bin: cannot be stored as it is"},
        FailureCase{"pack_into_a_directory", {"pack", "@scratch/folder.DAT", "@scratch/notes.txt"}, 1,
                    "@scratch/folder.DAT"},
        FailureCase{"replace_unknown_entry", {"replace", kSample, "9=@scratch/notes.txt", "-o", "@scratch/o.DAT"}, 1,
                    "no entry 9"},
        FailureCase{"replace_entry_twice", {"replace", kSample, "1=@scratch/notes.txt", "sample_001.WAV=@scratch/notes.txt",
                     "-o", "@scratch/o.DAT"}, 1, "entry 1 is given twice"},
        FailureCase{"replace_missing_file", {"replace", kSample, "1=@scratch/none.WAV", "-o", "@scratch/o.DAT"}, 1,
                    "cannot open @scratch/none.WAV"}),
    [](const auto& info) { return info.param.name; });

// A command line kova cannot make sense of: exactly one line, in kova's
// words, naming the command and the word that is wrong, and where to look.
struct UsageCase {
    std::string name;
    std::vector<std::string> args;
    std::string error;  // all of standard error
};

void PrintTo(const UsageCase& c, std::ostream* out) { *out << c.name; }

class UsageErrors : public CliTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(UsageErrors, NameTheWrongWord) {
    const UsageCase& c = GetParam();
    std::vector<std::string> args;
    for (const std::string& arg : c.args) args.push_back(arg == kSample ? SampleArchivePath() : arg);
    CliRun run = Kova(args);
    EXPECT_EQ(run.exit_code, 2) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.error + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cli, UsageErrors,
    ::testing::Values(
        UsageCase{"no_command", {}, "kova: no command given; see 'kova --help'"},
        UsageCase{"unknown_command", {"unpack", kSample},
                  "kova: unknown command 'unpack' (commands: info, probe, list, extract, cat, check, pack, replace); "
                  "see 'kova --help'"},
        UsageCase{"unknown_option_before_command", {"--bogus", "list", kSample},
                  "kova: unknown option '--bogus' before the command; a command's options come after it; "
                  "see 'kova --help'"},
        UsageCase{"command_option_without_command", {"-v"},
                  "kova: unknown option '-v' (and no command given); a command's options come after it; "
                  "see 'kova --help'"},
        // kova reads archives itself; it loads no plug-in.
        UsageCase{"plugin_option_gone", {"list", kSample, "--plugin", "x.so"},
                  "kova list: unknown option '--plugin'; see 'kova list --help'"},
        UsageCase{"unknown_option_with_value", {"list", "--colour=red", kSample},
                  "kova list: unknown option '--colour'; see 'kova list --help'"},
        UsageCase{"option_of_another_command", {"cat", kSample, "0", "-o", "x"},
                  "kova cat: unknown option '-o'; see 'kova cat --help'"},
        UsageCase{"unexpected_arguments_first_named", {"info", "extra", "more"},
                  "kova info: unexpected argument 'extra'; see 'kova info --help'"},
        UsageCase{"list_without_archive", {"list"}, "kova list: no ARCHIVE given; see 'kova list --help'"},
        UsageCase{"cat_without_entry", {"cat", kSample}, "kova cat: no ENTRY given; see 'kova cat --help'"},
        UsageCase{"probe_without_files", {"probe"}, "kova probe: no FILE given; see 'kova probe --help'"},
        UsageCase{"replace_without_replacement", {"replace", kSample},
                  "kova replace: no ENTRY=FILE given; see 'kova replace --help'"},
        UsageCase{"option_without_value", {"extract", kSample, "-o"},
                  "kova extract: --output needs a value (DIR); see 'kova extract --help'"},
        UsageCase{"cat_two_offsets", {"cat", kSample, "0", "--offset", "1", "--offset", "2"},
                  "kova cat: --offset is given more than once; it takes one value; see 'kova cat --help'"},
        UsageCase{"keep_and_overwrite", {"extract", kSample, "--keep", "--overwrite"},
                  "kova extract: --overwrite and --keep cannot be used together; see 'kova extract --help'"},
        UsageCase{"offset_not_a_number", {"list", "--offset", "ten", kSample},
                  "kova list: --offset: 'ten' is not a byte offset (a number of 0 or more, decimal or 0x hex); "
                  "see 'kova list --help'"},
        UsageCase{"offset_negative", {"check", "--offset", "-5", kSample},
                  "kova check: --offset: '-5' is not a byte offset (a number of 0 or more, decimal or 0x hex); "
                  "see 'kova check --help'"},
        UsageCase{"unknown_kind", {"extract", kSample, "--type", "png"},
                  "kova extract: --type: 'png' is not one of bmp, wav, mid, dat; see 'kova extract --help'"},
        UsageCase{"replace_without_equals", {"replace", kSample, "3"},
                  "kova replace: '3' is not ENTRY=FILE (for example 3=new.BMP or disk1_003.BMP=new.BMP); "
                  "see 'kova replace --help'"},
        UsageCase{"stdin_twice", {"list", "-", "-"},
                  "kova list: standard input ('-') can be read only once; see 'kova list --help'"},
        UsageCase{"range_backwards", {"extract", kSample, "5-3"},
                  "kova extract: '5-3' is not a range of entries: it ends before it starts; see 'kova extract --help'"},
        UsageCase{"unknown_method", {"pack", "new.DAT", "x", "--method", "3"},
                  "kova pack: --method: '3' is not one of auto, 1, 2, stored; see 'kova pack --help'"}),
    [](const auto& info) { return info.param.name; });

// Nothing half-done is left behind when a run fails on an entry.
TEST_F(CliTest, FailedExtractionLeavesNoPartialFile) {
    std::filesystem::create_directories(scratch / "out" / "sample_003.DAT");  // in the way of entry 3
    CliRun run = Kova({"extract", SampleArchivePath(), "3", "-o", Path("out"), "--quiet"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("cannot create"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(FilesIn(scratch / "out").empty()) << "no temporary or partial file may remain";
}

// A user's file that happens to carry a temporary-looking name, or a link
// planted there, is never written through.
TEST_F(CliTest, ExtractionNeverWritesThroughAFileBesideTheTarget) {
    std::filesystem::create_directories(scratch / "out");
    Write("victim.txt", ToBytes("keep me"));
    Write("out/sample_000.BMP.part", ToBytes("mine"));
    std::filesystem::create_symlink(scratch / "victim.txt", scratch / "out" / "sample_001.WAV.part");
    ASSERT_EQ(Kova({"extract", SampleArchivePath(), "0", "1", "-o", Path("out"), "-q"}).exit_code, 0);
    EXPECT_EQ(ReadText(scratch / "victim.txt"), "keep me");
    EXPECT_EQ(ReadText(scratch / "out" / "sample_000.BMP.part"), "mine");
}

}  // namespace
}  // namespace kova::testing
