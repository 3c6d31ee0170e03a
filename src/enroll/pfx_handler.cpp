// The PFX task: the issued certificate and the key of the request it answers, packed into a
// PFX file where the person chooses. The key file is the person's only copy of the key, so
// it goes only once the PFX is known to be safe on disk.
#include "enroll/pfx_handler.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <vector>

#include "core/globals.h"
#include "core/identity.h"
#include "core/message_ids.h"
#include "core/messages/messages.h"
#include "core/sign_exception.h"
#include "enroll/key_file.h"
#include "enroll/password_dialog.h"
#include "keyforge.h"

namespace quillbox::enroll {
namespace {

constexpr std::int32_t kPfxError = -25;
// An encrypted 8192-bit key is under 7 KiB; anything much larger is not a key file.
constexpr std::size_t kMaxKeyFileBytes = 64 * 1024;

[[noreturn]] void Fail(int message, const std::string& path, int error) {
    throw CSignException(kPfxError, FormatMessageText(message, {path}), true, error);
}

struct Candidate {
    PublicKey key;
    std::filesystem::path keyFile;
};

// The certificate of the text whose key the state holds; else the first whose key file
// exists; else the last. A chain may come leaf first or last.
Candidate ChooseCertificate(const std::string& certificateText, const PublicKey& heldKey) {
    const int count = fnCertificateCount(certificateText.c_str());
    std::vector<Candidate> candidates;
    for (int i = 0; i < count; ++i) {
        int length = 0;
        const LibraryBuffer<unsigned char> der(
            fnCertificatePublicKey(certificateText.c_str(), i, &length));
        const LibraryBuffer<char> name(fnCertificateCommonName(certificateText.c_str(), i));
        PublicKey key = der ? PublicKey(der.get(), der.get() + length) : PublicKey();
        const std::uint32_t word = ModulusWord(key);
        const auto path = word != 0 ? KeyFilePath(name ? name.get() : "", word) : std::nullopt;
        if (path) {
            candidates.push_back({std::move(key), *path});
        }
    }
    if (candidates.empty()) {
        throw CSignException(kPfxError, LoadMessage(msg::kNoKeyFileName), false);
    }
    for (const Candidate& candidate : candidates) {
        if (!heldKey.empty() && candidate.key == heldKey) {
            return candidate;
        }
    }
    for (const Candidate& candidate : candidates) {
        struct stat info {};
        if (lstat(candidate.keyFile.c_str(), &info) == 0) {
            return candidate;
        }
    }
    return candidates.back();
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code errorA, errorB;
    const std::filesystem::path canonicalA = std::filesystem::weakly_canonical(a, errorA);
    const std::filesystem::path canonicalB = std::filesystem::weakly_canonical(b, errorB);
    return (!errorA && !errorB && canonicalA == canonicalB) ||
           std::filesystem::equivalent(a, b, errorA);
}

ui::SaveFileRequest SaveRequest() {
    ui::SaveFileRequest request;
    request.caption = BoxCaption(LoadMessage(msg::kSavePfxTitle));
    request.filters = {{LoadMessage(msg::kPfxFiles), {"*.pfx", "*.p12"}},
                       {LoadMessage(msg::kAllFiles), {"*"}}};
    request.defaultSuffix = "pfx";
    request.language = IsoLanguageCode();
    return request;
}

bool ConfirmReplace(const std::string& path) {
    ui::MessageBoxRequest box;
    box.icon = ui::BoxIcon::Question;
    box.buttons = ui::BoxButtons::YesNo;
    box.caption = BoxCaption(LoadMessage(msg::kSavePfxTitle));
    box.text = FormatMessageText(msg::kReplaceFile, {path});
    box.defaultAnswer = ui::BoxAnswer::No;
    box.buttonTexts.yes = LoadMessage(msg::kYes);
    box.buttonTexts.no = LoadMessage(msg::kNo);
    return ui::CurrentUserInterface().ShowMessageBox(box) == ui::BoxAnswer::Yes;
}

}  // namespace

void PfxHandler::Run(TaskContext& task) {
    task.outcome.result = TaskResult::Error;
    EnrollState& state = *state_;
    if (!state.savedPfxPath.empty()) {
        throw CSignException(kPfxError,
                             FormatMessageText(msg::kPfxAlreadySaved, {state.savedPfxPath}), false);
    }
    if (const xml::XmlNode given = task.document.SelectFirst("//publickey")) {
        state.certificateText = given.Text();
    }
    const Candidate certificate = ChooseCertificate(state.certificateText, state.heldKey);
    const std::string keyFile = certificate.keyFile.string();

    secret::SecretText password;
    secret::SecretText keyText;
    if (!state.heldKey.empty() && state.heldKey == certificate.key) {
        // The request of this control made the key: no file to read, nothing to ask.
        password = secret::SecretText(state.keyPassword.view());
        keyText = secret::SecretText(state.privateKeyText.view());
    } else {
        std::string bytes;
        int error = 0;
        switch (ReadCapped(certificate.keyFile, kMaxKeyFileBytes, bytes, error)) {
            case ReadStatus::Ok:
                break;
            case ReadStatus::NotFound:
                Fail(msg::kKeyNotFound, keyFile, error);
            case ReadStatus::CannotOpen:
                Fail(msg::kCannotOpenKey, keyFile, error);
            case ReadStatus::Unreadable:
                Fail(msg::kCannotLoadKey, keyFile, error);
        }
        keyText = secret::SecretText::TakeFrom(bytes);
        for (;;) {
            CPasswordDlg dialog(CPasswordDlg::kExistingPassword);
            if (dialog.DoModal() != CPasswordDlg::kOk) {
                task.outcome.result = TaskResult::Cancel;
                return;
            }
            int status = KEYFORGE_NO_KEY;
            const PublicKey key = ReadPublicKey(dialog.Password(), keyText, status);
            if (status == KEYFORGE_BAD_PASSWORD) {
                // Only a wrong password is worth asking again; the person is told why.
                CGlobals::Get().LogText(LogLevel::Error, nullptr,
                                        FormatMessageText(msg::kWrongKeyPassword, {keyFile}));
                continue;
            }
            if (status != KEYFORGE_OK) {
                Fail(msg::kCannotLoadKey, keyFile, 0);
            }
            if (key != certificate.key) {
                Fail(msg::kKeyNotForCertificate, keyFile, 0);
            }
            password = std::move(dialog.Password());
            break;
        }
    }

    int length = 0;
    const LibraryBuffer<unsigned char> pfx(fnMakePfx(
        &length, password.data(), keyText.data(), state.certificateText.c_str(), password.data()));
    if (!pfx || length <= 0) {
        throw CSignException(kPfxError, {}, false);
    }
    const std::string_view bytes(reinterpret_cast<const char*>(pfx.get()),
                                 static_cast<std::size_t>(length));

    std::string destination;
    for (;;) {
        const ui::SaveFileAnswer answer = ui::CurrentUserInterface().AskSaveFile(SaveRequest());
        if (answer.outcome != ui::SaveFileOutcome::Chosen || answer.path.empty()) {
            task.outcome.result = answer.outcome == ui::SaveFileOutcome::Failed
                                      ? TaskResult::Error
                                      : TaskResult::Cancel;
            return;
        }
        destination = answer.path;
        QB_LOG(LogLevel::File, nullptr, "PFX file path: %s", destination.c_str());
        if (SameFile(destination, certificate.keyFile)) {
            // Replacing the key file by the PFX would lose the key if anything went wrong.
            CGlobals::Get().LogText(LogLevel::Error, nullptr,
                                    FormatMessageText(msg::kCannotCreatePfx, {destination}));
            continue;
        }
        struct stat info {};
        if (lstat(destination.c_str(), &info) == 0 && !ConfirmReplace(destination)) {
            continue;
        }
        break;
    }

    if (const auto failure = WriteDurably(destination, bytes, true)) {
        Fail(failure->step == WriteStep::Write ? msg::kCannotSavePfx : msg::kCannotCreatePfx,
             destination, failure->error);
    }
    std::string back;
    int error = 0;
    if (ReadCapped(destination, bytes.size(), back, error) != ReadStatus::Ok || back != bytes ||
        fnCheckPfx(reinterpret_cast<const unsigned char*>(back.data()),
                   static_cast<int>(back.size()), password.data()) != 1) {
        Fail(msg::kCannotSavePfx, destination, error);
    }
    if (unlink(keyFile.c_str()) != 0 && errno != ENOENT) {
        QB_LOG(LogLevel::File, nullptr, "Key file kept: %s", keyFile.c_str());
    }
    state.savedPfxPath = destination;
    state.ReleaseKey();
    task.outcome.result = TaskResult::Ok;
}

}  // namespace quillbox::enroll
