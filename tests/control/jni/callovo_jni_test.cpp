// The Java entry in a real JVM: java runs callovo.jar against libcallovo.so, with task
// documents served over HTTP on 127.0.0.1.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "../../net/download/task_server.h"
#include "softhsm_token.h"
#include "test_support.h"

namespace quillbox {
namespace {

constexpr const char* kPluginInfo =
    "<plugininfo result=\"ok\"><summary name=\"ocx\" version=\"1.31.0\"/></plugininfo>";

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

class CallOvoJniTest : public ::testing::Test {
  protected:
    void SetUp() override {
#if defined(QUILLBOX_SANITIZE) && !defined(QUILLBOX_ASAN_RUNTIME)
        GTEST_SKIP() << "no AddressSanitizer runtime to preload into the JVM";
#endif
        test::MakeTaskDocument("<Envelope><task><getplugininfo doc-id=\"a\"/></task></Envelope>",
                               temp / "plugininfo.p7");
        std::filesystem::copy_file(temp / "plugininfo.p7", temp / kCzechName);
        test::MakeTaskDocument("<Envelope><task><bogustask doc-id=\"b\"/></task></Envelope>",
                               temp / "unknown.p7");
        server = std::make_unique<test::TaskServer>(temp.path());
    }

    // Runs java with the environment assignments, class and arguments: status and output.
    std::pair<int, std::string> RunJava(const std::string& environment,
                                        const std::string& mainClass,
                                        const std::vector<std::string>& args) {
        std::string command = "env -u QUILLBOX_UI_SCRIPT -u QUILLBOX_UI_TRANSCRIPT TMP=" +
                              Quoted(temp.path().string()) + " " + environment;
#ifdef QUILLBOX_ASAN_RUNTIME
        // The JVM itself is not instrumented: the runtime must come first, the JVM's own
        // signal handling must stay its own, and its allocations are not ours to judge.
        command += " LD_PRELOAD=" QUILLBOX_ASAN_RUNTIME
                   " ASAN_OPTIONS=handle_segv=0:allow_user_segv_handler=1:detect_leaks=0";
#endif
        command += " " + Quoted(QUILLBOX_JAVA) +
                   " -Dcom.kestrelsoft.callovo.library=" + Quoted(QUILLBOX_CALLOVO_LIBRARY) +
                   " -Dcallovo.check.probe=" + Quoted(QUILLBOX_CALLOVO_PROBE) + " -cp " +
                   Quoted(QUILLBOX_CALLOVO_CLASSPATH) + " " + mainClass;
        for (const std::string& arg : args) {
            command += " " + Quoted(arg);
        }
        return test::RunCapturingOutput(command);
    }

    static constexpr const char* kCzechName = "příliš-žluťoučký-kůň-\xF0\x9F\x98\x80.p7";
    test::TempDir temp;
    std::unique_ptr<test::TaskServer> server;
};

TEST_F(CallOvoJniTest, EachCallInOneJvmGetsItsOwnResponse) {
    // The real windows on the library's Qt thread, answered from the file: a sign task
    // chooses a certificate on a SoftHSM token and types its PIN there.
    const std::filesystem::path answers = temp / "answers.json";
    const std::filesystem::path transcript = temp / "transcript.jsonl";
    test::WriteFile(answers, R"([{"dialog": "certificates", "actions": [
        {"select": {"name": "Quillbox nonrep"}}, {"confirm": "button"}]},
        {"dialog": "pin", "answer": "ok", "pin": "1234"}])");
    test::MakeTaskDocument(
        "<Envelope><task><sign doc-id=\"s\"/></task><data alg=\"rsa-sha256\">"
        "Zm9ybQ==</data></Envelope>",
        temp / "sign.p7");
    const std::string signer = test::SoftHsmTokens::Get().Certificate("nonrep").id;
    const std::vector<std::pair<std::string, std::string>> calls = {
        {server->Url("sign.p7"), "<signresponse result=\"ok\"><SignatureValue>"},
        {server->Url("plugininfo.p7"), kPluginInfo},
        {server->Url("unknown.p7"), "<response result=\"error\" errorinfo=\"unknown task\"/>"},
        // A failed download: the person is told, the caller gets no response.
        {server->Url("missing.p7"), ""},
        // The URL reaches the server letter for letter, or the file is not found.
        {server->Url(kCzechName), kPluginInfo},
        {server->Url("plugininfo.p7"), kPluginInfo},
    };
    std::vector<std::string> urls;
    for (const auto& call : calls) {
        urls.push_back(call.first);
    }
    auto [status, out] =
        RunJava("QT_QPA_PLATFORM=offscreen QUILLBOX_UI=" + Quoted("qt:" + answers.string()) +
                    " QUILLBOX_UI_TRANSCRIPT=" + Quoted(transcript.string()) +
                    " SOFTHSM2_CONF=" + Quoted(test::SoftHsmTokens::Get().ConfigFile().string()) +
                    " QUILLBOX_PKCS11_MODULE=" + test::SoftHsmTokens::kModulePath,
                "com.kestrelsoft.callovo.Main", urls);
    EXPECT_EQ(status, 0);
    std::istringstream lines(out);
    for (const auto& [url, response] : calls) {
        std::string line;
        std::getline(lines, line);
        // The signature itself is the signing tests' part; here it is made and handed over.
        if (url.find("sign.p7") != std::string::npos) {
            EXPECT_EQ(line.rfind(response, 0), 0u) << line;
            EXPECT_NE(line.find("id=\"" + signer + "\""), std::string::npos) << line;
        } else {
            EXPECT_EQ(line, response) << url;
        }
    }
    // The driven windows, not a console, saw the certificate dialog, the PIN prompt and the
    // one error box.
    const std::string seen = test::ReadFile(transcript);
    EXPECT_NE(seen.find("\"dialog\":\"pin\""), std::string::npos) << seen;
    std::size_t boxes = 0;
    for (std::size_t at = 0; (at = seen.find("\"messagebox\"", at)) != std::string::npos; ++at) {
        ++boxes;
    }
    EXPECT_EQ(boxes, 1u) << seen;
}

TEST_F(CallOvoJniTest, JavaThreadsNullAndTextsInAnyScript) {
    // Without a script the dialogs are Qt's, on the library's own thread; the delay makes
    // every download show its wait dialog there while the calls run on Java threads.
    auto [status, out] =
        RunJava("QT_QPA_PLATFORM=offscreen", "com.kestrelsoft.callovo.check.CallOvoCheck",
                {server->Url("plugininfo.p7?delay=400"), kPluginInfo});
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace quillbox
