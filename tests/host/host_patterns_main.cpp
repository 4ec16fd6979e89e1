// The host patterns as a program, so that the test scripts can hold what
// each build extracts to what `kova cat` gives:
//
//   kova_host_patterns PLUGIN OUT_DIR ARCHIVE...
//
// Every entry of each archive goes to OUT_DIR/<pattern>/<archive stem>/<its
// name>, for the four patterns (ansi-memory, ansi-disk, wide-memory,
// wide-disk). Prints one line per pattern and archive, and each problem;
// exits 1 when there was any.
#include <cstdio>

#include "tests/host/host_patterns.h"

int main(int argc, char** argv) {
    using namespace kova::testing;
    if (argc < 4) {
        std::fprintf(stderr, "usage: kova_host_patterns PLUGIN OUT_DIR ARCHIVE...\n");
        return 2;
    }
    kova::PluginApi api;
    std::string error;
    if (!kova::LoadPlugin(argv[1], api, error)) {
        std::fprintf(stderr, "kova_host_patterns: %s\n", error.c_str());
        return 2;
    }
    int problems = 0;
    for (int k = 3; k < argc; ++k) {
        std::filesystem::path archive = argv[k];
        for (PatternFamily family : {PatternFamily::kAnsi, PatternFamily::kWide}) {
            for (PatternOutput output : {PatternOutput::kMemory, PatternOutput::kDisk}) {
                std::string label = PatternLabel(family, output);
                std::filesystem::path folder = std::filesystem::path(argv[2]) / label / archive.stem();
                std::filesystem::create_directories(folder);
                PatternResult run = RunHostPattern(api, family, output, archive, folder);
                std::printf("%s %s: %zu entries, %zu problems\n", label.c_str(), archive.filename().string().c_str(),
                            run.names.size(), run.problems.size());
                for (const std::string& problem : run.problems) std::printf("  %s\n", problem.c_str());
                problems += static_cast<int>(run.problems.size());
            }
        }
    }
    kova::UnloadPlugin(api);
    return problems == 0 ? 0 : 1;
}
