// What kova lays out for a terminal counts display cells, not bytes: names
// with wide and combining characters line up under their heading, and the
// progress bar fits the terminal's width, whatever it is.
#include <gtest/gtest.h>

#include "tests/cli/cli_runner.h"

namespace kova::testing {
namespace {

// The pieces of a terminal's output between carriage returns and line ends:
// each redraw of the progress bar is one.
std::vector<std::string> Redraws(const std::string& text) {
    std::vector<std::string> pieces;
    std::string piece;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            if (!piece.empty()) pieces.push_back(piece);
            piece.clear();
        } else {
            piece += c;
        }
    }
    if (!piece.empty()) pieces.push_back(piece);
    return pieces;
}

TEST_F(CliTest, WideAndCombiningNamesLineUpInList) {
    // Two wide characters, then e with a combining acute accent: 5 cells, 9 bytes.
    const std::string base = "\xE6\x97\xA5\xE6\x9C\xAC" "e\xCC\x81";
    Write("a_000.BMP", ToBytes("BM"));
    Write("a_001.DAT", ToBytes("hello"));
    ASSERT_EQ(Kova({"pack", "-q", Path(base + ".DAT"), Path("a_000.BMP"), Path("a_001.DAT")}).exit_code, 0);
    CliRun run;
    if (!RunKovaOnTerminal({"list", base + ".DAT"}, scratch, run)) GTEST_SKIP() << "script(1) is not installed";
    ASSERT_EQ(run.exit_code, 0) << run.out;
    EXPECT_EQ(Lines(run.out), (std::vector<std::string>{"index  name           packed  unpacked",
                                                         "    0  " + base + "_000.BMP       2         2",
                                                         "    1  " + base + "_001.DAT       5         5",
                                                         "2 entries, 7 packed, 7 unpacked, 100 % of unpacked"}));
}

struct WidthCase {
    int columns;
    std::string first;  // the bar as it starts
    std::string last;   // and as it is left
};

void PrintTo(const WidthCase& c, std::ostream* out) { *out << c.columns << " columns"; }

class ProgressWidth : public CliTest, public ::testing::WithParamInterface<WidthCase> {};

TEST_P(ProgressWidth, FitsTheTerminal) {
    const WidthCase& c = GetParam();
    CliRun run;
    if (!RunKovaOnTerminal({"extract", SampleArchivePath(), "-o", Path("out")}, scratch, run, c.columns)) {
        GTEST_SKIP() << "script(1) is not installed";
    }
    ASSERT_EQ(run.exit_code, 0) << run.out;
    std::vector<std::string> pieces = Redraws(run.out);
    ASSERT_GE(pieces.size(), 3u) << run.out;
    EXPECT_EQ(pieces.front(), c.first);
    // The last redraw blanks what is left of a longer line before it.
    std::string last = pieces[pieces.size() - 2];
    EXPECT_EQ(last.substr(0, last.find_last_not_of(' ') + 1), c.last);
    EXPECT_EQ(pieces.back(), "extracted 6 entries (11.2 KiB) into " + Path("out"));
    for (size_t k = 0; k + 1 < pieces.size(); ++k) {
        EXPECT_LT(pieces[k].size(), static_cast<size_t>(c.columns)) << "wraps: " << pieces[k];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cli, ProgressWidth,
    ::testing::Values(WidthCase{40, "[............] 0/6, 0 B  sample_000.BMP", "[############] 6/6, 11.2 KiB"},
                      WidthCase{120,
                                "[....................................] 0/6 entries, 0 B of 11.2 KiB  sample_000.BMP",
                                "[####################################] 6/6 entries, 11.2 KiB of 11.2 KiB"}),
    [](const auto& info) { return std::to_string(info.param.columns) + "_columns"; });

}  // namespace
}  // namespace kova::testing
