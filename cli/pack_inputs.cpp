#include "cli/pack_inputs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

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

bool CollectDirectory(const std::string& directory, std::vector<std::string>& files, std::string& error) {
    std::vector<IndexedFile> found;
    std::error_code failure;
    fs::directory_iterator it(PathOf(directory), failure), end;
    for (; !failure && it != end; it.increment(failure)) {
        std::string name = Utf8Of(it->path().filename());
        if (PassedOver(name)) continue;
        std::string path = Utf8Of(it->path());
        uint32_t index;
        std::error_code kind_failure;
        if (it->is_directory(kind_failure)) {
            error = path + ": is a directory; a directory to pack holds only files named like NAME_007.BMP";
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

bool CollectPackInputs(const std::vector<std::string>& inputs, std::vector<std::string>& files, std::string& error) {
    for (const std::string& input : inputs) {
        std::error_code failure;
        fs::file_status status = fs::status(PathOf(input), failure);
        if (failure || !fs::exists(status)) {
            error = "cannot read " + input + ": " + (failure ? failure.message() : DescribeErrno(ENOENT));
            return false;
        }
        if (fs::is_directory(status)) {
            if (!CollectDirectory(input, files, error)) return false;
        } else {
            files.push_back(input);
        }
    }
    return true;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    std::FILE* file = OpenFile(path, "rb");
    if (file == nullptr) {
        error = "cannot read " + path + ": " + DescribeErrno(errno);
        return false;
    }
    bytes.clear();
    uint8_t chunk[1 << 16];
    bool fine = true;
    for (;;) {
        size_t got = std::fread(chunk, 1, sizeof chunk, file);
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (bytes.size() > UINT32_MAX) {
            error = path + ": over 4 GiB, more than an entry can hold";
            fine = false;
            break;
        }
        if (got < sizeof chunk) {
            if (std::ferror(file)) {
                error = "cannot read " + path + ": " + DescribeErrno(errno);
                fine = false;
            }
            break;
        }
    }
    std::fclose(file);
    return fine;
}

}  // namespace kova::cli
