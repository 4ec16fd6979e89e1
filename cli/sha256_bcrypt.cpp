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

namespace {

struct HashState {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
};

}  // namespace

Sha256::Sha256() {
    HashState* state = new HashState;
    failed_ = BCryptOpenAlgorithmProvider(&state->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0 ||
              BCryptCreateHash(state->algorithm, &state->hash, nullptr, 0, nullptr, 0, 0) < 0;
    state_ = state;
}

Sha256::~Sha256() {
    HashState* state = static_cast<HashState*>(state_);
    if (state->hash != nullptr) BCryptDestroyHash(state->hash);
    if (state->algorithm != nullptr) BCryptCloseAlgorithmProvider(state->algorithm, 0);
    delete state;
}

void Sha256::Update(const uint8_t* data, size_t size) {
    constexpr size_t kPiece = size_t{1} << 30;
    HashState* state = static_cast<HashState*>(state_);
    for (size_t at = 0; !failed_ && at < size; at += kPiece) {
        ULONG piece = static_cast<ULONG>(size - at < kPiece ? size - at : kPiece);
        failed_ = BCryptHashData(state->hash, const_cast<PUCHAR>(data + at), piece, 0) < 0;
    }
}

std::string Sha256::FinishHex() {
    unsigned char digest[32];
    if (failed_ || BCryptFinishHash(static_cast<HashState*>(state_)->hash, digest, sizeof digest, 0) < 0) return {};
    failed_ = true;
    return HexOf(digest, sizeof digest);
}

}  // namespace kova::cli
