// The certificate request task: a fresh RSA key under a password the person chooses, kept
// in a key file in the profile folder, and the request for it handed to the page.
#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>
#include <string_view>

#include "core/base64/base64_coder.h"
#include "core/globals.h"
#include "core/messages/messages.h"
#include "core/sign_exception.h"
#include "enroll/cert_request_handler.h"
#include "enroll/key_file.h"
#include "enroll/password_dialog.h"
#include "keyforge.h"

namespace quillbox::enroll {
namespace {

constexpr std::int32_t kKeyError = -23;
constexpr std::int32_t kRequestError = -24;
constexpr int kMsgKeyFileName = 170;
constexpr int kMsgKeyFileCreate = 171;
constexpr int kMsgKeyFileWrite = 172;
constexpr int kMsgAttributeTooLong = 183;

constexpr std::string_view kCommonNameOid = "2.5.4.3";

struct AttributeRule {
    std::string_view oid;
    std::string_view label;
    std::size_t limit;  // UTF-8 bytes; 0: not checked
};
constexpr AttributeRule kAttributes[] = {
    {"2.5.4.3", "Common Name", 64},
    {"2.5.4.5", "Device Serial Number", 1024},
    {"2.5.4.6", "Country", 2},
    {"2.5.4.7", "Locality", 128},
    {"2.5.4.8", "State", 128},
    {"2.5.4.9", "Street", 30},
    {"2.5.4.10", "Organization Name", 64},
    {"2.5.4.11", "Organization Unit", 64},
    {"2.5.4.12", "Title", 64},
    {"0.9.2342.19200300.100.1.1", "User ID", 256},
    {"1.2.840.113549.1.9.1", "EMail", 128},
    {"0.9.2342.19200300.100.1.2.25", "Domain Component", 0},
    {"1.2.840.113549.1.9.2", "Unstructured Name", 1024},
    {"1.2.840.113549.1.9.8", "Unstructured Address", 1024},
};

// Dotted decimal arcs only: anything else could smuggle separators into the subject line.
bool IsNumericOid(std::string_view oid) {
    bool digitBefore = false;
    int dots = 0;
    for (const char c : oid) {
        if (c >= '0' && c <= '9') {
            digitBefore = true;
        } else if (c == '.' && digitBefore) {
            digitBefore = false;
            ++dots;
        } else {
            return false;
        }
    }
    return digitBefore && dots > 0 && oid.size() <= 128;
}

// The library splits the subject line at "/" and takes "\" as an escape.
std::string EscapedValue(std::string_view value) {
    std::string escaped;
    for (const char c : value) {
        if (c == '/' || c == '\\') {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

// Decimal; text that is not a number reads as 0 (the default), a number too large for the
// type as -1 (refused).
int KeyLength(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    int bits = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), bits);
    if (error == std::errc::result_out_of_range) {
        return -1;
    }
    return error == std::errc() ? bits : 0;
}

[[noreturn]] void FailKeyFile(int message, const std::string& path, int error) {
    throw CSignException(kKeyError, FormatMessageText(message, {path}), true, error);
}

}  // namespace

void CertRequestHandler::Run(TaskContext& task) {
    // Whatever stops this request early answers as an error without an earlier request.
    task.outcome.result = TaskResult::Error;
    task.outcome.requestText.clear();
    QB_LOG(LogLevel::File, nullptr, "Cache Folder: %s", "");

    int bits = 0;
    if (const xml::XmlNode certinfo = task.document.SelectFirst("//certinfo")) {
        bits = KeyLength(certinfo.Attribute("pvklen").value_or(""));
    }
    // Checked before the person is asked anything: a weak key is refused, and a huge one
    // would keep the person waiting for minutes.
    if (bits != 0 && (bits < KEYFORGE_MIN_BITS || bits > KEYFORGE_MAX_BITS)) {
        QB_LOG(LogLevel::File, nullptr, "Key length refused: %d", bits);
        throw CSignException(kKeyError, {}, false);
    }

    std::string subject;
    std::string commonName;
    for (const xml::XmlNode& attribute : task.document.SelectAll("//certinfo/subject/attribute")) {
        const std::optional<std::string> oid = attribute.Attribute("oid");
        if (!oid || !IsNumericOid(*oid)) {
            QB_LOG(LogLevel::File, nullptr, "Subject attribute without a valid oid");
            return;
        }
        const std::string value = attribute.Text();
        const auto* rule = std::find_if(std::begin(kAttributes), std::end(kAttributes),
                                        [&](const AttributeRule& r) { return r.oid == *oid; });
        if (rule != std::end(kAttributes) && rule->limit != 0 && value.size() > rule->limit) {
            throw CSignException(kRequestError,
                                 FormatMessageText(kMsgAttributeTooLong,
                                                   {*oid, rule->label, std::to_string(value.size()),
                                                    std::to_string(rule->limit)}),
                                 false);
        }
        if (*oid == kCommonNameOid) {
            commonName = value;
        }
        subject += "/" + *oid + "=" + EscapedValue(value);
    }

    CPasswordDlg dialog(CPasswordDlg::kNewPassword);
    if (dialog.DoModal() != CPasswordDlg::kOk) {
        task.outcome.result = TaskResult::Cancel;
        return;
    }
    secret::SecretText password = std::move(dialog.Password());

    secret::SecretText keyText;
    {
        const LibraryBuffer<char> generated(fnGenrsa(password.data(), bits));
        if (!generated || *generated == '\0') {
            throw CSignException(kKeyError);
        }
        keyText = secret::SecretText(generated.get());
        secret::WipeBytes(generated.get(), std::strlen(generated.get()));
    }
    const LibraryBuffer<char> request(
        fnCreateCertReq(password.data(), keyText.data(), subject.c_str()));
    if (!request) {
        throw CSignException(kRequestError);
    }
    int status = KEYFORGE_NO_KEY;
    PublicKey key = ReadPublicKey(password, keyText, status);
    const std::optional<std::filesystem::path> path =
        key.empty() ? std::nullopt : KeyFilePath(commonName, ModulusWord(key));
    if (!path) {
        throw CSignException(kKeyError, LoadMessage(kMsgKeyFileName), false);
    }
    if (const auto failure = WriteDurably(*path, keyText.view(), false)) {
        FailKeyFile(failure->step == WriteStep::Write ? kMsgKeyFileWrite : kMsgKeyFileCreate,
                    path->string(), failure->error);
    }
    QB_LOG(LogLevel::File, nullptr, "Key file: %s", path->string().c_str());

    const std::optional<std::string> encoded =
        task.base64.EncodeToString(reinterpret_cast<const std::uint8_t*>(request.get()),
                                   static_cast<std::uint32_t>(std::strlen(request.get())));
    if (!encoded) {
        throw CSignException(kRequestError);
    }
    // Only now does this key replace the one an earlier request left.
    state_->keyPassword = std::move(password);
    state_->privateKeyText = std::move(keyText);
    state_->heldKey = std::move(key);
    state_->commonName = commonName;
    state_->requestText = request.get();
    state_->savedPfxPath.clear();
    task.outcome.requestText = *encoded;
    task.outcome.result = TaskResult::Ok;
}

}  // namespace quillbox::enroll
