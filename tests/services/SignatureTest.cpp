// SPDX-License-Identifier: MIT
#include "services/Signature.h"

#include <gtest/gtest.h>

using namespace paveno;

namespace {
// RFC 8032, section 7.1, test 1: the empty message.
constexpr char kRfcSeed[] = "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60";
constexpr char kRfcKey[] = "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a";
constexpr char kRfcSignature[] = "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e3"
                                 "9701cf9b46bd25bf5f0595bbe24655141438e7a100b";
} // namespace

TEST(Signature, KeysAreSixtyFourHexDigitsAndNothingElse) {
    const std::pair<std::string, bool> cases[] = {
        {kRfcKey, true},
        {"D75A980182B10AB7D54BFED3C964073A0EE172F3DAA62325AF021A68F707511A", true},
        {"", false},
        {std::string(kRfcKey).substr(2), false},
        {std::string(kRfcKey) + "00", false},
        {" " + std::string(kRfcKey).substr(1), false},
        {"g" + std::string(kRfcKey).substr(1), false},
    };
    for (const auto& [hex, ok] : cases)
        EXPECT_EQ(KeyFromHex(hex).has_value(), ok) << hex;
    EXPECT_EQ(KeyFromHex("D75A980182B10AB7D54BFED3C964073A0EE172F3DAA62325AF021A68F707511A"), KeyFromHex(kRfcKey));
}

TEST(Signature, OnlyTheKeysSignatureOverTheVeryBytesVerifies) {
    const auto key = *KeyFromHex(kRfcKey);
    const auto seed = *KeyFromHex(kRfcSeed);
    // 128 hex digits are read as two halves of 32 bytes.
    auto signature = *KeyFromHex(std::string(kRfcSignature).substr(0, 64));
    const auto second = *KeyFromHex(std::string(kRfcSignature).substr(64));
    signature.insert(signature.end(), second.begin(), second.end());
    const std::vector<std::uint8_t> empty;
    const std::vector<std::uint8_t> other{'x'};

    EXPECT_EQ(SignWithSeed(seed, empty), signature) << "the signing side makes the standard's signature";
    EXPECT_TRUE(SignatureVerifies(key, empty, signature));
    EXPECT_FALSE(SignatureVerifies(key, other, signature)) << "other bytes";
    auto flipped = signature;
    flipped[10] ^= 0x01;
    EXPECT_FALSE(SignatureVerifies(key, empty, flipped));
    auto otherKey = key;
    otherKey[0] ^= 0x01;
    EXPECT_FALSE(SignatureVerifies(otherKey, empty, signature));
    EXPECT_FALSE(SignatureVerifies(key, empty, std::span(signature).first(63))) << "a cut signature";
    auto longer = signature;
    longer.push_back(0);
    EXPECT_FALSE(SignatureVerifies(key, empty, longer));
    EXPECT_FALSE(SignatureVerifies(std::span(key).first(31), empty, signature));
    EXPECT_TRUE(SignWithSeed(std::span(seed).first(31), empty).empty());

    const std::vector<std::uint8_t> updater(100000, 0x5A);
    EXPECT_TRUE(SignatureVerifies(key, updater, SignWithSeed(seed, updater)));
}
