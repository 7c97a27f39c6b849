// SPDX-License-Identifier: MIT
#include "services/Signature.h"

#include "services/SystemLibrary.h"

#include <openssl/evp.h>

#include <memory>

namespace paveno {
namespace {

constexpr std::size_t kKeyBytes = 32;
constexpr std::size_t kSignatureBytes = 64;

// libcrypto, loaded when a signature is first made or checked.
struct CryptoCalls {
    decltype(&EVP_PKEY_new_raw_public_key) newPublicKey;
    decltype(&EVP_PKEY_new_raw_private_key) newPrivateKey;
    decltype(&EVP_PKEY_free) freeKey;
    decltype(&EVP_MD_CTX_new) newContext;
    decltype(&EVP_MD_CTX_free) freeContext;
    decltype(&EVP_DigestVerifyInit) verifyInit;
    decltype(&EVP_DigestVerify) verify;
    decltype(&EVP_DigestSignInit) signInit;
    decltype(&EVP_DigestSign) sign;
};

const CryptoCalls* Crypto() {
    static const CryptoCalls* const loaded =
        LoadSystemLibrary<CryptoCalls>("libcrypto.so.3", [](void* library, CryptoCalls& calls) {
            return FindCall(library, "EVP_PKEY_new_raw_public_key", calls.newPublicKey) &&
                   FindCall(library, "EVP_PKEY_new_raw_private_key", calls.newPrivateKey) &&
                   FindCall(library, "EVP_PKEY_free", calls.freeKey) &&
                   FindCall(library, "EVP_MD_CTX_new", calls.newContext) &&
                   FindCall(library, "EVP_MD_CTX_free", calls.freeContext) &&
                   FindCall(library, "EVP_DigestVerifyInit", calls.verifyInit) &&
                   FindCall(library, "EVP_DigestVerify", calls.verify) &&
                   FindCall(library, "EVP_DigestSignInit", calls.signInit) &&
                   FindCall(library, "EVP_DigestSign", calls.sign);
        });
    return loaded;
}

struct KeyFree {
    void operator()(EVP_PKEY* key) const { Crypto()->freeKey(key); }
};
struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { Crypto()->freeContext(context); }
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
    const CryptoCalls* crypto = Crypto();
    if (!crypto || publicKey.size() != kKeyBytes || signature.size() != kSignatureBytes) return false;
    const Key key(crypto->newPublicKey(EVP_PKEY_ED25519, nullptr, publicKey.data(), publicKey.size()));
    const Context context(crypto->newContext());
    if (!key || !context) return false;
    // Ed25519 hashes the message itself: no digest is named, and the message goes in whole in one call.
    if (crypto->verifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1) return false;
    return crypto->verify(context.get(), signature.data(), signature.size(), message.data(), message.size()) == 1;
}

std::vector<std::uint8_t> SignWithSeed(std::span<const std::uint8_t> seed, std::span<const std::uint8_t> message) {
    const CryptoCalls* crypto = Crypto();
    if (!crypto || seed.size() != kKeyBytes) return {};
    const Key key(crypto->newPrivateKey(EVP_PKEY_ED25519, nullptr, seed.data(), seed.size()));
    const Context context(crypto->newContext());
    if (!key || !context || crypto->signInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1) return {};
    std::vector<std::uint8_t> signature(kSignatureBytes);
    std::size_t length = signature.size();
    if (crypto->sign(context.get(), signature.data(), &length, message.data(), message.size()) != 1) return {};
    signature.resize(length);
    return signature;
}

} // namespace paveno
