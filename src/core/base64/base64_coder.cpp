#include "core/base64/base64_coder.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "core/base64/base64_kernels.h"

namespace quillbox {
namespace {

const std::uint8_t* AsBytes(const char* text) {
    return reinterpret_cast<const std::uint8_t*>(text);
}

void RequireData(const void* data, std::uint32_t count) {
    if (data == nullptr && count != 0) {
        throw std::invalid_argument("Base64Coder: null data with a non-zero count");
    }
}

void CheckEncodeCount(std::size_t count) {
    if (count > Base64Coder::kMaxEncodeCount) {
        throw std::length_error("Base64Coder: input too large to encode");
    }
}

void CheckDecodeCount(std::size_t count) {
    if (count > Base64Coder::kMaxDecodeCount) {
        throw std::length_error("Base64Coder: text too large to decode");
    }
}

void CheckBufferRequest(std::uint32_t count) {
    if (count > ZeroedBuffer::kMaxRequest) {
        throw std::length_error("Base64Coder: buffer request exceeds 32-bit capacity");
    }
}

// Steps of the table-driven loops: whole groups, small enough for the copy to stay in cache.
constexpr std::uint32_t kEncodeStep = 3 * 8192;
constexpr std::uint32_t kDecodeStep = 4 * 8192;

std::uint32_t TextLength(const char* text) {
    const std::size_t length = std::strlen(text);
    if (length > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("Base64Coder: text longer than 32 bits can count");
    }
    return static_cast<std::uint32_t>(length);
}

}  // namespace

Base64Coder::Base64Coder() : Base64Coder(Steps::kTableDriven) {}

Base64Coder::Base64Coder(Steps steps) : steps_(steps) {}

Base64Coder::~Base64Coder() = default;

void Base64Coder::Encode(const char* text) {
    const char* chars = text != nullptr ? text : "";
    Encode(AsBytes(chars), TextLength(chars));
}

void Base64Coder::Encode(const std::uint8_t* bytes, std::uint32_t count) {
    RequireData(bytes, count);
    CheckEncodeCount(count);
    if (steps_ == Steps::kPerQuantum) {
        EncodeByQuanta(bytes, count);
    } else {
        EncodeByTable(bytes, count);
    }
}

std::uint32_t Base64Coder::Decode(const char* text) {
    const char* chars = text != nullptr ? text : "";
    return Decode(chars, TextLength(chars));
}

std::uint32_t Base64Coder::Decode(const char* chars, std::uint32_t count) {
    RequireData(chars, count);
    CheckDecodeCount(count);
    return steps_ == Steps::kPerQuantum ? DecodeByQuanta(chars, count)
                                        : DecodeByTable(chars, count);
}

std::uint8_t* Base64Coder::DecodedMessage() {
    return decoded_.data();
}

char* Base64Coder::EncodedMessage() {
    return reinterpret_cast<char*>(encoded_.data());
}

void Base64Coder::AllocEncode(std::uint32_t n) {
    encoded_.Reserve(n);
    encoded_.Clear();
    encoded_size_ = 0;
}

void Base64Coder::AllocDecode(std::uint32_t n) {
    decoded_.Reserve(n);
    decoded_.Clear();
    decoded_size_ = 0;
}

void Base64Coder::SetEncodeBuffer(const char* chars, std::uint32_t count) {
    RequireData(chars, count);
    CheckBufferRequest(count);
    std::vector<std::uint8_t> holder;
    const void* source = Detach(chars, count, holder);
    AllocEncode(count);
    encoded_.Reserve(count);  // a replaced AllocEncode may have made less room
    encoded_.PrepareOverwrite(count);
    if (count != 0) {
        std::memcpy(encoded_.data(), source, count);
    }
    encoded_size_ = count;
}

void Base64Coder::SetDecodeBuffer(const std::uint8_t* bytes, std::uint32_t count) {
    RequireData(bytes, count);
    CheckBufferRequest(count);
    std::vector<std::uint8_t> holder;
    const void* source = Detach(bytes, count, holder);
    AllocDecode(count);
    decoded_.Reserve(count);
    decoded_.PrepareOverwrite(count);
    if (count != 0) {
        std::memcpy(decoded_.data(), source, count);
    }
    decoded_size_ = count;
}

std::optional<std::string> Base64Coder::EncodeToString(const std::uint8_t* bytes,
                                                       std::uint32_t count) {
    RequireData(bytes, count);
    if (count == 0) {
        return std::nullopt;
    }
    return EncodeBytes({reinterpret_cast<const char*>(bytes), count});
}

std::vector<std::uint8_t> Base64Coder::DecodeToBytes(const char* text) {
    if (text == nullptr) {
        return {};
    }
    const std::uint32_t count = TextLength(text);
    CheckDecodeCount(count);
    std::vector<std::uint8_t> bytes(base64::DecodeSpan(count));
    bytes.resize(base64::DecodeBlock(text, count, bytes.data()));
    return bytes;
}

void Base64Coder::EncodeQuantum(const Quantum& quantum, std::span<char, 4> out) const {
    std::array<std::uint8_t, 4> values{};
    EncodeRaw(std::span<const std::uint8_t, 3>(quantum.bytes.data(), 3), values);
    for (std::size_t i = 0; i < 4; ++i) {
        out[i] = base64::kAlphabet[values[i] & 0x3F];
    }
    if (quantum.count == 1) {
        out[2] = base64::kPadChar;
    }
    if (quantum.count <= 2) {
        out[3] = base64::kPadChar;
    }
}

void Base64Coder::DecodeQuantum(const Quantum& quantum, std::span<std::uint8_t, 3> out) const {
    std::array<std::uint8_t, 3> bytes{};
    DecodeRaw(quantum.bytes, bytes);
    std::copy(bytes.begin(), bytes.end(), out.begin());
}

void Base64Coder::EncodeRaw(std::span<const std::uint8_t, 3> in,
                            std::span<std::uint8_t, 4> out) const {
    out[0] = static_cast<std::uint8_t>(in[0] >> 2);
    out[1] = static_cast<std::uint8_t>(((in[0] & 0x03) << 4) | (in[1] >> 4));
    out[2] = static_cast<std::uint8_t>(((in[1] & 0x0F) << 2) | (in[2] >> 6));
    out[3] = static_cast<std::uint8_t>(in[2] & 0x3F);
}

void Base64Coder::DecodeRaw(std::span<const std::uint8_t, 4> in,
                            std::span<std::uint8_t, 3> out) const {
    out[0] = static_cast<std::uint8_t>(((in[0] & 0x3F) << 2) | ((in[1] & 0x30) >> 4));
    out[1] = static_cast<std::uint8_t>(((in[1] & 0x0F) << 4) | ((in[2] & 0x3C) >> 2));
    out[2] = static_cast<std::uint8_t>(((in[2] & 0x03) << 6) | (in[3] & 0x3F));
}

bool Base64Coder::IsWhitespace(char c) const {
    const auto code = static_cast<unsigned char>(c);
    return (code >= 7 && code <= 13) || code == ' ';
}

std::string Base64Coder::EncodeBytes(std::string_view bytes) {
    CheckEncodeCount(bytes.size());
    const auto count = static_cast<std::uint32_t>(bytes.size());
    std::string text(base64::EncodedLength(count), '\0');
    base64::EncodeBlock(AsBytes(bytes.data()), count, text.data());
    return text;
}

std::string Base64Coder::DecodeText(std::string_view text) {
    CheckDecodeCount(text.size());
    const auto count = static_cast<std::uint32_t>(text.size());
    std::string bytes(base64::DecodeSpan(count), '\0');
    bytes.resize(
        base64::DecodeBlock(text.data(), count, reinterpret_cast<std::uint8_t*>(bytes.data())));
    return bytes;
}

const void* Base64Coder::Detach(const void* data, std::uint32_t count,
                                std::vector<std::uint8_t>& holder) const {
    if (!decoded_.Overlaps(data, count) && !encoded_.Overlaps(data, count)) {
        return data;
    }
    const auto* first = static_cast<const std::uint8_t*>(data);
    holder.assign(first, first + count);
    return holder.data();
}

void Base64Coder::EncodeByTable(const std::uint8_t* bytes, std::uint32_t count) {
    std::vector<std::uint8_t> holder;
    const auto* source = static_cast<const std::uint8_t*>(Detach(bytes, count, holder));
    // 2 x count leaves room for the text and its terminator: 4 characters per 3 bytes fit in
    // 2 x count from 4 bytes on, and the smallest buffer (4096) holds any shorter text.
    const std::uint32_t length = base64::EncodedLength(count);
    decoded_size_ = 0;
    encoded_size_ = 0;
    decoded_.Reserve(count);
    encoded_.Reserve(std::max(2 * count, length));
    decoded_.PrepareOverwrite(count);
    encoded_.PrepareOverwrite(length);
    // Copy and encode step by step, so that each step's copy is read back from the cache.
    std::uint8_t* const copy = decoded_.data();
    char* const text = EncodedMessage();
    for (std::uint32_t done = 0; done < count;) {
        const std::uint32_t step = std::min(count - done, kEncodeStep);
        std::memcpy(copy + done, source + done, step);
        base64::EncodeBlock(copy + done, step, text + done / 3 * 4);
        done += step;
    }
    decoded_size_ = count;
    encoded_size_ = length;
}

void Base64Coder::EncodeByQuanta(const std::uint8_t* bytes, std::uint32_t count) {
    SetDecodeBuffer(bytes, count);
    AllocEncode(2 * count);
    encoded_size_ = 0;
    const std::uint32_t input = decoded_size_;
    CheckEncodeCount(input);
    const std::uint32_t length = base64::EncodedLength(input);
    encoded_.Reserve(std::max(2 * input, length));
    encoded_.PrepareOverwrite(length);

    const std::uint8_t* in = decoded_.data();
    char* out = EncodedMessage();
    const auto encode = [&](const Quantum& quantum) {
        EncodeQuantum(quantum, std::span<char, 4>(out + encoded_size_, 4));
        encoded_size_ += 4;
    };
    std::uint32_t done = 0;
    for (; input - done >= 3; done += 3) {
        encode(Quantum{{in[done], in[done + 1], in[done + 2], 0}, 3});
    }
    if (done < input) {
        Quantum last;
        last.count = static_cast<std::uint8_t>(input - done);
        std::copy(in + done, in + input, last.bytes.begin());
        encode(last);
    }
}

std::uint32_t Base64Coder::DecodeByTable(const char* chars, std::uint32_t count) {
    std::vector<std::uint8_t> holder;
    const auto* source = static_cast<const char*>(Detach(chars, count, holder));
    const std::uint32_t span = base64::DecodeSpan(count);
    decoded_size_ = 0;
    encoded_size_ = 0;
    encoded_.Reserve(count);
    decoded_.Reserve(std::max(count, span));
    encoded_.PrepareOverwrite(count);
    decoded_.PrepareOverwrite(span);
    char* const copy = EncodedMessage();
    std::uint8_t* const bytes = decoded_.data();
    for (std::uint32_t done = 0; done < count;) {
        const std::uint32_t step = std::min(count - done, kDecodeStep);
        std::memcpy(copy + done, source + done, step);
        base64::DecodeBlock(copy + done, step, bytes + done / 4 * 3);
        done += step;
    }
    encoded_size_ = count;
    decoded_size_ = base64::DecodedSize(copy, count);
    // Bytes of the last group that the trailing "=" took away read zero, like the rest.
    decoded_.ZeroFrom(decoded_size_);
    return decoded_size_;
}

std::uint32_t Base64Coder::DecodeByQuanta(const char* chars, std::uint32_t count) {
    SetEncodeBuffer(chars, count);
    AllocDecode(count);
    decoded_size_ = 0;
    const std::uint32_t input = encoded_size_;
    const std::uint32_t span = base64::DecodeSpan(input);
    decoded_.Reserve(std::max(input, span));
    decoded_.PrepareOverwrite(span);

    const char* in = EncodedMessage();
    std::uint8_t* out = decoded_.data();
    const auto decode = [&](const Quantum& quantum) {
        DecodeQuantum(quantum, std::span<std::uint8_t, 3>(out + decoded_size_, 3));
    };
    std::uint32_t done = 0;
    for (; input - done >= 4; done += 4) {
        Quantum group;
        group.count = 4;
        for (std::uint32_t i = 0; i < 4; ++i) {
            std::uint8_t value = base64::Lookup(in[done + i]);
            // A pad reads as zero only at the end of a group.
            if (i >= 2 && value == base64::kPad) {
                value = 0;
            }
            group.bytes[i] = value;
        }
        decode(group);
        decoded_size_ += 3;
    }
    if (done < input) {
        Quantum last;
        last.count = static_cast<std::uint8_t>(input - done);
        for (std::uint32_t i = 0; i < last.count; ++i) {
            const std::uint8_t value = base64::Lookup(in[done + i]);
            last.bytes[i] = value == base64::kPad ? 0 : value;
        }
        decode(last);
        decoded_size_ += last.count;
    }
    decoded_size_ = base64::SizeAfterPads(decoded_size_, base64::TrailingPads(in, input));
    decoded_.ZeroFrom(decoded_size_);
    return decoded_size_;
}

}  // namespace quillbox
