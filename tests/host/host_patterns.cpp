#include "tests/host/host_patterns.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace kova::testing {
namespace {

using WString = std::basic_string<WCHAR>;

// A path as this system's hosts spell it: with backslashes on Windows.
std::filesystem::path HostForm(const std::filesystem::path& path) {
    std::filesystem::path spelled = path;
    return spelled.make_preferred();
}

// A family's strings, records and exports.
struct Ansi {
    using Char = char;
    using Record = EntryInfo;
    static std::string Path(const std::filesystem::path& path) { return HostForm(path).string(); }
    static std::filesystem::path Name(const Record& record) {
        return std::string(record.filename, strnlen(record.filename, sizeof record.filename));
    }
    static int Probe(const PluginApi& api, const Char* path, DWORD_PTR head) { return api.is_supported(path, head); }
    static int List(const PluginApi& api, const Char* path, HLOCAL* list) {
        return api.get_archive_info(path, 0, 0, list);
    }
    static int Fetch(const PluginApi& api, const Char* path, LONG_PTR index, Char* dest, unsigned flag) {
        return api.get_file(path, index, dest, flag, nullptr, 0);
    }
};

struct Wide {
    using Char = WCHAR;
    using Record = EntryInfoW;
    static WString Path(const std::filesystem::path& path) {
        std::u16string units = HostForm(path).u16string();
        return WString(units.begin(), units.end());
    }
    static std::filesystem::path Name(const Record& record) {
        const WCHAR* end = std::find(record.filename, record.filename + 200, WCHAR{0});
        return std::u16string(record.filename, end);
    }
    static int Probe(const PluginApi& api, const Char* path, DWORD_PTR head) {
        return api.is_supported_w(path, head);
    }
    static int List(const PluginApi& api, const Char* path, HLOCAL* list) {
        return api.get_archive_info_w(path, 0, 0, list);
    }
    static int Fetch(const PluginApi& api, const Char* path, LONG_PTR index, Char* dest, unsigned flag) {
        return api.get_file_w(path, index, dest, flag, nullptr, 0);
    }
};

constexpr unsigned kToDisk = 0x000;
constexpr unsigned kToMemory = 0x100;

template <typename Family>
void FetchToMemory(const PluginApi& api, const typename Family::Char* path, const typename Family::Record& record,
                   const std::filesystem::path& folder, std::vector<std::string>& problems) {
    std::string what = Family::Name(record).string();
    HLOCAL block = nullptr;
    int result = Family::Fetch(api, path, static_cast<LONG_PTR>(record.position),
                               reinterpret_cast<typename Family::Char*>(&block), kToMemory);
    if (result != 0 || block == nullptr) {
        problems.push_back(what + ": GetFile answered " + std::to_string(result) +
                           (block == nullptr ? " and handed over no block" : ""));
        if (block != nullptr) api.local_free(block);
        return;
    }
    const auto* data = static_cast<const char*>(api.local_lock(block));
    size_t size = api.local_size(block);
    if (data == nullptr) {
        problems.push_back(what + ": LocalLock failed on its block of " + std::to_string(size) + " bytes");
        api.local_free(block);
        return;
    }
    std::string content(data, size);
    api.local_unlock(block);
    if (api.local_free(block) != nullptr) problems.push_back(what + ": LocalFree failed");
    std::ofstream out(folder / Family::Name(record), std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out.flush()) problems.push_back(what + ": the host cannot write its copy");
}

template <typename Family>
void FetchToDisk(const PluginApi& api, const typename Family::Char* path, const typename Family::Record& record,
                 const std::filesystem::path& folder, std::vector<std::string>& problems) {
    std::string what = Family::Name(record).string();
    auto dest = Family::Path(folder);
    int result = Family::Fetch(api, path, static_cast<LONG_PTR>(record.position), dest.data(), kToDisk);
    if (result != 0) problems.push_back(what + ": GetFile to disk answered " + std::to_string(result));
    if (!std::filesystem::is_regular_file(folder / Family::Name(record))) {
        problems.push_back(what + ": no file of that name in the folder");
    }
}

template <typename Family>
PatternResult Run(const PluginApi& api, PatternOutput output, const std::filesystem::path& archive,
                  const std::filesystem::path& folder) {
    PatternResult run;
    auto path = Family::Path(archive);
    std::ifstream file(archive, std::ios::binary);
    std::string head(std::istreambuf_iterator<char>(file), {});
    head.resize(kProbeHeadSize);
    if (Family::Probe(api, path.c_str(), reinterpret_cast<DWORD_PTR>(head.data())) != 1) {
        run.problems.push_back("IsSupported does not take it");
        return run;
    }
    HLOCAL list = nullptr;
    int result = Family::List(api, path.c_str(), &list);
    if (result != 0 || list == nullptr) {
        run.problems.push_back("GetArchiveInfo answered " + std::to_string(result));
        return run;
    }
    // Records are copied out first, so that the list is unlocked while the
    // entries are fetched.
    std::vector<typename Family::Record> records;
    size_t capacity = api.local_size(list) / sizeof(typename Family::Record);
    if (const auto* at = static_cast<const typename Family::Record*>(api.local_lock(list))) {
        for (size_t i = 0; i < capacity && at[i].method[0] != 0; ++i) records.push_back(at[i]);
        if (records.size() == capacity) run.problems.push_back("the list has no closing record");
        api.local_unlock(list);
    } else {
        run.problems.push_back("the list cannot be locked");
    }
    api.local_free(list);
    for (const auto& record : records) {
        run.names.push_back(Family::Name(record).string());
        if (output == PatternOutput::kMemory) {
            FetchToMemory<Family>(api, path.c_str(), record, folder, run.problems);
        } else {
            FetchToDisk<Family>(api, path.c_str(), record, folder, run.problems);
        }
    }
    return run;
}

}  // namespace

PatternResult RunHostPattern(const PluginApi& api, PatternFamily family, PatternOutput output,
                             const std::filesystem::path& archive, const std::filesystem::path& folder) {
    if (family == PatternFamily::kAnsi) return Run<Ansi>(api, output, archive, folder);
    if (!api.HasWide()) return {{}, {"the plug-in has no Unicode exports"}};
    return Run<Wide>(api, output, archive, folder);
}

std::string PatternLabel(PatternFamily family, PatternOutput output) {
    return std::string(family == PatternFamily::kAnsi ? "ansi" : "wide") +
           (output == PatternOutput::kMemory ? "-memory" : "-disk");
}

}  // namespace kova::testing
