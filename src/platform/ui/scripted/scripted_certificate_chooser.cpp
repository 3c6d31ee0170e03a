// The certificate dialog driven by the script's actions, written down as one line.
#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "platform/ui/scripted/scripted_user_interface.h"

namespace quillbox::ui {

namespace {

constexpr std::string_view kCertificates = "certificates";
// A preview can be a whole document; the transcript keeps its beginning.
constexpr std::size_t kPreviewLimit = 2000;

nlohmann::json TextsOf(const CertificateChooser& chooser) {
    const CertificateChooserTexts& texts = chooser.Texts();
    nlohmann::json pages = nlohmann::json::array({texts.listPage});
    if (chooser.HasPreviewPage()) {
        pages.push_back(texts.previewPage);
    }
    return {{"caption", texts.caption},
            {"pages", std::move(pages)},
            {"columns", texts.columns},
            {"checkBox", texts.showAll},
            {"buttons", {texts.confirm, texts.view, texts.cancel}}};
}

nlohmann::json RowsOf(const CertificateChooser& chooser) {
    nlohmann::json rows = nlohmann::json::array();
    for (const CertificateRow& row : chooser.Rows()) {
        rows.push_back({{"name", row.displayName},
                        {"issuer", row.issuerName},
                        {"validFrom", row.validFrom},
                        {"validTo", row.validTo},
                        {"friendlyName", row.friendlyName},
                        {"id", row.certificateId}});
    }
    return rows;
}

nlohmann::json RowIndex(std::optional<std::size_t> row) {
    return row ? nlohmann::json(*row) : nlohmann::json(nullptr);
}

// Cuts at a character boundary so the kept part stays valid UTF-8.
std::string PreviewHead(const std::string& text) {
    if (text.size() <= kPreviewLimit) {
        return text;
    }
    std::size_t end = kPreviewLimit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return text.substr(0, end);
}

bool IsTrue(const nlohmann::json& value) {
    return value.is_boolean() && value.get<bool>();
}

// Plays the script against one open dialog, remembering what it did.
class ActionPlayer {
  public:
    explicit ActionPlayer(CertificateChooser& chooser)
        : chooser_(chooser), preselected_(chooser.Selection()) {}

    std::optional<std::size_t> preselected() const { return preselected_; }
    // "ok" or "cancel" once an action of the script ended the dialog.
    const std::string& answer() const { return answer_; }
    nlohmann::json& steps() { return steps_; }

    // Empty when the action was done; otherwise why it could not be.
    std::string Perform(const nlohmann::json& action) {
        if (!action.is_object() || action.size() != 1) {
            return "action " + action.dump() + " is not an object with one key";
        }
        const std::string& key = action.begin().key();
        const nlohmann::json& value = action.begin().value();
        nlohmann::json step = {{"action", action}};
        std::string problem;
        if (key == "select") {
            problem = SelectRow(value, step);
        } else if (key == "showall" && value.is_boolean()) {
            const bool wanted = value.get<bool>();
            step["clicked"] = wanted != chooser_.ShowAll();
            if (wanted != chooser_.ShowAll()) {
                chooser_.SetShowAll(wanted);
                preselected_ = chooser_.Selection();
                step["rows"] = RowsOf(chooser_);
                step["preselected"] = RowIndex(preselected_);
            }
        } else if (key == "preview" && IsTrue(value)) {
            if (!chooser_.HasPreviewPage()) {
                problem = "the dialog has no preview page";
            } else if (const std::optional<std::string> text = chooser_.PreviewShown()) {
                std::string head = PreviewHead(*text);
                step["truncated"] = head.size() < text->size();
                step["length"] = text->size();
                step["text"] = std::move(head);
            } else {
                step["text"] = nullptr;  // no preview could be loaded
            }
        } else if (key == "view" && IsTrue(value)) {
            if (chooser_.CanConfirm()) {
                step["row"] = RowIndex(chooser_.Selection());
                chooser_.View();
            } else {
                problem = "the \"View\" button is disabled";
            }
        } else if (key == "confirm" && (value == "button" || value == "doubleclick")) {
            problem = ConfirmRow(value == "button", step);
        } else if (key == "cancel" && IsTrue(value)) {
            chooser_.Cancel();
            answer_ = "cancel";
        } else {
            problem = "unknown action " + action.dump();
        }
        if (!problem.empty()) {
            step["problem"] = problem;
        }
        steps_.push_back(std::move(step));
        return problem;
    }

  private:
    std::string SelectRow(const nlohmann::json& value, nlohmann::json& step) {
        std::optional<std::size_t> found;
        if (value == "preselected") {
            found = preselected_;
        } else if (value.is_object() && !value.empty()) {
            const auto id = value.find("id");
            const auto name = value.find("name");
            if (value.size() != value.count("id") + value.count("name")) {
                return "a selection names only \"id\" and \"name\"";
            }
            const std::vector<CertificateRow>& rows = chooser_.Rows();
            for (std::size_t i = 0; i < rows.size() && !found; ++i) {
                if ((id == value.end() || *id == rows[i].certificateId) &&
                    (name == value.end() || *name == rows[i].displayName)) {
                    found = i;
                }
            }
        } else {
            return "a selection is \"preselected\" or an object with \"id\" or \"name\"";
        }
        if (!found) {
            return "no row matches " + value.dump();
        }
        chooser_.Select(found);
        step["row"] = *found;
        return {};
    }

    std::string ConfirmRow(bool byButton, nlohmann::json& step) {
        const std::optional<std::size_t> row = chooser_.Selection();
        if (byButton ? !chooser_.CanConfirm() : !row) {
            return byButton ? "the confirm button is disabled" : "no row is selected";
        }
        step["row"] = RowIndex(row);
        if (byButton) {
            chooser_.Confirm();
        } else {
            chooser_.DoubleClick(*row);
        }
        if (chooser_.Finished()) {
            answer_ = "ok";
        }
        return {};
    }

    CertificateChooser& chooser_;
    std::optional<std::size_t> preselected_;
    std::string answer_;
    nlohmann::json steps_ = nlohmann::json::array();
};

}  // namespace

void ScriptedUserInterface::RunCertificateChooser(CertificateChooser& chooser) {
    const nlohmann::json entry = NextAnswer(kCertificates);
    const bool scripted = !entry.is_null();
    nlohmann::json record = {{"dialog", kCertificates}};
    record.update(TextsOf(chooser));

    chooser.Open();
    ActionPlayer player(chooser);
    record["showAll"] = chooser.ShowAll();
    record["rows"] = RowsOf(chooser);
    record["preselected"] = RowIndex(player.preselected());

    std::string problem;
    if (scripted) {
        const auto actions = entry.find("actions");
        if (actions == entry.end() || !actions->is_array()) {
            problem = "\"actions\" is not a list";
        } else {
            std::size_t next = 0;
            while (next < actions->size() && problem.empty() && !chooser.Finished()) {
                problem = player.Perform((*actions)[next++]);
            }
            if (next < actions->size()) {
                record["unusedActions"] = actions->size() - next;
            }
        }
    }
    std::string answer = player.answer();
    if (!chooser.Finished()) {
        // Nobody else can answer: a failed action, a script without a decision and no
        // script at all all end as a cancel.
        if (problem.empty() && scripted) {
            problem = "the actions ended before the dialog was finished";
        }
        chooser.Cancel();
        answer = "cancel";
    } else if (answer.empty()) {
        answer = "closed";
    }
    record["actions"] = std::move(player.steps());
    record["answer"] = answer;
    record["scripted"] = scripted;
    Record(std::move(record), problem);
}

}  // namespace quillbox::ui
