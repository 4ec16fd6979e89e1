// A one-line progress display for extraction and packing: entries and bytes done, redrawn
// in place on standard error. Only drawn when enabled (on a terminal, and the
// user did not ask for quiet), and fitted to the terminal's width in display
// cells, so that it never wraps onto a second line.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace kova::cli {

struct ProgressBar {
    bool enabled = false;
    std::FILE* out = stderr;
    uint64_t total_entries = 0;
    uint64_t total_bytes = 0;
    uint64_t done_entries = 0;
    uint64_t done_bytes = 0;
    size_t drawn_width = 0;  // cells of the line on screen, to blank what is left of it
    // Redrawn at most every 100 ms: an archive of many small entries would
    // otherwise spend more time drawing than extracting.
    std::chrono::steady_clock::time_point drawn_at{};
    std::string pending;  // what the last skipped redraw would have named
    bool behind = false;  // the screen shows less than is done
    // Packing: the bar waits this long before it is first drawn, so work
    // that ends sooner leaves no trace, and it shows the rate and the time
    // left, which packing's uneven speed makes worth knowing.
    std::chrono::steady_clock::duration hold_off{};
    bool timed = false;
    std::chrono::steady_clock::time_point started_at{};
};

// Shows the bar with nothing done yet, `current` being the first item.
void StartProgress(ProgressBar& bar, uint64_t total_entries, uint64_t total_bytes, const std::string& current);

// One more entry of `bytes` done; `next` is what comes now (may be empty).
void AdvanceProgress(ProgressBar& bar, uint64_t bytes, const std::string& next);

// Ends the bar's line, so what is written next starts on a line of its own.
void FinishProgress(ProgressBar& bar);

// The line drawn for `bar` on a terminal `columns` wide, `current` the entry
// under way: at most columns - 1 cells (the last column would wrap on some
// terminals), the bar taking about three tenths of the width.
std::string ProgressLine(const ProgressBar& bar, const std::string& current, size_t columns);

// "812 B", "3.2 KiB", "1.0 MiB".
std::string HumanSize(uint64_t bytes);

}  // namespace kova::cli
