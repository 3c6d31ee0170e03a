// Runs the real quillbox-host as a child and speaks the browser's side of the protocol.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "core/base64/base64_coder.h"
#include "net/servers/databox_test_server.h"
#include "softhsm_token.h"
#include "task_server.h"
#include "test_support.h"

extern char** environ;

namespace quillbox {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

const std::string kHost = std::string(QUILLBOX_BINARY_DIR) + "/src/control/host/quillbox-host";
const std::string kStandinHost =
    std::string(QUILLBOX_BINARY_DIR) + "/tests/control/host_attachment_standin";

// A host with its standard input and output on pipes, in a process group of its own so
// an interpreter started through a shim goes with it; killed if still running.
class Child {
  public:
    // Runs in this process's environment, which the test sets with test::ScopedEnv.
    explicit Child(const std::string& program) {
        std::string origin = "chrome-extension://test/", path = program;
        char* args[] = {path.data(), origin.data(), nullptr};
        int in[2], out[2];
        EXPECT_EQ(pipe2(in, O_CLOEXEC), 0);
        EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        EXPECT_EQ(posix_spawn(&pid_, args[0], &actions, &attributes, args, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        close(in[0]);
        close(out[1]);
        toChild_ = in[1];
        fromChild_ = out[0];
    }
    ~Child() {
        CloseInput();
        close(fromChild_);
        if (pid_ > 0) {
            kill(-pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    void Write(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = write(toChild_, bytes.data(), bytes.size());
            ASSERT_GT(n, 0);
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    void SendText(std::string_view body) {
        const auto length = static_cast<std::uint32_t>(body.size());
        Write(std::string_view(reinterpret_cast<const char*>(&length), sizeof length));
        Write(body);
    }
    void Send(const json& request) { SendText(request.dump()); }

    // Exactly n bytes, or fewer when the child ends or 20 s pass.
    std::string Read(std::size_t n) {
        std::string bytes;
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (bytes.size() < n && std::chrono::steady_clock::now() < deadline) {
            pollfd p{fromChild_, POLLIN, 0};
            if (poll(&p, 1, 200) <= 0) {
                continue;
            }
            std::string chunk(n - bytes.size(), '\0');
            const ssize_t got = read(fromChild_, chunk.data(), chunk.size());
            if (got <= 0) {
                break;
            }
            bytes.append(chunk.data(), static_cast<std::size_t>(got));
        }
        return bytes;
    }
    // One message's text; empty when none came.
    std::string ReceiveText() {
        const std::string header = Read(4);
        if (header.size() != 4) {
            return {};
        }
        std::uint32_t length;
        std::memcpy(&length, header.data(), 4);
        return Read(length);
    }
    json Receive() { return json::parse(ReceiveText(), nullptr, false); }

    void CloseInput() {
        if (toChild_ >= 0) {
            close(toChild_);
        }
        toChild_ = -1;
    }
    // Exit status, or -1 when it did not end normally within 20 s.
    int Wait() {
        for (int i = 0; i < 200; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(100ms);
        }
        return -1;
    }

  private:
    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
};

json Call(int id, const std::string& method, json args = json::array()) {
    return {{"id", id}, {"method", method}, {"args", args}, {"origin", "https://forms.example"}};
}

class HostProtocolTest : public ::testing::Test {
  protected:
    HostProtocolTest() { test::WriteFile(temp / "answers.json", "[]"); }

    // The dialogs and boxes the person was shown, in order.
    std::vector<json> Shown() const {
        std::vector<json> shown;
        std::istringstream lines(test::ReadFile(temp / "transcript.jsonl"));
        for (std::string line; std::getline(lines, line);) {
            shown.push_back(json::parse(line));
        }
        return shown;
    }

    test::TempDir temp;
    test::ScopedEnv tmp{"TMP", temp.path().string()};
    test::ScopedEnv script{"QUILLBOX_UI_SCRIPT", (temp / "answers.json").string()};
    test::ScopedEnv transcript{"QUILLBOX_UI_TRANSCRIPT", (temp / "transcript.jsonl").string()};
};

// The page went away (its input closed) while a dialog was open; each answer would take
// 30 s. The dialog closes with its cancel answer at once, nothing is signed, and the host
// ends: under a scripted person and in the real windows, for the certificate dialog (on
// the task's thread), for a login the download asks for (from another thread while
// the task waits) and for a download whose server answers after a minute.
TEST_F(HostProtocolTest, PageGoingAwayCancelsTheOpenDialogAndEndsTheHost) {
    test::MakeTaskDocument(
        "<Envelope><task><sign doc-id=\"gone\"/></task><data alg=\"rsa-sha256\">" +
            Base64Coder::EncodeBytes(std::string("amount=1200 CZK\n")) + "</data></Envelope>",
        temp / "sign.p7");
    const test::TaskServer tasks(temp.path());
    test::ScopedEnv tokens("SOFTHSM2_CONF", test::SoftHsmTokens::Get().ConfigFile().string());
    test::ScopedEnv module("QUILLBOX_PKCS11_MODULE", std::string(test::SoftHsmTokens::kModulePath));
    test::ScopedEnv config("XDG_CONFIG_HOME", (temp / "config").string());
    test::ScopedEnv step("QUILLBOX_UI_STEP_MS", "30000");
    test::ScopedEnv platform("QT_QPA_PLATFORM", "offscreen");
    test::ScopedEnv script("QUILLBOX_UI_SCRIPT", std::nullopt);
    const struct {
        std::string task;
        std::string dialog;
        std::string answers;
    } cases[] = {
        {"sign.p7", "certificates",
         R"([{"dialog": "certificates",
              "actions": [{"select": {"name": "Quillbox nonrep"}}, {"confirm": "button"}]},
             {"dialog": "pin", "answer": "ok", "pin": "1234"}])"},
        {"sign.p7?auth=jana:secret", "credentials",
         R"([{"dialog": "credentials", "answer": "ok", "user": "jana", "password": "secret"}])"},
        {"sign.p7?delay=60000", "", "[]"},
    };
    for (const char* ui : {"script:", "qt:"}) {
        for (const auto& [task, dialog, answers] : cases) {
            SCOPED_TRACE(ui + task);
            test::WriteFile(temp / "answers.json", answers);
            std::filesystem::remove(temp / "transcript.jsonl");
            test::ScopedEnv choice("QUILLBOX_UI", ui + (temp / "answers.json").string());
            Child host(kHost);
            host.Send(Call(0, "ExecuteUrl", {tasks.Url(task)}));
            std::this_thread::sleep_for(1500ms);  // the dialog opens
            host.CloseInput();
            const json answer = host.Receive();
            ASSERT_TRUE(answer.is_object());
            EXPECT_EQ(answer.value("response", "").find("result=\"ok\""), std::string::npos)
                << answer;
            EXPECT_EQ(host.Wait(), 0);
            // The one dialog asked, cancelled; aside from the download's wait dialog and
            // the box that reports the failed login, which nobody sees either.
            std::vector<std::pair<std::string, std::string>> asked;
            for (const json& shown : Shown()) {
                const std::string kind = shown.value("dialog", "");
                if (kind != "wait" && kind != "messagebox") {
                    asked.emplace_back(kind, shown.value("answer", ""));
                }
            }
            using Asked = std::vector<std::pair<std::string, std::string>>;
            EXPECT_EQ(asked, (dialog.empty() ? Asked{} : Asked{{dialog, "cancel"}}));
        }
    }
}

// Each method answered, under a scripted person (no event loop) and in the real windows
// (calls served from the Qt event loop). The task document is slow and behind a login:
// a second call that comes meanwhile is refused at once and does not start inside the
// task's wait; the login dialog names the page that asks.
TEST_F(HostProtocolTest, ServesEachMethodOneCallAtATimeAndEndsWithItsInput) {
    test::MakeTaskDocument(test::ReadFile(test::TestData("getplugininfo.xml")), temp / "info.p7");
    test::WriteFile(temp / "answers.json",
                    R"([{"dialog": "credentials", "answer": "ok", "user": "jana",
                         "password": "secret"}])");
    const test::TaskServer tasks(temp.path());
    const std::string log = temp.path().string() + "/PenwrightA.log";
    const json calls[][2] = {
        {Call(2, "SetLanguage", {"cs"}), {{"id", 2}, {"status", 0}, {"result", 1}}},
        {Call(3, "SetLanguage", {"de"}), {{"id", 3}, {"status", 0}, {"result", 0}}},
        {Call(4, "SetDebug", {true}), {{"id", 4}, {"status", 0}}},
        {Call(5, "GetLogFileInfo"),
         {{"id", 5}, {"status", 0}, {"text", "Log File: " + log + ", not exists"}}},
        {Call(6, "GetVersion"), {{"id", 6}, {"status", 0}, {"text", "1.31.0.81"}}},
    };
    for (const char* ui : {"script:", "qt:"}) {
        SCOPED_TRACE(ui);
        std::filesystem::remove(temp / "transcript.jsonl");
        test::ScopedEnv script("QUILLBOX_UI_SCRIPT", std::nullopt);
        test::ScopedEnv choice("QUILLBOX_UI", ui + (temp / "answers.json").string());
        test::ScopedEnv platform("QT_QPA_PLATFORM", "offscreen");
        Child host(kHost);
        host.Send(Call(0, "ExecuteUrl", {tasks.Url("info.p7?delay=400&auth=jana:secret")}));
        host.Send(Call(1, "GetVersion"));
        const json refused = host.Receive();
        EXPECT_EQ(refused["id"], 1) << refused;
        EXPECT_NE(refused.value("error", "").find("one call at a time"), std::string::npos);
        EXPECT_EQ(host.Receive(), json({{"id", 0},
                                        {"status", 0},
                                        {"response",
                                         "<plugininfo result=\"ok\"><summary name=\"ocx\" "
                                         "version=\"1.31.0\"/></plugininfo>"}}));
        for (const auto& [request, answer] : calls) {
            host.Send(request);
            EXPECT_EQ(host.Receive(), answer);
        }
        host.CloseInput();
        EXPECT_EQ(host.Wait(), 0);
        const json login = Shown().at(0);
        EXPECT_EQ(login["dialog"], "credentials");
        EXPECT_EQ(login["requester"], "Requested by forms.example") << login;
    }
}

// A page reaches only the network, and only the pages an administrator lists may use the
// plug-in at all. Refused calls are answered at once, before anything is opened (a FIFO
// at a refused path would block the host), and the host goes on serving.
TEST_F(HostProtocolTest, PagesReachOnlyTheNetworkAndOnlyListedPagesAreServed) {
    const std::string fifo = (temp / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directories(temp / "config" / "quillbox");
    test::WriteFile(temp / "config" / "quillbox" / "settings.ini",
                    "[Software\\Kestrelsoft\\Quillbox Signing Extension\\Settings]\n"
                    "AllowedOrigins=sz:*.forms.example, http://localhost:8080\n");
    const std::string refusedUrls[] = {fifo,
                                       "file://" + fifo,
                                       "ftp://127.0.0.1/task.p7",
                                       "http://forms.example/task.p7",
                                       "http://localhost@evil.example/task.p7",
                                       "https://a.example/\\..\\x",
                                       "javascript:1"};
    Child host(kHost);
    int id = 0;
    for (const std::string& url : refusedUrls) {
        host.Send(Call(++id, "ExecuteUrl", {url}));
        const json answer = host.Receive();
        EXPECT_EQ(answer["id"], id);
        EXPECT_NE(answer.value("error", "").find("only https:"), std::string::npos) << answer;
    }
    {
        test::ScopedEnv dirs("XDG_CONFIG_DIRS", (temp / "config").string());
        Child listed(kHost);
        const struct {
            std::string origin;
            bool served;
        } pages[] = {{"https://forms.example", false},
                     {"https://www.forms.example", true},
                     {"http://localhost:8080", true},
                     {"https://evil.example", false}};
        for (const auto& page : pages) {
            json call = Call(++id, "GetVersion");
            call["origin"] = page.origin;
            listed.Send(call);
            const json answer = listed.Receive();
            EXPECT_EQ(answer.contains("text"), page.served) << page.origin << ": " << answer;
            if (!page.served) {
                EXPECT_NE(answer.value("error", "").find("AllowedOrigins"), std::string::npos);
            }
        }
    }
    host.Send(Call(++id, "GetVersion"));
    EXPECT_EQ(host.Receive()["text"], "1.31.0.81");
}

TEST_F(HostProtocolTest, BadRequestsAreAnsweredAndTheHostKeepsServing) {
    struct Case {
        std::string body;
        json id;
        std::string error;
    };
    json noOrigin = Call(7, "GetVersion");
    noOrigin.erase("origin");
    const std::vector<Case> cases = {
        {"", nullptr, "not valid JSON"},
        {"{\"id\": 1,", nullptr, "not valid JSON"},
        {"{\"id\": 1, \"method\": \"GetVersion\", \"origin\": \"\xC3(\"}", nullptr,
         "not valid JSON"},
        {std::string(65536, '['), nullptr, "not valid JSON"},
        {"[1]", nullptr, "not a JSON object"},
        {R"({"id": "1", "method": "GetVersion", "origin": "o"})", nullptr, "\"id\""},
        {R"({"id": 1.5, "method": "GetVersion", "origin": "o"})", nullptr, "\"id\""},
        {Call(2, "Format").dump(), 2, "unknown method \"Format\""},
        {Call(3, "SetLanguage", {5}).dump(), 3, "must be text"},
        {Call(4, "SetLanguage", {"cs", "sk"}).dump(), 4, "takes 1 argument, got 2"},
        {Call(5, "SetDebug", {1}).dump(), 5, "must be true or false"},
        {Call(6, "ExecuteUrl", {std::string("http://a\0b", 10)}).dump(), 6, "NUL"},
        {noOrigin.dump(), 7, "\"origin\""},
        {R"({"id": 8, "method": "GetVersion", "args": {}, "origin": "o"})", 8, "must be a list"},
        {R"({"id": 9, "method": "GetVersion", "origin": "o", "args": [)" + std::string(70000, ' ') +
             "]}",
         nullptr, "over the limit of 65536 bytes"},
    };
    Child host(kHost);
    for (const Case& c : cases) {
        host.SendText(c.body);
    }
    host.Send(Call(10, "GetVersion"));
    for (const Case& c : cases) {
        json answer = host.Receive();
        EXPECT_EQ(answer["id"], c.id) << c.body.substr(0, 80);
        ASSERT_TRUE(answer["error"].is_string()) << answer << " for " << c.body.substr(0, 80);
        EXPECT_NE(answer["error"].get<std::string>().find(c.error), std::string::npos)
            << answer["error"];
    }
    EXPECT_EQ(host.Receive()["text"], "1.31.0.81");
    // A message cut short by the end of the input: nothing to answer, a clean exit.
    host.Write(std::string("\x64\0\0\0{\"id\"", 9));
    host.CloseInput();
    EXPECT_EQ(host.ReceiveText(), "");
    EXPECT_EQ(host.Wait(), 0);
}

// An answer of 20 MiB, full of characters that take two to four bytes and of
// characters that JSON escapes, travels in parts under the browser's 1 MiB limit.
TEST_F(HostProtocolTest, LargeAnswerComesInPartsThatJoinToTheWholeAnswer) {
    std::string text;
    const std::string pattern = "Příliš \"žluťoučký\" kůň \\ úpěl 𝄞 ďábelské ódy\n";
    while (text.size() < 20u * 1024 * 1024) {
        text += pattern;
    }
    test::WriteFile(temp / "big.txt", text);
    test::MakeTaskDocument("<Envelope><task><attachment file=\"" + (temp / "big.txt").string() +
                               "\"/></task></Envelope>",
                           temp / "task.p7");
    const test::TaskServer tasks(temp.path());

    Child host(kStandinHost);
    host.Send(Call(41, "ExecuteUrl", {tasks.Url("task.p7")}));
    std::string joined;
    std::size_t parts = 0;
    for (std::size_t i = 0; parts == 0 || i < parts; ++i) {
        std::string message = host.ReceiveText();
        ASSERT_LE(message.size(), 1024u * 1024u);
        json part = json::parse(message, nullptr, false);
        ASSERT_TRUE(part.is_object()) << message.substr(0, 200);
        EXPECT_EQ(part["id"], 41);
        EXPECT_EQ(part["part"], i);
        parts = part["parts"].get<std::size_t>();
        joined += part["data"].get<std::string>();
    }
    EXPECT_GE(parts, 21u);
    json answer = json::parse(joined, nullptr, false);
    EXPECT_EQ(answer["status"], 0);
    // Not EXPECT_EQ: a failure would print a diff of two 20 MiB texts.
    const std::string expected =
        "<attachment result=\"ok\" name=\"file.txt\">" + text + "</attachment>";
    const std::string got =
        answer["response"].is_string() ? answer["response"].get<std::string>() : "";
    EXPECT_TRUE(got == expected) << "got " << got.size() << " bytes, expected " << expected.size();
    host.Send(Call(42, "GetVersion"));
    EXPECT_EQ(host.Receive()["id"], 42);
    host.CloseInput();
    EXPECT_EQ(host.Wait(), 0);
}

// Sends of one page share what it logged in with: the second send to the same URL goes
// with the Basic login the person entered for the first, without asking again, and a later
// send whose task cannot run answers an error, never the first send's data. The next
// session (another page) asks again.
TEST_F(HostProtocolTest, SendsOfOnePageShareTheirLoginButNeverAnEarlierAnswer) {
    const test::DataBoxTestServer databox;
    const std::string url = databox.Url(test::kDataBoxLoginHost, "basic/form");
    for (const auto& [name, headers] :
         {std::pair{"send.p7", "headers=\"\" "}, std::pair{"broken.p7", ""}}) {
        test::MakeTaskDocument("<Envelope><task><send doc-id=\"h\" url=\"" + url + "\" " + headers +
                                   ">ZGF0YQ==</send></task></Envelope>",
                               temp / name);
    }
    test::WriteFile(temp / "answers.json", json::array({{{"dialog", "login"},
                                                         {"user", test::kDataBoxUser},
                                                         {"password", test::kDataBoxPassword}}})
                                               .dump());
    const test::TaskServer tasks(temp.path());
    for (int session = 0; session < 2; ++session) {
        SCOPED_TRACE(session);
        std::filesystem::remove(temp / "transcript.jsonl");
        Child host(kHost);
        for (const char* task : {"send.p7", "send.p7", "broken.p7"}) {
            host.Send(Call(0, "ExecuteUrl", {tasks.Url(task)}));
            const std::string response = host.Receive().value("response", "");
            EXPECT_EQ(response.rfind(task[0] == 's' ? "<sendresult result=\"ok\" retcode=\"200\""
                                                    : "<sendresult result=\"error\"/>",
                                     0),
                      0u)
                << task << ": " << response;
        }
        host.CloseInput();
        EXPECT_EQ(host.Wait(), 0);
        const std::vector<json> shown = Shown();
        EXPECT_EQ(std::ranges::count_if(
                      shown, [](const json& s) { return s.value("dialog", "") == "login"; }),
                  1)
            << json(shown);
    }
}

// A PDF area task of a page without a document means the one the page named before.
TEST_F(HostProtocolTest, AnAreaTaskWithoutADocumentMeansThePagesEarlierOne) {
    std::filesystem::create_directories(temp / "signer");
    std::filesystem::create_directories(temp / "quillbox");
    std::filesystem::copy_file(std::string(QUILLBOX_BINARY_DIR) + "/tests/attach/standin_signer",
                               temp / "signer" / "Evermark");
    test::WriteFile(
        temp / "quillbox" / "settings.ini",
        "[Software\\Kestrelsoft\\Evermark]\nInstallDir=sz:" + (temp / "signer").string() + "\n");
    test::ScopedEnv machine("XDG_CONFIG_DIRS", temp.path().string());
    test::ScopedEnv signer("QB_STANDIN_SIGNER", "echo");
    test::MakeTaskDocument("<getpdfarea><pdffile>/doc/první.pdf</pdffile></getpdfarea>",
                           temp / "area.p7");
    test::MakeTaskDocument("<getpdfarea/>", temp / "again.p7");
    const test::TaskServer tasks(temp.path());

    Child host(kHost);
    for (const char* task : {"area.p7", "again.p7"}) {
        host.Send(Call(2, "ExecuteUrl", {tasks.Url(task)}));
        EXPECT_EQ(host.Receive().value("response", ""),
                  "<pdfarea result=\"ok\"><area coords=\"/doc/první.pdf\"/></pdfarea>")
            << task;
    }
    host.CloseInput();
    EXPECT_EQ(host.Wait(), 0);
}

}  // namespace
}  // namespace quillbox
