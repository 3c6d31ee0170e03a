// A certificate's subject or issuer name as its attributes in encoded order, with the two
// views the filter functions use: one attribute by dotted OID, and the whole name in simple
// form.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <openssl/types.h>

namespace quillbox {

struct NameAttribute {
    std::string oid;    // dotted decimal
    std::string value;  // UTF-8
    int rdn = 0;        // index of the relative distinguished name that holds it
};

class DistinguishedName {
  public:
    DistinguishedName() = default;
    explicit DistinguishedName(std::vector<NameAttribute> attributes);
    static DistinguishedName FromX509(const X509_NAME* name);

    // The value of the last attribute with the OID, leading blanks skipped; nothing when the
    // name has no such attribute. An empty OID gives the whole name in simple form.
    std::optional<std::string> Attribute(std::string_view oid) const;
    // Values only, separated by ", " (" + " inside one multi-valued RDN); a value with
    // separators, quotes or outer blanks is quoted, inner quotes doubled.
    std::string SimpleForm() const;
    // "OID=value" pairs separated by "; ", values quoted as in the simple form; for logs.
    std::string OidForm() const;

    const std::vector<NameAttribute>& Attributes() const { return attributes_; }

  private:
    std::vector<NameAttribute> attributes_;
};

}  // namespace quillbox
