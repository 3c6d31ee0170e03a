// Feeds arbitrary text to the lenient decoder and checks what must hold for any input: both
// decoding paths agree, nothing past the size is left non-zero, the size rule holds, and
// re-encoding the output gives it back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "core/base64/base64_coder.h"

namespace {

class QuantumCoder : public quillbox::Base64Coder {
  public:
    QuantumCoder() : Base64Coder(Steps::kPerQuantum) {}
};

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool ZeroFrom(const void* buffer, std::uint32_t from, std::uint32_t capacity) {
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    for (std::uint32_t i = from; i < capacity; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

std::uint32_t ExpectedSize(std::string_view text) {
    std::uint32_t pads = 0;
    while (pads < text.size() && text[text.size() - 1 - pads] == '=') {
        ++pads;
    }
    const auto raw = static_cast<std::uint32_t>(text.size() / 4 * 3 + text.size() % 4);
    return raw > pads ? raw - pads : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 20)) {
        return 0;
    }
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto count = static_cast<std::uint32_t>(size);

    // One coder, used twice: a longer text first leaves a larger buffer behind.
    quillbox::Base64Coder fast;
    QuantumCoder slow;
    const std::string_view head = text.substr(0, text.size() / 2);
    for (const std::string_view part : {text, head}) {
        const auto n = static_cast<std::uint32_t>(part.size());
        const std::uint32_t got = fast.Decode(part.data(), n);
        Check(got == slow.Decode(part.data(), n));
        Check(got == ExpectedSize(part));
        Check(got == fast.DecodedSize() && n == fast.EncodedSize());
        Check(fast.DecodedCapacity() > got && fast.EncodedCapacity() > n);
        Check(fast.DecodedCapacity() % 4096 == 0 && fast.EncodedCapacity() % 4096 == 0);
        Check(std::memcmp(fast.EncodedMessage(), part.data(), n) == 0);
        Check(ZeroFrom(fast.EncodedMessage(), n, fast.EncodedCapacity()));
        Check(ZeroFrom(fast.DecodedMessage(), got, fast.DecodedCapacity()));
        Check(std::memcmp(fast.DecodedMessage(), slow.DecodedMessage(), fast.DecodedCapacity()) ==
              0);
        const std::string helper = quillbox::Base64Coder::DecodeText(part);
        Check(helper.size() == got && std::memcmp(helper.data(), fast.DecodedMessage(), got) == 0);
    }

    // Whatever came out, encoding it and decoding the text gives it back.
    fast.Decode(text.data(), count);
    const std::string bytes(reinterpret_cast<const char*>(fast.DecodedMessage()),
                            fast.DecodedSize());
    fast.Encode(fast.DecodedMessage(), fast.DecodedSize());
    slow.Encode(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                static_cast<std::uint32_t>(bytes.size()));
    Check(fast.EncodedSize() == (bytes.size() + 2) / 3 * 4);
    Check(std::strlen(fast.EncodedMessage()) == fast.EncodedSize());
    Check(std::memcmp(fast.EncodedMessage(), slow.EncodedMessage(), fast.EncodedCapacity()) == 0);
    Check(quillbox::Base64Coder::EncodeBytes(bytes) == fast.EncodedMessage());
    Check(quillbox::Base64Coder::DecodeText(fast.EncodedMessage()) == bytes);

    // The input read as plain bytes round-trips as well.
    fast.Encode(data, count);
    Check(quillbox::Base64Coder::DecodeText({fast.EncodedMessage(), fast.EncodedSize()}) == text);
    return 0;
}
