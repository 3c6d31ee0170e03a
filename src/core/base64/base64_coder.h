// Base64 (standard alphabet, "=" padding, no line breaks) for everything binary that travels in
// task and response documents. The decoder is lenient and never reports an error: characters
// outside the alphabet decode to meaningless bits, white space is not skipped, and a length that
// is not a multiple of 4 is accepted.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/base64/zeroed_buffer.h"

namespace quillbox {

class Base64Coder {
  public:
    // Up to 4 bytes (3 when encoding, 4 table values when decoding) and how many are valid.
    struct Quantum {
        std::array<std::uint8_t, 4> bytes{};
        std::uint8_t count = 0;
    };

    // Largest inputs whose buffers still fit in 32 bits; larger ones throw std::length_error.
    static constexpr std::uint32_t kMaxEncodeCount = ZeroedBuffer::kMaxRequest / 2;
    static constexpr std::uint32_t kMaxDecodeCount = ZeroedBuffer::kMaxRequest;

    Base64Coder();
    virtual ~Base64Coder();
    Base64Coder(const Base64Coder&) = delete;
    Base64Coder& operator=(const Base64Coder&) = delete;

    // Encodes the bytes of a NUL-terminated string; null counts as empty.
    virtual void Encode(const char* text);
    // Keeps a copy of the bytes in the decoded buffer and writes their Base64 text, always
    // NUL-terminated, to the encoded buffer.
    virtual void Encode(const std::uint8_t* bytes, std::uint32_t count);
    // Decodes a NUL-terminated text; null counts as empty. Returns the decoded byte count.
    virtual std::uint32_t Decode(const char* text);
    // Keeps a copy of the characters in the encoded buffer and writes the bytes to the decoded
    // buffer. The count is 3 per complete group of 4 characters plus the number of characters
    // of a short last group, less the "=" at the very end, never below zero.
    virtual std::uint32_t Decode(const char* chars, std::uint32_t count);

    // The buffers belong to the coder and stay valid until its next operation; both are null
    // before the first one. Bytes past the size in use read zero and are not to be written.
    virtual std::uint8_t* DecodedMessage();
    virtual char* EncodedMessage();

    // Make room for n bytes (plus a zero after them), zero the whole buffer, size 0.
    // Buffers only grow, to the next multiple of 4096 above n.
    virtual void AllocEncode(std::uint32_t n);
    virtual void AllocDecode(std::uint32_t n);
    virtual void SetEncodeBuffer(const char* chars, std::uint32_t count);
    virtual void SetDecodeBuffer(const std::uint8_t* bytes, std::uint32_t count);

    // The Base64 text of the bytes, or nothing for empty input.
    virtual std::optional<std::string> EncodeToString(const std::uint8_t* bytes,
                                                      std::uint32_t count);
    // The bytes of a NUL-terminated text; empty when there is no output.
    virtual std::vector<std::uint8_t> DecodeToBytes(const char* text);

    // Single steps, for coders that replace one of them (see Steps::kPerQuantum).
    // 3 bytes of the quantum -> 4 characters; count 1 pads the last two, count 2 the last one.
    virtual void EncodeQuantum(const Quantum& quantum, std::span<char, 4> out) const;
    // 4 table values -> 3 bytes.
    virtual void DecodeQuantum(const Quantum& quantum, std::span<std::uint8_t, 3> out) const;
    // 8-to-6-bit split.
    virtual void EncodeRaw(std::span<const std::uint8_t, 3> in,
                           std::span<std::uint8_t, 4> out) const;
    // 6-to-8-bit join, each value masked to the bits it contributes.
    virtual void DecodeRaw(std::span<const std::uint8_t, 4> in,
                           std::span<std::uint8_t, 3> out) const;
    // Codes 7 to 13 and the space. The coder itself never skips white space.
    virtual bool IsWhitespace(char c) const;

    std::uint32_t EncodedSize() const { return encoded_size_; }
    std::uint32_t DecodedSize() const { return decoded_size_; }
    std::uint32_t EncodedCapacity() const { return encoded_.capacity(); }
    std::uint32_t DecodedCapacity() const { return decoded_.capacity(); }

    // Same results as Encode / Decode, straight into a string.
    static std::string EncodeBytes(std::string_view bytes);
    static std::string DecodeText(std::string_view text);

  protected:
    enum class Steps {
        // Whole groups through the built-in tables; the quantum and raw steps are not called.
        kTableDriven,
        // Every group through the virtual EncodeQuantum / DecodeQuantum and every buffer change
        // through the virtual Alloc / Set operations. A coder that replaces any step uses this.
        kPerQuantum,
    };

    explicit Base64Coder(Steps steps);

  private:
    void EncodeByTable(const std::uint8_t* bytes, std::uint32_t count);
    void EncodeByQuanta(const std::uint8_t* bytes, std::uint32_t count);
    std::uint32_t DecodeByTable(const char* chars, std::uint32_t count);
    std::uint32_t DecodeByQuanta(const char* chars, std::uint32_t count);
    // Caller data that lives in one of the coder's own buffers (a coder may be handed its own
    // output) is copied out first, as those buffers are cleared or replaced before it is read.
    const void* Detach(const void* data, std::uint32_t count,
                       std::vector<std::uint8_t>& holder) const;

    Steps steps_;
    ZeroedBuffer decoded_;
    ZeroedBuffer encoded_;
    std::uint32_t decoded_size_ = 0;
    std::uint32_t encoded_size_ = 0;
};

}  // namespace quillbox
