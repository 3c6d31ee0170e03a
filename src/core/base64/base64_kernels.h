// Table-driven Base64 loops shared by the coder and its string helpers.
#pragma once

#include <array>
#include <cstdint>

namespace quillbox::base64 {

inline constexpr std::uint8_t kInvalid = 0xFE;
inline constexpr std::uint8_t kPad = 0xFF;
inline constexpr char kPadChar = '=';

inline constexpr std::array<char, 64> kAlphabet = {
    'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O', 'P',
    'Q', 'R', 'S', 'T', 'U', 'V', 'W', 'X', 'Y', 'Z', 'a', 'b', 'c', 'd', 'e', 'f',
    'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p', 'q', 'r', 's', 't', 'u', 'v',
    'w', 'x', 'y', 'z', '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', '+', '/'};

// Character -> 6-bit value, kPad or kInvalid. A character with its top bit set reads like the
// same character without it, which some senders produce.
constexpr std::array<std::uint8_t, 256> MakeDecodeTable() {
    std::array<std::uint8_t, 256> table{};
    table.fill(kInvalid);
    for (std::uint8_t i = 0; i < 64; ++i) {
        const auto c = static_cast<std::uint8_t>(kAlphabet[i]);
        table[c] = i;
        table[c | 0x80] = i;
    }
    table[static_cast<std::uint8_t>(kPadChar)] = kPad;
    table[static_cast<std::uint8_t>(kPadChar) | 0x80] = kPad;
    return table;
}

inline constexpr std::array<std::uint8_t, 256> kDecodeTable = MakeDecodeTable();

inline std::uint8_t Lookup(char c) noexcept {
    return kDecodeTable[static_cast<std::uint8_t>(c)];
}

// Characters for count input bytes, padding included; count must not exceed the coder's
// encoding limit (no overflow then).
constexpr std::uint32_t EncodedLength(std::uint32_t count) noexcept {
    return (count / 3 + (count % 3 != 0 ? 1 : 0)) * 4;
}

// Bytes the decoding loop writes for count characters: 3 per group, a short group included.
constexpr std::uint32_t DecodeSpan(std::uint32_t count) noexcept {
    return (count / 4 + (count % 4 != 0 ? 1 : 0)) * 3;
}

// Writes EncodedLength(count) characters to out (no terminator).
void EncodeBlock(const std::uint8_t* in, std::uint32_t count, char* out) noexcept;

// Number of "=" at the very end of the text.
std::uint32_t TrailingPads(const char* in, std::uint32_t count) noexcept;

// The size left after taking the trailing "=" off; a text of nothing but padding gives 0.
constexpr std::uint32_t SizeAfterPads(std::uint32_t size, std::uint32_t pads) noexcept {
    return size > pads ? size - pads : 0;
}

// Decoded size of a text: 3 per complete group plus the number of characters in a short last
// group, less the "=" at the end, never below zero.
inline std::uint32_t DecodedSize(const char* in, std::uint32_t count) noexcept {
    return SizeAfterPads(count / 4 * 3 + count % 4, TrailingPads(in, count));
}

// Writes DecodeSpan(count) bytes to out and returns DecodedSize(in, count). Nothing is
// rejected: invalid characters contribute their masked table value. A text may be decoded in
// pieces of whole groups placed one after the other; only the last piece's result counts.
std::uint32_t DecodeBlock(const char* in, std::uint32_t count, std::uint8_t* out) noexcept;

}  // namespace quillbox::base64
