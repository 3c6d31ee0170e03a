// The control a web page scripts: five methods in the order pages have always bound
// them, each returning a 32-bit status and handing its results through out arguments.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/task_processor.h"

namespace quillbox::control {

class IFormFiller {
  public:
    virtual ~IFormFiller() = default;

    // result := 1 when the language was accepted ("cs", "en", "sk"), else 0.
    virtual std::int32_t SetLanguage(const std::string& language, std::int16_t& result) = 0;
    // Runs the task document at url; the status is the pipeline's (0, 1 or 2).
    virtual std::int32_t ExecuteUrl(const std::string& url, std::string& response) = 0;
    // on: a 16-bit boolean, any non-zero value switches diagnostics on.
    virtual std::int32_t SetDebug(std::int16_t on) = 0;
    virtual std::int32_t GetLogFileInfo(std::string& text) = 0;
    virtual std::int32_t GetVersion(std::string& text) = 0;
};

// One control owns one processor for its whole life, so the tasks of one page run
// through it one after another. Not thread-safe: one caller thread at a time.
class CFormFiller final : public IFormFiller {
  public:
    // With the task handlers and transport of this build.
    CFormFiller();
    explicit CFormFiller(TaskServices services);
    ~CFormFiller() override;
    CFormFiller(const CFormFiller&) = delete;
    CFormFiller& operator=(const CFormFiller&) = delete;

    std::int32_t SetLanguage(const std::string& language, std::int16_t& result) override;
    std::int32_t ExecuteUrl(const std::string& url, std::string& response) override;
    std::int32_t SetDebug(std::int16_t on) override;
    std::int32_t GetLogFileInfo(std::string& text) override;
    std::int32_t GetVersion(std::string& text) override;

  private:
    std::unique_ptr<TaskProcessor> processor_;
};

}  // namespace quillbox::control
