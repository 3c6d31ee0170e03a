// The enrollment tasks end to end: the real "quillbox" program makes a key and its request,
// a test CA issues the certificate, and the PFX comes out where the person chose, checked
// with openssl and Java's keytool. Several tasks run in one control; a later task document is
// a pipe the test fills once the CA has issued the certificate.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include "core/base64/base64_coder.h"
#include "program_run.h"
#include "test_support.h"

namespace quillbox {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using json = nlohmann::json;
using test::ProgramRun;

const std::string kPassword = "Right pass 1";
const std::string kSubject =
    "<attribute oid=\"2.5.4.3\">Jana Nov\xC3\xA1kov\xC3\xA1, Ing.</attribute>"
    "<attribute oid=\"2.5.4.10\">X/2.5.4.3=Someone</attribute>"
    "<attribute oid=\"1.2.3.4\">any length of an unknown attribute</attribute>"
    "<attribute oid=\"2.5.4.6\">CZ</attribute>";
const std::string kSubjectLines =  // as openssl prints it, an attribute a line
    "subject=\n    CN=Jana Nov\xC3\xA1kov\xC3\xA1, Ing.\n    O=X/2.5.4.3=Someone\n"
    "    1.2.3.4=any length of an unknown attribute\n    C=CZ\n";

json Password(std::vector<std::string> tries) {
    json attempts = json::array();
    for (const std::string& one : tries) {
        attempts.push_back({{"password", one}});
    }
    return {{"dialog", "password"}, {"attempts", attempts}};
}
json Box(const std::string& answer) {
    return {{"dialog", "messagebox"}, {"answer", answer}};
}
json Save(const fs::path& path) {
    return {{"dialog", "savefile"}, {"path", path.string()}};
}

std::string Shell(const std::string& command) {
    const auto [status, out] = test::RunCapturingOutput(command + " 2>&1");
    EXPECT_EQ(status, 0) << command << "\n" << out;
    return out;
}

std::string RequestTask(const std::string& attributes, const std::string& certinfo = "") {
    return "<Envelope><task><createcertrequest><certinfo " + certinfo + "><subject>" + attributes +
           "</subject></certinfo></createcertrequest></task></Envelope>";
}
std::string PfxTask(const std::string& certificates) {
    return "<Envelope><task><makepfx><publickey>" + certificates +
           "</publickey></makepfx></task></Envelope>";
}

class EnrollTaskE2eTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ca_ = new test::TempDir;
        Shell("cd " + ca_->path().string() +
              " && openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 30"
              " -subj /CN=Test-CA");
    }
    static void TearDownTestSuite() { delete ca_; }

    EnrollTaskE2eTest() { fs::create_directories(home); }

    // A later task's document, made from the responses printed so far.
    using NextTask = std::function<std::string(const std::vector<std::string>& responses)>;

    // Runs the tasks in one control; each response is one line of run.out.
    ProgramRun Exec(const std::string& first, std::vector<NextTask> later, const json& answers,
                    const std::string& mode = "script") {
        test::WriteFile(scratch / "answers.json", answers.dump());
        test::WriteFile(scratch / "task0.xml", first);
        std::string files = (scratch / "task0.xml").string();
        for (std::size_t i = 1; i <= later.size(); ++i) {
            const fs::path fifo = scratch / ("task" + std::to_string(i) + ".xml");
            fs::remove(fifo);
            EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
            files += " " + fifo.string();
        }
        fs::remove(scratch / "t.jsonl");
        auto done = std::async(std::launch::async, [&] {
            return test::RunCapturingOutput(
                "timeout -k 5 " + std::to_string(test::kTimeLimitSeconds) +
                " " QUILLBOX_BINARY_DIR "/src/control/quillbox exec " + files +
                " --document --lang en --ui " + mode + ":" + (scratch / "answers.json").string() +
                " --transcript " + (scratch / "t.jsonl").string() + " >" +
                (scratch / "out").string() + " 2>" + (scratch / "err").string());
        });
        for (std::size_t i = 1; i <= later.size(); ++i) {
            const fs::path fifo = scratch / ("task" + std::to_string(i) + ".xml");
            int fd = -1;  // opens once the program reads the pipe, i.e. the task before is done
            while (fd < 0 &&
                   done.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
                fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            }
            if (fd < 0) {
                break;
            }
            const std::string task = later[i - 1](Responses(test::ReadFile(scratch / "out")));
            EXPECT_EQ(write(fd, task.data(), task.size()), static_cast<ssize_t>(task.size()));
            close(fd);
        }
        const int status = done.get().first;
        ProgramRun run{
            status, test::ReadFile(scratch / "out"), test::ReadFile(scratch / "err"), {}};
        if (fs::exists(scratch / "t.jsonl")) {
            std::istringstream lines(test::ReadFile(scratch / "t.jsonl"));
            for (std::string line; std::getline(lines, line);) {
                run.transcript.push_back(json::parse(line));
            }
        }
        return run;
    }

    static std::vector<std::string> Responses(const std::string& out) {
        std::vector<std::string> lines;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) {
            if (!line.empty()) {
                lines.push_back(line);
            }
        }
        return lines;
    }

    // The request's PEM text out of a "certrequest" response.
    static std::string RequestPem(const std::string& response) {
        const auto start = response.find('>') + 1;
        return Base64Coder::DecodeText(response.substr(start, response.rfind('<') - start));
    }

    // The CA's certificate for the request, followed by the CA's own: leaf first.
    std::string Issue(const std::string& requestPem) {
        test::WriteFile(scratch / "req.pem", requestPem);
        Shell("openssl x509 -req -in " + (scratch / "req.pem").string() + " -CA " +
              (ca_->path() / "ca.pem").string() + " -CAkey " + (ca_->path() / "ca.key").string() +
              " -set_serial " + std::to_string(++serial_) + " -days 30 -out " +
              (scratch / "cert.pem").string());
        return test::ReadFile(scratch / "cert.pem") + test::ReadFile(ca_->path() / "ca.pem");
    }

    std::vector<fs::path> KeyFiles() const {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(home)) {
            if (entry.path().filename().string().rfind("pk_", 0) == 0) {
                found.push_back(entry.path());
            }
        }
        return found;
    }

    // The request made with a fresh key; leaves its key file in home.
    std::string MakeRequest() {
        const ProgramRun run =
            Exec(RequestTask(kSubject), {}, json::array({Password({kPassword})}));
        EXPECT_THAT(run.out, HasSubstr("result=\"ok\"")) << run;
        return RequestPem(run.out);
    }

    // Checks the PFX with openssl and keytool: it opens with the password and holds the key of
    // the request and the issued certificate.
    void ExpectPfxFor(const fs::path& pfx, const std::string& requestPem) {
        struct stat info {};
        ASSERT_EQ(stat(pfx.c_str(), &info), 0) << pfx;
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        test::WriteFile(scratch / "req.pem", requestPem);
        const std::string pass = " -passin 'pass:" + kPassword + "'";
        EXPECT_EQ(Shell("openssl pkcs12 -in " + pfx.string() + pass +
                        " -nocerts -nodes | openssl pkey -pubout"),
                  Shell("openssl req -in " + (scratch / "req.pem").string() + " -noout -pubkey"));
        EXPECT_THAT(Shell("openssl pkcs12 -info -noout -in " + pfx.string() + pass),
                    HasSubstr("PBES2"));
        if (system("which keytool >/dev/null 2>&1") == 0) {
            EXPECT_THAT(Shell("keytool -list -storetype PKCS12 -keystore " + pfx.string() +
                              " -storepass '" + kPassword + "'"),
                        HasSubstr("PrivateKeyEntry"));
        }
    }

    test::TempDir scratch;
    fs::path home = scratch / "home";
    test::ScopedEnv homeEnv{"HOME", home.string()};
    test::ScopedEnv tmp{"TMP", scratch.path().string()};
    test::ScopedEnv config{"XDG_CONFIG_HOME", (scratch / "config").string()};
    test::ScopedEnv script{"QUILLBOX_UI_SCRIPT", std::nullopt};
    static test::TempDir* ca_;
    static inline int serial_ = 0;
};
test::TempDir* EnrollTaskE2eTest::ca_ = nullptr;

