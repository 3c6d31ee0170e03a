#include "signing/filter/distinguished_name.h"

#include <openssl/asn1.h>
#include <openssl/crypto.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

namespace quillbox {

namespace {

std::string ObjectText(const ASN1_OBJECT* object) {
    const int needed = OBJ_obj2txt(nullptr, 0, object, 1);
    if (needed <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(needed) + 1, '\0');
    const int written = OBJ_obj2txt(text.data(), needed + 1, object, 1);
    text.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return text;
}

std::string ValueText(const ASN1_STRING* value) {
    unsigned char* utf8 = nullptr;
    const int length = ASN1_STRING_to_UTF8(&utf8, value);
    if (length < 0 || utf8 == nullptr) {
        return {};
    }
    std::string text(reinterpret_cast<const char*>(utf8), static_cast<std::size_t>(length));
    OPENSSL_free(utf8);
    return text;
}

bool NeedsQuotes(std::string_view value) {
    if (value.empty() || value.front() == ' ' || value.back() == ' ') {
        return true;
    }
    return value.find_first_of(",+=\"\r\n<>#;") != std::string_view::npos;
}

std::string Quoted(std::string_view value) {
    if (!NeedsQuotes(value)) {
        return std::string(value);
    }
    std::string text = "\"";
    for (const char c : value) {
        if (c == '"') {
            text += '"';
        }
        text += c;
    }
    text += '"';
    return text;
}

template <typename Render>
std::string Join(const std::vector<NameAttribute>& attributes, std::string_view separator,
                 Render render) {
    std::string text;
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        if (i > 0) {
            text +=
                attributes[i].rdn == attributes[i - 1].rdn ? std::string_view(" + ") : separator;
        }
        text += render(attributes[i]);
    }
    return text;
}

}  // namespace

DistinguishedName::DistinguishedName(std::vector<NameAttribute> attributes)
    : attributes_(std::move(attributes)) {}

DistinguishedName DistinguishedName::FromX509(const X509_NAME* name) {
    std::vector<NameAttribute> attributes;
    if (name == nullptr) {
        return DistinguishedName();
    }
    const int count = X509_NAME_entry_count(name);
    attributes.reserve(static_cast<std::size_t>(count > 0 ? count : 0));
    for (int i = 0; i < count; ++i) {
        const X509_NAME_ENTRY* entry = X509_NAME_get_entry(name, i);
        attributes.push_back({ObjectText(X509_NAME_ENTRY_get_object(entry)),
                              ValueText(X509_NAME_ENTRY_get_data(entry)),
                              X509_NAME_ENTRY_set(entry)});
    }
    return DistinguishedName(std::move(attributes));
}

std::optional<std::string> DistinguishedName::Attribute(std::string_view oid) const {
    if (oid.empty()) {
        return SimpleForm();
    }
    // Looked up structurally, so a value that itself reads "; 2.5.4.3=..." cannot pose as
    // another attribute, and a value holding a semicolon is returned whole.
    for (auto it = attributes_.rbegin(); it != attributes_.rend(); ++it) {
        if (it->oid == oid) {
            const std::size_t start = it->value.find_first_not_of(' ');
            return start == std::string::npos ? std::string() : it->value.substr(start);
        }
    }
    return std::nullopt;
}

std::string DistinguishedName::SimpleForm() const {
    return Join(attributes_, ", ", [](const NameAttribute& a) { return Quoted(a.value); });
}

std::string DistinguishedName::OidForm() const {
    return Join(attributes_, "; ",
                [](const NameAttribute& a) { return a.oid + "=" + Quoted(a.value); });
}

}  // namespace quillbox
