#include "platform/pkcs11/secret_text.h"

#include <openssl/crypto.h>

#include <utility>

namespace quillbox::pkcs11 {

SecretText::SecretText(std::string_view text) : bytes_(text.begin(), text.end()) {}

SecretText::~SecretText() {
    Wipe();
}

SecretText::SecretText(SecretText&& other) noexcept : bytes_(std::move(other.bytes_)) {}

SecretText& SecretText::operator=(SecretText&& other) noexcept {
    if (this != &other) {
        Wipe();
        bytes_ = std::move(other.bytes_);
    }
    return *this;
}

SecretText SecretText::TakeFrom(std::string& text) {
    SecretText secret(text);
    WipeString(text);
    return secret;
}

void SecretText::Wipe() {
    if (bytes_.capacity() > 0) {
        OPENSSL_cleanse(bytes_.data(), bytes_.capacity());
    }
    bytes_.clear();
}

void WipeString(std::string& text) {
    // The capacity, not the size: a PIN typed and corrected leaves bytes past the end.
    // Growing the string to its capacity overwrites that tail without reallocating.
    text.resize(text.capacity());
    if (!text.empty()) {
        OPENSSL_cleanse(text.data(), text.size());
    }
    text.clear();
}

}  // namespace quillbox::pkcs11
