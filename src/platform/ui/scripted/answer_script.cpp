#include "platform/ui/scripted/answer_script.h"

#include "platform/ui/user_interface.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace quillbox::ui {

namespace {

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

}  // namespace

std::chrono::milliseconds StepPause() {
    static const std::chrono::milliseconds pause = [] {
        const char* value = std::getenv("QUILLBOX_UI_STEP_MS");
        const int ms = value != nullptr ? std::atoi(value) : 0;
        return std::chrono::milliseconds(ms > 0 && ms < 60000 ? ms : 0);
    }();
    return pause;
}

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

AnswerScript::AppendFile::AppendFile(const std::filesystem::path& path) {
    if (path.empty()) {
        return;
    }
    // The transcript holds what the person saw, the data being signed among it.
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        throw std::runtime_error("UI transcript " + path.string() +
                                 ": cannot open for appending: " + std::strerror(errno));
    }
}

AnswerScript::AppendFile::~AppendFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void AnswerScript::AppendFile::Write(std::string_view bytes) const {
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

AnswerScript::AnswerScript(const std::filesystem::path& answersFile,
                           const std::filesystem::path& transcriptFile)
    : answers_(LoadAnswers(answersFile)), transcript_(transcriptFile) {}

nlohmann::json AnswerScript::NextAnswer(std::string_view dialogKind) {
    std::lock_guard lock(mutex_);
    if (answers_.empty() ||
        answers_.front()["dialog"].get_ref<const std::string&>() != dialogKind) {
        return nullptr;
    }
    nlohmann::json entry = std::move(answers_.front());
    answers_.pop_front();
    return entry;
}

void AnswerScript::Record(nlohmann::json entry, const std::string& problem) {
    if (!problem.empty()) {
        entry["problem"] = problem;
    }
    Record(std::move(entry));
}

void AnswerScript::Record(nlohmann::json entry) {
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
    if (addRequester_ && !line.contains("requester")) {
        if (std::string requester = CurrentRequester(); !requester.empty()) {
            line["requester"] = std::move(requester);
        }
    }
    std::string text = line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    text += '\n';
    std::lock_guard lock(mutex_);
    transcript_.Write(text);
}

std::size_t AnswerScript::RemainingAnswers() const {
    std::lock_guard lock(mutex_);
    return answers_.size();
}

}  // namespace quillbox::ui
