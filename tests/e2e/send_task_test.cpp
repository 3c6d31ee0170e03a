// The send task end to end: the real "quillbox" program sends a page's data to the data-box
// server stand-in and logs in on the way (Basic, Digest, a one-time code, an SMS code), with
// a person played from an answers file. The server records what reached it, and that is
// what the cases check, beside the page's answer and what the person was shown.
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include "core/base64/base64_coder.h"
#include "net/servers/databox_test_server.h"
#include "platform/xml/xml_document.h"
#include "program_run.h"
#include "test_support.h"

namespace quillbox {
namespace {

using ::testing::HasSubstr;
using json = nlohmann::json;
using test::ProgramRun;

const std::string kUser = test::kDataBoxUser;
const std::string kPassword = test::kDataBoxPassword;

json Login(const json& fields) {
    json entry = {{"dialog", "login"}};
    entry.update(fields);
    return entry;
}
const json kCancelLogin = {{"dialog", "login"}, {"answer", "cancel"}};

class SendTaskE2eTest : public ::testing::Test {
  protected:
    // The send task for url with the page's data, as the page would write it.
    std::string SendTask(const std::string& url, const std::string& attributes = "",
                         const std::string& text = "") const {
        return "<Envelope><task><send doc-id=\"e2e\" url=\"" + url + "\" " + attributes + ">" +
               (text.empty() ? Base64Coder::EncodeBytes(formData) : text) +
               "</send></task></Envelope>";
    }

    ProgramRun Exec(const std::string& task, const json& answers, const std::string& mode) {
        test::WriteFile(scratch / "task.xml", task);
        return test::ExecQuillbox((scratch / "task.xml").string(), "--document", answers, mode,
                                  scratch.path());
    }

    // The server's answer to the page: retcode, headers and the decoded body.
    static std::optional<std::tuple<std::string, std::string, std::string>> SendResult(
        const ProgramRun& run) {
        const auto response = xml::XmlDocument::Parse(run.out);
        if (!response || response->Root().Attribute("result") != "ok")
            return std::nullopt;
        const xml::XmlNode root = response->Root();
        return std::make_tuple(root.Attribute("retcode").value_or(""),
                               root.Attribute("headers").value_or(""),
                               Base64Coder::DecodeText(root.Text()));
    }

    // The requests the server saw, as "step status authorization" lines.
    std::vector<std::string> Steps() const {
        std::vector<std::string> steps;
        for (const json& seen : server.Seen()) {
            std::string line = seen["flow"].get<std::string>() + " " +
                               seen["step"].get<std::string>() + " " +
                               std::to_string(seen["status"].get<int>());
            if (seen["authorization"].is_object())
                line += " " + seen["authorization"].value("text", seen["authorization"].dump());
            steps.push_back(line);
        }
        return steps;
    }

