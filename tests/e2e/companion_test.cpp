// The attachment and PDF area tasks with the project's own companions: the real
// "quillbox" program starts the real picker and the real scan program (their windows on
// the offscreen platform, a person played from a script) and the scanner is SANE's
// "test" backend, enabled in a private SANE configuration.
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
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

const std::string kCompanions = std::string(QUILLBOX_BINARY_DIR) + "/src/companions";

// A PDF whose pages have these sizes in points, each with a line drawn on it.
std::string MakePdf(const std::vector<std::pair<int, int>>& sizes) {
    std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", ""};
    std::string kids;
    for (const auto& [width, height] : sizes) {
        const int page = int(objects.size()) + 1;
        kids += std::to_string(page) + " 0 R ";
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + std::to_string(width) +
                          " " + std::to_string(height) + "] /Contents " + std::to_string(page + 1) +
                          " 0 R >>");
        const std::string stream = "20 20 m 200 200 l S";
        objects.push_back("<< /Length " + std::to_string(stream.size()) + " >>\nstream\n" + stream +
                          "\nendstream");
    }
    objects[1] =
        "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(sizes.size()) + " >>";
    std::string pdf = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const std::size_t offset : offsets) {
        char line[21];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

// What pdfinfo says: the page count and one page's size in points.
struct PdfInfo {
    int pages = 0;
    double width = 0, height = 0;
};

PdfInfo ReadPdfInfo(const fs::path& pdf, int page) {
    const auto [status, out] =
        test::RunCapturingOutput("pdfinfo -f " + std::to_string(page) + " -l " +
                                 std::to_string(page) + " '" + pdf.string() + "'");
    PdfInfo info;
    std::smatch m;
    if (std::regex_search(out, m, std::regex("Pages: +([0-9]+)"))) {
        info.pages = std::stoi(m[1]);
    }
    if (std::regex_search(out, m, std::regex("size: +([0-9.]+) x ([0-9.]+) pts"))) {
        info.width = std::stod(m[1]);
        info.height = std::stod(m[2]);
    }
    return info;
}

std::string Decimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

class CompanionE2eTest : public ::testing::Test {
  protected:
    CompanionE2eTest() {
        fs::create_directories(scratch / "tmp");
        fs::create_directories(scratch / "config" / "quillbox");
        fs::create_directories(scratch / "sane");
        test::WriteFile(scratch / "config" / "quillbox" / "settings.ini",
                        "[Software\\Kestrelsoft\\Evermark]\nInstallDir=sz:" + kCompanions +
                            "\n[Software\\Kestrelsoft\\Vellum]\nScanToPdf=sz:" + kCompanions +
                            "/quillbox-scan\n");
        Scanners("test");
    }

    void Scanners(const std::string& backends) {
        test::WriteFile(scratch / "sane" / "dll.conf", backends + "\n");
    }

    // The task run with the plug-in's own dialogs answered by plugin, the companion's by
    // companion.
    test::ProgramRun Exec(const std::string& task, const json& companion,
                          const json& plugin = json::array()) {
        test::WriteFile(scratch / "companion.json", companion.dump());
        fs::remove(scratch / "companion.jsonl");
        test::WriteFile(scratch / "task.xml", task);
        return test::ExecQuillbox((scratch / "task.xml").string(), "--document", plugin, "script",
                                  scratch.path());
    }

    std::vector<json> CompanionTranscript() {
        std::vector<json> lines;
        if (fs::exists(scratch / "companion.jsonl")) {
            std::istringstream in(test::ReadFile(scratch / "companion.jsonl"));
            for (std::string line; std::getline(in, line);) {
                lines.push_back(json::parse(line));
            }
        }
        return lines;
    }

    test::TempDir scratch;
    test::ScopedEnv tmp{"TMP", (scratch / "tmp").string()};
    test::ScopedEnv home{"XDG_CONFIG_HOME", (scratch / "home").string()};
    test::ScopedEnv machine{"XDG_CONFIG_DIRS", (scratch / "config").string()};
    test::ScopedEnv sane{"SANE_CONFIG_DIR", (scratch / "sane").string()};
    test::ScopedEnv script{"QUILLBOX_COMPANION_SCRIPT", (scratch / "companion.json").string()};
    test::ScopedEnv transcript{"QUILLBOX_COMPANION_TRANSCRIPT",
                               (scratch / "companion.jsonl").string()};
    test::ScopedEnv step{"QUILLBOX_UI_STEP_MS", std::nullopt};
};

TEST_F(CompanionE2eTest, PickerAnswersTheAreaThePersonDragged) {
    const fs::path pdf = scratch / "smlouva o dílo.pdf";
    test::WriteFile(pdf, MakePdf({{595, 842}, {612, 792}, {842, 595}}));
    test::WriteFile(scratch / "broken.pdf", "%PDF-1.4\nnothing else\n");
    const PdfInfo second = ReadPdfInfo(pdf, 2);
    ASSERT_EQ(second.pages, 3);
    // Drawn, moved by (50, 50), its lower-right corner pulled by (20, 30): in points from
    // the page's top-left corner, as the person sees it.
    const json drawMoveResize = {{72, 100, 252, 150}, {100, 120, 150, 170}, {302, 200, 322, 230}};
    const std::string moved =
        "page=2;x=122.0;y=" + Decimal(second.height - 230) + ";w=200.0;h=80.0";
    const std::string drawn = "page=2;x=72.0;y=" + Decimal(second.height - 150) + ";w=180.0;h=50.0";
    const struct {
        std::string name, file, answer;
        json drags;
        std::string out, shown;
    } cases[] = {
        {"drawn",
         pdf.string(),
         "ok",
         {drawMoveResize[0]},
         "<pdfarea result=\"ok\"><area coords=\"" + drawn + "\"/></pdfarea>\n",
         ""},
        {"moved and resized", pdf.string(), "ok", drawMoveResize,
         "<pdfarea result=\"ok\"><area coords=\"" + moved + "\"/></pdfarea>\n", ""},
        {"cancelled",
         pdf.string(),
         "cancel",
         {drawMoveResize[0]},
         "<pdfarea result=\"cancel\"/>\n",
         ""},
        {"escape", pdf.string(), "escape", json::array(), "<pdfarea result=\"cancel\"/>\n", ""},
        {"missing", (scratch / "gone.pdf").string(), "ok", json::array(),
         "<pdfarea result=\"error\"/>\n", "does not exist"},
        {"broken", (scratch / "broken.pdf").string(), "ok", json::array(),
         "<pdfarea result=\"error\"/>\n", "is not a PDF document"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const test::ProgramRun run = Exec(
            "<getpdfarea><pdffile>" + c.file + "</pdffile></getpdfarea>",
            json::array(
                {{{"dialog", "pdfarea"}, {"page", 2}, {"drags", c.drags}, {"answer", c.answer}}}));
        EXPECT_EQ(run.out, c.out) << run;
        const std::vector<json> shown = CompanionTranscript();
        ASSERT_EQ(shown.size(), 1u);
        if (c.shown.empty()) {
            EXPECT_EQ(shown[0]["pages"], 3);
            EXPECT_EQ(shown[0]["caption"], "Signature area \u2013 smlouva o dílo.pdf");
        } else {
            EXPECT_THAT(shown[0]["texts"][0].get<std::string>(), HasSubstr(c.shown));
        }
    }
}

TEST_F(CompanionE2eTest, ScanGoesToThePageAsOnePdf) {
    const json cancelFileDialog = {{"dialog", "openfile"}, {"answer", "cancel"}};
    const struct {
        std::string name, backends;
        json answer, fileDialog;
        std::string result;
        int pages;
    } cases[] = {
        {"two pages, the first scanned again",
         "test",
         {{"dialog", "scan"},
          {"mode", "Color"},
          {"resolution", 100},
          {"pages", 2},
          {"rescan", 1},
          {"answer", "ok"}},
         json::array(),
         "ok",
         2},
        {"cancelled",
         "test",
         {{"dialog", "scan"}, {"pages", 1}, {"answer", "cancel"}},
         json::array(),
         "cancel",
         0},
        // The accessory fails, so the person gets the file dialog.
        {"no scanner",
         "",
         {{"dialog", "messagebox"}},
         json::array({cancelFileDialog}),
         "cancel",
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scanners(c.backends);
        const test::ProgramRun run = Exec(R"(<attachment attachbehav="scan" dpi="100"/>)",
                                          json::array({c.answer}), c.fileDialog);
        EXPECT_THAT(run.out, HasSubstr("result=\"" + c.result + "\"")) << run;
        EXPECT_EQ(run.transcript.size(), c.fileDialog.size())
            << run << "scan program: " << json(CompanionTranscript()).dump();
        if (c.pages > 0) {
            std::smatch m;
            ASSERT_TRUE(std::regex_search(run.out, m, std::regex("name=\"scan.pdf\">([^<]*)<")));
            test::WriteFile(scratch / "scan.pdf", Base64Coder::DecodeText(m[1].str()));
            const PdfInfo info = ReadPdfInfo(scratch / "scan.pdf", 1);
            EXPECT_EQ(info.pages, c.pages);
            // Qt's PDF writer sizes pages in whole points.
            const json page = CompanionTranscript().at(0)["pages"][0];
            EXPECT_NEAR(info.width, page[0].get<double>() * 72 / 100, 0.5);
            EXPECT_NEAR(info.height, page[1].get<double>() * 72 / 100, 0.5);
        }
    }
}

}  // namespace
}  // namespace quillbox
