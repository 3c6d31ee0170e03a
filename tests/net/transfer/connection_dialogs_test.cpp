#include "net/transfer/connection_dialogs.h"

#include <gtest/gtest.h>

#include "core/messages/messages.h"

namespace quillbox::net {
namespace {

TEST(ConnectionDialogsTest, WarningsNameTheHostAndOnlyCertificateProblemsWarn) {
    SetLanguage("en");
    using http::TransferError;
    for (auto error : {TransferError::CertNameInvalid, TransferError::CertDateInvalid,
                       TransferError::CertUnknownAuthority, TransferError::CertRevocationFailed,
                       TransferError::RedirectNeedsConfirmation}) {
        const auto request = CertificateWarningFor(error, "box.example");
        ASSERT_TRUE(request);
        EXPECT_NE(request->problem.find("box.example"), std::string::npos) << request->problem;
    }
    EXPECT_FALSE(CertificateWarningFor(TransferError::Other, "h"));
    EXPECT_FALSE(CertificateWarningFor(TransferError::ClientCertNeeded, "h"));
    EXPECT_NE(CredentialsRequestFor("srv.example", false, "").prompt.find("srv.example"),
              std::string::npos);
}

}  // namespace
}  // namespace quillbox::net
