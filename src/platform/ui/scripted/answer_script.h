// An answers file and a transcript: what the scripted person and the driver of the real
// Qt windows share. Both answer the same file the same way and write the same lines.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace quillbox::ui {

// Answers file: a JSON list of objects, each naming the dialog it answers and what to
// answer, for example
//   [{"dialog": "messagebox", "answer": "yes"},
//    {"dialog": "pin", "answer": "ok", "pin": "1234"}]
// Entries are used strictly in order: a dialog takes the first unused entry only when
// that entry names its kind, otherwise the entry waits and the dialog gets its default
// answer. Nothing ever waits for a person.
//
// Transcript: one JSON object per line, appended, one line per dialog shown, with the
// local time, the dialog's kind, the texts shown, the answer, and "scripted" telling
// whether the answer came from the script (false: the dialog's default).
class AnswerScript {
  public:
    // An empty answersFile means no answers (every dialog gets its default); an empty
    // transcriptFile means no transcript. Throws std::runtime_error when the answers file
    // cannot be read or is not a list of objects each with a "dialog" text, or when the
    // transcript cannot be opened for appending.
    AnswerScript(const std::filesystem::path& answersFile,
                 const std::filesystem::path& transcriptFile);
    AnswerScript(const AnswerScript&) = delete;
    AnswerScript& operator=(const AnswerScript&) = delete;

    // Takes the next entry when it answers dialogKind; null when it does not or none is left.
    nlohmann::json NextAnswer(std::string_view dialogKind);
    // Writes entry (an object) as one transcript line with "time" added, and flushes it.
    // Text that is not valid UTF-8 is written with replacement characters.
    void Record(nlohmann::json entry);
    // The same with "problem" added when the script's answer could not be used as given.
    void Record(nlohmann::json entry, const std::string& problem);

    std::size_t RemainingAnswers() const;

    // Lines without a "requester" get the current task's (CurrentRequester), for a front
    // end that shows it in every dialog without drawing it.
    void AddRequesterToLines() { addRequester_ = true; }

  private:
    // Owns a file descriptor; a whole line goes out in one append, so lines of
    // several processes sharing a transcript never interleave.
    class AppendFile {
      public:
        // An empty path gives a closed file that ignores writes.
        explicit AppendFile(const std::filesystem::path& path);
        ~AppendFile();
        AppendFile(const AppendFile&) = delete;
        AppendFile& operator=(const AppendFile&) = delete;

        void Write(std::string_view bytes) const;

      private:
        int fd_ = -1;
    };

    mutable std::mutex mutex_;
    std::deque<nlohmann::json> answers_;
    AppendFile transcript_;
    bool addRequester_ = false;
};

// How long a scripted answer waits before it is given: QUILLBOX_UI_STEP_MS (none when unset
// or a minute or more), so a person watching the real windows can follow, and a test can
// close the page while a dialog is open.
std::chrono::milliseconds StepPause();

// Local time as ISO 8601 with milliseconds and the offset from UTC,
// e.g. "2024-03-07T14:05:09.042+01:00".
std::string LocalTimestamp();

}  // namespace quillbox::ui
