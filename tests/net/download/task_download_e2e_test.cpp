// Task documents fetched over real HTTP from a local server, through the command-line
// front end with a scripted person, as a page would have them run.
#include <sys/resource.h>

#include <chrono>
#include <sstream>
#include <tuple>

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include "log_file.h"
#include "net/servers/test_servers.h"
#include "task_server.h"
#include "test_support.h"

namespace quillbox {
namespace {

using ::testing::HasSubstr;
using json = nlohmann::json;

constexpr const char* kPluginInfo =
    "<plugininfo result=\"ok\"><summary name=\"ocx\" version=\"1.31.0\"/></plugininfo>\n";

class TaskDownloadTest : public ::testing::Test {
  protected:
    TaskDownloadTest() {
        test::MakeTaskDocument(
            test::ReadFile(std::string(QUILLBOX_SOURCE_DIR) + "/demo/getplugininfo.xml"),
            served.path() / "task.p7");
    }

    // The plug-in writes its log only when the file already exists.
    void EnableLog() { test::WriteFile(scratch / "PenwrightA.log", ""); }

    struct Run {
        int status = -1;
        std::string out;
        std::vector<json> transcript;
    };

    // Runs "quillbox exec URL" with a scripted person who answers nothing.
    Run Exec(const std::string& url) {
        const std::filesystem::path transcript = scratch / "transcript.jsonl";
        std::filesystem::remove(transcript);
        test::WriteFile(scratch / "answers.json", "[]");
        const std::string command = std::string(QUILLBOX_BINARY_DIR) +
                                    "/src/control/quillbox exec --lang en --ui script:" +
                                    (scratch / "answers.json").string() + " --transcript " +
                                    transcript.string() + " '" + url + "' 2>/dev/null";
        Run run;
        std::tie(run.status, run.out) = test::RunCapturingOutput(command);
        if (std::filesystem::exists(transcript)) {
            std::istringstream lines(test::ReadFile(transcript));
            for (std::string line; std::getline(lines, line);)
                run.transcript.push_back(json::parse(line));
        }
        return run;
    }

    static std::vector<json> Dialogs(const Run& run, const std::string& kind) {
        std::vector<json> found;
        for (const json& line : run.transcript)
            if (line.value("dialog", "") == kind)
                found.push_back(line);
        return found;
    }

    std::string Log() const { return test::ReadLogFile(scratch / "PenwrightA.log"); }

    test::TempDir served;
    test::TempDir scratch;
    test::ScopedEnv tmp{"TMP", scratch.path().string()};
    test::ScopedEnv config{"XDG_CONFIG_HOME", (scratch / "config").string()};
    test::ScopedEnv script{"QUILLBOX_UI_SCRIPT", std::nullopt};
    test::TaskServer server{served.path()};
};

TEST_F(TaskDownloadTest, RunsTheTaskAtAUrlAndPrintsItsResponse) {
    EnableLog();
    const Run run = Exec(server.Url("task.p7"));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kPluginInfo);
    // A quick download: the wait dialog was made but never shown, and nothing else was.
    ASSERT_EQ(run.transcript.size(), 1u);
    const json& wait = run.transcript[0];
    EXPECT_EQ(wait["dialog"], "wait");
    // Usually well under 200 ms; a loaded machine may take longer, and only then may
    // the dialog have shown.
    if (wait["openMs"].get<int>() <= 200) {
        EXPECT_EQ(wait["shown"], false);
    }
    EXPECT_THAT(Log(), HasSubstr("\nXML: <Envelope><task><getplugininfo"));
}

TEST_F(TaskDownloadTest, ASlowServerGetsTheWaitDialogAfter200Milliseconds) {
    const Run run = Exec(server.Url("task.p7?delay=1200"));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kPluginInfo);
    const std::vector<json> waits = Dialogs(run, "wait");
    ASSERT_EQ(waits.size(), 1u);
    EXPECT_EQ(waits[0]["shown"], true);
    EXPECT_GE(waits[0]["shownAfterMs"].get<int>(), 200);
    EXPECT_LT(waits[0]["shownAfterMs"].get<int>(), 1200);
    EXPECT_GE(waits[0]["progressUpdates"].get<int>(), 3);
}

TEST_F(TaskDownloadTest, AnErrorPageIsReportedWithItsStatusAndNoResponse) {
    EnableLog();
    const Run run = Exec(server.Url("missing.p7"));
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    const std::vector<json> boxes = Dialogs(run, "messagebox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]["icon"], "error");
    EXPECT_THAT(boxes[0]["texts"][0].get<std::string>(),
                HasSubstr("Server communication error\nHTTP status: 404\nHeader: "));
    EXPECT_THAT(boxes[0]["texts"][0].get<std::string>(),
                HasSubstr("Content-Type: application/xhtml+xml"));
    // The page itself goes to the log for the supporter.
    EXPECT_THAT(Log(), HasSubstr("</html>\n"));
}

TEST_F(TaskDownloadTest, DocumentsThatAreNotSignedUtf8TasksAreNotWellFormed) {
    // The task XML without the signed message around it, and a signed task that is not UTF-8.
    test::WriteFile(served.path() / "bare.xml", "<getplugininfo/>");
    test::MakeTaskDocument("<getplugininfo a=\"\xC3\x28\"/>", served.path() / "latin.p7");
    for (const char* name : {"bare.xml", "latin.p7"}) {
        SCOPED_TRACE(name);
        EnableLog();
        const Run run = Exec(server.Url(name));
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(Dialogs(run, "messagebox").empty());
        EXPECT_THAT(Log(), HasSubstr("\nXML: \n"));
    }
}

// Servers that would hold a download for ever or make it reserve what they only claim: each
// ends the task as a failed download, soon, and the plug-in stays small.
TEST_F(TaskDownloadTest, EndlessRedirectsAndALyingLengthEndAsAFailedDownload) {
    test::HttpTestServer misbehaving;
    const struct {
        const char* query;
        const char* status;
    } cases[] = {{"task.p7?self=1", "302"}, {"task.p7?size=1000&length=1073741823", "200"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        EnableLog();
        const auto start = std::chrono::steady_clock::now();
        const Run run = Exec(misbehaving.Url(c.query));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        const std::vector<json> boxes = Dialogs(run, "messagebox");
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_THAT(boxes[0]["texts"][0].get<std::string>(),
                    HasSubstr(std::string("HTTP status: ") + c.status + "\n"));
        EXPECT_THAT(Log(), HasSubstr("IntConn::MyNet_Error (50) "));
        // Peak resident size of the plug-in's process (and any earlier child), in KiB.
        rusage children{};
        ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &children), 0);
        EXPECT_LT(children.ru_maxrss, 200 * 1024);
    }
}

}  // namespace
}  // namespace quillbox
