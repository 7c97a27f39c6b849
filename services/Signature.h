// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace paveno {

// Ed25519 detached signatures, as `openssl pkeyutl -sign -rawin` makes them: 64 bytes over the whole message.

// The 32 bytes of a key (a public key, or a private key's seed) written as 64 hex digits (either case, nothing else);
// nullopt for anything else.
std::optional<std::vector<std::uint8_t>> KeyFromHex(std::string_view hex);

// True only when `signature` is exactly 64 bytes and verifies `message` under the 32-byte `publicKey`.
bool SignatureVerifies(std::span<const std::uint8_t> publicKey, std::span<const std::uint8_t> message,
                       std::span<const std::uint8_t> signature);

// The signature of `message` under the private key whose 32-byte seed is given (the demo site and the tests sign
// with a key of their own); empty when the seed is not 32 bytes.
std::vector<std::uint8_t> SignWithSeed(std::span<const std::uint8_t> seed, std::span<const std::uint8_t> message);

} // namespace paveno
