// The client-certificate step's memory: which certificate a connection gets without asking,
// and what happens to a remembered one whose token went away.
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

    // A connection to url that lends the control's map.
    std::unique_ptr<IntConn> Connection(const std::string& url) {
        auto connection = std::make_unique<IntConn>();
        EXPECT_TRUE(test::Open(*connection, url, 12210, reports));
        connection->SetClientCertMap(&map);
        return connection;
    }

    const signing::TokenStoreOpener open = [] {
        return pkcs11::OpenCryptokiTokenStore({SoftHsmTokens::kModulePath});
    };
    const std::string url = "https://127.0.0.1:9/box/form";
    const std::string key = "https://127.0.0.1:9/box";
    test::NetReports reports;
    test::ScriptedPerson person;
    ClientCertMap map;
};

TEST_F(ClientCertificateStepTest, RememberedPerKeyAndAskedAgainWhenGone) {
    // A certificate remembered earlier whose token has since been taken away.
    map.Set(key, "AAAAAAAAAAAAAAAAAAAAAAAAAAA=");
    person.Answer(R"([{"dialog": "certificates", "actions":
                        [{"select": {"name": "Quillbox nonrep"}}, {"confirm": "button"}]}])");
    auto first = Connection(url);
    ASSERT_EQ(RunClientCertificateStep(*first, open), StepAnswer::Handled);
    EXPECT_EQ(person.Transcript().size(), 1u);
    EXPECT_FALSE(map.Find(key))
        << "the stale entry goes; the new one waits for a successful exchange";
    RememberClientCertificate(*first);
    EXPECT_EQ(map.Find(key), SoftHsmTokens::Get().Certificate("nonrep").id);

    // The same key later in the control: nobody is asked.
    person.Answer("[]");
    auto second = Connection(url + "?again");
    ASSERT_EQ(RunClientCertificateStep(*second, open), StepAnswer::Handled);
    EXPECT_EQ(second->ChosenCertificateId(), SoftHsmTokens::Get().Certificate("nonrep").id);
    EXPECT_TRUE(person.Transcript().empty());

    // A download has no map: not the step's case.
    IntConn download;
    ASSERT_TRUE(test::Open(download, url, 2210, reports));
    EXPECT_EQ(RunClientCertificateStep(download, open), StepAnswer::NotHandled);
}

}  // namespace
}  // namespace quillbox::net
