#include "enroll/password_dialog.h"

#include <algorithm>

#include "core/globals.h"
#include "core/identity.h"
#include "core/message_ids.h"
#include "core/messages/messages.h"

namespace quillbox::enroll {
namespace {

bool PrintableAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

}  // namespace

ui::PasswordRequest CPasswordDlg::Request() const {
    ui::PasswordRequest request;
    request.caption = BoxCaption(LoadMessage(msg::kPrivateKeyPasswordTitle));
    request.passwordLabel = LoadMessage(msg::kPasswordLabel);
    request.confirmLabel = LoadMessage(msg::kConfirmPasswordLabel);
    request.confirmShown = mode_ == kNewPassword;
    request.maxChars = kPasswordFieldChars;
    request.okText = LoadMessage(msg::kOk);
    request.cancelText = LoadMessage(msg::kCancel);
    return request;
}

int CPasswordDlg::Refusal(std::string_view password, std::string_view confirmation) const {
    if (password.empty()) {
        return msg::kEmptyPassword;
    }
    if (mode_ == kNewPassword && !PrintableAscii(password)) {
        return msg::kPasswordAsciiOnly;
    }
    if (mode_ == kNewPassword && password != confirmation) {
        return msg::kPasswordMismatch;
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
