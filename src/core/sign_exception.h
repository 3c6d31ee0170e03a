// The plug-in's error: a code that also selects the user's message, the message text,
// and the system error that was current when the failure was noticed.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

namespace quillbox {

class CSignException : public std::exception {
  public:
    // Takes errno as the last error. Without a text (or with an empty one) the text
    // comes from the code's message; with takeSystemText the system's text for the
    // last error is kept beside it.
    explicit CSignException(std::int32_t code, std::string text = {}, bool takeSystemText = true);
    // The same with an explicit last-error value (an error code a library returned).
    CSignException(std::int32_t code, std::string text, bool takeSystemText, int lastError);

    std::int32_t Code() const { return code_; }
    const std::string& Text() const { return text_; }
    std::uint32_t LastError() const { return lastError_; }
    const std::string& SystemText() const { return systemText_; }

    const char* what() const noexcept override;

  private:
    std::int32_t code_;
    std::string text_;
    std::uint32_t lastError_;
    std::string systemText_;
};

// The message number of a code's own text, if it has one.
std::optional<int> MessageIdForCode(std::int32_t code);

}  // namespace quillbox
