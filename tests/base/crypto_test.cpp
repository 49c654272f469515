// SHA-256 and ECDSA P-256 verification of the host's cryptography, with keys
// and signatures that the openssl command line made.
#include "base/crypto.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "base/failure.h"
#include "support/signing_vectors.h"

namespace morvane {
namespace {

namespace v = test::vectors;

std::string bytes(std::string_view hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    }
    return out;
}

std::string sha256Hex(std::string_view data, std::size_t piece) {
    Sha256 hash;
    for (std::size_t at = 0; at < data.size(); at += piece) {
        hash.update(data.data() + at, std::min(piece, data.size() - at));
    }
    return toHex(hash.finish());
}

TEST(Sha256, KnownDigestsWhateverThePieces) {
    const std::string million(1000000, 'a');
    const struct {
        std::string_view data;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {million, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{65536}}) {
            SCOPED_TRACE(std::to_string(c.data.size()) + " bytes in pieces of " +
                         std::to_string(piece));
            if (piece == 1 && c.data.size() > 1000) {
                continue;
            }
            EXPECT_EQ(sha256Hex(c.data, piece), c.digest);
        }
    }
}

TEST(Sha256, SpentHasherRefusesMore) {
    Sha256 hash;
    hash.finish();
    EXPECT_THROW(hash.update("a", 1), Failure);
    EXPECT_THROW(hash.finish(), Failure);
}

TEST(Sha256Text, OnlySixtyFourHexDigitsOfEitherCase) {
    const std::string lower = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    std::string upper = lower;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const struct {
        std::string text;
        bool valid;
    } cases[] = {
        {lower, true},
        {upper, true},
        {lower.substr(1), false},               // 63 digits
        {lower + "0", false},                   // 65 digits
        {"g" + lower.substr(1), false},         // not hex
        {" " + lower.substr(1), false},         // a blank
        {lower.substr(0, 63) + "\xc3", false},  // a byte beyond ASCII
        {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto digest = parseSha256(c.text);
        ASSERT_EQ(digest.has_value(), c.valid);
        if (c.valid) {
            EXPECT_EQ(toHex(*digest), lower);
        }
    }
}

TEST(SignatureKey, ReadsOnlyP256PublicKeys) {
    const std::string good = v::kPublicKey;
    const struct {
        const char* name;
        std::string base64;
        bool readable;
    } cases[] = {
        {"P-256", good, true},
        {"other P-256", v::kOtherPublicKey, true},
        {"blanks around", " " + good + "  ", true},
        {"P-384", v::kP384PublicKey, false},
        {"secp256k1", v::kSecp256k1PublicKey, false},
        {"RSA", v::kRsaPublicKey, false},
        {"garbage", "das ist kein Schlüssel", false},
        {"base64 of no key", "AAECAwQFBgcICQ==", false},
        {"truncated", good.substr(0, good.size() - 8), false},
        {"text after the padding", good + "-abc", false},
        {"a character beyond base64", good.substr(0, 8) + "!" + good.substr(9), false},
        {"empty", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SignatureKey::fromBase64(c.base64).has_value(), c.readable);
    }
}

// A signature whose s has its sign byte, with that byte left out and one
// appended after the sequence: as long as the strict form.
std::string withoutSignByte(std::string hex) {
    hex.replace(0, 4, "3043");
    hex.replace(hex.find("022100", 8), 6, "0220");
    return bytes(hex + "00");
}

TEST(SignatureKey, AcceptsOnlyTheSignatureOfTheseBytes) {
    const auto key = SignatureKey::fromBase64(v::kPublicKey);
    ASSERT_TRUE(key);
    const std::string signature = bytes(v::kSignature);
    const struct {
        const char* name;
        std::string data;
        std::string signature;
        bool valid;
    } cases[] = {
        {"good", v::kText, signature, true},
        {"good, r shorter than 32 bytes", v::kText, bytes(v::kShortRSignature), true},
        {"signature of another text", v::kText, bytes(v::kOtherTextSignature), false},
        {"another text", v::kOtherText, signature, false},
        {"signature by another key", v::kText, bytes(v::kOtherKeySignature), false},
        {"text with one more byte", std::string(v::kText) + " ", signature, false},
        {"empty signature", v::kText, "", false},
        {"truncated by one byte", v::kText, signature.substr(0, signature.size() - 1), false},
        {"only the first half", v::kText, signature.substr(0, signature.size() / 2), false},
        {"a byte appended", v::kText, signature + '\0', false},
        {"r zero", v::kText, bytes(v::kRZeroSignature), false},
        {"s zero", v::kText, bytes(v::kSZeroSignature), false},
        {"r the group order", v::kText, bytes(v::kROrderSignature), false},
        {"s the group order", v::kText, bytes(v::kSOrderSignature), false},
        {"r plus the group order", v::kText, bytes(v::kRPlusOrderSignature), false},
        {"s beyond 256 bits", v::kText, bytes(v::kSOver256BitsSignature), false},
        {"r with a needless zero byte", v::kText, bytes(v::kRPaddedSignature), false},
        {"long-form length", v::kText, "\x30\x81" + signature.substr(1), false},
        {"s without its sign byte, a byte appended", v::kText, withoutSignByte(v::kShortRSignature),
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(key->verifies(c.data, c.signature), c.valid);
    }
}

TEST(SignatureKey, AnyFlippedBitSpoilsIt) {
    const auto key = SignatureKey::fromBase64(v::kPublicKey);
    ASSERT_TRUE(key);
    const std::string text = v::kText;
    const std::string signature = bytes(v::kSignature);
    for (std::size_t at = 0; at < signature.size(); ++at) {
        std::string flipped = signature;
        flipped[at] = static_cast<char>(flipped[at] ^ 0x01);
        EXPECT_FALSE(key->verifies(text, flipped)) << "signature byte " << at;
    }
    for (std::size_t at = 0; at < text.size(); ++at) {
        std::string flipped = text;
        flipped[at] = static_cast<char>(flipped[at] ^ 0x01);
        EXPECT_FALSE(key->verifies(flipped, signature)) << "text byte " << at;
    }
}

}  // namespace
}  // namespace morvane
