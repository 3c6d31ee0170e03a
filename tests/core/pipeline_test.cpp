#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "core/messages/messages.h"
#include "core/messages/messages_testing.h"
#include "core/sign_exception.h"
#include "core/task_processor.h"
#include "recording_user_interface.h"

namespace quillbox {
namespace {

using test::RecordingUserInterface;

// A handler that does what a test tells it and remembers what it saw.
class ScriptedHandler : public TaskHandler {
  public:
    std::function<void(TaskContext&)> action;
    int runs = 0;
    void Run(TaskContext& task) override {
        ++runs;
        if (action) {
            action(task);
        }
    }
};

class PipelineTest : public ::testing::Test {
  protected:
    void SetUp() override { SetLanguage("en"); }
    void TearDown() override { ResetLanguageForTesting(); }

    std::int32_t Run(TaskProcessor& processor, const std::string& text, std::string& response) {
        ExecuteOptions options;
        options.documentGiven = true;
        return processor.ExecuteTask(text, response, options);
    }
    std::string Run(const std::string& text) {
        std::string response = "untouched";
        EXPECT_EQ(Run(processor, text, response), kTaskStatusOk);
        return response;
    }

    RecordingUserInterface ui;
    TaskProcessor processor;
};

TEST_F(PipelineTest, GetPluginInfoInBothShapesAndForms) {
    const std::string expected =
        R"(<plugininfo result="ok"><summary name="ocx" version="1.31.0"/></plugininfo>)";
    EXPECT_EQ(Run("<getplugininfo/>"), expected);
    EXPECT_EQ(Run("<Envelope><task><getplugininfo extra='1'><child/></getplugininfo></task>"
                  "</Envelope>"),
              expected);
    EXPECT_EQ(Run("<s:Envelope xmlns:s='urn:x'><s:Body><task><getplugininfo/></task></s:Body>"
                  "</s:Envelope>"),
              expected);

    std::string response;
    ExecuteOptions app;
    app.documentGiven = true;
    app.appResponse = true;
    EXPECT_EQ(processor.ExecuteTask("<getplugininfo/>", response, app), kTaskStatusOk);
    EXPECT_EQ(
        response,
        R"(<appresponse result="ok"><plugininfo name="sea" version="1.31.0"/></appresponse>)");
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(PipelineTest, NamesAreCaseSensitive) {
    const std::string unknown = R"(<response result="error" errorinfo="unknown task"/>)";
    EXPECT_EQ(Run("<Sign/>"), unknown);
    EXPECT_EQ(Run("<SIGN/>"), unknown);
    // A lower-case "envelope" is itself the task element, of an unknown kind.
    EXPECT_EQ(Run("<envelope><task><getplugininfo/></task></envelope>"), unknown);
    EXPECT_EQ(processor.taskName(), "envelope");
    EXPECT_EQ(processor.taskKind(), TaskKind::Unknown);
}

TEST_F(PipelineTest, EnvelopeWithoutUsableTaskElementIsAnErrorWithoutInfo) {
    const std::string error = R"(<response result="error"/>)";
    EXPECT_EQ(Run("<Envelope><other/></Envelope>"), error);
    EXPECT_EQ(processor.taskKind(), TaskKind::None);
    // Pretty-printed: the first child of "task" is white space, not the task element.
    EXPECT_EQ(Run("<Envelope>\n  <task>\n    <getplugininfo/>\n  </task>\n</Envelope>"), error);
    EXPECT_EQ(Run("<Envelope><task><!-- note --><getplugininfo/></task></Envelope>"), error);
    EXPECT_EQ(Run("<Envelope><task/></Envelope>"), error);
    // A "task" element in a namespace is not the unprefixed "task".
    EXPECT_EQ(Run("<Envelope xmlns:t='urn:t'><t:task><getplugininfo/></t:task></Envelope>"), error);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(PipelineTest, DocIdAndResponseUrlKeepOldValuesWhenAbsent) {
    std::string response;
    Run(processor, "<getplugininfo doc-id='F1' response-url='https://a.test/r'/>", response);
    EXPECT_EQ(processor.docId(), "F1");
    EXPECT_EQ(processor.responseUrl(), "https://a.test/r");
    Run(processor, "<Envelope><task><checkapp doc-id='F2'/></task></Envelope>", response);
    EXPECT_EQ(processor.docId(), "F2");
    EXPECT_EQ(processor.responseUrl(), "https://a.test/r");
    Run(processor, "<Envelope/>", response);
    EXPECT_EQ(processor.docId(), "F2");
    EXPECT_EQ(processor.taskName(), "checkapp");
}

TEST_F(PipelineTest, TextThatIsNotWellFormedLeavesTheResponseAlone) {
    std::string response = "untouched";
    EXPECT_EQ(Run(processor, "<sign>", response), kTaskStatusNotWellFormed);
    EXPECT_EQ(Run(processor, "", response), kTaskStatusNotWellFormed);
    EXPECT_EQ(Run(processor, "<a/><b/>", response), kTaskStatusNotWellFormed);
    EXPECT_EQ(response, "untouched");
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(PipelineTest, TasksWithoutHandlerReportErrorNotSuccess) {
    EXPECT_EQ(Run("<sign><data>x</data></sign>"), R"(<signresponse result="error"/>)");
    // checkapp answers empty even after an error.
    EXPECT_EQ(Run("<checkapp/>"), "");
    EXPECT_EQ(processor.outcome().result, TaskResult::Error);
}

TEST_F(PipelineTest, HandlerSeesDocumentAndTaskAndFillsOutcome) {
    auto handler = std::make_unique<ScriptedHandler>();
    ScriptedHandler* sign = handler.get();
    sign->action = [](TaskContext& task) {
        // Parameters are found anywhere in the document, not only inside the task.
        EXPECT_EQ(task.document.SelectFirst("//data").Text(), "outside");
        EXPECT_EQ(task.taskElement.LocalName(), "sign");
        EXPECT_EQ(task.kind, TaskKind::Sign);
        task.outcome.result = TaskResult::Ok;
        task.outcome.signatureValue = "U0lH";
        task.outcome.certificate = "Q0VSVA==";
        task.outcome.certificateId = "aWQ=";
    };
    TaskServices services;
    services.handlers[TaskKind::Sign] = std::move(handler);
    TaskProcessor withSign(std::move(services));

    std::string response;
    EXPECT_EQ(Run(withSign,
                  "<Envelope><task><sign alg='rsa-sha256'/></task><data>outside</data></Envelope>",
                  response),
              kTaskStatusOk);
    EXPECT_EQ(response, R"(<signresponse result="ok"><SignatureValue>U0lH</SignatureValue>)"
                        R"(<X509Certificate id="aWQ=">Q0VSVA==</X509Certificate></signresponse>)");
    EXPECT_EQ(sign->runs, 1);
}

TEST_F(PipelineTest, HandlerFailuresAreShownOnceAndGiveNoResponse) {
    auto handler = std::make_unique<ScriptedHandler>();
    ScriptedHandler* send = handler.get();
    TaskServices services;
    services.handlers[TaskKind::Send] = std::move(handler);
    TaskProcessor withSend(std::move(services));

    send->action = [](TaskContext&) { throw CSignException(-20, "", false); };
    std::string response = "untouched";
    EXPECT_EQ(Run(withSend, "<send/>", response), kTaskStatusOk);
    EXPECT_EQ(response, "untouched");
    EXPECT_EQ(withSend.outcome().result, TaskResult::Error);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].icon, ui::BoxIcon::Error);
    EXPECT_EQ(ui.boxes[0].caption, "Quillbox Plug-in (32b) 1.31.0.81: Error");
    EXPECT_EQ(ui.boxes[0].text, "Authentication failed (-20)");

    // A foreign exception becomes the unknown error with the system's view of it.
    send->action = [](TaskContext&) {
        errno = 0;
        throw std::runtime_error("boom");
    };
    EXPECT_EQ(Run(withSend, "<send/>", response), kTaskStatusOk);
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[1].text, "Unknown error (-1)");

    send->action = [](TaskContext&) { throw 42; };
    EXPECT_EQ(Run(withSend, "<send/>", response), kTaskStatusOk);
    EXPECT_EQ(ui.boxes.size(), 3u);
    EXPECT_EQ(response, "untouched");

    // The box speaks the chosen language.
    SetLanguage("cs");
    send->action = [](TaskContext&) { throw CSignException(-5, "", false); };
    Run(withSend, "<send/>", response);
    ASSERT_EQ(ui.boxes.size(), 4u);
    EXPECT_EQ(ui.boxes[3].text, LoadMessage(148) + " (-5)");
    EXPECT_NE(ui.boxes[3].text, "Certificate not found (-5)");
    EXPECT_EQ(ui.boxes[3].caption, "Quillbox Plug-in (32b) 1.31.0.81: " + LoadMessage(121));
}

}  // namespace
}  // namespace quillbox
