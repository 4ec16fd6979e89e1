// SHA-256 by the system's crypto library (libcrypto's EVP interface): it is
// faster than a hand-written loop and tested by many more users than ours.
#include "cli/sha256.h"

#include <openssl/evp.h>

namespace kova::cli {

std::string Sha256Hex(const uint8_t* data, size_t size) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    // An empty entry's content may come without a buffer.
    static const uint8_t kNothing = 0;
    if (EVP_Digest(size > 0 ? data : &kNothing, size, digest, &length, EVP_sha256(), nullptr) != 1) return {};
    return HexOf(digest, length);
}

Sha256::Sha256() {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    failed_ = context == nullptr || EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1;
    state_ = context;
}

Sha256::~Sha256() { EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(state_)); }

void Sha256::Update(const uint8_t* data, size_t size) {
    if (failed_ || size == 0) return;
    failed_ = EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(state_), data, size) != 1;
}

std::string Sha256::FinishHex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (failed_ || EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(state_), digest, &length) != 1) return {};
    failed_ = true;  // finished: nothing more goes in
    return HexOf(digest, length);
}

}  // namespace kova::cli
