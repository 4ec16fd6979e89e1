// Viewer parity on arbitrary bytes: the exports against the library they sit
// on (tests/support/reader_parity.h), for the input as an archive in a file
// and as an image, and once more placed inside a larger file and a larger
// block; both families. Any difference outside the cases the interface
// gives the exports (parity::Excuse) aborts.
//
// Input: the archive's bytes, nothing else (the general archive seeds fit).
// The input's length picks the probed path and the offset of the second
// copy. Images are lent in heap blocks of exactly their size (the second one
// with the prefix before it), so ASan reports a read outside them.
#include <cstdio>
#include <string>

#include "fuzz/export_checks.h"
#include "tests/support/reader_parity.h"

using namespace kova;
using namespace kova::fuzz;

namespace {

// The exports linked in, reached as a host reaches a loaded plug-in.
const PluginApi& LinkedExports() {
    static const PluginApi api = [] {
        PluginApi linked;
        linked.get_plugin_info = &GetPluginInfo;
        linked.is_supported = &IsSupported;
        linked.get_archive_info = &GetArchiveInfo;
        linked.get_file_info = &GetFileInfo;
        linked.get_file = &GetFile;
        linked.get_plugin_info_w = &GetPluginInfoW;
        linked.is_supported_w = &IsSupportedW;
        linked.get_archive_info_w = &GetArchiveInfoW;
        linked.get_file_info_w = &GetFileInfoW;
        linked.get_file_w = &GetFileW;
        linked.local_alloc = &LocalAlloc;
        linked.local_lock = &LocalLock;
        linked.local_unlock = &LocalUnlock;
        linked.local_free = &LocalFree;
        linked.local_size = &LocalSize;
        return linked;
    }();
    return api;
}

void WriteWhole(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) Fail("cannot write the archive file");
    bool ok = size == 0 || std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !ok) Fail("cannot write the archive file");
}

void Check(const parity::Input& input) {
    parity::Report report;
    parity::Compare(LinkedExports(), input, report);
    if (report.differences.empty()) return;
    for (const std::string& difference : report.differences) {
        std::fprintf(stderr, "offset %lld: %s\n", static_cast<long long>(input.offset), difference.c_str());
    }
    Fail("the exports and the library differ", static_cast<long long>(report.differences.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string plain = ScratchDirectory() + "/plain.dat";
    static const std::string shifted = ScratchDirectory() + "/shifted.dat";
    parity::Input input;
    input.naming_path = ProbePath(static_cast<unsigned>(size));
    input.max_extracted = 8;
    input.max_entry_bytes = kMaxExtractedBytes;

    ExactCopy image(data, size);
    WriteWhole(plain, image.bytes.get(), size);
    input.file = plain;
    input.image = image.bytes.get();
    input.image_size = size;
    Check(input);

    // A prefix of magic bytes: a search for the start that went past the
    // archive's own would find one there.
    size_t offset = size % 2 == 0 ? 7 : 512;
    std::string placed(offset, '\0');
    for (size_t k = 0; k < offset; ++k) placed[k] = "KOVA"[k % 4];
    placed.append(reinterpret_cast<const char*>(data), size);
    ExactCopy larger(reinterpret_cast<const uint8_t*>(placed.data()), placed.size());
    WriteWhole(shifted, larger.bytes.get(), larger.size);
    input.file = shifted;
    input.offset = static_cast<int64_t>(offset);
    input.image = larger.bytes.get() + offset;
    Check(input);
    return 0;
}
