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

// A handler that does what a test tells it.
class ScriptedHandler : public TaskHandler {
  public:
    std::function<void(TaskContext&)> action;
    void Run(TaskContext& task) override { action(task); }
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

    RecordingUserInterface ui;
    TaskProcessor processor;
};

// "untouched": not well-formed, and the response is left alone.
TEST_F(PipelineTest, FindsTheTaskInEitherShapeAndAnswersWhatItCannotRun) {
    const std::string info =
        R"(<plugininfo result="ok"><summary name="ocx" version="1.31.0"/></plugininfo>)";
    const std::string unknown = R"(<response result="error" errorinfo="unknown task"/>)";
    const std::string error = R"(<response result="error"/>)";
    const std::pair<std::string, std::string> cases[] = {
        {"<getplugininfo/>", info},
        {"<Envelope><task><getplugininfo extra='1'><child/></getplugininfo></task></Envelope>",
         info},
        {"<s:Envelope xmlns:s='urn:x'><s:Body><task><getplugininfo/></task></s:Body></s:Envelope>",
         info},
        // Names are case-sensitive: a lower-case "envelope" is itself an unknown task.
        {"<Sign/>", unknown},
        {"<envelope><task><getplugininfo/></task></envelope>", unknown},
        // No usable task element: white space or a comment first, none, or one in a namespace.
        {"<Envelope><other/></Envelope>", error},
        {"<Envelope>\n  <task>\n    <getplugininfo/>\n  </task>\n</Envelope>", error},
        {"<Envelope><task><!-- note --><getplugininfo/></task></Envelope>", error},
        {"<Envelope><task/></Envelope>", error},
        {"<Envelope xmlns:t='urn:t'><t:task><getplugininfo/></t:task></Envelope>", error},
        // A task without a handler is an error, never success; checkapp answers empty.
        {"<sign><data>x</data></sign>", R"(<signresponse result="error"/>)"},
        {"<checkapp/>", ""},
        {"<sign>", "untouched"},
        {"", "untouched"},
        {"<a/><b/>", "untouched"},
    };
    for (const auto& [text, expected] : cases) {
        std::string response = "untouched";
        EXPECT_EQ(Run(processor, text, response),
                  expected == "untouched" ? kTaskStatusNotWellFormed : kTaskStatusOk)
            << text;
        EXPECT_EQ(response, expected) << text;
    }
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

// Any exception, ours or foreign, is one error box in the chosen language and no response.
// The signing tasks' tests see the same for their own failures.
TEST_F(PipelineTest, HandlerFailuresAreShownOnceAndGiveNoResponse) {
    auto handler = std::make_unique<ScriptedHandler>();
    ScriptedHandler* send = handler.get();
    TaskServices services;
    services.handlers[TaskKind::Send] = std::move(handler);
    TaskProcessor withSend(std::move(services));
    const struct {
        const char* language;
        std::function<void(TaskContext&)> action;
        std::string box;
    } cases[] = {
        {"en",
         [](TaskContext&) {
             errno = 0;
             throw std::runtime_error("boom");
         },
         "Unknown error (-1)"},
        {"en", [](TaskContext&) { throw 42; }, "Unknown error (-1)"},
        {"cs", [](TaskContext&) { throw CSignException(-5, "", false); },
         "Certifikát nebyl nalezen (-5)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.box);
        SetLanguage(c.language);
        ui.boxes.clear();
        send->action = c.action;
        std::string response = "untouched";
        EXPECT_EQ(Run(withSend, "<send/>", response), kTaskStatusOk);
        EXPECT_EQ(response, "untouched");
        EXPECT_EQ(withSend.outcome().result, TaskResult::Error);
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].icon, ui::BoxIcon::Error);
        EXPECT_EQ(ui.boxes[0].caption, "Quillbox Plug-in (32b) 1.31.0.81: " + LoadMessage(121));
        EXPECT_EQ(ui.boxes[0].text, c.box);
    }
}

}  // namespace
}  // namespace quillbox
