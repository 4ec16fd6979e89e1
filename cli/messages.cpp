#include "cli/messages.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace kova::cli {

namespace {
int first_output_error = 0;
}  // namespace

bool FlushStandardOutput() {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
    if (first_output_error == 0) first_output_error = errno;
    return false;
}

int StandardOutputError() { return first_output_error; }

void ReportError(const std::string& message) {
    FlushStandardOutput();
    std::fprintf(stderr, "kova: %s\n", message.c_str());
}

int ReportUsageError(const std::string& command, const std::string& message) {
    FlushStandardOutput();
    std::string kova = command.empty() ? "kova" : "kova " + command;
    std::fprintf(stderr, "%s: %s; see '%s --help'\n", kova.c_str(), message.c_str(), kova.c_str());
    return kExitUsage;
}

void ReportWarning(const std::string& message) {
    FlushStandardOutput();
    std::fprintf(stderr, "kova: warning: %s\n", message.c_str());
}

std::string DescribeErrno(int error_number) { return std::strerror(error_number); }

namespace {

// The length of the valid UTF-8 sequence starting at `at`, or 0.
size_t Utf8Length(const std::string& text, size_t at) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(at);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    if (length == 0 || at + length > text.size()) return 0;
    uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((byte(at + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(at + k) & 0x3F);
    }
    static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    bool overlong = code < kLeast[length];
    bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return overlong || surrogate || code > 0x10FFFF ? 0 : length;
}

}  // namespace

std::string Printable(const std::string& text) {
    std::string shown;
    for (size_t at = 0; at < text.size();) {
        size_t length = Utf8Length(text, at);
        unsigned char byte = static_cast<unsigned char>(text[at]);
        if (length == 0 || byte < 0x20 || byte == 0x7F) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            shown += escape;
            at += 1;
        } else {
            shown.append(text, at, length);
            at += length;
        }
    }
    return shown;
}

std::string CountOf(unsigned long long count, const char* singular, const char* plural) {
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

namespace {

char activity[512] = "starting";

}  // namespace

void SetActivity(const std::string& what) {
    size_t length = what.size() < sizeof activity - 1 ? what.size() : sizeof activity - 1;
    what.copy(activity, length);
    activity[length] = '\0';
}

void ReportOutOfMemory() {
    std::fputs("kova: out of memory while ", stderr);
    std::fputs(activity, stderr);
    std::fputs("\n", stderr);
}

}  // namespace kova::cli
