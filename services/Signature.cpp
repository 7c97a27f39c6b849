// SPDX-License-Identifier: MIT
#include "services/Signature.h"

#include <openssl/evp.h>

#include <memory>

namespace paveno {
namespace {

constexpr std::size_t kKeyBytes = 32;
constexpr std::size_t kSignatureBytes = 64;

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Context = std::unique_ptr<EVP_MD_CTX, ContextFree>;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<std::vector<std::uint8_t>> KeyFromHex(std::string_view hex) {
    if (hex.size() != 2 * kKeyBytes) return std::nullopt;
    std::vector<std::uint8_t> key;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        key.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return key;
}

bool SignatureVerifies(std::span<const std::uint8_t> publicKey, std::span<const std::uint8_t> message,
                       std::span<const std::uint8_t> signature) {
    if (publicKey.size() != kKeyBytes || signature.size() != kSignatureBytes) return false;
    const Key key(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, publicKey.data(), publicKey.size()));
    const Context context(EVP_MD_CTX_new());
    if (!key || !context) return false;
    // Ed25519 hashes the message itself: no digest is named, and the message goes in whole in one call.
    if (EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1) return false;
    return EVP_DigestVerify(context.get(), signature.data(), signature.size(), message.data(), message.size()) == 1;
}

std::vector<std::uint8_t> SignWithSeed(std::span<const std::uint8_t> seed, std::span<const std::uint8_t> message) {
    if (seed.size() != kKeyBytes) return {};
    const Key key(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, seed.data(), seed.size()));
    const Context context(EVP_MD_CTX_new());
    if (!key || !context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1) return {};
    std::vector<std::uint8_t> signature(kSignatureBytes);
    std::size_t length = signature.size();
    if (EVP_DigestSign(context.get(), signature.data(), &length, message.data(), message.size()) != 1) return {};
    signature.resize(length);
    return signature;
}

} // namespace paveno
