// The pipeline: one task document in, one response out. A processor runs the tasks of
// one caller (a page) one after another and keeps what later tasks of that caller may
// need; it never delivers the response itself.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/base64/base64_coder.h"
#include "core/task_handler.h"
#include "core/task_kind.h"
#include "core/task_outcome.h"
#include "core/task_source.h"
#include "platform/xml/xml_document.h"

namespace quillbox {

struct ExecuteOptions {
    bool documentGiven = false;  // the argument is the task text itself, not a URL
    bool showWaitDialog = true;
    bool appResponse = false;  // answer in the "appresponse" form
};

// Statuses of ExecuteTask. A handler's failure is reported to the person and answers
// kTaskStatusOk with no response: callers must look at the response, not the status.
inline constexpr std::int32_t kTaskStatusOk = 0;
inline constexpr std::int32_t kTaskStatusNotWellFormed = 1;
inline constexpr std::int32_t kTaskStatusDownloadFailed = 2;

// What the processor needs from the layers above the core.
struct TaskServices {
    std::shared_ptr<TaskDownloader> downloader = std::make_shared<NoTaskDownloader>();
    std::shared_ptr<SignedMessageReader> messageReader = std::make_shared<NoSignedMessageReader>();
    HandlerTable handlers;
};

class TaskProcessor {
  public:
    explicit TaskProcessor(TaskServices services = {});
    ~TaskProcessor();
    TaskProcessor(const TaskProcessor&) = delete;
    TaskProcessor& operator=(const TaskProcessor&) = delete;

    // Runs the task at url (or, with documentGiven, the task text in url). response is
    // set when a response was built, emptied when the download failed, and left as the
    // caller initialised it otherwise.
    std::int32_t ExecuteTask(const std::string& url, std::string& response,
                             std::optional<ExecuteOptions> options = std::nullopt);

    // Load, parse, dispatch and respond for a task text already in hand.
    std::int32_t ProcessTaskText(const std::string& text, std::string& response);

    // Replaces the document; false when the text is not well-formed.
    bool LoadTaskDocument(const std::string& text);
    // Finds the task in the loaded document; sets the task name, doc-id and response URL.
    TaskKind ParseEnvelope();

    TaskKind taskKind() const { return taskKind_; }
    const std::string& taskName() const { return taskName_; }
    const std::string& docId() const { return docId_; }
    const std::string& responseUrl() const { return responseUrl_; }
    bool appResponse() const { return appResponse_; }
    std::uint32_t secureProtocols() const { return secureProtocols_; }
    TaskOutcome& outcome() { return outcome_; }
    const xml::XmlDocument* document() const { return document_.get(); }
    Base64Coder& base64() { return base64_; }

  private:
    void Dispatch();
    bool DownloadTask(const std::string& url, const ExecuteOptions& options, std::string& text);
    void ReportFailure(const std::exception* foreign, const class CSignException* own);

    TaskServices services_;
    Base64Coder base64_;
    std::uint32_t secureProtocols_ = 0;
    std::unique_ptr<xml::XmlDocument> document_;
    xml::XmlNode taskElement_;
    TaskKind taskKind_ = TaskKind::None;
    std::string taskName_;
    std::string docId_;
    std::string responseUrl_;
    bool appResponse_ = false;
    TaskOutcome outcome_;
};

}  // namespace quillbox
