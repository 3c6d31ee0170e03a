// The attachment and PDF area tasks end to end: the real "quillbox" program, a person
// played from an answers file, and for the PDF area a stand-in signer installed as
// "Evermark" in a temporary InstallDir. Every case also checks that nothing of the
// request is left in the shared temporary folder, where an old answer lies in wait.
#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include "core/base64/base64_coder.h"
#include "platform/xml/xml_document.h"
#include "program_run.h"
#include "test_support.h"

namespace quillbox {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using json = nlohmann::json;
using test::ProgramRun;

const std::string kCaption = "Quillbox Plug-in (32b) 1.31.0.81: Attachment";
const std::string kStaleAnswer = "0\nSTALE;1;2;3\n";

json OpenFile(const fs::path& path) {
    return {{"dialog", "openfile"}, {"path", path.string()}};
}

// The response's root attributes and text; result "none" when there is no response.
struct Response {
    std::string result = "none";
    std::optional<std::string> name;
    std::string text;
};

Response ResponseOf(const ProgramRun& run) {
    Response response;
    const auto document = xml::XmlDocument::Parse(run.out);
    if (!document) {
        return response;
    }
    const xml::XmlNode root = document->Root();
    response.result = root.Attribute("result").value_or("");
    response.name = root.Attribute("name");
    response.text = root.Text();
    return response;
}

// The text of the error box the run showed; empty when none.
std::string ErrorBox(const ProgramRun& run) {
    for (const json& box : run.Dialogs("messagebox")) {
        if (box["icon"] == "error") {
            return box["texts"][0].get<std::string>();
        }
    }
    return {};
}

class AttachTaskE2eTest : public ::testing::Test {
  protected:
    AttachTaskE2eTest() {
        fs::create_directories(scratch / "tmp");
        fs::create_directories(scratch / "signer");
        fs::create_directories(scratch / "config" / "quillbox");
        fs::copy_file(std::string(QUILLBOX_BINARY_DIR) + "/tests/attach/standin_signer",
                      scratch / "signer" / "Evermark");
        // Without a trailing separator, as administrators write it.
        InstallDir((scratch / "signer").string());
        test::WriteFile(scratch / "tmp" / "output.io2", kStaleAnswer);
    }

    void InstallDir(const std::string& folder) {
        test::WriteFile(scratch / "config" / "quillbox" / "settings.ini",
                        "[Software\\Kestrelsoft\\Evermark]\n" +
                            (folder.empty() ? "" : "InstallDir=sz:" + folder + "\n"));
    }

    ProgramRun Exec(const std::string& task, const json& answers,
                    const std::string& mode = "script", const fs::path& where = {}) {
        const fs::path folder = where.empty() ? scratch.path() : where;
        test::WriteFile(folder / "task.xml", task);
        return test::ExecQuillbox((folder / "task.xml").string(), "--document", answers, mode,
                                  folder);
    }

    ProgramRun AreaTask(const std::string& pdfFile, const fs::path& where = {}) {
        return Exec("<Envelope><task><getpdfarea><pdffile>" + pdfFile +
                        "</pdffile></getpdfarea></task></Envelope>",
                    json::array(), "script", where);
    }

    // The shared temporary folder holds nothing but the old answer, untouched.
    void ExpectTemporaryFolderClean() {
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(scratch / "tmp")) {
            left.push_back(entry.path().filename().string());
        }
        EXPECT_THAT(left, ElementsAre("output.io2"));
        EXPECT_EQ(test::ReadFile(scratch / "tmp" / "output.io2"), kStaleAnswer);
    }

    test::TempDir scratch;
    test::ScopedEnv tmp{"TMP", (scratch / "tmp").string()};
    test::ScopedEnv home{"XDG_CONFIG_HOME", (scratch / "home").string()};
    test::ScopedEnv machine{"XDG_CONFIG_DIRS", (scratch / "config").string()};
    test::ScopedEnv script{"QUILLBOX_UI_SCRIPT", std::nullopt};
    test::ScopedEnv signer{"QB_STANDIN_SIGNER", std::nullopt};
    test::ScopedEnv delay{"QB_STANDIN_DELAY_MS", std::nullopt};
};

