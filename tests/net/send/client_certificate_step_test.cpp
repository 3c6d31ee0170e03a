// The client-certificate step's memory of a certificate whose token went away.
#include <gtest/gtest.h>

#include "net/send/client_certificate_step.h"
#include "net/transfer/client_cert_map.h"
#include "net_test_reports.h"
#include "platform/pkcs11/cryptoki_token_store.h"
#include "softhsm_token.h"

namespace quillbox::net {
namespace {

using test::SoftHsmTokens;

class ClientCertificateStepTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { SoftHsmTokens::Get(); }

    const signing::TokenStoreOpener open = [] {
        return pkcs11::OpenCryptokiTokenStore({SoftHsmTokens::kModulePath});
    };
    const std::string url = "https://127.0.0.1:9/box/form";
    const std::string key = "https://127.0.0.1:9/box";
    test::NetReports reports;
    test::ScriptedPerson person;
    ClientCertMap map;
};

TEST_F(ClientCertificateStepTest, AskedAgainWhenTheRememberedOneIsGone) {
    // A certificate remembered earlier whose token has since been taken away.
    map.Set(key, "AAAAAAAAAAAAAAAAAAAAAAAAAAA=");
    person.Answer(R"([{"dialog": "certificates", "actions":
                        [{"select": {"name": "Quillbox nonrep"}}, {"confirm": "button"}]}])");
    IntConn connection;
    ASSERT_TRUE(test::Open(connection, url, 12210, reports));
    connection.SetClientCertMap(&map);
    ASSERT_EQ(RunClientCertificateStep(connection, open), StepAnswer::Handled);
    EXPECT_EQ(person.Transcript().size(), 1u);
    EXPECT_FALSE(map.Find(key))
        << "the stale entry goes; the new one waits for a successful exchange";
    RememberClientCertificate(connection);
    EXPECT_EQ(map.Find(key), SoftHsmTokens::Get().Certificate("nonrep").id);

    // A download has no map: not the step's case.
    IntConn download;
    ASSERT_TRUE(test::Open(download, url, 2210, reports));
    EXPECT_EQ(RunClientCertificateStep(download, open), StepAnswer::NotHandled);
}

}  // namespace
}  // namespace quillbox::net
