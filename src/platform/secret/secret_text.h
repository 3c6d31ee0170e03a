// A secret (a PIN, a password) in a buffer this program owns, overwritten before the memory
// is given back. Move-only, so that no copy is made by accident.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillbox::secret {

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

    // Always followed by a NUL, for C interfaces that want one.
    const char* data() const { return bytes_.empty() ? "" : bytes_.data(); }
    std::size_t size() const { return bytes_.empty() ? 0 : bytes_.size() - 1; }
    bool empty() const { return size() == 0; }
    std::string_view view() const { return {data(), size()}; }
    void Wipe();

  private:
    std::vector<char> bytes_;  // the text and its NUL, or nothing
};

// Overwrites every byte a string holds, then empties it.
void WipeString(std::string& text);

// Overwrites a buffer the caller owns (one a library handed out, for example).
void WipeBytes(void* data, std::size_t size);

}  // namespace quillbox::secret
