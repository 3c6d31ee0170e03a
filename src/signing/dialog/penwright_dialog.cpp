#include "signing/dialog/penwright_dialog.h"

#include <algorithm>
#include <ctime>
#include <utility>

#include "core/globals.h"
#include "core/identity.h"
#include "core/message_ids.h"
#include "core/messages/messages.h"
#include "core/registry.h"
#include "core/utf.h"
#include "signing/engine/certificate_store.h"
#include "signing/engine/short_date.h"
#include "signing/filter/certificate_entry.h"
#include "signing/filter/filter_evaluator.h"

namespace quillbox::signing {

namespace {

constexpr std::string_view kLastSignCert = "LastSignCert";
constexpr std::string_view kLastLoginCert = "LastLoginCert";
constexpr std::string_view kShowAllCerts = "ShowAllCerts";

// The store links a certificate to its key when it is listed, so a missing key has no
// error code of its own. The lines carry the code the certificate property lookup has
// always reported for "no key provider information" (CRYPT_E_NOT_FOUND, 0x80092004),
// so logs read the same for supporters whatever the platform.
constexpr int kNoPrivateKeyError = static_cast<int>(0x80092004u);

bool Debugging() {
    return CGlobals::Get().DebugFlag();
}

std::string RememberedId(DialogPurpose purpose) {
    const std::string_view name =
        purpose == DialogPurpose::ChooseCertificate || purpose == DialogPurpose::Sign
            ? kLastSignCert
            : kLastLoginCert;
    std::string id;
    if (!ReadRegistryValue(RegistryRoot::CurrentUser, kPluginSettingsKey, {}, &id, nullptr, name)) {
        id.clear();
    }
    return id;
}

std::string DialogTitle(DialogPurpose purpose, std::string_view serverName) {
    switch (purpose) {
        case DialogPurpose::ChooseCertificate:
            return LoadMessage(msg::kChooseCertificate);
        case DialogPurpose::Sign:
            return LoadMessage(msg::kSignData);
        case DialogPurpose::LoginCertificate:
            break;
    }
    return LoadMessage(msg::kLogInTo) + " " + std::string(serverName);
}

}  // namespace

CPenwrightDlg::CPenwrightDlg(PreviewLoader previewLoader)
    : previewLoader_(std::move(previewLoader)) {}

void CPenwrightDlg::Prepare(DialogPurpose purpose, const CertificateStore& store,
                            std::string filter, std::string previewUrl, std::string serverName) {
    purpose_ = purpose;
    store_ = &store;
    filter_ = std::move(filter);
    previewUrl_ = std::move(previewUrl);
    serverName_ = std::move(serverName);
    result_ = 0;
    previewLoaded_ = false;
    previewText_.clear();
    BuildTexts();
}

void CPenwrightDlg::BuildTexts() {
    texts_.caption = BoxCaption(DialogTitle(purpose_, serverName_));
    texts_.listPage = LoadMessage(msg::kCertificatesList);
    texts_.previewPage = LoadMessage(msg::kDataBeingSigned);
    texts_.columns = {LoadMessage(msg::kIssuedTo),     LoadMessage(msg::kIssuedBy),
                      LoadMessage(msg::kIssueDate),    LoadMessage(msg::kExpirationDate),
                      LoadMessage(msg::kFriendlyName), "Hash SHA1"};
    texts_.showAll = LoadMessage(msg::kShowAllCertificates);
    texts_.emptyList = LoadMessage(msg::kNoSuitableCertificate);
    texts_.previewFailed = LoadMessage(msg::kPreviewNotLoaded);
    texts_.confirm = LoadMessage(purpose_ == DialogPurpose::Sign ? msg::kSign : msg::kOk);
    texts_.view = LoadMessage(msg::kView);
    texts_.cancel = LoadMessage(msg::kCancel);
}

int CPenwrightDlg::DoModal(ui::UserInterface& ui) {
    BuildTexts();
    rows_.clear();
    selection_.reset();
    chosenId_.clear();
    result_ = 0;
    finished_ = false;
    failure_ = nullptr;

    ui.RunCertificateChooser(*this);

    if (failure_) {
        std::rethrow_exception(std::exchange(failure_, nullptr));
    }
    if (!finished_) {
        Finish(1);  // the window went away without an answer: as closing it
    }
    return result_;
}

void CPenwrightDlg::FillCertificateList() {
    const std::string remembered = RememberedId(purpose_);
    std::vector<ui::CertificateRow> rows;
    selection_.reset();
    rows_.clear();
    if (store_ == nullptr) {
        return;
    }

    const std::uint16_t language = EffectiveLanguage();
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    for (const pkcs11::TokenCertificate& certificate : store_->Certificates()) {
        std::optional<CertificateEntry> entry = CertificateEntry::FromDer(certificate.der);
        if (!entry) {
            if (Debugging()) {
                QB_LOG(LogLevel::File, nullptr, "Certificate: unreadable (%zu bytes), skipped",
                       certificate.der.size());
            }
            continue;
        }
        entry->friendlyName = certificate.label;
        entry->hasPrivateKey = certificate.hasPrivateKey;

        const std::string from = ShortDate(entry->notBefore, language);
        const std::string to = ShortDate(entry->notAfter, language);
        const char* name = entry->displayName.c_str();
        if (!entry->TimeValid(now)) {
            if (Debugging()) {
                QB_LOG(LogLevel::File, nullptr, "Certificate: %s (%s - %s), not valid", name,
                       from.c_str(), to.c_str());
            }
            continue;
        }
        if (!entry->hasPrivateKey) {
            if (Debugging()) {
                QB_LOG(LogLevel::File, nullptr, "Certificate: PK not available (err = %d)",
                       kNoPrivateKeyError);
                QB_LOG(LogLevel::File, nullptr,
                       "Certificate: %s (%s - %s), PK not available (err = %d)", name, from.c_str(),
                       to.c_str(), kNoPrivateKeyError);
            }
            continue;
        }
        if (!showAll_ && (entry->KeyUsageByte() & kKeyUsageNonRepudiation) == 0) {
            if (Debugging()) {
                QB_LOG(LogLevel::File, nullptr,
                       "Certificate: %s (%s - %s), without Non Repundation Usage", name,
                       from.c_str(), to.c_str());
            }
            continue;
        }
        if (!FilterAccepts(*entry, filter_)) {
            if (Debugging()) {
                QB_LOG(LogLevel::File, nullptr, "Certificate: %s (%s - %s), filtered out (%s)",
                       name, from.c_str(), to.c_str(), filter_.c_str());
            }
            continue;
        }
        if (Debugging()) {
            QB_LOG(LogLevel::File, nullptr, "Certificate: %s (%s - %s), OK", name, from.c_str(),
                   to.c_str());
        }
        rows.push_back({entry->displayName, entry->issuerName, from, to, entry->friendlyName,
                        entry->certificateId});
    }

    // Sorted as the list control sorts: by UTF-16 code units, letter case counts. Stable,
    // so rows of equal names keep the store's order.
    std::vector<std::pair<std::u16string, std::size_t>> keys;
    keys.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        keys.emplace_back(Utf8ToUtf16(rows[i].displayName), i);
    }
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    rows_.reserve(rows.size());
    for (const auto& key : keys) {
        rows_.push_back(std::move(rows[key.second]));
    }

