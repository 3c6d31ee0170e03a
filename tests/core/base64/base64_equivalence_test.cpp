// The table-driven loops must give exactly what the step-by-step quantum path gives, buffers
// included, for any input: invalid bytes, top-bit characters and pads in every position.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "core/base64/base64_coder.h"

namespace quillbox {
namespace {

class QuantumCoder : public Base64Coder {
  public:
    QuantumCoder() : Base64Coder(Steps::kPerQuantum) {}
};

// Replaces one step to show the quantum path really goes through the virtual slots.
class ShoutingCoder : public Base64Coder {
  public:
    ShoutingCoder() : Base64Coder(Steps::kPerQuantum) {}
    void EncodeQuantum(const Quantum& quantum, std::span<char, 4> out) const override {
        ++quanta;
        Base64Coder::EncodeQuantum(quantum, out);
        for (char& c : out) {
            c = c == '=' ? '!' : c;
        }
    }
    void DecodeRaw(std::span<const std::uint8_t, 4> in,
                   std::span<std::uint8_t, 3> out) const override {
        Base64Coder::DecodeRaw(in, out);
        out[0] ^= 0x20;
    }
    mutable int quanta = 0;
};

std::string RandomText(std::mt19937& rng, std::size_t size) {
    // Mostly alphabet, with plenty of the characters the lenient rules treat specially.
    static const std::string special = std::string("==\xbd\xbd\r\n \t!-_.\0\x80\xff\xfe", 17);
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<std::size_t> pick(0, special.size() - 1);
    std::string text(size, '\0');
    for (char& c : text) {
        const int k = kind(rng);
        if (k < 5) {
            c = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"[byte(rng) % 64];
        } else if (k < 7) {
            c = special[pick(rng)];
        } else if (k < 8) {
            c = static_cast<char>(byte(rng) | 0x80);
        } else {
            c = static_cast<char>(byte(rng));
        }
    }
    return text;
}

// 3 bytes per group of 4 plus one per character of a short group, less the trailing "=".
std::uint32_t SizeRule(std::string_view text) {
    const std::size_t pads = text.size() - std::min(text.size(), text.find_last_not_of('=') + 1);
    const std::size_t raw = text.size() / 4 * 3 + text.size() % 4;
    return static_cast<std::uint32_t>(raw > pads ? raw - pads : 0);
}

// Same sizes and buffers, bytes past the sizes zero, capacities whole pages.
void ExpectSameState(Base64Coder& fast, Base64Coder& slow) {
    const auto* decoded = fast.DecodedMessage();
    ASSERT_TRUE(std::all_of(decoded + fast.DecodedSize(), decoded + fast.DecodedCapacity(),
                            [](std::uint8_t b) { return b == 0; }));
    ASSERT_EQ(fast.DecodedCapacity() % 4096, 0u);
    ASSERT_EQ(fast.EncodedCapacity() % 4096, 0u);
    ASSERT_EQ(fast.EncodedSize(), slow.EncodedSize());
    ASSERT_EQ(fast.DecodedSize(), slow.DecodedSize());
    ASSERT_EQ(fast.EncodedCapacity(), slow.EncodedCapacity());
    ASSERT_EQ(fast.DecodedCapacity(), slow.DecodedCapacity());
    ASSERT_EQ(std::memcmp(fast.EncodedMessage(), slow.EncodedMessage(), fast.EncodedCapacity()), 0);
    ASSERT_EQ(std::memcmp(fast.DecodedMessage(), slow.DecodedMessage(), fast.DecodedCapacity()), 0);
}

TEST(Base64Equivalence, RandomInputMatchesTheQuantumPath) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<std::size_t> size(0, 9000);
    std::uniform_int_distribution<int> byte(0, 255);
    Base64Coder fast;
    QuantumCoder slow;
    for (int i = 0; i < 400; ++i) {
        const std::size_t length = i < 40 ? static_cast<std::size_t>(i) : size(rng);
        const std::string text = RandomText(rng, length);
        const auto count = static_cast<std::uint32_t>(text.size());
        const std::uint32_t got = fast.Decode(text.data(), count);
        ASSERT_EQ(got, slow.Decode(text.data(), count)) << i;
        ASSERT_EQ(got, SizeRule(text)) << i;
        ExpectSameState(fast, slow);
        ASSERT_EQ(Base64Coder::DecodeText(text),
                  std::string(reinterpret_cast<const char*>(fast.DecodedMessage()), got));

        std::string bytes(length, '\0');
        for (char& c : bytes) {
            c = static_cast<char>(byte(rng));
        }
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
        fast.Encode(data, static_cast<std::uint32_t>(bytes.size()));
        slow.Encode(data, static_cast<std::uint32_t>(bytes.size()));
        ExpectSameState(fast, slow);
        ASSERT_EQ(fast.EncodedSize(), (bytes.size() + 2) / 3 * 4);
        ASSERT_EQ(Base64Coder::EncodeBytes(bytes), fast.EncodedMessage());
        // Decoding its own output, which lies in the buffer it decodes into, gives the bytes back.
        fast.Decode(fast.EncodedMessage());
        slow.Decode(slow.EncodedMessage());
        ExpectSameState(fast, slow);
        ASSERT_EQ(
            std::string(reinterpret_cast<const char*>(fast.DecodedMessage()), fast.DecodedSize()),
            bytes);
    }
}

TEST(Base64Equivalence, EveryPadPlacementInShortTexts) {
    // All texts of up to 6 characters over a small set put each kind of character in every
    // position of a full group and of short groups of 1 to 3.
    const std::string set = std::string("Qz=\xbd!\x80", 6);
    Base64Coder fast;
    QuantumCoder slow;
    std::string text;
    for (std::size_t length = 1; length <= 6; ++length) {
        text.assign(length, ' ');
        for (std::size_t n = 0, total = static_cast<std::size_t>(std::pow(set.size(), length));
             n < total; ++n) {
            std::size_t rest = n;
            for (char& c : text) {
                c = set[rest % set.size()];
                rest /= set.size();
            }
            ASSERT_EQ(fast.Decode(text.data(), static_cast<std::uint32_t>(length)),
                      slow.Decode(text.data(), static_cast<std::uint32_t>(length)))
                << text;
            ASSERT_EQ(std::memcmp(fast.DecodedMessage(), slow.DecodedMessage(), 16), 0) << text;
        }
    }
}

TEST(Base64Equivalence, ReplacedStepsAreUsed) {
    ShoutingCoder coder;
    coder.Encode("foob");
    EXPECT_STREQ(coder.EncodedMessage(), "Zm9vYg!!");
    EXPECT_EQ(coder.quanta, 2);
    coder.Decode("Zm9vYmFy");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(coder.DecodedMessage()), coder.DecodedSize()),
              "FooBar");
}

}  // namespace
}  // namespace quillbox
