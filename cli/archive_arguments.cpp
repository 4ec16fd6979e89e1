#include "cli/archive_arguments.h"

#include <algorithm>
#include <filesystem>

#include "cli/messages.h"
#include "cli/text.h"

namespace kova::cli {

ArchiveSource SourceFor(const std::string& word, const SourceOptions& options) {
    ArchiveSource source;
    source.path = word;
    source.standard_input = word == "-";
    source.offset = options.offset;
    source.stdin_name = options.stdin_name;
    return source;
}

void SplitArchivesAndEntries(const std::vector<std::string>& words, uint64_t offset,
                             std::vector<std::string>& archives, std::vector<std::string>& entries) {
    for (size_t k = 0; k < words.size(); ++k) {
        const std::string& word = words[k];
        bool archive = k == 0 || word == "-";
        if (!archive) {
            std::error_code failed;
            std::string ignored;
            archive = std::filesystem::is_regular_file(PathOf(word), failed) &&
                      ProbeFile(word, offset, ignored) == ProbeOutcome::kRecognized;
        }
        (archive ? archives : entries).push_back(word);
    }
}

bool ReadsStandardInputOnce(const std::vector<std::string>& archives, std::string& error) {
    if (std::count(archives.begin(), archives.end(), "-") <= 1) return true;
    error = "standard input ('-') can be read only once";
    return false;
}

bool IsReplacementPair(const std::string& pair, std::string& error) {
    size_t equals = pair.find('=');
    if (equals != std::string::npos && equals != 0 && equals + 1 != pair.size()) return true;
    error = "'" + Printable(pair) + "' is not ENTRY=FILE (for example 3=new.BMP or disk1_003.BMP=new.BMP)";
    return false;
}

std::string SubdirectoryFor(const std::string& word, const SourceOptions& options) {
    if (word == "-") return options.stdin_name;
    std::filesystem::path name = PathOf(word).filename();
    std::string stem = Utf8Of(name.stem());
    return stem.empty() ? Utf8Of(name) : stem;
}

}  // namespace kova::cli
