// SHA-256 of a byte string, as lowercase hex: what `kova list --hash` gives
// for every entry, so that scripts can compare contents across archives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kova::cli {

std::string Sha256Hex(const uint8_t* data, size_t size);

}  // namespace kova::cli
