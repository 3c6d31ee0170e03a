// Task documents that cannot run, fetched over real HTTP by the "quillbox" program: an error
// page tells the person the status and headers and goes to the log; a document that is not a
// signed UTF-8 task is not well-formed and shows nothing. Neither gives the page a response.
#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include "log_file.h"
#include "program_run.h"
#include "task_server.h"
#include "test_support.h"

namespace quillbox {
namespace {

using ::testing::HasSubstr;

TEST(TaskDownloadTest, ErrorPagesAndDocumentsThatAreNotSignedUtf8Tasks) {
    test::TempDir served, scratch;
    test::ScopedEnv tmp{"TMP", scratch.path().string()};
    test::ScopedEnv config{"XDG_CONFIG_HOME", (scratch / "config").string()};
    test::ScopedEnv script{"QUILLBOX_UI_SCRIPT", std::nullopt};
    test::TaskServer server{served.path()};
    test::WriteFile(served.path() / "bare.xml", "<getplugininfo/>");
    test::MakeTaskDocument("<getplugininfo a=\"\xC3\x28\"/>", served.path() / "latin.p7");
    const struct {
        const char* name;
        int status;
        const char* box;  // nullptr: no box
        const char* log;
    } cases[] = {
        {"missing.p7", 2, "Server communication error\nHTTP status: 404\nHeader: ", "</html>\n"},
        {"bare.xml", 1, nullptr, "\nXML: \n"},
        {"latin.p7", 1, nullptr, "\nXML: \n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::WriteFile(scratch / "PenwrightA.log", "");  // the plug-in logs only into a file there
        const test::ProgramRun run = test::ExecQuillbox(
            server.Url(c.name), "", nlohmann::json::array(), "script", scratch.path());
        EXPECT_EQ(run.status, c.status) << run;
        EXPECT_EQ(run.out, "") << run;
        const auto boxes = run.Dialogs("messagebox");
        if (c.box == nullptr) {
            EXPECT_TRUE(boxes.empty()) << run;
        } else {
            ASSERT_EQ(boxes.size(), 1u) << run;
            const std::string text = boxes[0]["texts"][0];
            EXPECT_THAT(text, HasSubstr(c.box));
            EXPECT_THAT(text, HasSubstr("Content-Type: application/xhtml+xml"));
        }
        EXPECT_THAT(test::ReadLogFile(scratch / "PenwrightA.log"), HasSubstr(c.log));
    }
}

}  // namespace
}  // namespace quillbox
