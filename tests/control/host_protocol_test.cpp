// Runs the real quillbox-host as a child and speaks the browser's side of the protocol.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <thread>

#include <nlohmann/json.hpp>

#include "test_support.h"

extern char** environ;

namespace quillbox {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

const std::string kHost = std::string(QUILLBOX_BINARY_DIR) + "/src/control/host/quillbox-host";
const std::string kStandinHost =
    std::string(QUILLBOX_BINARY_DIR) + "/tests/control/host_attachment_standin";

// A child process with its standard input and output on pipes; killed if still running.
class Child {
  public:
    Child(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
          bool pipes = true) {
        std::map<std::string, std::string> all;
        for (char** e = environ; *e != nullptr; ++e) {
            std::string entry = *e;
            std::size_t eq = entry.find('=');
            all[entry.substr(0, eq)] = eq == std::string::npos ? "" : entry.substr(eq + 1);
        }
        for (const auto& [name, value] : env) {
            if (value.empty()) {
                all.erase(name);
            } else {
                all[name] = value;
            }
        }
        std::vector<std::string> envText;
        for (const auto& [name, value] : all) {
            envText.push_back(name + "=" + value);
        }
        std::vector<char*> envp, args;
        for (auto& e : envText)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<std::string> argCopy = argv;
        for (auto& a : argCopy)
            args.push_back(a.data());
        args.push_back(nullptr);

        int in[2], out[2];
        EXPECT_EQ(pipe2(in, O_CLOEXEC), 0);
        EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
        // A group of its own, so an interpreter started through a shim goes with it.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (pipes) {
            posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
            posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        }
        EXPECT_EQ(posix_spawnp(&pid_, args[0], &actions, &attributes, args.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        close(in[0]);
        close(out[1]);
        toChild_ = in[1];
        fromChild_ = out[0];
    }
    ~Child() {
        CloseInput();
        if (fromChild_ >= 0)
            close(fromChild_);
        if (pid_ > 0) {
            kill(-pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    void Write(std::string_view bytes) {
        while (!bytes.empty()) {
            ssize_t n = write(toChild_, bytes.data(), bytes.size());
            ASSERT_GT(n, 0);
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    void SendText(std::string_view body) {
        std::uint32_t length = static_cast<std::uint32_t>(body.size());
        Write(std::string_view(reinterpret_cast<const char*>(&length), sizeof length));
        Write(body);
    }
    void Send(const json& request) { SendText(request.dump()); }

    // Exactly n bytes, or fewer when the child ends or 20 s pass.
    std::string Read(std::size_t n) {
        std::string bytes;
        auto deadline = std::chrono::steady_clock::now() + 20s;
        while (bytes.size() < n && std::chrono::steady_clock::now() < deadline) {
            pollfd p{fromChild_, POLLIN, 0};
            if (poll(&p, 1, 200) <= 0)
                continue;
            std::string chunk(n - bytes.size(), '\0');
            ssize_t got = read(fromChild_, chunk.data(), chunk.size());
            if (got <= 0)
                break;
            bytes.append(chunk.data(), static_cast<std::size_t>(got));
        }
        return bytes;
    }
    // One message's text; empty when none came.
    std::string ReceiveText() {
        std::string header = Read(4);
        if (header.size() != 4)
            return {};
        std::uint32_t length;
        std::memcpy(&length, header.data(), 4);
        return Read(length);
    }
    json Receive() { return json::parse(ReceiveText(), nullptr, false); }

    void CloseInput() {
        if (toChild_ >= 0)
            close(toChild_);
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
    std::map<std::string, std::string> ScriptedEnv() {
        return {{"TMP", temp.path().string()},
                {"QUILLBOX_UI_SCRIPT", (temp / "answers.json").string()},
                {"QUILLBOX_UI_TRANSCRIPT", (temp / "transcript.jsonl").string()}};
    }
    // Serves the files of temp over HTTP; returns the base URL.
    std::string ServeTasks() {
        server = std::make_unique<Child>(
            std::vector<std::string>{"python3", kSource + "/tools/task-server.py",
                                     temp.path().string(), (temp / "port").string()},
            std::map<std::string, std::string>{}, false);
        std::string port;
        for (int i = 0; i < 100 && port.empty(); ++i) {
            std::this_thread::sleep_for(100ms);
            if (std::filesystem::exists(temp / "port"))
                port = test::ReadFile(temp / "port");
        }
        EXPECT_FALSE(port.empty());
        return "http://127.0.0.1:" + port;
    }
    void MakeTaskDocument(const std::filesystem::path& task, const std::string& name) {
        ASSERT_EQ(std::system((kSource + "/tools/make-task-document " + task.string() + " " +
                               (temp / name).string())
                                  .c_str()),
                  0);
    }

    const std::string kSource = QUILLBOX_SOURCE_DIR;
    test::TempDir temp;
    std::unique_ptr<Child> server;
};

// Requests sent before any answer is read are served in order, under a scripted person
// (no event loop) and with Qt dialogs (requests served from the Qt event loop, the
// download's wait dialog included).
TEST_F(HostProtocolTest, ServesEachMethodInOrderAndEndsWithItsInput) {
    std::map<std::string, std::string> qt = {{"TMP", temp.path().string()},
                                             {"QUILLBOX_UI_SCRIPT", ""},
                                             {"QT_QPA_PLATFORM", "offscreen"}};
    MakeTaskDocument(test::TestData("getplugininfo.xml"), "info.p7");
    const std::string tasks = ServeTasks();
    for (const auto& env : {ScriptedEnv(), qt}) {
        Child host({kHost, "chrome-extension://test/"}, env);
        host.Send(Call(0, "ExecuteUrl", {tasks + "/info.p7"}));
        host.Send(Call(1, "SetLanguage", {"cs"}));
        host.Send(Call(2, "SetLanguage", {"de"}));
        host.Send(Call(3, "SetDebug", {true}));
        host.Send(Call(4, "GetLogFileInfo"));
        host.Send(Call(5, "GetVersion"));
        host.CloseInput();
        const std::string log = temp.path().string() + "/PenwrightA.log";
        EXPECT_EQ(host.Receive(), json({{"id", 0},
                                        {"status", 0},
                                        {"response",
                                         "<plugininfo result=\"ok\"><summary name=\"ocx\" "
                                         "version=\"1.31.0\"/></plugininfo>"}}));
        EXPECT_EQ(host.Receive(), json({{"id", 1}, {"status", 0}, {"result", 1}}));
        EXPECT_EQ(host.Receive(), json({{"id", 2}, {"status", 0}, {"result", 0}}));
        EXPECT_EQ(host.Receive(), json({{"id", 3}, {"status", 0}}));
        EXPECT_EQ(host.Receive(),
                  json({{"id", 4}, {"status", 0}, {"text", "Log File: " + log + ", not exists"}}));
        EXPECT_EQ(host.Receive(), json({{"id", 5}, {"status", 0}, {"text", "1.31.0.81"}}));
        EXPECT_EQ(host.Wait(), 0);
    }
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
    Child host({kHost, "chrome-extension://test/"}, ScriptedEnv());
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
    test::WriteFile(temp / "task.xml", "<Envelope><task><attachment file=\"" +
                                           (temp / "big.txt").string() + "\"/></task></Envelope>");
    MakeTaskDocument(temp / "task.xml", "task.p7");
    const std::string tasks = ServeTasks();

    Child host({kStandinHost, "chrome-extension://test/"}, ScriptedEnv());
    host.Send(Call(41, "ExecuteUrl", {tasks + "/task.p7"}));
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
    const auto mismatch = std::mismatch(got.begin(), got.end(), expected.begin(), expected.end());
    EXPECT_TRUE(got == expected) << "got " << got.size() << " bytes, expected " << expected.size()
                                 << ", first difference at byte " << (mismatch.first - got.begin());
    host.Send(Call(42, "GetVersion"));
    EXPECT_EQ(host.Receive()["id"], 42);
    host.CloseInput();
    EXPECT_EQ(host.Wait(), 0);
}

}  // namespace
}  // namespace quillbox
