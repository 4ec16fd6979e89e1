#include "cli/progress_bar.h"

namespace kova::cli {
namespace {

constexpr size_t kBarCells = 24;
constexpr std::chrono::milliseconds kRedrawInterval{100};

void Draw(ProgressBar& bar, const std::string& current) {
    if (!bar.enabled) return;
    // Bytes decide the fill, so one large entry shows as the long wait it is;
    // an archive of empty entries fills by count instead.
    double fraction = bar.total_bytes > 0 ? static_cast<double>(bar.done_bytes) / static_cast<double>(bar.total_bytes)
                      : bar.total_entries > 0
                          ? static_cast<double>(bar.done_entries) / static_cast<double>(bar.total_entries)
                          : 1.0;
    size_t filled = static_cast<size_t>(fraction * kBarCells + 0.5);
    if (filled > kBarCells) filled = kBarCells;

    // Appended piece by piece: g++ 12 at -O3 takes `"[" + std::string(...)`
    // for an overlapping copy and warns.
    std::string line = "[";
    line.append(filled, '#');
    line.append(kBarCells - filled, '.');
    line += "] ";
    line += std::to_string(bar.done_entries) + "/" + std::to_string(bar.total_entries) + " entries, ";
    line += HumanSize(bar.done_bytes) + " of " + HumanSize(bar.total_bytes);
    if (!current.empty()) line += "  " + current;
    size_t width = line.size();
    if (width < bar.drawn_width) line += std::string(bar.drawn_width - width, ' ');
    bar.drawn_width = width;
    std::fprintf(bar.out, "\r%s", line.c_str());
    std::fflush(bar.out);
    bar.drawn_at = std::chrono::steady_clock::now();
    bar.behind = false;
}

}  // namespace

void StartProgress(ProgressBar& bar, uint64_t total_entries, uint64_t total_bytes, const std::string& current) {
    bar.total_entries = total_entries;
    bar.total_bytes = total_bytes;
    bar.done_entries = 0;
    bar.done_bytes = 0;
    bar.drawn_width = 0;
    Draw(bar, current);
}

void AdvanceProgress(ProgressBar& bar, uint64_t bytes, const std::string& next) {
    bar.done_entries += 1;
    bar.done_bytes += bytes;
    if (!bar.enabled) return;
    if (std::chrono::steady_clock::now() - bar.drawn_at < kRedrawInterval) {
        bar.pending = next;
        bar.behind = true;
        return;
    }
    Draw(bar, next);
}

void FinishProgress(ProgressBar& bar) {
    if (!bar.enabled || bar.drawn_width == 0) return;
    // The line left on screen tells what was done, not what was last drawn.
    if (bar.behind) Draw(bar, bar.pending);
    std::fputc('\n', bar.out);
    std::fflush(bar.out);
    bar.drawn_width = 0;
}

std::string HumanSize(uint64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " B";
    const char* units[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes) / 1024.0;
    size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < sizeof units / sizeof units[0]) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

}  // namespace kova::cli
