#include "signing/qcert/asn_parser.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace quillbox::QCertFilter {

namespace {

using Slot = ASN_Parser::Slot;

constexpr std::array<Slot, ASN_Parser::kTableSize> MakeTable() {
    std::array<Slot, ASN_Parser::kTableSize> table{};
    table.fill(Slot::kDefault);
    table[2] = table[34] = Slot::kInteger;
    table[4] = Slot::kOctetString;
    table[6] = table[38] = Slot::kObjectIdentifier;
    // SEQUENCE, SET, their constructed forms and the constructed OCTET STRING are walked into.
    table[16] = table[17] = table[36] = table[48] = table[49] = Slot::kWalk;
    table[24] = table[56] = Slot::kGeneralizedTime;
    return table;
}

constexpr std::array<Slot, ASN_Parser::kTableSize> kTable = MakeTable();

// Arcs longer than this are refused rather than converted at quadratic cost.
constexpr std::size_t kMaxArcOctets = 128;

// An unsigned number of any size in base 10^9 limbs, least significant first; only what the
// decimal text of a long arc needs.
class BigArc {
  public:
    void MultiplyAdd(std::uint32_t factor, std::uint32_t addend) {
        std::uint64_t carry = addend;
        for (auto& limb : limbs_) {
            const std::uint64_t value = std::uint64_t{limb} * factor + carry;
            limb = static_cast<std::uint32_t>(value % kBase);
            carry = value / kBase;
        }
        while (carry != 0) {
            limbs_.push_back(static_cast<std::uint32_t>(carry % kBase));
            carry /= kBase;
        }
    }
    // Only called with a value known to be at least `amount`.
    void Subtract(std::uint32_t amount) {
        std::uint64_t borrow = amount;
        for (auto& limb : limbs_) {
            if (borrow == 0) {
                break;
            }
            if (limb >= borrow) {
                limb -= static_cast<std::uint32_t>(borrow);
                borrow = 0;
            } else {
                limb = static_cast<std::uint32_t>(limb + kBase - borrow);
                borrow = 1;
            }
        }
    }
    std::string ToString() const {
        std::size_t top = limbs_.size();
        while (top > 1 && limbs_[top - 1] == 0) {
            --top;
        }
        if (top == 0) {
            return "0";
        }
        std::string text = std::to_string(limbs_[top - 1]);
        for (std::size_t i = top - 1; i-- > 0;) {
            const std::string part = std::to_string(limbs_[i]);
            text.append(9 - part.size(), '0');
            text += part;
        }
        return text;
    }

  private:
    static constexpr std::uint64_t kBase = 1'000'000'000;
    std::vector<std::uint32_t> limbs_;
};

// One base-128 arc starting at `pos`, as decimal text; the first arc of an identifier also
// carries the second one. Advances `pos` past the arc.
std::string ReadArc(std::span<const std::uint8_t> content, std::size_t& pos, bool first) {
    const std::size_t start = pos;
    while (pos < content.size() && (content[pos] & 0x80) != 0) {
        ++pos;
    }
    if (pos == content.size()) {
        throw AsnParseError("Object identifier parsing Error");
    }
    ++pos;
    const std::size_t octets = pos - start;
    if (octets > kMaxArcOctets) {
        throw AsnParseError("Object identifier parsing Error");
    }
    // Nine octets hold 63 bits, which always fit.
    if (octets <= 9) {
        std::uint64_t value = 0;
        for (std::size_t i = start; i < pos; ++i) {
            value = (value << 7) | (content[i] & 0x7F);
        }
        if (!first) {
            return std::to_string(value);
        }
        const std::uint64_t head = std::min<std::uint64_t>(value / 40, 2);
        return std::to_string(head) + "." + std::to_string(value - head * 40);
    }
    BigArc value;
    for (std::size_t i = start; i < pos; ++i) {
        value.MultiplyAdd(128, content[i] & 0x7F);
    }
    if (!first) {
        return value.ToString();
    }
    // At least 2^63, so the first arc is 2.
    value.Subtract(80);
    return "2." + value.ToString();
}

}  // namespace

ASN_Parser::Slot ASN_Parser::TableEntry(std::uint8_t identifier) {
    return identifier < kTableSize ? kTable[identifier] : Slot::kHighIdentifier;
}

void ASN_Parser::Parse(std::span<const std::uint8_t> encoding) {
    if (encoding.empty()) {
        return;
    }
    const std::uint8_t* previousLimit = limit_;
    limit_ = encoding.data() + encoding.size();
    try {
        Walk(encoding.data(), encoding.size());
    } catch (...) {
        limit_ = previousLimit;
        throw;
    }
    limit_ = previousLimit;
}

