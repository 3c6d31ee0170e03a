#include "net/send/client_certificate_step.h"

#include <memory>
#include <string>

#include "core/globals.h"
#include "core/registry.h"
#include "core/sign_exception.h"
#include "net/send/token_client_key.h"
#include "net/transfer/client_cert_map.h"
#include "platform/ui/user_interface.h"
#include "signing/dialog/penwright_dialog.h"

namespace quillbox::net {
namespace {

constexpr std::string_view kLastLoginCertName = "LastLoginCert";

// The remembered id of the key, when its certificate is still on a token. A certificate
// whose token was taken away would otherwise fail every later send to that server.
const pkcs11::TokenCertificate* RememberedCertificate(ClientCertMap& map, const std::string& key,
                                                      const signing::CertificateStore& store,
                                                      std::string& id) {
    const std::optional<std::string> remembered = map.Find(key);
    if (!remembered)
        return nullptr;
    if (const auto* certificate = store.FindCertificateById(*remembered)) {
        id = *remembered;
        return certificate;
    }
    QB_LOG(LogLevel::File, nullptr, "Client certificate for %s is no longer available",
           key.c_str());
    map.Erase(key);
    return nullptr;
}

}  // namespace

StepAnswer RunClientCertificateStep(IntConn& connection, const signing::TokenStoreOpener& open) {
    ClientCertMap* map = connection.GetClientCertMap();
    if (map == nullptr)
        return StepAnswer::NotHandled;
    const std::string key = CertKeyFromUrl(connection.FullUrl());

    std::shared_ptr<signing::CertificateStore> store;
    try {
        store = std::make_shared<signing::CertificateStore>(open);
    } catch (const CSignException& error) {
        QB_LOG(LogLevel::File, nullptr, "Client certificate: no token store (%s)", error.what());
        return StepAnswer::NotHandled;
    }

    std::string id = connection.ChosenCertificateId();
    const pkcs11::TokenCertificate* certificate =
        id.empty() ? nullptr : store->FindCertificateById(id);
    if (certificate == nullptr)
        certificate = RememberedCertificate(*map, key, *store, id);
    if (certificate == nullptr) {
        signing::CPenwrightDlg dialog;
        dialog.Prepare(signing::DialogPurpose::LoginCertificate, *store, {}, {}, key);
        if (dialog.DoModal(ui::CurrentUserInterface()) != 0)
            return StepAnswer::Cancelled;
        id = dialog.chosenId();
        if (!WriteRegistryValue(RegistryRoot::CurrentUser, kPluginSettingsKey, {},
                                settings::Value(id), kLastLoginCertName))
            QB_LOG(LogLevel::File, nullptr, "Cannot write LastLoginCert");
        certificate = store->FindCertificateById(id);
        if (certificate == nullptr)
            return StepAnswer::NotHandled;
    }

    if (!connection.InstallClientKey(id, std::make_shared<TokenClientKey>(store, *certificate))) {
        QB_LOG(LogLevel::File, nullptr, "Client certificate cannot be used for TLS");
        return StepAnswer::NotHandled;
    }
    // The token stays open, and so logged in, for the control's later sends.
    map->KeepTokensOpen(store);
    return StepAnswer::Handled;
}

void RememberClientCertificate(IntConn& connection) {
    ClientCertMap* map = connection.GetClientCertMap();
    if (map != nullptr && !connection.ChosenCertificateId().empty())
        map->Set(CertKeyFromUrl(connection.FullUrl()), connection.ChosenCertificateId());
}

}  // namespace quillbox::net
