#include "enroll/password_dialog.h"

#include <algorithm>

#include "core/globals.h"
#include "core/identity.h"
#include "core/messages/messages.h"

namespace quillbox::enroll {
namespace {

enum Message : int {
    kOkText = 112,
    kCancelText = 119,
    kPasswordLabel = 160,
    kConfirmLabel = 161,
    kTitle = 162,
    kNoMatch = 164,
    kEmpty = 168,
    kAsciiOnly = 185,
};

bool PrintableAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

}  // namespace

ui::PasswordRequest CPasswordDlg::Request() const {
    ui::PasswordRequest request;
    request.caption = BoxCaption(LoadMessage(kTitle));
    request.passwordLabel = LoadMessage(kPasswordLabel);
    request.confirmLabel = LoadMessage(kConfirmLabel);
    request.confirmShown = mode_ == kNewPassword;
    request.maxChars = kPasswordFieldChars;
    request.okText = LoadMessage(kOkText);
    request.cancelText = LoadMessage(kCancelText);
    return request;
}

int CPasswordDlg::Refusal(std::string_view password, std::string_view confirmation) const {
    if (password.empty()) {
        return kEmpty;
    }
    if (mode_ == kNewPassword && !PrintableAscii(password)) {
        return kAsciiOnly;
    }
    if (mode_ == kNewPassword && password != confirmation) {
        return kNoMatch;
    }
    return 0;
}

int CPasswordDlg::DoModal() {
    result_ = kOk;
    password_.Wipe();
    ui::PasswordRequest request = Request();
    request.accept = [this](std::string_view password, std::string_view confirmation) {
        if (const int refusal = Refusal(password, confirmation); refusal != 0) {
            CGlobals::Get().LogText(LogLevel::Error, nullptr, FormatMessageText(refusal));
            return false;
        }
        return true;
    };
    ui::PasswordAnswer answer = ui::CurrentUserInterface().AskPassword(request);
    // A front end that skipped the check must not smuggle a refused password through.
    if (!answer.confirmed ||
        Refusal(answer.password.view(), mode_ == kNewPassword ? answer.password.view() : "") != 0) {
        result_ = kCancel;
        return result_;
    }
    password_ = std::move(answer.password);
    return result_;
}

}  // namespace quillbox::enroll
