// Small helpers shared by the unit tests: a scratch directory that removes
// itself, and span views of test byte vectors.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "format/bytes.h"
#include "tests/support/archive_builder.h"

namespace kova::testing {

inline ByteSpan View(const Bytes& bytes) { return ByteSpan(bytes.data(), bytes.size()); }

// A fresh directory under the system's temp directory, unique per process and
// per instance; removed with everything in it when the test ends.
class ScratchDir {
public:
    ScratchDir() {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                ("kova-unit-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string File(const std::string& name) const { return (path_ / name).string(); }
    std::string Path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

}  // namespace kova::testing
