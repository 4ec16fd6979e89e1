#include "cli/messages.h"

#include <cstdio>
#include <cstring>

namespace kova::cli {

void ReportError(const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "kova: %s\n", message.c_str());
}

void ReportWarning(const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "kova: warning: %s\n", message.c_str());
}

std::string DescribeResult(int result) {
    // The codes are the plug-in interface's own; the words say what each
    // means for a user who only asked to list or extract something.
    switch (result) {
    case 0:
        return "success";
    case 1:
        return "the plug-in does not support this request, or could not write the output file";
    case 2:
        return "not a KOVA archive";
    case 3:
        return "the archive has no such entry";
    case 4:
        return "out of memory: the plug-in could not allocate a block for the result";
    case 5:
        return "out of memory: the plug-in could not obtain working memory";
    case 6:
        return "the plug-in cannot open the file";
    default:
        return "the plug-in failed with unknown result " + std::to_string(result);
    }
}

std::string DescribeErrno(int error_number) { return std::strerror(error_number); }

std::string CountOf(unsigned long long count, const char* singular, const char* plural) {
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

}  // namespace kova::cli