TEST_F(AttachTaskE2eTest, AttachmentSendsTheChosenFileWhole) {
    std::string binary(5u * 1024 * 1024 + 1, '\0');
    std::mt19937 random(15);
    for (char& byte : binary) {
        byte = static_cast<char>(random());
    }
    const fs::path big = scratch / "data.bin";
    const fs::path czech = scratch / "P\xC5\x99\xC3\xADloha \xC4\x8D.1.txt";
    const fs::path fifo = scratch / "fifo";
    test::WriteFile(big, binary);
    test::WriteFile(czech, "obsah");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const json warningOk = {{"dialog", "messagebox"}, {"answer", "ok"}};
    const json cancel = {{"dialog", "openfile"}, {"answer", "cancel"}};
    const std::string czechName = "P\xC3\x85\xC2\x99\xC3\x83\xC2\xADloha \xC3\x84\xC2\x8D.1.txt";
    const struct {
        std::string name, attributes;
        json answers;  // one per dialog expected
        std::string result;
        std::optional<std::string> attachmentName;
        std::string content;
    } cases[] = {
        {"binary, empty behaviour", "attachbehav=\"\"", {OpenFile(big)}, "ok", "data.bin", binary},
        {"name read byte by byte", "", {OpenFile(czech)}, "ok", czechName, "obsah"},
        {"cancel", "", {cancel}, "cancel", std::nullopt, ""},
        {"no accessory",
         "attachbehav=\"scan\"",
         {warningOk, OpenFile(czech)},
         "ok",
         czechName,
         "obsah"},
        {"a FIFO is not taken", "", {OpenFile(fifo)}, "cancel", std::nullopt, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramRun run =
            Exec("<Envelope><task><attachment " + c.attributes + "/></task></Envelope>", c.answers);
        const Response response = ResponseOf(run);
        EXPECT_EQ(response.result, c.result) << run;
        EXPECT_EQ(response.name, c.attachmentName);
        EXPECT_TRUE(Base64Coder::DecodeText(response.text) == c.content);
        ASSERT_EQ(run.transcript.size(), c.answers.size()) << run;
        EXPECT_EQ(run.transcript.back()["caption"], kCaption);
        if (c.answers.size() == 2) {
            EXPECT_EQ(run.transcript[0]["icon"], "warning");
            EXPECT_THAT(run.transcript[0]["texts"][0].get<std::string>(),
                        HasSubstr("Accessory for scan not installed"));
        }
    }
}

// The real Qt window, answered by its driver typing the path; Qt's own words in the
// person's language.
TEST_F(AttachTaskE2eTest, AttachmentThroughTheQtFileDialog) {
    test::WriteFile(scratch / "notes.txt", "Qt");
    for (const auto& [language, lookIn] :
         {std::pair{"en", "Look in:"}, {"cs", "Hledat v:"}, {"sk", "Hľadať v:"}}) {
        SCOPED_TRACE(language);
        test::WriteFile(scratch / "task.xml", "<attachment/>");
        const ProgramRun run = test::ExecQuillbox(
            (scratch / "task.xml").string(), std::string("--document --lang ") + language,
            json::array({OpenFile(scratch / "notes.txt")}), "qt", scratch.path());
        const Response response = ResponseOf(run);
        EXPECT_EQ(response.result, "ok") << run;
        EXPECT_EQ(response.name, "notes.txt");
        EXPECT_EQ(Base64Coder::DecodeText(response.text), "Qt");
        EXPECT_EQ(run.Dialogs("openfile").at(0)["labels"].at(0), lookIn) << run;
    }
}

std::string AreaResponse(const std::string& coords) {
    return "<pdfarea result=\"ok\"><area coords=\"" + coords + "\"/></pdfarea>\n";
}

// No response ("") means an error box, whose text is given.
TEST_F(AttachTaskE2eTest, PdfAreaAnswersAsTheSignerDidAndLeavesNothingBehind) {
    const std::string unreadable = "Could not read data from Evermark.", wrong = "Wrong Evermark";
    const struct {
        std::string name, mode, out, errorBox, pdf = "/home/jana/smlouva.pdf";
        std::optional<std::string> installDir = std::nullopt;
    } cases[] = {
        {"area", "area:1;10;20;200;80", AreaResponse("1;10;20;200;80"), ""},
        {"cancelled", "cancel", "<pdfarea result=\"cancel\"/>\n", ""},
        {"failure", "fail:No document", "<pdfarea result=\"error\"/>\n", ""},
        {"code not a number", "raw:abc\nx\n", "", "Wrong Evermark data format."},
        {"zero written otherwise", "raw:00\nx\n", "", wrong},
        {"code out of range", "raw:99999999999\nx\n", "", wrong},
        {"code partly a number", "raw:5x\nx\n", "", wrong},
        {"control character in text", "raw:0\na\x01z\n", "", wrong},
        {"one line", "raw:0\n", "", unreadable},
        {"three bytes", "raw:0\n1", "", unreadable},
        {"empty answer", "raw:", "", unreadable},
        {"crash", "crash", "", unreadable},
        {"no answer", "none", "", unreadable},
        {"line break in the path", "echo", "", "Could not send data to Evermark.", "/a&#10;b"},
        {"no program", "echo", "", "Could not start Evermark.", "/a", "/nowhere"},
        {"not installed", "echo", "", "Could not find Evermark", "/a", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InstallDir(c.installDir.value_or((scratch / "signer").string()));
        test::ScopedEnv mode("QB_STANDIN_SIGNER", c.mode);
        const ProgramRun run = AreaTask(c.pdf);
        EXPECT_EQ(run.out, c.out) << run;
        EXPECT_THAT(ErrorBox(run), HasSubstr(c.errorBox)) << run;
        ExpectTemporaryFolderClean();
    }
}

// Two pages at once share the temporary folder; each gets its own answer, and a slow
// signer is waited for.
TEST_F(AttachTaskE2eTest, TwoPdfAreaTasksAtOnceEachGetTheirOwnAnswer) {
    test::ScopedEnv mode("QB_STANDIN_SIGNER", "echo");
    test::ScopedEnv slow("QB_STANDIN_DELAY_MS", "1500");
    const std::string pdfs[] = {"/home/jana/první.pdf", "/home/petr/druhý.pdf"};
    ProgramRun runs[2];
    std::vector<std::thread> threads;
    for (int i = 0; i < 2; ++i) {
        const fs::path folder = scratch / ("run" + std::to_string(i));
        fs::create_directories(folder);
        threads.emplace_back([&, i, folder] { runs[i] = AreaTask(pdfs[i], folder); });
    }
    for (int i = 0; i < 2; ++i) {
        threads[i].join();
        EXPECT_EQ(runs[i].out, AreaResponse(pdfs[i])) << runs[i];
    }
    ExpectTemporaryFolderClean();
}

}  // namespace
}  // namespace quillbox
