// The Java entry in a real JVM: java runs callovo.jar against libcallovo.so, with task
// documents served over HTTP on 127.0.0.1.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "../../net/download/task_server.h"
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
    const std::filesystem::path answers = temp / "answers.json";
    const std::filesystem::path transcript = temp / "transcript.jsonl";
    test::WriteFile(answers, "[]");
    const std::vector<std::pair<std::string, std::string>> calls = {
        {server->Url("plugininfo.p7"), kPluginInfo},
        {server->Url("unknown.p7"), "<response result=\"error\" errorinfo=\"unknown task\"/>"},
        // A failed download: the person is told, the caller gets no response.
        {server->Url("missing.p7"), ""},
        // The URL reaches the server letter for letter, or the file is not found.
        {server->Url(kCzechName), kPluginInfo},
        {server->Url("plugininfo.p7"), kPluginInfo},
    };
    std::vector<std::string> urls;
    std::string expected;
    for (const auto& [url, response] : calls) {
        urls.push_back(url);
        expected += response + "\n";
    }
    auto [status, out] = RunJava("QUILLBOX_UI_SCRIPT=" + Quoted(answers.string()) +
                                     " QUILLBOX_UI_TRANSCRIPT=" + Quoted(transcript.string()),
                                 "com.kestrelsoft.callovo.Main", urls);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, expected);
    // The scripted person, not a console or a window, saw the one error box.
    const std::string seen = test::ReadFile(transcript);
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
