// A secret (a PIN) in a buffer this program owns, overwritten before the memory is given back.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillbox::pkcs11 {

class SecretText {
  public:
    SecretText() = default;
    explicit SecretText(std::string_view text);
    ~SecretText();
    SecretText(SecretText&& other) noexcept;
    SecretText& operator=(SecretText&& other) noexcept;
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;

    // Takes the text and overwrites the string it came from (its whole capacity).
    static SecretText TakeFrom(std::string& text);

    const char* data() const { return bytes_.data(); }
    std::size_t size() const { return bytes_.size(); }
    bool empty() const { return bytes_.empty(); }
    void Wipe();

  private:
    std::vector<char> bytes_;
};

// Overwrites every byte a string holds, then empties it.
void WipeString(std::string& text);

}  // namespace quillbox::pkcs11
