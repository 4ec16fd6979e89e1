#include "cli/progress_bar.h"

#include "cli/display_width.h"
#include "cli/messages.h"
#include "cli/terminal.h"

namespace kova::cli {
namespace {

constexpr size_t kLeastBar = 10, kMostBar = 40, kLeastShownBar = 3;
constexpr std::chrono::milliseconds kRedrawInterval{100};

std::string Bar(const ProgressBar& bar, size_t cells) {
    // Bytes decide the fill, so one large entry shows as the long wait it is;
    // an archive of empty entries fills by count instead.
    double fraction = bar.total_bytes > 0 ? static_cast<double>(bar.done_bytes) / static_cast<double>(bar.total_bytes)
                      : bar.total_entries > 0
                          ? static_cast<double>(bar.done_entries) / static_cast<double>(bar.total_entries)
                          : 1.0;
    size_t filled = static_cast<size_t>(fraction * static_cast<double>(cells) + 0.5);
    if (filled > cells) filled = cells;
    // Appended piece by piece: g++ 12 at -O3 takes `"[" + std::string(...)`
    // for an overlapping copy and warns.
    std::string text = "[";
    text.append(filled, '#');
    text.append(cells - filled, '.');
    text += "] ";
    return text;
}

std::string Rate(const ProgressBar& bar) {
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - bar.started_at).count();
    if (seconds <= 0 || bar.done_bytes == 0) return "";
    double rate = static_cast<double>(bar.done_bytes) / seconds;
    std::string text = ", " + HumanSize(static_cast<uint64_t>(rate)) + "/s";
    if (bar.total_bytes >= bar.done_bytes) {
        uint64_t left = static_cast<uint64_t>(static_cast<double>(bar.total_bytes - bar.done_bytes) / rate + 0.5);
        char clock[32];
        std::snprintf(clock, sizeof clock, "%llu:%02llu", static_cast<unsigned long long>(left / 60),
                      static_cast<unsigned long long>(left % 60));
        text += std::string(", ") + clock + " left";
    }
    return text;
}

void Draw(ProgressBar& bar, const std::string& current) {
    if (!bar.enabled) return;
    if (std::chrono::steady_clock::now() - bar.started_at < bar.hold_off) {
        bar.pending = current;
        bar.behind = true;
        return;
    }
    size_t columns = TerminalColumns(bar.out);
    std::string line = ProgressLine(bar, current, columns);
    size_t width = DisplayWidth(line);
    // What is left of a longer line drawn before is blanked, within the width.
    size_t blank_to = bar.drawn_width < columns ? bar.drawn_width : columns - 1;
    if (width < blank_to) line.append(blank_to - width, ' ');
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
    bar.started_at = std::chrono::steady_clock::now();
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
    // Never drawn (held off until the work was done): nothing to end.
    if (!bar.enabled || bar.drawn_width == 0) return;
    // The line left on screen tells what was done, not what was last drawn.
    if (bar.behind) Draw(bar, bar.pending);
    std::fputc('\n', bar.out);
    std::fflush(bar.out);
    bar.drawn_width = 0;
}

std::string ProgressLine(const ProgressBar& bar, const std::string& current, size_t columns) {
    size_t room = columns > 1 ? columns - 1 : 0;
    std::string entries = std::to_string(bar.done_entries) + "/" + std::to_string(bar.total_entries);
    // The counts in full, or shorter where the terminal is narrow.
    std::string counts = entries + " entries, " + HumanSize(bar.done_bytes) + " of " + HumanSize(bar.total_bytes) +
                         (bar.timed ? Rate(bar) : std::string());
    size_t cells = columns * 3 / 10;
    cells = cells < kLeastBar ? kLeastBar : cells > kMostBar ? kMostBar : cells;
    if (cells + 3 + counts.size() > room) counts = entries + ", " + HumanSize(bar.done_bytes);
    if (cells + 3 + counts.size() > room) cells = room > counts.size() + 3 ? room - counts.size() - 3 : 0;
    std::string line = cells >= kLeastShownBar ? Bar(bar, cells) + counts : FittedTo(counts, room);
    // The entry's name in what is left, cut to fit.
    size_t used = DisplayWidth(line);
    if (!current.empty() && used + 2 + kLeastShownBar <= room) line += "  " + FittedTo(Printable(current), room - used - 2);
    return line;
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
