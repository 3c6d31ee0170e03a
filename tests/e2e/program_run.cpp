#include "program_run.h"

#include <algorithm>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "test_support.h"

namespace quillbox::test {

using json = nlohmann::json;

std::vector<json> ProgramRun::Dialogs(const std::string& kind) const {
    std::vector<json> found;
    std::copy_if(transcript.begin(), transcript.end(), std::back_inserter(found),
                 [&](const json& line) { return line.value("dialog", "") == kind; });
    return found;
}

json ProgramRun::Agreed() const {
    static const std::set<std::string> kept = {
        "dialog",  "icon",    "caption",     "texts",       "warnings", "token",   "host",
        "user",    "buttons", "default",     "answer",      "pages",    "columns", "checkBox",
        "showAll", "shown",   "preselected", "certificate", "fields",   "pem",     "ok"};
    auto rows = [](const json& all) {
        json names = json::array();
        for (const json& row : all) {
            names.push_back({{"name", row["name"]}, {"id", row["id"]}});
        }
        return names;
    };
    // An error box for an HTTP answer quotes the server's Date header.
    static const std::regex date("Date: [^\r\n]*");
    json agreed = json::array();
    for (const json& line : transcript) {
        json reduced = json::object();
        for (const auto& [key, value] : line.items()) {
            if (kept.contains(key)) {
                reduced[key] = value;
            }
        }
        if (reduced.contains("texts")) {
            for (json& text : reduced["texts"]) {
                text = std::regex_replace(text.get<std::string>(), date, "Date: *");
            }
        }
        if (line.contains("rows")) {
            reduced["rows"] = rows(line["rows"]);
        }
        if (line.contains("actions")) {
            json& actions = reduced["actions"] = json::array();
            for (const json& step : line["actions"]) {
                json action = {{"action", step["action"]}};
                for (const char* key : {"row", "text", "preselected"}) {
                    if (step.contains(key)) {
                        action[key] = step[key];
                    }
                }
                if (step.contains("rows")) {
                    action["rows"] = rows(step["rows"]);
                }
                actions.push_back(std::move(action));
            }
        }
        agreed.push_back(std::move(reduced));
    }
    return agreed;
}

std::ostream& operator<<(std::ostream& os, const ProgramRun& run) {
    os << "\nexit status " << run.status << "\nstdout: " << run.out << "\nstderr: " << run.err
       << "\ntranscript:\n";
    for (const json& line : run.transcript) {
        os << line.dump() << '\n';
    }
    return os;
}

ProgramRun ExecQuillbox(const std::string& target, const std::string& extraArguments,
                        const json& answers, const std::string& mode,
                        const std::filesystem::path& scratch) {
    const std::filesystem::path transcript = scratch / "transcript.jsonl";
    WriteFile(scratch / "answers.json", answers.dump());
    std::filesystem::remove(transcript);
    const std::filesystem::path err = scratch / "stderr.txt";
    const auto [status, out] = RunCapturingOutput(
        "timeout -k 5 " + std::to_string(kTimeLimitSeconds) + " " +
        std::string(QUILLBOX_BINARY_DIR) + "/src/control/quillbox exec '" + target + "' " +
        extraArguments + (extraArguments.find("--lang") == std::string::npos ? " --lang en" : "") +
        " --ui " + mode + ":" + (scratch / "answers.json").string() + " --transcript " +
        transcript.string() + " 2>" + err.string());
    ProgramRun run{status, out, ReadFile(err), {}};
    if (std::filesystem::exists(transcript)) {
        std::istringstream lines(ReadFile(transcript));
        for (std::string line; std::getline(lines, line);) {
            run.transcript.push_back(json::parse(line));
        }
    }
    // timeout(1) exits with 124 when it stopped the program, 137 when it had to kill it.
    if (status == 124 || status == 137) {
        ADD_FAILURE() << "quillbox hung: still running after " << kTimeLimitSeconds << " s" << run;
    }
    return run;
}

}  // namespace quillbox::test
