// kova cat: one entry's content, byte for byte, on standard output.
#include <cerrno>
#include <cstdio>

#include "cli/archive_host.h"
#include "cli/commands.h"
#include "cli/entry_selection.h"
#include "cli/messages.h"
#include "cli/terminal.h"

namespace kova::cli {

int RunCat(const PluginApi& api, const CatOptions& options) {
    ListedArchive archive;
    std::vector<const ListedEntry*> chosen;
    EntryContent content;
    std::string error;
    if (!ListArchive(api, options.archive, 0, archive, error) ||
        !SelectEntries(archive, {options.entry}, chosen, error) ||
        !ExtractEntry(api, archive, *chosen.front(), content, error)) {
        ReportError(error);
        return kExitFailure;
    }
    UseBinaryStandardOutput();
    bool written = content.size == 0 || std::fwrite(content.data, 1, content.size, stdout) == content.size;
    if (std::fflush(stdout) != 0 || !written) {
        ReportError("cannot write to standard output: " + DescribeErrno(errno));
        return kExitFailure;
    }
    return kExitSuccess;
}

}  // namespace kova::cli
