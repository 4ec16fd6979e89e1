// kova's help in its own form: a usage line, one row per option with its
// value named, choices written once, no argument-library noise, examples at
// the end, every line within 80 columns; on standard output, exit 0.
#include <gtest/gtest.h>

#include "tests/cli/cli_runner.h"

namespace kova::testing {
namespace {

constexpr const char* kMainHelp = R"(Usage: kova COMMAND [options] [ARGUMENTS...]

List, extract, check, pack and replace KOVA archives (*.DAT): the game-data
archives the kova plug-in opens for image viewers.

Commands:
  info     Show the information strings the plug-in gives its hosts.
  probe    Say of each file whether it is a KOVA archive (exit 1 unless all
           are).
  list     List the entries: index, name, packed size, unpacked size (bytes).
  extract  Write entries to files named as 'kova list' shows them; with no
           ENTRY, all of them.
  cat      Write entries' content to standard output, in the order given.
  check    Test archives: decode every entry and report each problem (exit 1 if
           any).
  pack     Make an archive of files; a directory gives its files named
           NAME_007.BMP and so on, in index order.
  replace  Give entries new content; all others are kept byte for byte.

Options:
      --version  Print the version
  -h, --help     Show this help

Exit status:
  0    the command did what was asked
  1    it failed (one line on standard error says why), check found damage, or
       probe found a file that is no KOVA archive
  2    the command line is wrong
  130  interrupted (Ctrl-C)

'kova COMMAND --help' tells more of each; 'man kova' tells all.
)";

TEST_F(CliTest, MainHelpListsCommandsAndExitStatuses) {
    for (const char* flag : {"--help", "-h"}) {
        CliRun run = Kova({flag});
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(run.out, kMainHelp);
        EXPECT_EQ(run.err, "");
    }
    CliRun version = Kova({"--version"});
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(version.out.rfind("kova ", 0), 0u) << version.out;
}

struct HelpCase {
    std::string command;
    std::string usage;       // the first line
    std::string option_row;  // one row of its options, as it must read
};

void PrintTo(const HelpCase& c, std::ostream* out) { *out << c.command; }

class CommandHelp : public CliTest, public ::testing::WithParamInterface<HelpCase> {};

TEST_P(CommandHelp, IsInKovasOwnForm) {
    const HelpCase& c = GetParam();
    CliRun run = Kova({c.command, "--help"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.err, "");
    std::vector<std::string> lines = Lines(run.out);
    ASSERT_GT(lines.size(), 4u) << run.out;
    EXPECT_EQ(lines[0], c.usage);
    EXPECT_NE(run.out.find("\n" + c.option_row + "\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\n  -h, --help"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\nExamples:\n  kova " + c.command), std::string::npos) << run.out;
    for (const char* noise : {"REQUIRED", "Excludes", "TEXT", ":{", "[OPTIONS]", "SUBCOMMAND"}) {
        EXPECT_EQ(run.out.find(noise), std::string::npos) << noise << " in:\n" << run.out;
    }
    for (const std::string& line : lines) EXPECT_LE(line.size(), 80u) << line;
    EXPECT_EQ(Kova({c.command, "-h"}).out, run.out);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CommandHelp,
    ::testing::Values(
        HelpCase{"info", "Usage: kova info [options]", "      --json  Print one JSON document"},
        HelpCase{"probe", "Usage: kova probe [options] FILE...", "  FILE  Files to look at"},
        HelpCase{"list", "Usage: kova list [options] ARCHIVE...",
                 "  -l, --long             Show each entry's method, offset, kind and ratio too"},
        HelpCase{"extract", "Usage: kova extract [options] ARCHIVE... [ENTRY...]",
                 "  -n, --dry-run          Print the files it would write; write nothing"},
        HelpCase{"cat", "Usage: kova cat [options] ARCHIVE ENTRY...",
                 "  ENTRY    Entries, by index, range, name or glob, in this order"},
        HelpCase{"check", "Usage: kova check [options] ARCHIVE...",
                 "      --manifest FILE  A manifest ('kova list --hash --json'): every entry's\n"
                 "                       content must match it"},
        HelpCase{"pack", "Usage: kova pack [options] OUT INPUT...",
                 "      --method METHOD  auto (the smallest of the three; the default), 1, 2, or\n"
                 "                       stored (content kept as it is)"},
        HelpCase{"replace", "Usage: kova replace [options] ARCHIVE ENTRY=FILE...",
                 "  -o, --output OUT  Write here instead of replacing ARCHIVE"}),
    [](const auto& info) { return info.param.command; });

}  // namespace
}  // namespace kova::testing
