#include "cli/pack_inputs.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "cli/input_file.h"
#include "cli/messages.h"
#include "cli/text.h"
#include "format/entry_name.h"

namespace kova::cli {
namespace {

namespace fs = std::filesystem;

struct IndexedFile {
    uint32_t index;
    std::string path;
};

bool PassedOver(const std::string& name) { return name.empty() || name[0] == '.' || name.back() == '~'; }

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code ignored;
    return fs::equivalent(a, b, ignored);
}

bool CollectDirectory(const std::string& directory, const std::string& output, std::vector<std::string>& files,
                      std::string& error) {
    std::vector<IndexedFile> found;
    std::error_code failure;
    fs::directory_iterator it(PathOf(directory), failure), end;
    for (; !failure && it != end; it.increment(failure)) {
        std::string name = Utf8Of(it->path().filename());
        if (PassedOver(name)) continue;
        std::string path = Utf8Of(it->path());
        // The archive being written is never one of its own entries, where
        // ever it lies and whatever it is called.
        if (!output.empty() && SameFile(it->path(), PathOf(output))) continue;
        uint32_t index;
        std::error_code kind_failure;
        if (it->is_directory(kind_failure)) {
            error = Printable(path) + ": is a directory; a directory to pack holds only files named like NAME_007.BMP";
            return false;
        }
        if (!it->is_regular_file(kind_failure)) {
            // A FIFO, socket or device would be read without end, or block.
            error = Printable(path) + ": not a regular file; a directory to pack holds only files named like NAME_007.BMP";
            return false;
        }
        if (!FindEntryIndex(name, index)) {
            error = path + ": the name carries no entry index (like NAME_007.BMP); move it out of " + directory;
            return false;
        }
        found.push_back({index, path});
    }
    if (failure) {
        error = "cannot read the directory " + directory + ": " + failure.message();
        return false;
    }
    std::sort(found.begin(), found.end(), [](const IndexedFile& a, const IndexedFile& b) {
        return a.index != b.index ? a.index < b.index : a.path < b.path;
    });
    for (size_t k = 0; k < found.size(); ++k) {
        if (k > 0 && found[k].index == found[k - 1].index) {
            error = found[k].path + ": entry " + std::to_string(found[k].index) + " again (also " +
                    found[k - 1].path + ")";
            return false;
        }
        if (found[k].index != k) {
            error = found[k].path + ": no file for entry " + std::to_string(k) + " comes before it in " + directory;
            return false;
        }
        files.push_back(found[k].path);
    }
    if (found.empty()) {
        error = directory + ": holds no file named like NAME_000.BMP to pack";
        return false;
    }
    return true;
}

}  // namespace

bool CollectPackInputs(const std::vector<std::string>& inputs, const std::string& output,
                       std::vector<std::string>& files, std::string& error) {
    for (const std::string& input : inputs) {
        std::error_code failure;
        fs::file_status status = fs::status(PathOf(input), failure);
        if (failure || !fs::exists(status)) {
            error = "cannot read " + input + ": " + (failure ? failure.message() : DescribeErrno(ENOENT));
            return false;
        }
        if (fs::is_directory(status)) {
            if (!CollectDirectory(input, output, files, error)) return false;
        } else {
            files.push_back(input);
        }
    }
    return true;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    InputFile input;
    SetActivity("reading " + Printable(path));
    if (!OpenInputFile(path, input, error)) return false;
    bytes.clear();
    auto too_large = [&] {
        error = Printable(path) + ": over 4 GiB, more than an entry can hold";
        return false;
    };
    if (input.kind == InputKind::kFile) {
        // Judged by the size the system gives, before a byte is read; a
        // file that grows meanwhile is taken as it was.
        if (input.size > UINT32_MAX) return too_large();
        bytes.resize(static_cast<size_t>(input.size));
        size_t got = ReadAt(input.file.handle, 0, bytes.data(), bytes.size());
        if (got != bytes.size()) {
            error = "cannot read " + Printable(path) + ": it holds " + std::to_string(got) + " of its " +
                    std::to_string(bytes.size()) + " bytes";
            return false;
        }
        return true;
    }
    uint8_t chunk[1 << 16];
    for (;;) {
        size_t got = 0;
        if (!ReadHere(input.file.handle, chunk, sizeof chunk, &got)) {
            error = "cannot read " + Printable(path) + ": " + DescribeErrno(errno);
            return false;
        }
        if (got == 0) return true;
        if (bytes.size() + got > UINT32_MAX) return too_large();
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
}

}  // namespace kova::cli
