#include <gtest/gtest.h>

#include <random>

#include "core/base64/base64_coder.h"
#include "core/response_builder.h"
#include "core/sign_exception.h"
#include "test_support.h"

namespace quillbox {
namespace {

TaskOutcome FilledOutcome() {
    TaskOutcome o;
    o.result = TaskResult::Ok;
    o.certificateId = "ID";
    o.signatureValue = "SIG";
    o.certificate = "CERT";
    o.attachmentName = "scan.pdf";
    o.attachmentContentGiven = true;
    o.attachmentContent = "QUJD";
    o.sendRetcode = "200";
    o.sendHeaders = "H: v";
    o.sendBody = "body & more";
    o.requestText = "REQ";
    o.pdfAreaCoords = "1,2,3,4";
    return o;
}

// The plain forms reach the end-to-end tests' pages; the app forms only these.
TEST(ResponseBuilderTest, EveryKindInTheAppFormWhenOk) {
    const std::pair<TaskKind, const char*> cases[] = {
        {TaskKind::GetPluginInfo,
         R"(<appresponse result="ok"><plugininfo name="sea" version="1.31.0"/></appresponse>)"},
        {TaskKind::ChooseCert,
         R"(<appresponse result="ok"><X509Certificate id="ID">CERT</X509Certificate></appresponse>)"},
        {TaskKind::Attachment,
         R"(<appresponse result="ok"><attachment name="scan.pdf">QUJD</attachment></appresponse>)"},
        {TaskKind::Send,
         R"(<appresponse result="ok"><sendresult result="ok" retcode="200" headers="H: v">)"
         R"(body &amp; more</sendresult></appresponse>)"},
        {TaskKind::CreateCertRequest,
         R"(<appresponse result="ok"><certrequest result="ok">REQ</certrequest></appresponse>)"},
        {TaskKind::MakePfx, R"(<appresponse result="ok"><makepfx result="ok"/></appresponse>)"},
        {TaskKind::GetPdfArea,
         R"(<appresponse result="ok"><area coords="1,2,3,4"/></appresponse>)"},
        {TaskKind::CheckApp, ""},
    };
    for (const auto& [kind, expected] : cases) {
        TaskOutcome outcome = FilledOutcome();
        Base64Coder coder;
        EXPECT_EQ(BuildResponse(kind, true, outcome, coder), expected)
            << "kind " << static_cast<int>(kind);
    }
}

TEST(ResponseBuilderTest, AnErrorOrAnUnknownResultCarriesNoContent) {
    Base64Coder coder;
    TaskOutcome outcome = FilledOutcome();
    outcome.result = TaskResult::Error;
    EXPECT_EQ(BuildResponse(TaskKind::Send, true, outcome, coder),
              R"(<appresponse result="error"/>)");
    outcome.result = static_cast<TaskResult>(7);
    EXPECT_EQ(BuildResponse(TaskKind::Sign, false, outcome, coder), R"(<signresponse/>)");
}

std::string AttachmentText(const std::string& response) {
    std::size_t open = response.find('>');
    std::size_t close = response.rfind("</attachment>");
    return close == std::string::npos ? "" : response.substr(open + 1, close - open - 1);
}

// An empty file is an attachment with no text.
TEST(ResponseBuilderTest, AttachmentFileIsEncodedInChunksThatJoinExactly) {
    test::TempDir temp;
    std::mt19937 random(7);
    for (std::size_t size : {0, 16191, 16192, 3 * 16191 + 2}) {
        std::string bytes(size, '\0');
        for (char& c : bytes) {
            c = static_cast<char>(random());
        }
        test::WriteFile(temp / "file.bin", bytes);
        TaskOutcome outcome;
        outcome.result = TaskResult::Ok;
        outcome.attachmentName = "file.bin";
        outcome.attachmentPath = (temp / "file.bin").string();
        Base64Coder coder;
        std::string response = BuildResponse(TaskKind::Attachment, false, outcome, coder);
        EXPECT_EQ(response.rfind(R"(<attachment result="ok" name="file.bin")", 0), 0u) << size;
        EXPECT_EQ(AttachmentText(response), Base64Coder::EncodeBytes(bytes)) << size;
    }
}

TEST(ResponseBuilderTest, MissingOrUnreadableAttachmentRaisesWithSystemError) {
    test::TempDir temp;
    Base64Coder coder;
    TaskOutcome outcome;
    outcome.attachmentPath = (temp / "missing").string();
    try {
        BuildResponse(TaskKind::Attachment, false, outcome, coder);
        FAIL() << "no exception";
    } catch (const CSignException& e) {
        EXPECT_EQ(e.Code(), -1);
        EXPECT_EQ(e.LastError(), static_cast<std::uint32_t>(ENOENT));
        EXPECT_EQ(outcome.result, TaskResult::Error);
    }
    // A folder opens but cannot be read: that must not pass as an empty attachment.
    outcome.result = TaskResult::Ok;
    outcome.attachmentPath = temp.path().string();
    EXPECT_THROW(BuildResponse(TaskKind::Attachment, false, outcome, coder), CSignException);
    EXPECT_EQ(outcome.result, TaskResult::Error);
}

}  // namespace
}  // namespace quillbox
