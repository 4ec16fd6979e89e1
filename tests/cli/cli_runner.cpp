#include "tests/cli/cli_runner.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kova::testing {
namespace {

std::string Quote(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::string CommandLine(const std::vector<std::string>& args) {
    std::string line = Quote(KOVA_CLI_PATH);
    for (const std::string& arg : args) {
        // Two appends: g++ 12 at -O3 warns of an overlapping copy in `" " + Quote(arg)`.
        line += ' ';
        line += Quote(arg);
    }
    return line;
}

long ProcessId() {
#ifdef _WIN32
    return 0;
#else
    return static_cast<long>(getpid());
#endif
}

int ExitCodeOf(int status) {
#ifdef _WIN32
    return status;
#else
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
#endif
}

// Captures live outside the directory the command runs in, so a test that
// looks at what the command wrote there sees nothing of the harness's own.
std::filesystem::path CaptureFile(const char* stream) {
    static std::atomic<int> counter{0};
    return std::filesystem::temp_directory_path() /
           ("kova-cli-capture-" + std::to_string(ProcessId()) + "-" + std::to_string(counter++) + "." + stream);
}

CliRun RunShell(const std::string& command, const std::filesystem::path& directory,
                const std::string& input = "/dev/null", const std::string& output = "") {
    std::filesystem::path out_file = CaptureFile("out");
    std::filesystem::path err_file = CaptureFile("err");
    std::string shell = "cd " + Quote(directory.string()) + " && " + command + " <" + Quote(input) + " >" +
                        Quote(output.empty() ? out_file.string() : output) + " 2>" + Quote(err_file.string());
    CliRun run;
    run.exit_code = ExitCodeOf(std::system(shell.c_str()));
    run.out = ReadText(out_file);
    run.err = ReadText(err_file);
    std::filesystem::remove(out_file);
    std::filesystem::remove(err_file);
    return run;
}

}  // namespace

CliRun RunKova(const std::vector<std::string>& args, const std::filesystem::path& directory) {
    return RunShell(CommandLine(args), directory.empty() ? std::filesystem::current_path() : directory);
}

CliRun RunKovaRedirected(const std::vector<std::string>& args, const std::filesystem::path& directory,
                         const std::string& input, const std::string& output) {
    return RunShell(CommandLine(args), directory, input, output);
}

bool RunKovaOnTerminal(const std::vector<std::string>& args, const std::filesystem::path& directory, CliRun& run,
                       int columns) {
    if (std::system("command -v script >/dev/null 2>&1") != 0) return false;
    // script runs the command on a pseudo-terminal and copies everything it
    // writes there (both outputs, merged) to its own standard output; stty
    // gives that terminal its width.
    std::string line = CommandLine(args);
    if (columns > 0) line = "stty cols " + std::to_string(columns) + " rows 24 && exec " + line;
    run = RunShell("script -qec " + Quote(line) + " /dev/null", directory);
    return true;
}

CliRun RunShellCommand(const std::string& command, const std::filesystem::path& directory) {
    return RunShell(command, directory);
}

std::string ShellQuoted(const std::string& word) { return Quote(word); }

std::filesystem::path MakeScratchDirectory() {
    static std::atomic<int> counter{0};
    std::string name = "kova-cli-test-" + std::to_string(ProcessId()) + "-" + std::to_string(counter++);
    std::filesystem::path directory = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(directory);
    std::filesystem::create_directories(directory);
    return directory;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> FilesIn(const std::filesystem::path& directory) {
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(directory)) {
        if (item.is_regular_file()) names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string CliTest::Write(const std::string& name, const Bytes& bytes) const {
    std::string path = Path(name);
    WriteFileBytes(path, bytes);
    return path;
}

std::string SampleArchivePath() { return KOVA_SAMPLE_ARCHIVE; }

}  // namespace kova::testing
