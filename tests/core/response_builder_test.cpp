#include <gtest/gtest.h>

#include <random>

#include "core/base64/base64_coder.h"
#include "core/response_builder.h"
#include "core/sign_exception.h"
#include "test_support.h"

namespace quillbox {
namespace {

struct FormCase {
    TaskKind kind;
    bool app;
    const char* expected;
};

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

TEST(ResponseBuilderTest, EveryKindInBothFormsWhenOk) {
    const FormCase cases[] = {
        {TaskKind::GetPluginInfo, false,
         R"(<plugininfo result="ok"><summary name="ocx" version="1.31.0"/></plugininfo>)"},
        {TaskKind::GetPluginInfo, true,
         R"(<appresponse result="ok"><plugininfo name="sea" version="1.31.0"/></appresponse>)"},
        {TaskKind::ChooseCert, false,
         R"(<certificate result="ok"><X509Certificate id="ID">CERT</X509Certificate></certificate>)"},
        {TaskKind::ChooseCert, true,
         R"(<appresponse result="ok"><X509Certificate id="ID">CERT</X509Certificate></appresponse>)"},
        {TaskKind::Sign, false,
         R"(<signresponse result="ok"><SignatureValue>SIG</SignatureValue>)"
         R"(<X509Certificate id="ID">CERT</X509Certificate></signresponse>)"},
        {TaskKind::Attachment, false,
         R"(<attachment result="ok" name="scan.pdf">QUJD</attachment>)"},
        {TaskKind::Attachment, true,
         R"(<appresponse result="ok"><attachment name="scan.pdf">QUJD</attachment></appresponse>)"},
        {TaskKind::Send, false,
         R"(<sendresult result="ok" retcode="200" headers="H: v">body &amp; more</sendresult>)"},
        {TaskKind::Send, true,
         R"(<appresponse result="ok"><sendresult result="ok" retcode="200" headers="H: v">)"
         R"(body &amp; more</sendresult></appresponse>)"},
        {TaskKind::CreateCertRequest, false, R"(<certrequest result="ok">REQ</certrequest>)"},
        {TaskKind::CreateCertRequest, true,
         R"(<appresponse result="ok"><certrequest result="ok">REQ</certrequest></appresponse>)"},
        {TaskKind::MakePfx, false, R"(<makepfx result="ok"/>)"},
        {TaskKind::MakePfx, true,
         R"(<appresponse result="ok"><makepfx result="ok"/></appresponse>)"},
        {TaskKind::GetPdfArea, false, R"(<pdfarea result="ok"><area coords="1,2,3,4"/></pdfarea>)"},
        {TaskKind::GetPdfArea, true,
         R"(<appresponse result="ok"><area coords="1,2,3,4"/></appresponse>)"},
        {TaskKind::Unknown, false, R"(<response result="ok"/>)"},
        {TaskKind::CheckApp, false, ""},
        {TaskKind::CheckApp, true, ""},
    };
    for (const FormCase& c : cases) {
        TaskOutcome outcome = FilledOutcome();
        Base64Coder coder;
        EXPECT_EQ(BuildResponse(c.kind, c.app, outcome, coder), c.expected)
            << "kind " << static_cast<int>(c.kind) << (c.app ? " app" : " plain");
    }
}

TEST(ResponseBuilderTest, CancelAndErrorCarryOnlyTheResult) {
    Base64Coder coder;
    TaskOutcome outcome = FilledOutcome();
    outcome.result = TaskResult::Cancel;
    EXPECT_EQ(BuildResponse(TaskKind::Sign, false, outcome, coder),
              R"(<signresponse result="cancel"/>)");
    outcome.result = TaskResult::Error;
    EXPECT_EQ(BuildResponse(TaskKind::Send, true, outcome, coder),
              R"(<appresponse result="error"/>)");
    EXPECT_EQ(BuildResponse(TaskKind::Unknown, false, outcome, coder),
              R"(<response result="error" errorinfo="unknown task"/>)");
    EXPECT_EQ(BuildResponse(TaskKind::None, false, outcome, coder),
              R"(<response result="error"/>)");
    outcome.result = static_cast<TaskResult>(7);
    EXPECT_EQ(BuildResponse(TaskKind::Sign, false, outcome, coder), R"(<signresponse/>)");
}

std::string AttachmentText(const std::string& response) {
    std::size_t open = response.find('>');
    std::size_t close = response.rfind("</attachment>");
    return close == std::string::npos ? "" : response.substr(open + 1, close - open - 1);
}

TEST(ResponseBuilderTest, AttachmentFileIsEncodedInChunksThatJoinExactly) {
    test::TempDir temp;
    std::mt19937 random(7);
    for (std::size_t size : {16191, 16192, 3 * 16191 + 2}) {
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
        EXPECT_EQ(AttachmentText(response), Base64Coder::EncodeBytes(bytes)) << size;
        EXPECT_EQ(outcome.result, TaskResult::Ok);
    }
}

TEST(ResponseBuilderTest, EmptyAttachmentFileIsOkWithEmptyText) {
    test::TempDir temp;
    test::WriteFile(temp / "empty", "");
    TaskOutcome outcome;
    outcome.attachmentName = "empty";
    outcome.attachmentPath = (temp / "empty").string();
    Base64Coder coder;
    EXPECT_EQ(BuildResponse(TaskKind::Attachment, false, outcome, coder),
              R"(<attachment result="ok" name="empty"/>)");
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
