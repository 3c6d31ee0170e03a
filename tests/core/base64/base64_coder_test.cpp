// Text and bytes that come out of the coder for given inputs.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/base64/base64_coder.h"

namespace quillbox {
namespace {

std::string Encoded(Base64Coder& coder) {
    return std::string(coder.EncodedMessage(), coder.EncodedSize());
}

std::string Decoded(Base64Coder& coder) {
    return std::string(reinterpret_cast<const char*>(coder.DecodedMessage()), coder.DecodedSize());
}

std::string DecodeOf(std::string_view text) {
    Base64Coder coder;
    coder.Decode(text.data(), static_cast<std::uint32_t>(text.size()));
    return Decoded(coder);
}

TEST(Base64Encode, PadsTheLastGroupByHowManyBytesItHoldsAndDecodesBack) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\xff\xfe\x00", 3), "//4A"},
    };
    Base64Coder coder;
    for (const auto& [plain, text] : cases) {
        coder.Encode(reinterpret_cast<const std::uint8_t*>(plain.data()),
                     static_cast<std::uint32_t>(plain.size()));
        EXPECT_EQ(Encoded(coder), text) << plain;
        EXPECT_EQ(std::string(coder.EncodedMessage()), text) << "text must be NUL-terminated";
        EXPECT_EQ(Decoded(coder), plain) << "the input stays in the decoded buffer";
        EXPECT_EQ(DecodeOf(text), plain) << "one \"=\" leaves 2 bytes, two leave 1";
    }
}

TEST(Base64Encode, EmptyInputGivesEmptyText) {
    Base64Coder coder;
    coder.Encode("ab");
    coder.Encode(static_cast<const char*>(nullptr));
    ASSERT_NE(coder.EncodedMessage(), nullptr);
    EXPECT_STREQ(coder.EncodedMessage(), "");
    EXPECT_EQ(coder.EncodeToString(nullptr, 0), std::nullopt);
}

TEST(Base64Decode, ShortGroupsPadsAndInvalidCharactersKeepTheirBits) {
    const std::pair<const char*, std::string> cases[] = {
        // Padding alone gives nothing; "=" shortens the output only at the very end.
        {"=", ""},
        {"========", ""},
        {"A===", ""},
        {"=====A==", std::string("\xff\xf0\x00\xfc", 4)},
        // 3 bytes per whole group plus one per character left over, less the trailing "=".
        {"QQ", std::string("A\0", 2)},
        {"Zm9vYg", std::string("foob\0", 5)},
        {"QQ=", std::string("A\0", 2)},
        {"QUI", std::string("AB\0", 3)},
        // A pad inside a short group reads as zero wherever it stands.
        {"Q=Q", std::string("\x40\x04\x00", 3)},
        // "=" in the first two positions of a group reads as 0x3F, in the last two as 0.
        {"==QQ", "\xff\xf4\x10"},
        {"QQ=Q", std::string("\x41\x00\x10", 3)},
        // Anything outside the alphabet reads as 0x3E.
        {"!!!!", "\xfb\xef\xbe"}};
    for (const auto& [text, bytes] : cases) {
        EXPECT_EQ(DecodeOf(text), bytes) << text;
    }
    // White space is not skipped.
    EXPECT_EQ(DecodeOf("Zm9v\nYmFy").size(), 7u);
    EXPECT_EQ(DecodeOf("Zm9v\nYmFy").substr(0, 3), "foo");
}

TEST(Base64Decode, TopBitCharactersReadLikeTheirPlainTwins) {
    std::string all(256, '\0');
    for (int i = 0; i < 256; ++i) {
        all[i] = static_cast<char>(i);
    }
    const std::string plain = Base64Coder::EncodeBytes(all + "x");
    ASSERT_EQ(plain.back(), '=');
    std::string high = plain;
    for (char& c : high) {
        if (c != '=') {
            c = static_cast<char>(c | 0x80);
        }
    }
    EXPECT_EQ(DecodeOf(high), all + "x");
    // The top-bit "=" reads as a pad but only a plain "=" shortens the output.
    EXPECT_EQ(DecodeOf("QQ\xbd\xbd"), std::string("A\0\0", 3));
    EXPECT_EQ(DecodeOf("QQ=="), "A");
}

TEST(Base64Decode, TextOverloadsStopAtTheNulAndTheCountedOneDoesNot) {
    Base64Coder coder;
    EXPECT_EQ(coder.Decode(static_cast<const char*>(nullptr)), 0u);
    EXPECT_TRUE(coder.DecodeToBytes(nullptr).empty());
    const std::vector<std::uint8_t> bytes = coder.DecodeToBytes("Zm9vYg==");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "foob");
    EXPECT_EQ(coder.Decode("Zm9v\0YmFy"), 3u);
    EXPECT_EQ(coder.Decode("Zm9v\0YmFy", 9), 7u);
    EXPECT_EQ(Encoded(coder), std::string("Zm9v\0YmFy", 9))
        << "the input stays in the encoded buffer";
}

}  // namespace
}  // namespace quillbox
