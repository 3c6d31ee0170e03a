#include "core/sign_exception.h"

#include <cerrno>

#include "core/messages/messages.h"
#include "platform/system/system_info.h"

namespace quillbox {

namespace {

void StripTrailingLineBreaks(std::string& text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) {
        text.pop_back();
    }
}

}  // namespace

std::optional<int> MessageIdForCode(std::int32_t code) {
    switch (code) {
        case 0:
            return 112;
        case -1:
            return 151;
        case -3:
            return 150;
        case -4:
            return 149;
        case -5:
            return 148;
        case -6:
            return 147;
        case -9:
            return 146;
        case -10:
            return 145;
        case -11:
            return 144;
        case -12:
            return 143;
        case -14:
            return 122;
        case -16:
            return 141;
        case -20:
            return 138;
        case -21:
            return 154;
        case -22:
            return 155;
        case -23:
            return 165;
        case -24:
            return 166;
        case -25:
            return 167;
        case -26:
            return 192;
        case -27:
            return 198;
        default:
            return std::nullopt;
    }
}

CSignException::CSignException(std::int32_t code, std::string text, bool takeSystemText)
    : CSignException(code, std::move(text), takeSystemText, errno) {}

CSignException::CSignException(std::int32_t code, std::string text, bool takeSystemText,
                               int lastError)
    : code_(code), text_(std::move(text)), lastError_(static_cast<std::uint32_t>(lastError)) {
    if (takeSystemText && lastError != 0) {
        systemText_ = sys::SystemErrorText(lastError);
    }
    if (text_.empty()) {
        // "Unknown error" only says something when no system error can speak instead.
        std::optional<int> id = MessageIdForCode(code);
        if (id && !(code == -1 && lastError != 0)) {
            text_ = LoadMessage(*id);
        }
    } else {
        StripTrailingLineBreaks(text_);
    }
}

const char* CSignException::what() const noexcept {
    return !text_.empty() ? text_.c_str() : systemText_.c_str();
}

}  // namespace quillbox
