// SHA-256 by Windows' own cryptography functions (BCrypt), so that kova.exe
// carries no crypto library of its own. Only kova.exe links bcrypt.dll; the
// plug-in never does.
#include "cli/sha256.h"

#include <windows.h>

#include <bcrypt.h>

namespace kova::cli {

std::string Sha256Hex(const uint8_t* data, size_t size) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) return {};
    BCRYPT_HASH_HANDLE hash = nullptr;
    unsigned char digest[32];
    bool done = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) >= 0;
    // BCryptHashData counts in ULONG: content past 4 GiB goes in pieces.
    constexpr size_t kPiece = size_t{1} << 30;
    for (size_t at = 0; done && at < size; at += kPiece) {
        ULONG piece = static_cast<ULONG>(size - at < kPiece ? size - at : kPiece);
        done = BCryptHashData(hash, const_cast<PUCHAR>(data + at), piece, 0) >= 0;
    }
    done = done && BCryptFinishHash(hash, digest, sizeof digest, 0) >= 0;
    if (hash != nullptr) BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return done ? HexOf(digest, sizeof digest) : std::string();
}

}  // namespace kova::cli
