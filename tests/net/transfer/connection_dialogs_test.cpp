// The connection dialogs' texts in the three languages.
#include "net/transfer/connection_dialogs.h"

#include <gtest/gtest.h>

#include "core/messages/messages.h"

namespace quillbox::net {
namespace {

TEST(ConnectionDialogsTest, WarningNamesProblemAndHostInEachLanguage) {
    for (const char* language : {"en", "cs", "sk"}) {
        SCOPED_TRACE(language);
        ASSERT_TRUE(SetLanguage(language));
        for (auto error :
             {http::TransferError::CertNameInvalid, http::TransferError::CertDateInvalid,
              http::TransferError::CertUnknownAuthority, http::TransferError::CertRevocationFailed,
              http::TransferError::RedirectNeedsConfirmation}) {
            const auto request = CertificateWarningFor(error, "box.example");
            ASSERT_TRUE(request);
            EXPECT_NE(request->problem.find("box.example"), std::string::npos);
            EXPECT_EQ(request->problem.find("???"), std::string::npos);
            EXPECT_FALSE(request->question.empty());
            EXPECT_FALSE(request->yesText.empty());
        }
        EXPECT_FALSE(CertificateWarningFor(http::TransferError::Other, "h"));
        EXPECT_FALSE(CertificateWarningFor(http::TransferError::ClientCertNeeded, "h"));
    }
    SetLanguage("en");
}

TEST(ConnectionDialogsTest, CredentialsNeedAUserName) {
    SetLanguage("cs");
    const auto server = CredentialsRequestFor("srv.example", false, "jana");
    const auto proxy = CredentialsRequestFor("srv.example", true, "");
    EXPECT_NE(server.prompt.find("srv.example"), std::string::npos);
    EXPECT_NE(server.caption, proxy.caption);
    EXPECT_EQ(server.passwordLabel, "Heslo:");
    EXPECT_FALSE(server.Accepts(""));
    EXPECT_TRUE(server.Accepts("x"));
    SetLanguage("en");
}

}  // namespace
}  // namespace quillbox::net