    const std::string formData = "applicant=Jana Nov\xC3\xA1kov\xC3\xA1\namount=1200 CZK\n";
    const std::string received =
        "bytes=\"" + std::to_string(formData.size()) + "\"";  // in the service's answer
    test::DataBoxTestServer server;
    test::TempDir scratch;
    test::ScopedEnv tmp{"TMP", scratch.path().string()};
    test::ScopedEnv config{"XDG_CONFIG_HOME", (scratch / "config").string()};
    test::ScopedEnv script{"QUILLBOX_UI_SCRIPT", std::nullopt};
};

// Each login the service offers, answered wrong once and then right: the page gets the
// service's answer, the server got exactly the credentials typed and the data once, login
// exchanges carried no body, and the session cookie reached the service's other host.
TEST_F(SendTaskE2eTest, EachLoginFlowDeliversTheDataOnce) {
    const std::string right = kUser + ":" + kPassword;
    const struct {
        std::string name, path, loginType;
        json answers;
        std::vector<std::string> steps;
    } flows[] = {
        {"basic",
         "basic/form",
         "",
         {Login({{"user", kUser}, {"password", "wrong"}}), Login({{"password", kPassword}})},
         {"basic challenge 401", "basic bad-credentials 401 " + kUser + ":wrong",
          "basic accepted 200 " + right}},
        {"digest",
         "digest/form",
         "",
         {Login({{"user", kUser}, {"password", "wrong"}}), Login({{"password", kPassword}})},
         {}},
        {"hotp",
         "hotp/form?n=1",
         "token",
         {Login({{"user", kUser}, {"password", kPassword}, {"code", "111111"}}),
          Login({{"password", kPassword}, {"code", test::kDataBoxHotpCode}})},
         {"hotp challenge 401", "hotp bad-code 401 " + right + "111111",
          "hotp login-ok 302 " + right + test::kDataBoxHotpCode, "service service 200"}},
        {"sms",
         "sms/form",
         "sms",
         {Login({{"user", kUser}, {"password", kPassword}}), Login({{"code", "999999"}}),
          Login({{"code", test::kDataBoxSmsCode}})},
         {"sms challenge 401", "sms sms-sent 302 " + right, "sms-code challenge 401",
          "sms-code bad-code 401 " + right + "999999",
          "sms-code login-ok 302 " + right + test::kDataBoxSmsCode, "service service 200"}},
        {"redirect without a challenge",
         "direct/form",
         "sms",
         json::array(),
         {"direct login-ok 302", "service service 200"}},
    };
    for (const auto& flow : flows) {
        SCOPED_TRACE(flow.name);
        server.Reset();
        const std::string attributes =
            "headers=\"X-Form: 1\"" +
            (flow.loginType.empty() ? "" : " loginType=\"" + flow.loginType + "\"");
        const ProgramRun run =
            Exec(SendTask(server.Url(test::kDataBoxLoginHost, flow.path), attributes), flow.answers,
                 "script");
        const auto result = SendResult(run);
        ASSERT_TRUE(result) << run;
        EXPECT_EQ(std::get<0>(*result), "200");
        EXPECT_THAT(std::get<1>(*result), HasSubstr("X-Databox-Received: "));
        EXPECT_THAT(std::get<2>(*result), HasSubstr(received));
        EXPECT_EQ(run.Dialogs("login").size(), flow.answers.size()) << run;
        if (!flow.steps.empty()) {
            EXPECT_EQ(Steps(), flow.steps) << server.Seen().dump(1);
        }
        for (const json& seen : server.Seen()) {
            EXPECT_TRUE(seen["fault"].is_null()) << seen;
            EXPECT_NE(seen["step"], "basic-refused") << "Digest answered as Basic: " << seen;
        }
        EXPECT_EQ(server.Seen().back()["bodyLength"], formData.size());
    }
}

// The server's words for a wrong code reach the person, both encoded words joined, and the
// SMS flow's second form shows only the code field.
TEST_F(SendTaskE2eTest, ThePersonSeesTheServersWordsAndTheRightFields) {
    const ProgramRun run = Exec(
        SendTask(server.Url(test::kDataBoxLoginHost, "sms/form"), "headers=\"\" loginType=\"sms\""),
        json::array({Login({{"user", kUser}, {"password", kPassword}}),
                     Login({{"code", test::kDataBoxSmsCode}})}),
        "script");
    ASSERT_TRUE(SendResult(run)) << run;
    const std::vector<json> logins = run.Dialogs("login");
    ASSERT_EQ(logins.size(), 2u) << run;
    EXPECT_EQ(logins[0]["ok"], "Send SMS") << logins[0];
    EXPECT_THAT(logins[1].dump(), HasSubstr("SMS k\xC3\xB3"
                                            "d byl odesl\xC3\xA1n"));
}

// What the page gets when the send cannot end with the service's answer.
TEST_F(SendTaskE2eTest, CancelRefusalAndUnsendableTasksAnswerWithoutData) {
    const struct {
        std::string name, task;
        json answers;
        int status;
        std::string out;
        std::size_t requests;
    } cases[] = {
        {"cancelled login",
         SendTask(server.Url(test::kDataBoxLoginHost, "hotp/f"),
                  "headers=\"\" loginType=\"token\""),
         {kCancelLogin},
         0,
         "<sendresult result=\"cancel\"/>\n",
         1},
        {"login server answers 200 without a redirect",
         SendTask(server.Url(test::kDataBoxLoginHost, "login-ok/f"),
                  "headers=\"\" loginType=\"token\""),
         json::array(), 0, "<sendresult result=\"error\"/>\n", 1},
        {"not a web URL", SendTask("file:///etc/passwd", "headers=\"\""), json::array(), 0,
         "<sendresult result=\"error\"/>\n", 0},
        {"no headers attribute", SendTask(server.Url(test::kDataBoxLoginHost, "plain/f")),
         json::array(), 0, "<sendresult result=\"error\"/>\n", 0},
        {"empty data",
         SendTask(server.Url(test::kDataBoxLoginHost, "plain/f"), "headers=\"\"", " \n "),
         json::array(), 0, "<sendresult result=\"error\"/>\n", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.Reset();
        const ProgramRun run = Exec(c.task, c.answers, "script");
        EXPECT_EQ(run.status, c.status) << run;
        EXPECT_EQ(run.out, c.out) << run;
        EXPECT_EQ(server.Seen().size(), c.requests) << server.Seen().dump(1);
    }
}

// A server that answers with an error: the person is told which server, the page gets no
// answer.
TEST_F(SendTaskE2eTest, AServerErrorNamesTheHostAndGivesNoResponse) {
    const std::string host =
        std::string(test::kDataBoxLoginHost) + ":" + std::to_string(server.port());
    const ProgramRun run =
        Exec(SendTask(server.Url(test::kDataBoxLoginHost, "missing/f"), "headers=\"\""),
             json::array(), "script");
    EXPECT_EQ(run.out, "") << run;
    const std::vector<json> boxes = run.Dialogs("messagebox");
    ASSERT_EQ(boxes.size(), 1u) << run;
    EXPECT_THAT(boxes[0].dump(), HasSubstr("Login to server " + host + " failed.")) << boxes[0];
}

// The page's data and header lines as a page may write them: Base64 broken into lines,
// a GET only for the exact "GET", header lines with lone LFs and headers the transport
// owns.
TEST_F(SendTaskE2eTest, PageDataAndHeadersReachTheServerAsMeant) {
    std::string wrapped = Base64Coder::EncodeBytes(formData);
    for (std::size_t at = 16; at < wrapped.size(); at += 17)
        wrapped.insert(at, "\n");
    const ProgramRun run = Exec(
        SendTask(
            server.Url(test::kDataBoxLoginHost, "plain/f"),
            "method=\"get\" headers=\"X-Form: 1&#10;Host: evil.example&#10;Content-Length: 3\"",
            "\n  " + wrapped + "\n"),
        json::array(), "script");
    ASSERT_TRUE(SendResult(run)) << run;
    const json seen = server.Seen().back();
    EXPECT_EQ(seen["method"], "POST");
    EXPECT_EQ(seen["host"],
              std::string(test::kDataBoxLoginHost) + ":" + std::to_string(server.port()));
    EXPECT_EQ(seen["bodyLength"], formData.size());
    EXPECT_EQ(seen["contentLength"], std::to_string(formData.size()));
}

// A login server on HTTPS that sends the person on to plain HTTP: asked first, as the
// transport asks for a redirect it follows itself.
TEST_F(SendTaskE2eTest, LeavingHttpsBetweenLoginStepsNeedsConsent) {
    std::filesystem::create_directories(scratch / "nginx");
    const test::NginxTlsServer nginx(server.Url(test::kDataBoxServiceHost, "plain/f"));
    if (!nginx.started())
        GTEST_SKIP() << "nginx did not start";
    const json trustTestRoot = {{"dialog", "certwarning"}, {"answer", "yes"}};
    for (const char* consent : {"no", "yes"}) {
        SCOPED_TRACE(consent);
        server.Reset();
        const ProgramRun run =
            Exec(SendTask(nginx.GoodUrl("tohttp"), "headers=\"\" loginType=\"token\""),
                 json::array({trustTestRoot, {{"dialog", "certwarning"}, {"answer", consent}}}),
                 "script");
        const std::vector<json> warnings = run.Dialogs("certwarning");
        ASSERT_EQ(warnings.size(), 2u) << run;
        EXPECT_THAT(warnings[1].dump(), HasSubstr("unsecured")) << warnings[1];
        if (std::string(consent) == "no") {
            EXPECT_EQ(run.out, "<sendresult result=\"cancel\"/>\n") << run;
            EXPECT_TRUE(server.Seen().empty());
        } else {
            ASSERT_TRUE(SendResult(run)) << run;
            EXPECT_EQ(server.Seen().back()["bodyLength"], formData.size());
        }
    }
}

// The real windows: the one-time-code and SMS logins typed into the Qt dialog give the same
// transcript and the same delivery as the scripted person.
TEST_F(SendTaskE2eTest, RealWindowsLogInAsTheScriptedPersonDoes) {
    const struct {
        std::string path, loginType;
        json answers;
    } flows[] = {
        {"hotp/form",
         "token",
         {Login({{"user", kUser}, {"password", kPassword}, {"code", "111111"}}),
          Login({{"password", kPassword}, {"code", test::kDataBoxHotpCode}})}},
        {"sms/form",
         "sms",
         {Login({{"user", kUser}, {"password", kPassword}}),
          Login({{"code", test::kDataBoxSmsCode}})}},
    };
    for (const auto& flow : flows) {
        SCOPED_TRACE(flow.path);
        const std::string task = SendTask(server.Url(test::kDataBoxLoginHost, flow.path),
                                          "headers=\"\" loginType=\"" + flow.loginType + "\"");
        server.Reset();
        const ProgramRun scripted = Exec(task, flow.answers, "script");
        const std::vector<std::string> scriptedSteps = Steps();
        server.Reset();
        const ProgramRun real = Exec(task, flow.answers, "qt");
        ASSERT_TRUE(SendResult(scripted)) << scripted;
        EXPECT_EQ(real.status, 0) << real;
        EXPECT_EQ(real.Agreed().dump(1), scripted.Agreed().dump(1));
        // The same delivery; the headers differ in their Date.
        ASSERT_TRUE(SendResult(real)) << real;
        EXPECT_EQ(std::get<2>(*SendResult(real)), std::get<2>(*SendResult(scripted)));
        EXPECT_EQ(Steps(), scriptedSteps);
    }
}

}  // namespace
}  // namespace quillbox
