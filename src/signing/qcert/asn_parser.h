// An event-driven walker over DER (and BER indefinite-length) encodings. Each element's
// identifier octet selects one of a few virtual handlers through a fixed table; a subclass
// overrides the handlers for the elements it cares about. Every length is checked against the
// end of the content that holds it, so malformed input ends in AsnParseError, never in a read
// past the buffer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace quillbox::QCertFilter {

// Malformed input. The text is "Error" or "Length parsing Error" for the two classic
// failures, a short description otherwise.
class AsnParseError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class ASN_Parser {
  public:
    // The handler a table entry names, in slot order.
    enum class Slot : std::uint8_t {
        kWalk = 0,
        kOctetString = 1,
        kInteger = 2,
        kGeneralizedTime = 3,
        kDefault = 4,
        kHighIdentifier = 5,
        kObjectIdentifier = 6,
        kEmptyElement = 7,
    };

    // Identifier octets 0..61 are dispatched through the table; 62 and above go to the
    // high-identifier handler.
    static constexpr std::size_t kTableSize = 62;
    // Elements under a high identifier longer than this are refused.
    static constexpr std::size_t kMaxHighElementLength = 100'000'000;
    // Nested walks allowed at once; real certificates use about a dozen.
    static constexpr int kMaxDepth = 64;
    // Arcs of an object identifier that are decoded; the rest is ignored.
    static constexpr int kMaxOidArcs = 15;

    ASN_Parser() = default;
    virtual ~ASN_Parser() = default;
    ASN_Parser(const ASN_Parser&) = delete;
    ASN_Parser& operator=(const ASN_Parser&) = delete;

    // Walks a whole encoding. Throws AsnParseError on malformed input.
    void Parse(std::span<const std::uint8_t> encoding);

    // Slot 0: walks the elements of a content and returns the position after it. A length of
    // 0 walks until an end-of-contents marker, which must lie within the enclosing content.
    virtual const std::uint8_t* Walk(const std::uint8_t* content, std::size_t length);
    // Slots 1 to 7. Each gets the element's content and its length (0 for an indefinite
    // length) and returns the position after the element.
    virtual const std::uint8_t* OnOctetString(const std::uint8_t* content, std::size_t length);
    virtual const std::uint8_t* OnInteger(const std::uint8_t* content, std::size_t length);
    virtual const std::uint8_t* OnGeneralizedTime(const std::uint8_t* content, std::size_t length);
    virtual const std::uint8_t* OnDefault(const std::uint8_t* content, std::size_t length);
    virtual const std::uint8_t* OnHighIdentifier(std::uint8_t identifier,
                                                 const std::uint8_t* content, std::size_t length);
    virtual const std::uint8_t* OnObjectIdentifier(const std::uint8_t* content, std::size_t length);
    virtual void OnEmptyElement(std::uint8_t identifier);

    static Slot TableEntry(std::uint8_t identifier);

    // Dotted decimal text of the last object identifier decoded.
    const std::string& CurrentOid() const { return currentOid_; }
    int Depth() const { return depth_; }
    // End of the content being walked; null during an indefinite-length walk.
    const std::uint8_t* CurrentEnd() const { return currentEnd_; }

    // The dotted text of an object identifier's content octets (at most kMaxOidArcs arcs).
    // Throws AsnParseError for an arc cut off by the end of the content.
    static std::string DecodeOid(std::span<const std::uint8_t> content);

  private:
    const std::uint8_t* Dispatch(std::uint8_t identifier, const std::uint8_t* content,
                                 std::size_t length);

    std::string currentOid_;
    int depth_ = 0;
    const std::uint8_t* currentEnd_ = nullptr;
    // Nothing may be read at or past this point: the end of the innermost content with a
    // known length.
    const std::uint8_t* limit_ = nullptr;
};

}  // namespace quillbox::QCertFilter
