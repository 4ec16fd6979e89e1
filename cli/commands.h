// The kova commands. Each takes its parsed options, reports its own errors,
// and returns the exit code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/encoder.h"

namespace kova::cli {

// Where archives come from, for every command that reads them.
struct SourceOptions {
    uint64_t offset = 0;               // --offset: where the archive starts inside each file
    std::string stdin_name = "stdin";  // --name: what an archive on standard input ("-") is called
};

struct InfoOptions {
    bool json = false;
};

struct ProbeOptions {
    std::vector<std::string> files;
    bool json = false;
};

struct ListOptions {
    std::vector<std::string> archives;
    std::vector<std::string> entries;     // -e: indices, ranges, names, globs
    std::vector<std::string> kinds;       // --type
    std::vector<std::string> exclusions;  // --exclude
    SourceOptions source;
    bool long_form = false;  // -l: method, offset, kind and ratio too
    bool json = false;
    bool hash = false;    // sha256 of every entry's content
    bool strict = false;  // damage is an error
    bool names_only = false;  // the names alone, one a line: what shell completion offers
};

enum class OverwriteMode { kReplace, kSkipExisting, kKeep };

struct ExtractOptions {
    std::vector<std::string> words;    // archives, then entries (told apart by probing)
    std::vector<std::string> entries;  // -e
    std::vector<std::string> kinds;    // --type
    std::vector<std::string> exclusions;  // --exclude
    SourceOptions source;
    std::string directory;  // empty: the current directory
    bool flat = false;      // several archives into the one directory
    bool dry_run = false;   // say what would be written, write nothing
    OverwriteMode overwrite = OverwriteMode::kReplace;
    bool quiet = false;
    bool verbose = false;
    bool strict = false;
    bool force = false;  // extract entries whose declared size is impossible
};

struct CatOptions {
    std::string archive;
    std::vector<std::string> entries;
    std::vector<std::string> exclusions;  // --exclude
    SourceOptions source;
    bool strict = false;
    bool force = false;  // binary to a terminal; impossible declared sizes
};

struct CheckOptions {
    std::vector<std::string> archives;
    SourceOptions source;
    bool json = false;
    std::vector<std::string> allow;  // --allow: kinds of finding that are information here
    bool strict = false;             // every warning is an error
    std::string manifest;            // --manifest: contents to hold the archives to
};

// The kinds of finding check tells (what --allow takes).
std::vector<std::string> FindingKinds();

struct PackOptions {
    std::string output;
    std::vector<std::string> inputs;
    PackMethod method = PackMethod::kAuto;
    EncoderStrength strength = EncoderStrength::kDefault;
    bool quiet = false;
    bool json = false;
    bool force = false;  // replace an output that has other hard links
};

struct ReplaceOptions {
    std::string archive;
    std::vector<std::string> replacements;  // ENTRY=FILE
    std::string output;                     // empty: the archive itself
    EncoderStrength strength = EncoderStrength::kDefault;
    bool quiet = false;
    bool force = false;    // replace an output that has other hard links
    bool no_wait = false;  // fail at once when another replace holds the archive
};

int RunInfo(const InfoOptions& options);
int RunProbe(const ProbeOptions& options);
int RunList(const ListOptions& options);
int RunExtract(const ExtractOptions& options);
int RunCat(const CatOptions& options);
int RunCheck(const CheckOptions& options);
int RunPack(const PackOptions& options);
int RunReplace(const ReplaceOptions& options);

}  // namespace kova::cli
