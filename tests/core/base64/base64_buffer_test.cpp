// The coder's buffers: zeroed past their contents, terminated, safe to feed back, and
// refusing impossible sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "core/base64/base64_coder.h"

namespace quillbox {
namespace {

const std::uint8_t* Bytes(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

bool ZeroFrom(const void* buffer, std::uint32_t from, std::uint32_t capacity) {
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    return std::all_of(bytes + from, bytes + capacity, [](std::uint8_t b) { return b == 0; });
}

TEST(Base64Buffers, ShorterOutputAfterLongerLeavesOnlyZeroBehindIt) {
    Base64Coder coder;
    const std::string big(9000, '\x5a');
    coder.Encode(Bytes(big), static_cast<std::uint32_t>(big.size()));
    coder.Decode(coder.EncodedMessage());
    coder.AllocEncode(10);
    EXPECT_EQ(coder.EncodedSize(), 0u);
    EXPECT_TRUE(ZeroFrom(coder.EncodedMessage(), 0, coder.EncodedCapacity()));

    coder.Encode(Bytes(big), static_cast<std::uint32_t>(big.size()));
    coder.Decode(coder.EncodedMessage());
    coder.Encode("x");
    EXPECT_STREQ(coder.EncodedMessage(), "eA==");
    EXPECT_TRUE(ZeroFrom(coder.EncodedMessage(), 4, coder.EncodedCapacity()));
    EXPECT_TRUE(ZeroFrom(coder.DecodedMessage(), 1, coder.DecodedCapacity()));

    coder.Encode(Bytes(big), static_cast<std::uint32_t>(big.size()));
    coder.Decode(coder.EncodedMessage());
    // A non-canonical last group: the bits the "=" dropped must not linger past the size.
    EXPECT_EQ(coder.Decode("QR=="), 1u);
    EXPECT_EQ(coder.DecodedMessage()[0], 'A');
    EXPECT_TRUE(ZeroFrom(coder.DecodedMessage(), 1, coder.DecodedCapacity()));
    EXPECT_TRUE(ZeroFrom(coder.EncodedMessage(), 4, coder.EncodedCapacity()));
}

TEST(Base64Buffers, TextFillingTheWholeCapacityStaysTerminated) {
    Base64Coder coder;
    coder.AllocEncode(100);
    ASSERT_EQ(coder.EncodedCapacity(), 4096u);
    const std::string text(4096, 'A');
    coder.SetEncodeBuffer(text.data(), 4096);
    EXPECT_EQ(coder.EncodedCapacity(), 8192u);
    EXPECT_EQ(std::strlen(coder.EncodedMessage()), 4096u);
    EXPECT_EQ(coder.Decode(text.data(), 4096), 3072u);
    EXPECT_EQ(std::strlen(coder.EncodedMessage()), 4096u);
}

TEST(Base64Buffers, OwnBuffersCanBeFedBack) {
    Base64Coder coder;
    const std::string plain(5000, '\x07');
    coder.Encode(Bytes(plain), static_cast<std::uint32_t>(plain.size()));
    const std::string text = coder.EncodedMessage();
    coder.Encode(coder.DecodedMessage(), coder.DecodedSize());
    EXPECT_EQ(std::string(coder.EncodedMessage()), text);
    coder.Encode(coder.DecodedMessage() + 1, 3);
    EXPECT_STREQ(coder.EncodedMessage(), "BwcH");
    coder.SetEncodeBuffer(coder.EncodedMessage() + 2, 2);
    EXPECT_STREQ(coder.EncodedMessage(), "cH");
    // Growing while the source is in the same buffer.
    const std::uint32_t capacity = coder.DecodedCapacity();
    coder.SetDecodeBuffer(coder.DecodedMessage(), capacity);
    EXPECT_EQ(coder.DecodedSize(), capacity);
    EXPECT_EQ(coder.DecodedCapacity(), capacity + 4096);
    EXPECT_EQ(std::memcmp(coder.DecodedMessage(), "\x07\x07\x07\0", 4), 0);
}

TEST(Base64Buffers, SizesBeyond32BitsAreRefusedWithoutDamage) {
    Base64Coder coder;
    coder.Encode("keep");
    const std::string before = coder.EncodedMessage();
    const std::uint8_t byte = 0;

    EXPECT_THROW(coder.AllocEncode(0xFFFFFFFFu), std::length_error);
    EXPECT_THROW(coder.AllocDecode(0xFFFFF000u), std::length_error);
    // 2 x count would wrap to a small buffer; the bytes are never read.
    EXPECT_THROW(coder.Encode(&byte, 0x80000001u), std::length_error);
    EXPECT_THROW(coder.Encode(&byte, Base64Coder::kMaxEncodeCount + 1), std::length_error);
    EXPECT_THROW(coder.Decode("x", Base64Coder::kMaxDecodeCount + 1), std::length_error);
    EXPECT_THROW(coder.SetEncodeBuffer("x", 0xFFFFFFFFu), std::length_error);
    EXPECT_EQ(coder.EncodedMessage(), before);
    EXPECT_EQ(coder.DecodedSize(), 4u);

    EXPECT_THROW(coder.Encode(nullptr, 3), std::invalid_argument);
    EXPECT_THROW(coder.Decode(nullptr, 3), std::invalid_argument);
    EXPECT_THROW(ZeroedBuffer::GrownCapacity(0xFFFFF000u), std::length_error);
    EXPECT_EQ(ZeroedBuffer::GrownCapacity(ZeroedBuffer::kMaxRequest), 0xFFFFF000u);
}

}  // namespace
}  // namespace quillbox