// Request, a failed request, then the PFX in the same control: the refused passwords keep the
// dialog open, the request has exactly the subject asked for, the failed request neither
// answers "ok" nor replaces the key, and the PFX needs no file and no dialog.
TEST_F(EnrollTaskE2eTest, RequestThenPfxInOneControl) {
    for (const std::string mode : {"script", "qt"}) {
        SCOPED_TRACE(mode);
        const fs::path pfx = scratch / ("out-" + mode + ".pfx");
        std::string request;
        json answers = {Password({"p\xC3\xA4ss", "mismatch", kPassword}), Box("ok"), Box("ok"),
                        Save(pfx)};
        answers[0]["attempts"][1]["confirm"] = "other";
        const ProgramRun run =
            Exec(RequestTask(kSubject),
                 {[](auto&) { return RequestTask("<attribute>no oid</attribute>"); },
                  [&](const std::vector<std::string>& responses) {
                      request = RequestPem(responses.at(0));
                      return PfxTask(Issue(request));
                  }},
                 answers, mode);
        const std::vector<std::string> responses = Responses(run.out);
        ASSERT_EQ(responses.size(), 3u) << run;
        EXPECT_EQ(responses[1], "<certrequest result=\"error\"/>");
        EXPECT_EQ(responses[2], "<makepfx result=\"ok\"/>");
        ASSERT_EQ(run.Dialogs("password").size(), 1u) << run;
        EXPECT_EQ(run.Dialogs("password")[0]["attempts"], 3);
        const auto boxes = run.Dialogs("messagebox");
        ASSERT_EQ(boxes.size(), 2u) << run;
        EXPECT_THAT(boxes[0].dump(), HasSubstr("Only ASCII characters"));
        EXPECT_THAT(boxes[1].dump(), HasSubstr("does not match"));

        test::WriteFile(scratch / "req.pem", request);
        const std::string req = (scratch / "req.pem").string();
        EXPECT_THAT(Shell("openssl req -verify -noout -in " + req), HasSubstr("verify OK"));
        EXPECT_EQ(
            Shell("openssl req -noout -subject -nameopt sep_multiline,utf8,-esc_msb -in " + req),
            kSubjectLines);
        EXPECT_THAT(Shell("openssl req -noout -text -in " + req), HasSubstr("2048 bit"));
        ExpectPfxFor(pfx, request);
        EXPECT_TRUE(KeyFiles().empty());
    }
}

