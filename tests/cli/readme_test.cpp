// The README's examples are what kova prints: every code block marked as
// checked is run, each "$ ..." line in turn in one copy of the
// repository's root, and what it prints (both outputs, in order) must be
// the lines shown under it, none where none are shown. A line "..." stands
// for any number of lines. Blocks marked as checked on
// a terminal run under a pseudo-terminal, where kova adds headings and
// totals.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/cli/cli_runner.h"

namespace kova::testing {
namespace {

constexpr const char* kCheckedMark = "<!-- checked: the tests run these from the repository's root -->";
constexpr const char* kTerminalMark =
    "<!-- checked on a terminal: the tests run these from the repository's root under script(1) -->";

struct Example {
    std::string command;  // after "$ "
    std::vector<std::string> output;
};

std::vector<Example> CheckedExamples(const std::string& readme, const std::string& mark) {
    std::vector<Example> examples;
    std::vector<std::string> lines = Lines(readme);
    for (size_t k = 0; k + 1 < lines.size(); ++k) {
        if (lines[k] != mark || lines[k + 1].rfind("```", 0) != 0) continue;
        for (k += 2; k < lines.size() && lines[k].rfind("```", 0) != 0; ++k) {
            if (lines[k].rfind("$ ", 0) == 0) {
                examples.push_back({lines[k].substr(2), {}});
            } else if (!examples.empty()) {
                examples.back().output.push_back(lines[k]);
            }
        }
    }
    return examples;
}

// `actual` matches `expected`, where a line "..." (however indented) takes
// any number of lines.
bool Matches(const std::vector<std::string>& expected, size_t e, const std::vector<std::string>& actual, size_t a) {
    if (e == expected.size()) return a == actual.size();
    if (expected[e].find_first_not_of(' ') != std::string::npos &&
        expected[e].substr(expected[e].find_first_not_of(' ')) == "...") {
        for (size_t skip = a; skip <= actual.size(); ++skip) {
            if (Matches(expected, e + 1, actual, skip)) return true;
        }
        return false;
    }
    return a < actual.size() && expected[e] == actual[a] && Matches(expected, e + 1, actual, a + 1);
}

TEST_F(CliTest, ReadmeExamplesShowWhatKovaPrints) {
    const std::filesystem::path root = std::filesystem::path(SampleArchivePath()).parent_path().parent_path();
    std::vector<Example> examples = CheckedExamples(ReadText(root / "README.md"), kCheckedMark);
    ASSERT_GE(examples.size(), 8u) << "the README's checked blocks are gone";
    std::vector<Example> on_terminal = CheckedExamples(ReadText(root / "README.md"), kTerminalMark);
    ASSERT_GE(on_terminal.size(), 2u) << "the README's blocks checked on a terminal are gone";
    bool have_script = std::system("command -v script >/dev/null 2>&1") == 0;
    std::filesystem::create_directories(scratch / "build");
    std::filesystem::create_symlink(KOVA_CLI_PATH, scratch / "build" / "kova");
    std::filesystem::create_directory_symlink(root / "examples", scratch / "examples");
    std::filesystem::create_symlink(root / "README.md", scratch / "README.md");
    for (const Example& example : examples) {
        CliRun run = RunShellCommand("sh -c " + ShellQuoted(example.command + " 2>&1"), scratch);
        std::vector<std::string> printed = Lines(run.out);
        EXPECT_TRUE(Matches(example.output, 0, printed, 0)) << "$ " << example.command << "\nprints:\n" << run.out;
    }
    for (const Example& example : on_terminal) {
        if (!have_script) break;  // the terminal's examples need script(1)
        CliRun run = RunShellCommand("script -qec " + ShellQuoted(example.command) + " /dev/null", scratch);
        std::vector<std::string> printed = Lines(run.out);
        for (std::string& line : printed) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
        }
        EXPECT_TRUE(Matches(example.output, 0, printed, 0)) << "$ " << example.command << "\nprints:\n" << run.out;
    }
}

}  // namespace
}  // namespace kova::testing
