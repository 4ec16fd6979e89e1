// The kova commands. Each takes its parsed options and the loaded plug-in,
// reports its own errors, and returns the exit code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/encoder.h"
#include "host/plugin_loader.h"

namespace kova::cli {

struct ProbeOptions {
    std::vector<std::string> files;
};

struct ListOptions {
    std::string archive;
    uint64_t offset = 0;
    bool json = false;
};

struct ExtractOptions {
    std::string archive;
    std::string directory;  // empty: the current directory
    std::vector<std::string> entries;
    bool quiet = false;
};

struct CatOptions {
    std::string archive;
    std::string entry;
};

struct PackOptions {
    std::string output;
    std::vector<std::string> inputs;
    PackMethod method = PackMethod::kAuto;
    EncoderStrength strength = EncoderStrength::kDefault;
    bool quiet = false;
    bool json = false;
};

struct ReplaceOptions {
    std::string archive;
    std::vector<std::string> replacements;  // ENTRY=FILE
    std::string output;                     // empty: the archive itself
    EncoderStrength strength = EncoderStrength::kDefault;
    bool quiet = false;
};

int RunInfo(const PluginApi& api, const std::string& plugin_path);
int RunProbe(const PluginApi& api, const ProbeOptions& options);
int RunList(const PluginApi& api, const ListOptions& options);
int RunExtract(const PluginApi& api, const ExtractOptions& options);
int RunCat(const PluginApi& api, const CatOptions& options);
int RunPack(const PluginApi& api, const PackOptions& options);
int RunReplace(const PluginApi& api, const ReplaceOptions& options);

}  // namespace kova::cli
