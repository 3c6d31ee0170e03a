// Runs the real "quillbox" program on a task, with a person played from an answers file,
// and reads back what it printed and the transcript of every dialog it showed.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace quillbox::test {

// Far longer than any case takes; a run still going then waits for something that never
// comes, and the case fails on its own instead of the whole suite timing out.
inline constexpr int kTimeLimitSeconds = 60;

// The program's exit status, output and transcript.
struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
    std::vector<nlohmann::json> transcript;

    std::vector<nlohmann::json> Dialogs(const std::string& kind) const;

    // What must agree between a run answered by the script and the same run in the real
    // windows: each dialog's kind, texts, buttons, rows and answers, without times,
    // durations and whether the script or a default gave the answer.
    nlohmann::json Agreed() const;
};

std::ostream& operator<<(std::ostream& os, const ProgramRun& run);

// "quillbox exec TARGET EXTRA --lang en --ui MODE:ANSWERS (English unless EXTRA names a language) --transcript ..." with the answers
// written to scratch. mode is "script" or "qt". A run that outlives the time limit fails
// the calling test.
ProgramRun ExecQuillbox(const std::string& target, const std::string& extraArguments,
                        const nlohmann::json& answers, const std::string& mode,
                        const std::filesystem::path& scratch);

}  // namespace quillbox::test
