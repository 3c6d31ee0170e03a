#include "platform/ui/scripted/scripted_user_interface.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

namespace quillbox::ui {

namespace {

constexpr std::string_view kMessageBox = "messagebox";

std::deque<nlohmann::json> LoadAnswers(const std::filesystem::path& path) {
    std::deque<nlohmann::json> answers;
    if (path.empty()) {
        return answers;
    }
    const std::string where = "UI script " + path.string();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error(where + ": cannot read the file");
    }
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    nlohmann::json document = nlohmann::json::parse(bytes, nullptr, false);
    if (document.is_discarded()) {
        throw std::runtime_error(where + ": not valid JSON");
    }
    if (!document.is_array()) {
        throw std::runtime_error(where + ": expected a JSON list of answers");
    }
    for (std::size_t i = 0; i < document.size(); ++i) {
        const nlohmann::json& entry = document[i];
        if (!entry.is_object() || !entry.contains("dialog") || !entry["dialog"].is_string()) {
            throw std::runtime_error(where + ": answer " + std::to_string(i + 1) +
                                     " is not an object with a \"dialog\" text");
        }
        answers.push_back(entry);
    }
    return answers;
}

std::string_view IconName(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Information:
            return "information";
        case BoxIcon::Warning:
            return "warning";
        case BoxIcon::Error:
            return "error";
        case BoxIcon::Question:
            return "question";
    }
    return "information";
}

std::string_view AnswerName(BoxAnswer answer) {
    switch (answer) {
        case BoxAnswer::Ok:
            return "ok";
        case BoxAnswer::Cancel:
            return "cancel";
        case BoxAnswer::Yes:
            return "yes";
        case BoxAnswer::No:
            return "no";
    }
    return "ok";
}

std::optional<BoxAnswer> AnswerFromName(std::string_view name) {
    for (BoxAnswer answer : {BoxAnswer::Ok, BoxAnswer::Cancel, BoxAnswer::Yes, BoxAnswer::No}) {
        if (AnswerName(answer) == name) {
            return answer;
        }
    }
    return std::nullopt;
}

std::vector<BoxAnswer> ButtonsOf(BoxButtons buttons) {
    switch (buttons) {
        case BoxButtons::Ok:
            return {BoxAnswer::Ok};
        case BoxButtons::OkCancel:
            return {BoxAnswer::Ok, BoxAnswer::Cancel};
        case BoxButtons::YesNo:
            return {BoxAnswer::Yes, BoxAnswer::No};
    }
    return {BoxAnswer::Ok};
}

const std::string& ButtonText(const BoxButtonTexts& texts, BoxAnswer answer) {
    switch (answer) {
        case BoxAnswer::Ok:
            return texts.ok;
        case BoxAnswer::Cancel:
            return texts.cancel;
        case BoxAnswer::Yes:
            return texts.yes;
        case BoxAnswer::No:
            return texts.no;
    }
    return texts.ok;
}

}  // namespace

std::string LocalTimestamp() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    const long offsetMinutes = local.tm_gmtoff / 60;
    const long absOffset = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    std::ostringstream text;
    text << std::put_time(&local, "%Y-%m-%dT%H:%M:%S") << '.' << std::setfill('0') << std::setw(3)
         << millis << (offsetMinutes < 0 ? '-' : '+') << std::setw(2) << absOffset / 60 << ':'
         << std::setw(2) << absOffset % 60;
    return text.str();
}

ScriptedUserInterface::AppendFile::AppendFile(const std::filesystem::path& path) {
    if (path.empty()) {
        return;
    }
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        throw std::runtime_error("UI transcript " + path.string() +
                                 ": cannot open for appending: " + std::strerror(errno));
    }
}

ScriptedUserInterface::AppendFile::~AppendFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void ScriptedUserInterface::AppendFile::Write(std::string_view bytes) const {
    // A transcript that cannot be written must not stop the dialog; the loop only
    // finishes a write the kernel cut short.
    while (fd_ >= 0 && !bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

ScriptedUserInterface::ScriptedUserInterface(const std::filesystem::path& answersFile,
                                             const std::filesystem::path& transcriptFile)
    : answers_(LoadAnswers(answersFile)), transcript_(transcriptFile) {}

nlohmann::json ScriptedUserInterface::NextAnswer(std::string_view dialogKind) {
    std::lock_guard lock(mutex_);
    if (answers_.empty() ||
        answers_.front()["dialog"].get_ref<const std::string&>() != dialogKind) {
        return nullptr;
    }
    nlohmann::json entry = std::move(answers_.front());
    answers_.pop_front();
    return entry;
}

void ScriptedUserInterface::Record(nlohmann::json entry, const std::string& problem) {
    if (!problem.empty()) {
        entry["problem"] = problem;
    }
    Record(std::move(entry));
}

void ScriptedUserInterface::Record(nlohmann::json entry) {
    // "time" and "dialog" lead each line so a person reading the transcript finds them.
    nlohmann::ordered_json line;
    line["time"] = LocalTimestamp();
    if (entry.is_object()) {
        if (auto dialog = entry.find("dialog"); dialog != entry.end()) {
            line["dialog"] = *dialog;
        }
        for (auto& [key, value] : entry.items()) {
            if (key != "dialog") {
                line[key] = std::move(value);
            }
        }
    } else {
        line["entry"] = std::move(entry);
    }
    std::string text = line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    text += '\n';
    std::lock_guard lock(mutex_);
    transcript_.Write(text);
}

std::size_t ScriptedUserInterface::RemainingAnswers() const {
    std::lock_guard lock(mutex_);
    return answers_.size();
}

BoxAnswer ScriptedUserInterface::ShowMessageBox(const MessageBoxRequest& box) {
    BoxAnswer answer = DefaultAnswerOf(box);
    bool scripted = false;
    std::string problem;

    const nlohmann::json entry = NextAnswer(kMessageBox);
    if (!entry.is_null()) {
        const auto named = entry.find("answer");
        std::optional<BoxAnswer> chosen;
        if (named != entry.end() && named->is_string()) {
            chosen = AnswerFromName(named->get_ref<const std::string&>());
        }
        if (chosen && BoxOffers(box.buttons, *chosen)) {
            answer = *chosen;
            scripted = true;
        } else {
            // A wrong script entry is used up, so one mistake does not shift every later
            // answer; the transcript says what went wrong.
            problem = "scripted answer " +
                      (named != entry.end() ? named->dump() : std::string("(none)")) +
                      " is not a button of this box";
        }
    }

    nlohmann::json record = {{"dialog", kMessageBox},
                             {"icon", IconName(box.icon)},
                             {"caption", box.caption},
                             {"texts", nlohmann::json::array({box.text})}};
    nlohmann::json buttons = nlohmann::json::array();
    nlohmann::json buttonTexts = nlohmann::json::object();
    for (BoxAnswer button : ButtonsOf(box.buttons)) {
        buttons.push_back(AnswerName(button));
        if (const std::string& text = ButtonText(box.buttonTexts, button); !text.empty()) {
            buttonTexts[std::string(AnswerName(button))] = text;
        }
    }
    record["buttons"] = std::move(buttons);
    if (!buttonTexts.empty()) {
        record["buttonTexts"] = std::move(buttonTexts);
    }
    record["default"] = AnswerName(DefaultAnswerOf(box));
    record["answer"] = AnswerName(answer);
    record["scripted"] = scripted;
    Record(std::move(record), problem);
    return answer;
}

}  // namespace quillbox::ui
