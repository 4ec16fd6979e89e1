#include "cli/messages.h"

#include "plugin/interface.h"

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

namespace {

// The codes are the plug-in interface's own; the words say what each means
// for a user who only asked to list or extract something.
struct ResultWords {
    ResultCode code;
    const char* words;
};
constexpr ResultWords kResultWords[] = {
    {kSuccess, "success"},
    {kUnsupportedMode, "the plug-in does not support this request, or could not write the output file"},
    {kNotArchive, "not a KOVA archive"},
    {kNoSuchEntry, "the archive has no such entry"},
    {kNoHostBlock, "out of memory: the plug-in could not allocate a block for the result"},
    {kNoWorkingMemory, "out of memory: the plug-in could not obtain working memory"},
    {kCannotOpenFile, "the plug-in cannot open the file"},
};

}  // namespace

std::string DescribeResult(int result) {
    for (const ResultWords& known : kResultWords) {
        if (known.code == result) return known.words;
    }
    return "the plug-in failed with unknown result " + std::to_string(result);
}

std::string DescribeErrno(int error_number) { return std::strerror(error_number); }

std::string CountOf(unsigned long long count, const char* singular, const char* plural) {
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

}  // namespace kova::cli