    if (!remembered.empty()) {
        const auto found = std::find_if(
            rows_.begin(), rows_.end(),
            [&](const ui::CertificateRow& row) { return row.certificateId == remembered; });
        if (found != rows_.end()) {
            selection_ = static_cast<std::size_t>(found - rows_.begin());
        }
    }
    // Without a remembered certificate the first row is selected, so the keyboard starts
    // on a row: Enter confirms it, Down moves to the second.
    if (!selection_ && !rows_.empty()) {
        selection_ = 0;
    }
}

template <typename Action>
void CPenwrightDlg::Guarded(Action&& action) noexcept {
    if (finished_) {
        return;  // the window is closing; late clicks change nothing
    }
    try {
        action();
    } catch (...) {
        failure_ = std::current_exception();
        Finish(1);
    }
}

void CPenwrightDlg::Finish(int result) {
    result_ = result;
    finished_ = true;
}

const ui::CertificateChooserTexts& CPenwrightDlg::Texts() const {
    return texts_;
}

bool CPenwrightDlg::HasPreviewPage() const {
    return !previewUrl_.empty();
}

void CPenwrightDlg::Open() {
    Guarded([&] {
        std::uint32_t showAll = 0;
        if (!ReadRegistryValue(RegistryRoot::CurrentUser, kPluginSettingsKey, {}, nullptr, &showAll,
                               kShowAllCerts)) {
            showAll = 0;
        }
        showAll_ = showAll != 0;
        FillCertificateList();
    });
}

const std::vector<ui::CertificateRow>& CPenwrightDlg::Rows() const {
    return rows_;
}

std::optional<std::size_t> CPenwrightDlg::Selection() const {
    return selection_;
}

bool CPenwrightDlg::ShowAll() const {
    return showAll_;
}

bool CPenwrightDlg::CanConfirm() const {
    return selection_.has_value();
}

void CPenwrightDlg::Select(std::optional<std::size_t> row) {
    Guarded([&] {
        if (row && *row < rows_.size()) {
            selection_ = row;
        } else {
            selection_.reset();
        }
    });
}

void CPenwrightDlg::SetShowAll(bool showAll) {
    Guarded([&] {
        showAll_ = showAll;
        FillCertificateList();
    });
}

void CPenwrightDlg::Confirm() {
    Guarded([&] {
        if (!selection_) {
            return;  // the button is disabled without a selection
        }
        chosenId_ = rows_[*selection_].certificateId;
        WriteRegistryValue(RegistryRoot::CurrentUser, kPluginSettingsKey, {},
                           std::uint32_t{showAll_ ? 1u : 0u}, kShowAllCerts);
        Finish(0);
    });
}

void CPenwrightDlg::DoubleClick(std::size_t row) {
    Guarded([&] {
        if (row < rows_.size()) {
            selection_ = row;  // the click selected the row under it
        }
        if (!selection_) {
            return;
        }
        // Unlike the confirm button, a double-click leaves the remembered check box alone.
        chosenId_ = rows_[*selection_].certificateId;
        Finish(0);
    });
}

void CPenwrightDlg::Cancel() {
    Guarded([&] { Finish(1); });
}

void CPenwrightDlg::View() {
    Guarded([&] {
        if (selection_ && store_ != nullptr) {
            store_->ViewCertificate(rows_[*selection_].certificateId);
        }
    });
}

std::optional<std::string> CPenwrightDlg::PreviewShown() {
    if (previewLoaded_) {
        return previewText_;
    }
    Guarded([&] {
        if (previewUrl_.empty() || !previewLoader_) {
            return;
        }
        QB_LOG(LogLevel::File, nullptr, "Preview URL: %s", previewUrl_.c_str());
        std::optional<std::string> data = previewLoader_(previewUrl_);
        if (!data || data->empty()) {
            return;  // tried again the next time the page is shown
        }
        // The server's bytes are shown, never interpreted: invalid sequences become U+FFFD.
        previewText_ = ToValidUtf8(*data);
        previewLoaded_ = true;
    });
    if (previewLoaded_) {
        return previewText_;
    }
    return std::nullopt;
}

bool CPenwrightDlg::Finished() const {
    return finished_;
}

}  // namespace quillbox::signing
