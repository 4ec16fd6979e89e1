// SHA-256 of a byte string, as lowercase hex: what `kova list --hash` gives
// for every entry, so that scripts can compare contents across archives.
// The digest comes from the system's crypto library (sha256_libcrypto.cpp;
// on Windows, sha256_bcrypt.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kova::cli {

// Empty only when the system's library fails, which it does not for a hash.
std::string Sha256Hex(const uint8_t* data, size_t size);

// A digest taken in pieces, for content that is never held whole (a stream
// that declares gigabytes, a whole archive read block by block).
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const uint8_t* data, size_t size);
    // Lowercase hex of everything given; empty when the library failed.
    std::string FinishHex();

private:
    void* state_ = nullptr;
    bool failed_ = false;
};

// `size` bytes as lowercase hex, two digits each.
inline std::string HexOf(const unsigned char* bytes, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * size);
    for (size_t k = 0; k < size; ++k) {
        hex += kDigits[bytes[k] >> 4];
        hex += kDigits[bytes[k] & 15];
    }
    return hex;
}

}  // namespace kova::cli
