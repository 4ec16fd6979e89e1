// kova info, probe and cat.
#include <gtest/gtest.h>

#include "tests/cli/cli_runner.h"
#include "tests/tools/sample_content.h"

namespace kova::testing {
namespace {

TEST_F(CliTest, InfoShowsTheFourStrings) {
    CliRun run = Kova({"info"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    for (const char* text : {"00AM", "KOVA extract library ver.0.01 ", "*.DAT", "COBALT WHARF Archive File(*.DAT)"}) {
        EXPECT_NE(run.out.find(text), std::string::npos) << text << " missing from\n" << run.out;
    }
}

TEST_F(CliTest, ProbeAnswersForEachFile) {
    std::string notes = Write("notes.txt", ToBytes("hello"));
    std::string copy = Write("copy.DAT", ReadFileBytes(SampleArchivePath()));
    struct Case {
        std::vector<std::string> files;
        int exit_code;
        std::vector<std::string> lines;
        bool error_line;
    };
    const Case cases[] = {
        {{SampleArchivePath(), copy}, 0, {SampleArchivePath() + ": KOVA archive", copy + ": KOVA archive"}, false},
        {{SampleArchivePath(), notes}, 1, {SampleArchivePath() + ": KOVA archive", notes + ": not a KOVA archive"}, false},
        {{Path("gone.DAT"), copy}, 1, {copy + ": KOVA archive"}, true},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"probe"};
        args.insert(args.end(), c.files.begin(), c.files.end());
        CliRun run = Kova(args);
        EXPECT_EQ(run.exit_code, c.exit_code) << run.out << run.err;
        EXPECT_EQ(Lines(run.out), c.lines);
        if (c.error_line) {
            EXPECT_NE(run.err.find("cannot open " + Path("gone.DAT") + ": No such file or directory"), std::string::npos)
                << run.err;
        } else {
            EXPECT_EQ(run.err, "");
        }
    }
}

TEST_F(CliTest, CatWritesEachEntryByteForByte) {
    std::vector<SampleFile> files = SampleFiles();
    for (size_t k = 0; k < files.size(); ++k) {
        CliRun run = Kova({"cat", SampleArchivePath(), std::to_string(k)});
        ASSERT_EQ(run.exit_code, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_TRUE(run.out == std::string(files[k].content.begin(), files[k].content.end()))
            << "entry " << k << " (" << files[k].about << ") differs";
    }
    CliRun by_name = Kova({"cat", SampleArchivePath(), "sample_003.DAT"});
    ASSERT_EQ(by_name.exit_code, 0) << by_name.err;
    EXPECT_EQ(by_name.out.rfind("kova sample archive", 0), 0u);
}

}  // namespace
}  // namespace kova::testing
