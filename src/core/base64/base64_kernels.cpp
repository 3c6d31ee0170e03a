#include "core/base64/base64_kernels.h"

#include <bit>
#include <cstring>

namespace quillbox::base64 {
namespace {

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

// 12 input bits -> two characters, stored so that a 16-bit store writes them in text order.
constexpr std::array<std::uint16_t, 4096> MakePairTable() {
    std::array<std::uint16_t, 4096> table{};
    for (std::uint32_t i = 0; i < 4096; ++i) {
        const auto first = static_cast<std::uint8_t>(kAlphabet[i >> 6]);
        const auto second = static_cast<std::uint8_t>(kAlphabet[i & 0x3F]);
        table[i] = kLittleEndian ? static_cast<std::uint16_t>(first | (second << 8))
                                 : static_cast<std::uint16_t>((first << 8) | second);
    }
    return table;
}

constexpr std::array<std::uint16_t, 4096> kPairs = MakePairTable();

// Value of a character at a position of a complete group: a pad counts as zero only in the
// last two positions; in the first two it and an invalid character keep their masked bits.
constexpr std::uint32_t GroupValue(std::uint8_t c, int position) {
    std::uint8_t value = kDecodeTable[c];
    if (position >= 2 && value == kPad) {
        value = 0;
    }
    return value & 0x3Fu;
}

// One table per position holding the value already shifted into place, in the byte order of
// a little-endian store: ORing the four entries gives the group's three bytes.
constexpr std::array<std::uint32_t, 256> MakePositionTable(int position) {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t c = 0; c < 256; ++c) {
        const std::uint32_t bits = GroupValue(static_cast<std::uint8_t>(c), position)
                                   << (18 - 6 * position);
        table[c] =
            kLittleEndian ? ((bits >> 16) & 0xFF) | (bits & 0xFF00) | ((bits & 0xFF) << 16) : bits;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kPos0 = MakePositionTable(0);
constexpr std::array<std::uint32_t, 256> kPos1 = MakePositionTable(1);
constexpr std::array<std::uint32_t, 256> kPos2 = MakePositionTable(2);
constexpr std::array<std::uint32_t, 256> kPos3 = MakePositionTable(3);

inline std::uint64_t LoadBigEndian64(const std::uint8_t* p) noexcept {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (kLittleEndian) {
        v = __builtin_bswap64(v);
    }
    return v;
}

inline void EncodeGroup(const std::uint8_t* in, char* out) noexcept {
    const std::uint32_t v = (std::uint32_t{in[0]} << 16) | (std::uint32_t{in[1]} << 8) | in[2];
    std::memcpy(out, &kPairs[v >> 12], 2);
    std::memcpy(out + 2, &kPairs[v & 0xFFF], 2);
}

inline std::uint32_t DecodeGroup(const std::uint8_t* in) noexcept {
    return kPos0[in[0]] | kPos1[in[1]] | kPos2[in[2]] | kPos3[in[3]];
}

inline void StoreGroup(std::uint32_t group, std::uint8_t* out) noexcept {
    if constexpr (kLittleEndian) {
        std::memcpy(out, &group, 3);
    } else {
        out[0] = static_cast<std::uint8_t>(group >> 16);
        out[1] = static_cast<std::uint8_t>(group >> 8);
        out[2] = static_cast<std::uint8_t>(group);
    }
}

}  // namespace

void EncodeBlock(const std::uint8_t* in, std::uint32_t count, char* out) noexcept {
    const std::uint8_t* const end = in + count;
    if constexpr (kLittleEndian) {
        // Two 6-byte steps per round, each from one 8-byte load, as 16 characters in two stores.
        while (end - in >= 14) {
            const std::uint64_t a = LoadBigEndian64(in);
            const std::uint64_t b = LoadBigEndian64(in + 6);
            const std::uint64_t wa = kPairs[a >> 52] |
                                     (std::uint64_t{kPairs[(a >> 40) & 0xFFF]} << 16) |
                                     (std::uint64_t{kPairs[(a >> 28) & 0xFFF]} << 32) |
                                     (std::uint64_t{kPairs[(a >> 16) & 0xFFF]} << 48);
            const std::uint64_t wb = kPairs[b >> 52] |
                                     (std::uint64_t{kPairs[(b >> 40) & 0xFFF]} << 16) |
                                     (std::uint64_t{kPairs[(b >> 28) & 0xFFF]} << 32) |
                                     (std::uint64_t{kPairs[(b >> 16) & 0xFFF]} << 48);
            std::memcpy(out, &wa, 8);
            std::memcpy(out + 8, &wb, 8);
            in += 12;
            out += 16;
        }
    }
    while (end - in >= 3) {
        EncodeGroup(in, out);
        in += 3;
        out += 4;
    }
    const auto rest = end - in;
    if (rest == 0) {
        return;
    }
    const std::uint32_t b0 = in[0];
    const std::uint32_t b1 = rest == 2 ? in[1] : 0;
    out[0] = kAlphabet[b0 >> 2];
    out[1] = kAlphabet[((b0 & 0x03u) << 4) | (b1 >> 4)];
    out[2] = rest == 2 ? kAlphabet[(b1 & 0x0Fu) << 2] : kPadChar;
    out[3] = kPadChar;
}

std::uint32_t DecodeBlock(const char* text, std::uint32_t count, std::uint8_t* out) noexcept {
    const auto* in = reinterpret_cast<const std::uint8_t*>(text);
    std::uint32_t groups = count / 4;
    if constexpr (kLittleEndian) {
        // Two groups per round in one 8-byte store; its last two bytes are rewritten by the
        // group after, and at least one more group follows, so the store stays in bounds.
        while (groups >= 3) {
            const std::uint64_t word = DecodeGroup(in) | (std::uint64_t{DecodeGroup(in + 4)} << 24);
            std::memcpy(out, &word, 8);
            in += 8;
            out += 6;
            groups -= 2;
        }
    }
    for (; groups > 0; --groups) {
        StoreGroup(DecodeGroup(in), out);
        in += 4;
        out += 3;
    }
    const std::uint32_t rest = count % 4;
    if (rest != 0) {
        // A short last group: missing characters count as zero and a pad is zero anywhere.
        std::uint32_t bits = 0;
        for (std::uint32_t i = 0; i < rest; ++i) {
            std::uint8_t value = kDecodeTable[in[i]];
            if (value == kPad) {
                value = 0;
            }
            bits |= std::uint32_t{value & 0x3Fu} << (18 - 6 * i);
        }
        out[0] = static_cast<std::uint8_t>(bits >> 16);
        out[1] = static_cast<std::uint8_t>(bits >> 8);
        out[2] = static_cast<std::uint8_t>(bits);
    }
    return DecodedSize(text, count);
}

std::uint32_t TrailingPads(const char* in, std::uint32_t count) noexcept {
    std::uint32_t pads = 0;
    while (pads < count && in[count - 1 - pads] == kPadChar) {
        ++pads;
    }
    return pads;
}

}  // namespace quillbox::base64
