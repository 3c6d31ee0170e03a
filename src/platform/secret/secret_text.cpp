#include "platform/secret/secret_text.h"

#include <openssl/crypto.h>

#include <utility>

namespace quillbox::secret {

SecretText::SecretText(std::string_view text) {
    if (text.empty()) {
        return;
    }
    // Sized once: growing the vector would leave the first buffer behind unwiped.
    bytes_.reserve(text.size() + 1);
    bytes_.assign(text.begin(), text.end());
    bytes_.push_back('\0');
}

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
    WipeBytes(bytes_.data(), bytes_.capacity());
    bytes_.clear();
}

void WipeString(std::string& text) {
    // The capacity, not the size: a PIN typed and corrected leaves bytes past the end.
    // Growing the string to its capacity overwrites that tail without reallocating.
    text.resize(text.capacity());
    WipeBytes(text.data(), text.size());
    text.clear();
}

void WipeBytes(void* data, std::size_t size) {
    if (data != nullptr && size > 0) {
        OPENSSL_cleanse(data, size);
    }
}

}  // namespace quillbox::secret
