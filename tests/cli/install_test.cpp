// What `cmake --install` puts in place besides the programs: the manual
// page, rendered by man(1) as a user reads it, and the bash completion,
// driven by bash as a shell drives it on Tab.
#include <gtest/gtest.h>

#include "tests/cli/cli_runner.h"

namespace kova::testing {
namespace {

class Installed : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        prefix = scratch / "prefix";
        CliRun install = RunShellCommand(ShellQuoted(KOVA_CMAKE) + " --install " + ShellQuoted(KOVA_BUILD_DIR) +
                                             " --prefix " + ShellQuoted(prefix.string()),
                                         scratch);
        ASSERT_EQ(install.exit_code, 0) << install.out << install.err;
    }

    // What completing the last of `words` (after kova itself) offers.
    std::vector<std::string> Complete(const std::vector<std::string>& words) {
        std::string line = "bash -c " +
                           ShellQuoted("source \"$1\"; shift; COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); _kova; "
                                       "printf '%s\\n' \"${COMPREPLY[@]}\"") +
                           " _ " + ShellQuoted((prefix / "share/bash-completion/completions/kova").string()) + " " +
                           ShellQuoted((prefix / "bin/kova").string());
        for (const std::string& word : words) line += " " + ShellQuoted(word);
        CliRun run = RunShellCommand(line, scratch);
        EXPECT_EQ(run.exit_code, 0) << run.err;
        std::vector<std::string> offered;
        for (const std::string& item : Lines(run.out)) {
            if (!item.empty()) offered.push_back(item);
        }
        return offered;
    }

    std::filesystem::path prefix;
};

using Words = std::vector<std::string>;

TEST_F(Installed, BashCompletesCommandsOptionsAndEntries) {
    const std::string sample = SampleArchivePath();
    EXPECT_EQ(Complete({"ex"}), Words{"extract"});
    EXPECT_EQ(Complete({"c"}), (Words{"cat", "check"}));
    // Options come from the command's own help.
    EXPECT_EQ(Complete({"list", "--h"}), (Words{"--hash", "--help"}));
    EXPECT_EQ(Complete({"pack", "new.DAT", "--m"}), Words{"--method"});
    EXPECT_EQ(Complete({"extract", sample, "--type", "w"}), Words{"wav"});
    // Entry names come from the archive on the line.
    EXPECT_EQ(Complete({"cat", sample, "sample_00"}),
              (Words{"sample_000.BMP", "sample_001.WAV", "sample_002.MID", "sample_003.DAT", "sample_004.BMP",
                     "sample_005.DAT"}));
    EXPECT_EQ(Complete({"extract", sample, "-e", "sample_001"}), Words{"sample_001.WAV"});
    EXPECT_EQ(Complete({"replace", sample, "sample_002"}), Words{"sample_002.MID="});
    EXPECT_EQ(Complete({"cat", "missing.DAT", "s"}), Words{});
}

TEST_F(Installed, ManRendersThePageMadeFromTheHelp) {
    CliRun run = RunShellCommand("MANPATH=" + ShellQuoted((prefix / "share/man").string()) +
                                     " MANWIDTH=80 MAN_KEEP_FORMATTING= man kova",
                                 scratch);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    std::vector<std::string> lines = Lines(run.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].rfind("KOVA(1)", 0), 0u) << lines[0];
    for (const char* wanted : {"NAME", "       kova - list, extract, check, pack and replace KOVA archives",
                               "COMMANDS", "   kova extract [options] ARCHIVE... [ENTRY...]",
                               "       -o, --output DIR", "       --names-only", "EXIT STATUS",
                               "       130    interrupted (Ctrl-C)"}) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), wanted), lines.end()) << wanted << " in:\n" << run.out;
    }
}

}  // namespace
}  // namespace kova::testing
