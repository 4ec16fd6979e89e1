// The probe: is this file one of our archives? A yes makes its base name the
// one every later entry name is built from.
#include "archive/file_io.h"
#include "format/layout.h"
#include "plugin/base_name.h"
#include "plugin/exports.h"
#include "plugin/interface.h"

namespace kova {
namespace {

template <typename Char>
int IsSupportedOf(const Char* filename, DWORD_PTR dw) {
    uint8_t read_head[kProbeHeadSize] = {};
    ByteSpan head;
    // 0 is no handle, as on Windows (natively it would be standard input).
    if (dw == 0) return 0;
    if (dw < kFirstPointerValue) {
        // Read where the host left the handle; it stays open and where the
        // read leaves it.
        size_t got = 0;
        if (!ReadHere(reinterpret_cast<HANDLE>(dw), read_head, sizeof read_head, &got)) return 0;
        head = ByteSpan(read_head, sizeof read_head);
    } else {
        head = ByteSpan(reinterpret_cast<const uint8_t*>(dw), kProbeHeadSize);
    }
    if (!ValidateHeader(head)) return 0;
    static const Char kNoName[1] = {0};
    RememberBaseName(filename != nullptr ? filename : kNoName);
    return 1;
}

}  // namespace
}  // namespace kova

KOVA_EXPORT int KOVA_CALL IsSupported(const char* filename, DWORD_PTR dw) {
    return kova::IsSupportedOf(filename, dw);
}

KOVA_EXPORT int KOVA_CALL IsSupportedW(const WCHAR* filename, DWORD_PTR dw) {
    return kova::IsSupportedOf(filename, dw);
}
