#include "signing/filter/certificate_fields.h"

#include <cstddef>

namespace quillbox {

namespace {

struct Element {
    std::uint8_t tag = 0;
    std::span<const std::uint8_t> whole;
    std::span<const std::uint8_t> content;
};

// Reads the element at the start of `in` (single identifier octet, definite length of at
// most four octets, as DER certificates have) and advances `in` past it.
std::optional<Element> Next(std::span<const std::uint8_t>& in) {
    if (in.size() < 2 || (in[0] & 0x1F) == 0x1F) {
        return std::nullopt;
    }
    std::size_t header = 2;
    std::size_t length = in[1];
    if (length >= 0x80) {
        const std::size_t count = length & 0x7F;
        if (count == 0 || count > 4 || in.size() < 2 + count) {
            return std::nullopt;
        }
        length = 0;
        for (std::size_t i = 0; i < count; ++i) {
            length = (length << 8) | in[2 + i];
        }
        header += count;
    }
    if (length > in.size() - header) {
        return std::nullopt;
    }
    Element element{in[0], in.first(header + length), in.subspan(header, length)};
    in = in.subspan(header + length);
    return element;
}

std::optional<Element> Expect(std::span<const std::uint8_t>& in, std::uint8_t tag) {
    auto element = Next(in);
    if (!element || element->tag != tag) {
        return std::nullopt;
    }
    return element;
}

constexpr std::uint8_t kInteger = 0x02;
constexpr std::uint8_t kBitString = 0x03;
constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kUtcTime = 0x17;
constexpr std::uint8_t kGeneralizedTime = 0x18;

bool IsTime(const Element& element) {
    return element.tag == kUtcTime || element.tag == kGeneralizedTime;
}

}  // namespace

std::optional<CertificateFields> LocateCertificateFields(std::span<const std::uint8_t> der) {
    auto certificate = Expect(der, kSequence);
    if (!certificate) {
        return std::nullopt;
    }
    std::span<const std::uint8_t> outer = certificate->content;
    auto tbs = Expect(outer, kSequence);
    if (!tbs || !Expect(outer, kSequence) || !Expect(outer, kBitString)) {
        return std::nullopt;
    }

    std::span<const std::uint8_t> in = tbs->content;
    auto first = Next(in);
    if (first && first->tag == 0xA0) {  // [0] version
        first = Next(in);
    }
    if (!first || first->tag != kInteger) {
        return std::nullopt;
    }
    auto signature = Expect(in, kSequence);
    auto issuer = Expect(in, kSequence);
    auto validity = Expect(in, kSequence);
    auto subject = Expect(in, kSequence);
    auto publicKey = Expect(in, kSequence);
    if (!signature || !issuer || !validity || !subject || !publicKey) {
        return std::nullopt;
    }
    std::span<const std::uint8_t> times = validity->content;
    auto notBefore = Next(times);
    auto notAfter = Next(times);
    if (!notBefore || !notAfter || !IsTime(*notBefore) || !IsTime(*notAfter)) {
        return std::nullopt;
    }

    CertificateFields fields{issuer->whole, notBefore->whole, notAfter->whole, subject->whole, {}};
    while (!in.empty()) {
        auto optional = Next(in);
        if (!optional) {
            return std::nullopt;
        }
        if (optional->tag == 0xA3) {  // [3] EXPLICIT Extensions
            std::span<const std::uint8_t> wrapped = optional->content;
            auto extensions = Expect(wrapped, kSequence);
            if (!extensions) {
                return std::nullopt;
            }
            fields.extensions = extensions->whole;
        }
    }
    return fields;
}

}  // namespace quillbox