// A new control finds the key file by the certificate, asks until the password is right, and
// keeps the key file and the person's files until the PFX is safely saved.
TEST_F(EnrollTaskE2eTest, PfxInNewControlFromTheKeyFile) {
    const std::string request = MakeRequest();
    const std::vector<fs::path> keys = KeyFiles();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_THAT(keys[0].filename().string(),
                ::testing::StartsWith("pk_JanaNov\xC3\xA1kov\xC3\xA1Ing_"));
    struct stat info {};
    ASSERT_EQ(stat(keys[0].c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_THAT(Shell("openssl asn1parse -in " + keys[0].string()), HasSubstr("PBES2"));

    const std::string certificates = Issue(request);
    const fs::path existing = scratch / "existing.pfx";
    test::WriteFile(existing, "the person's file");
    const fs::path pfx = scratch / "chosen";  // the dialog adds ".pfx"
    const ProgramRun run = Exec(PfxTask(certificates), {},
                                {Password({"wrong"}), Box("ok"), Password({kPassword}),
                                 Save(keys[0]), Box("ok"), Save(existing), Box("no"), Save(pfx)});
    EXPECT_EQ(Responses(run.out), std::vector<std::string>{"<makepfx result=\"ok\"/>"}) << run;
    EXPECT_EQ(run.Dialogs("password").size(), 2u);
    const auto boxes = run.Dialogs("messagebox");
    ASSERT_EQ(boxes.size(), 3u) << run;
    EXPECT_THAT(boxes[0].dump(), HasSubstr("The password for the private key " + keys[0].string() +
                                           " is not correct"));
    EXPECT_THAT(boxes[1].dump(), HasSubstr("Could not create PFX file"));  // over the key file
    EXPECT_THAT(boxes[2].dump(), HasSubstr("already exists"));
    EXPECT_EQ(test::ReadFile(existing), "the person's file");
    ExpectPfxFor(scratch / "chosen.pfx", request);
    EXPECT_TRUE(KeyFiles().empty());
}

// What stops the PFX keeps the key file and answers no "ok".
TEST_F(EnrollTaskE2eTest, FailedPfxKeepsTheKeyFile) {
    const std::string request = MakeRequest();
    const std::string certificates = Issue(request);
    const fs::path key = KeyFiles().at(0);
    const std::string keyText = test::ReadFile(key);
    const std::string otherKey =
        (MakeRequest(),
         test::ReadFile(KeyFiles().at(0) == key ? KeyFiles().at(1) : KeyFiles().at(0)));
    const fs::path disk = scratch / "disk";
    fs::create_directories(disk);
    const bool canMount = geteuid() == 0;
    struct Case {
        std::string name;
        std::function<bool()> prepare;  // false: not possible here
        std::string box;
        bool replaces = false;  // a file is at the destination
    };
    const std::vector<Case> cases = {
        {"read-only destination",
         [&] {
             return canMount ? mount("tmpfs", disk.c_str(), "tmpfs", MS_RDONLY, "size=1m") == 0
                             : chmod(disk.c_str(), 0500) == 0;
         },
         "Could not create PFX file"},
        {"full disk",
         [&] {
             if (!canMount || mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0) {
                 return false;
             }
             test::WriteFile(disk / "out.pfx", "the person's file");
             return system(("dd if=/dev/zero of=" + (disk / "fill").string() + " bs=1k 2>/dev/null")
                               .c_str()) != 0;  // dd fails once the disk is full
         },
         "Could not save PFX file", true},
        {"truncated key file",
         [&] {
             test::WriteFile(key, keyText.substr(0, keyText.size() / 2));
             return true;
         },
         "Could not load RSA private key"},
        {"another key under the name",
         [&] {
             test::WriteFile(key, otherKey);
             return true;
         },
         "Invalid RSA private key modulus"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.prepare()) {
            std::cerr << "skipped: " << c.name << " needs root for a tmpfs\n";
            continue;
        }
        json answers = {Password({kPassword}), Save(disk / "out.pfx")};
        if (c.replaces) {
            answers.push_back(Box("yes"));
        }
        const ProgramRun run = Exec(PfxTask(certificates), {}, answers);
        if (c.replaces) {
            EXPECT_EQ(test::ReadFile(disk / "out.pfx"), "the person's file");
        }
        umount(disk.c_str());
        chmod(disk.c_str(), 0700);
        EXPECT_THAT(run.out, Not(HasSubstr("ok"))) << run;
        ASSERT_FALSE(run.Dialogs("messagebox").empty()) << run;
        EXPECT_THAT(run.Dialogs("messagebox").back().dump(), HasSubstr(c.box)) << run;
        EXPECT_EQ(run.Dialogs("password").size(), 1u);
        EXPECT_TRUE(fs::exists(key));
        test::WriteFile(key, keyText);
    }
}

// Page input checked before anything is asked: limits, key lengths.
TEST_F(EnrollTaskE2eTest, RefusedRequestsAskNothing) {
    std::string wideName;  // 33 two-byte letters
    for (int i = 0; i < 33; ++i) {
        wideName += "\xC5\xBE";
    }
    const struct {
        std::string attributes, certinfo, box;
    } cases[] = {
        {"<attribute oid=\"2.5.4.6\">CZE</attribute>", "",
         "Attribute 2.5.4.6 (Country) has 3 chars in UTF-8, the size limit is 2 chars."},
        {"<attribute oid=\"2.5.4.3\">" + wideName + "</attribute>", "", "has 66 chars"},
        {"<attribute oid=\"2.5.4.9\">" + std::string(31, 's') + "</attribute>", "",
         "(Street) has 31"},
        {"", "pvklen=\"1024\"", "Could not generate RSA private key"},
        {"", "pvklen=\"9000\"", "Could not generate RSA private key"},
    };
    for (const auto& c : cases) {
        const ProgramRun run = Exec(RequestTask(c.attributes, c.certinfo), {}, json::array());
        EXPECT_EQ(run.out, "") << run;
        EXPECT_TRUE(run.Dialogs("password").empty());
        ASSERT_EQ(run.Dialogs("messagebox").size(), 1u) << run;
        EXPECT_THAT(run.Dialogs("messagebox")[0].dump(), HasSubstr(c.box));
    }
    EXPECT_TRUE(KeyFiles().empty());
}

}  // namespace
}  // namespace quillbox
