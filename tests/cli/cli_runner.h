// Running the kova command as a user would, and looking at what it did.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/archive_builder.h"

namespace kova::testing {

struct CliRun {
    int exit_code = -1;
    std::string out;  // standard output, byte for byte
    std::string err;  // standard error
};

// Runs build/kova with `args` in `directory` (the test's own by default),
// standard input empty, both outputs captured to files.
CliRun RunKova(const std::vector<std::string>& args, const std::filesystem::path& directory = {});

// The same with standard input read from `input`, and standard output
// going to `output` instead of being captured when it is not empty.
CliRun RunKovaRedirected(const std::vector<std::string>& args, const std::filesystem::path& directory,
                         const std::string& input, const std::string& output = "");

// Runs it under a pseudo-terminal (script(1)), so it sees a terminal on its
// standard error and output, `columns` wide when that is not 0. Returns
// false when no such tool is installed.
bool RunKovaOnTerminal(const std::vector<std::string>& args, const std::filesystem::path& directory, CliRun& run,
                       int columns = 0);

// Runs a shell command line in `directory`, standard input empty.
CliRun RunShellCommand(const std::string& command, const std::filesystem::path& directory);

// `word` quoted for the shell.
std::string ShellQuoted(const std::string& word);

// A fresh empty directory for one test, removed again by the fixture.
std::filesystem::path MakeScratchDirectory();

// The lines of `text`, without their line ends.
std::vector<std::string> Lines(const std::string& text);

std::string ReadText(const std::filesystem::path& path);

// Names of the regular files in `directory`, sorted.
std::vector<std::string> FilesIn(const std::filesystem::path& directory);

class CliTest : public ::testing::Test {
protected:
    void SetUp() override { scratch = MakeScratchDirectory(); }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(scratch, ignored);
    }
    CliRun Kova(const std::vector<std::string>& args) { return RunKova(args, scratch); }
    std::string Path(const std::string& name) const { return (scratch / name).string(); }
    // Writes `bytes` as scratch/<name> and returns its path.
    std::string Write(const std::string& name, const Bytes& bytes) const;

    std::filesystem::path scratch;
};

// The bundled sample, by absolute path.
std::string SampleArchivePath();

}  // namespace kova::testing
