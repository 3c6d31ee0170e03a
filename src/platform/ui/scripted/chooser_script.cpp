// The certificate dialog played from a script, an action at a time.
#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "platform/ui/scripted/dialog_scripts.h"

namespace quillbox::ui::script {

namespace {

// A preview can be a whole document; the transcript keeps its beginning.
constexpr std::size_t kPreviewLimit = 2000;

nlohmann::json TextsOf(const ChooserActor& actor) {
    const CertificateChooserTexts texts = actor.Texts();
    nlohmann::json pages = nlohmann::json::array({texts.listPage});
    if (actor.HasPreviewPage()) {
        pages.push_back(texts.previewPage);
    }
    return {{"caption", texts.caption},
            {"pages", std::move(pages)},
            {"columns", texts.columns},
            {"checkBox", texts.showAll},
            {"buttons", {texts.confirm, texts.view, texts.cancel}}};
}

nlohmann::json RowsOf(const ChooserActor& actor) {
    nlohmann::json rows = nlohmann::json::array();
    for (const CertificateRow& row : actor.Rows()) {
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

}  // namespace

ChooserRun::ChooserRun(AnswerScript& script, ChooserActor& actor)
    : script_(script), actor_(actor), entry_(script.NextAnswer(kCertificates)) {}

void ChooserRun::Opened() {
    record_ = {{"dialog", kCertificates}};
    record_.update(TextsOf(actor_));
    if (std::string requester = actor_.Requester(); !requester.empty()) {
        record_["requester"] = std::move(requester);
    }
    preselected_ = actor_.Selection();
    record_["showAll"] = actor_.ShowAll();
    record_["rows"] = RowsOf(actor_);
    if (std::string note = actor_.EmptyNote(); !note.empty()) {
        record_["emptyNote"] = std::move(note);
    }
    record_["preselected"] = RowIndex(preselected_);
    if (!entry_.is_null()) {
        const auto actions = entry_.find("actions");
        if (actions == entry_.end() || !actions->is_array()) {
            problem_ = "\"actions\" is not a list";
        }
    }
}

bool ChooserRun::Step() {
    if (entry_.is_null() || !problem_.empty() || actor_.Finished()) {
        return false;
    }
    const nlohmann::json& actions = entry_["actions"];
    if (next_ >= actions.size()) {
        return false;
    }
    problem_ = Perform(actions[next_++]);
    return problem_.empty() && !actor_.Finished();
}

ChooserRun::~ChooserRun() {
    if (!closed_ && !record_.is_null()) {
        try {
            Close(true);
        } catch (...) {
            // Only the transcript line is lost.
        }
    }
}

void ChooserRun::Close(bool givenUp) {
    closed_ = true;
    const bool scripted = !entry_.is_null();
    if (scripted && entry_.contains("actions") && entry_["actions"].is_array() &&
        next_ < entry_["actions"].size()) {
        record_["unusedActions"] = entry_["actions"].size() - next_;
    }
    std::string answer = answer_;
    if (!actor_.Finished()) {
        // Nobody else can answer: a failed action, a script without a decision and no
        // script at all all end as a cancel.
        if (givenUp) {
            record_["givenUp"] = true;
        } else if (problem_.empty() && scripted) {
            problem_ = "the actions ended before the dialog was finished";
        }
        actor_.ClickCancel();
        answer = "cancel";
    } else if (answer.empty() && givenUp) {
        record_["givenUp"] = true;  // the real window was closed when the page went away
        answer = "cancel";
    } else if (answer.empty()) {
        answer = "closed";
    }
    record_["actions"] = std::move(steps_);
    record_["answer"] = answer;
    record_["scripted"] = scripted;
    script_.Record(std::move(record_), problem_);
}

std::string ChooserRun::Perform(const nlohmann::json& action) {
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
        step["clicked"] = wanted != actor_.ShowAll();
        if (wanted != actor_.ShowAll()) {
            actor_.ClickShowAll();
            preselected_ = actor_.Selection();
            step["rows"] = RowsOf(actor_);
            step["preselected"] = RowIndex(preselected_);
        }
    } else if (key == "preview" && IsTrue(value)) {
        if (!actor_.HasPreviewPage()) {
            problem = "the dialog has no preview page";
        } else if (const std::optional<std::string> text = actor_.ShowPreview()) {
            std::string head = PreviewHead(*text);
            step["truncated"] = head.size() < text->size();
            step["length"] = text->size();
            step["text"] = std::move(head);
        } else {
            step["text"] = nullptr;  // no preview could be loaded
        }
    } else if (key == "view" && IsTrue(value)) {
        if (actor_.ConfirmEnabled()) {
            step["row"] = RowIndex(actor_.Selection());
            actor_.ClickView();
        } else {
            problem = "the \"View\" button is disabled";
        }
    } else if (key == "confirm" && (value == "button" || value == "doubleclick")) {
        problem = ConfirmRow(value == "button", step);
    } else if (key == "cancel" && IsTrue(value)) {
        actor_.ClickCancel();
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

std::string ChooserRun::SelectRow(const nlohmann::json& value, nlohmann::json& step) {
    std::optional<std::size_t> found;
    if (value == "preselected") {
        found = preselected_;
    } else if (value.is_object() && !value.empty()) {
        const auto id = value.find("id");
        const auto name = value.find("name");
        if (value.size() != value.count("id") + value.count("name")) {
            return "a selection names only \"id\" and \"name\"";
        }
        const std::vector<CertificateRow> rows = actor_.Rows();
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
    actor_.Select(*found);
    step["row"] = *found;
    return {};
}

std::string ChooserRun::ConfirmRow(bool byButton, nlohmann::json& step) {
    const std::optional<std::size_t> row = actor_.Selection();
    if (byButton ? !actor_.ConfirmEnabled() : !row) {
        return byButton ? "the confirm button is disabled" : "no row is selected";
    }
    step["row"] = RowIndex(row);
    if (byButton) {
        actor_.ClickConfirm();
    } else {
        actor_.DoubleClick(*row);
    }
    if (actor_.Finished()) {
        answer_ = "ok";
    }
    return {};
}

}  // namespace quillbox::ui::script