const std::uint8_t* ASN_Parser::Walk(const std::uint8_t* content, std::size_t length) {
    if (limit_ == nullptr) {
        // Called without Parse: the given length is the only bound there is.
        if (length == 0) {
            return content;
        }
        Parse({content, length});
        return content + length;
    }
    if (depth_ >= kMaxDepth) {
        throw AsnParseError("Nesting too deep");
    }
    if (content > limit_ || length > static_cast<std::size_t>(limit_ - content)) {
        throw AsnParseError("Length parsing Error");
    }

    // Restores the walk state however the walk ends.
    struct State {
        ASN_Parser& parser;
        const std::uint8_t* end;
        const std::uint8_t* limit;
        ~State() {
            --parser.depth_;
            parser.currentEnd_ = end;
            parser.limit_ = limit;
        }
    } state{*this, currentEnd_, limit_};
    ++depth_;

    const bool indefinite = length == 0;
    if (!indefinite) {
        currentEnd_ = content + length;
        limit_ = currentEnd_;
    } else {
        currentEnd_ = nullptr;
    }
    const std::uint8_t* const end = limit_;

    const std::uint8_t* pos = content;
    for (;;) {
        if (pos >= end) {
            if (indefinite) {
                throw AsnParseError("Missing end-of-contents");
            }
            return content + length;
        }

        const std::uint8_t identifier = *pos++;
        if ((identifier & 0x1F) == 0x1F) {
            // High tag number: base-128 octets, bit 8 set on all but the last.
            do {
                if (pos >= end) {
                    throw AsnParseError("Identifier parsing Error");
                }
            } while ((*pos++ & 0x80) != 0);
        }

        if (pos >= end) {
            throw AsnParseError("Length parsing Error");
        }
        const std::uint8_t first = *pos++;
        if (identifier == 0 && indefinite) {
            return pos;  // end-of-contents: identifier 0 and its length octet
        }
        std::size_t elementLength = 0;
        bool indefiniteElement = false;
        if (first < 0x80) {
            elementLength = first;
        } else if (first == 0x80) {
            indefiniteElement = true;
        } else {
            const std::size_t count = first & 0x7F;
            if (count > static_cast<std::size_t>(end - pos)) {
                throw AsnParseError("Length parsing Error");
            }
            for (std::size_t i = 0; i < count; ++i) {
                if (elementLength > (std::numeric_limits<std::size_t>::max() >> 8)) {
                    throw AsnParseError("Length parsing Error");
                }
                elementLength = (elementLength << 8) | *pos++;
            }
        }
        if (elementLength > static_cast<std::size_t>(end - pos)) {
            throw AsnParseError("Length parsing Error");
        }

        const std::uint8_t* next = nullptr;
        if (elementLength == 0 && !indefiniteElement) {
            // Zero-length elements (NULL, empty strings and constructed ones) need no handler.
            OnEmptyElement(identifier);
            next = pos;
        } else if (identifier < kTableSize) {
            next = Dispatch(identifier, pos, elementLength);
        } else {
            next = OnHighIdentifier(identifier, pos, elementLength);
        }
        if (next < pos || next > end) {
            throw AsnParseError("Handler left its content");
        }
        pos = next;
    }
}

const std::uint8_t* ASN_Parser::Dispatch(std::uint8_t identifier, const std::uint8_t* content,
                                         std::size_t length) {
    switch (kTable[identifier]) {
        case Slot::kWalk:
            return Walk(content, length);
        case Slot::kOctetString:
            return OnOctetString(content, length);
        case Slot::kInteger:
            return OnInteger(content, length);
        case Slot::kGeneralizedTime:
            return OnGeneralizedTime(content, length);
        case Slot::kObjectIdentifier:
            return OnObjectIdentifier(content, length);
        case Slot::kHighIdentifier:
            return OnHighIdentifier(identifier, content, length);
        case Slot::kEmptyElement:
            OnEmptyElement(identifier);
            return content + length;
        case Slot::kDefault:
            break;
    }
    return OnDefault(content, length);
}

const std::uint8_t* ASN_Parser::OnOctetString(const std::uint8_t* content, std::size_t length) {
    return content + length;
}

const std::uint8_t* ASN_Parser::OnInteger(const std::uint8_t* content, std::size_t length) {
    // Nothing in a certificate's integers matters here.
    return content + length;
}

const std::uint8_t* ASN_Parser::OnGeneralizedTime(const std::uint8_t* content, std::size_t length) {
    return content + length;
}

const std::uint8_t* ASN_Parser::OnDefault(const std::uint8_t* content, std::size_t length) {
    return content + length;
}

const std::uint8_t* ASN_Parser::OnHighIdentifier(std::uint8_t identifier,
                                                 const std::uint8_t* content, std::size_t length) {
    if (length > kMaxHighElementLength) {
        throw AsnParseError("Error");
    }
    // Only constructed elements hold further elements; the content of a primitive one (an
    // implicitly tagged URI or bit string) is not an encoding and is skipped.
    if ((identifier & 0x20) == 0) {
        return OnDefault(content, length);
    }
    return Walk(content, length);
}

const std::uint8_t* ASN_Parser::OnObjectIdentifier(const std::uint8_t* content,
                                                   std::size_t length) {
    currentOid_ = DecodeOid({content, length});
    return content + length;
}

void ASN_Parser::OnEmptyElement(std::uint8_t /*identifier*/) {}

std::string ASN_Parser::DecodeOid(std::span<const std::uint8_t> content) {
    std::string text;
    std::size_t pos = 0;
    // The first subidentifier carries two arcs.
    for (int arcs = 0; pos < content.size() && arcs < kMaxOidArcs; ++arcs) {
        const bool first = arcs == 0;
        if (!first) {
            text += '.';
        }
        text += ReadArc(content, pos, first);
        if (first) {
            ++arcs;
        }
    }
    return text;
}

}  // namespace quillbox::QCertFilter
