#include "net/send/send_auth_steps.h"

#include <mutex>

#include "net/send/client_certificate_step.h"
#include "net/send/data_box_login.h"
#include "net/send/data_box_settings.h"

namespace quillbox::net {

std::vector<std::string> SendAuthSteps::TrustedDomainSuffixes() {
    return DataBoxDomainSuffixes();
}

StepAnswer SendAuthSteps::ClientCertificate(IntConn& connection) {
    return RunClientCertificateStep(connection, openTokens_);
}

StepAnswer SendAuthSteps::DataBoxLogin(IntConn& connection, NetStatusCallback callback) {
    return RunDataBoxLogin(connection, callback);
}

void SendAuthSteps::ExchangeSucceeded(IntConn& connection) {
    RememberClientCertificate(connection);
}

void InstallSendAuthSteps(const signing::TokenStoreOpener& openTokens) {
    static std::once_flag once;
    std::call_once(once, [&] {
        static SendAuthSteps steps(openTokens);
        SetServerAuthSteps(&steps);
    });
}

}  // namespace quillbox::net
