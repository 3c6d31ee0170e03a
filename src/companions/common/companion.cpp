#include "companions/common/companion.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace quillbox::companions {

namespace {

enum class Language { Czech, English, Slovak };
Language language = Language::English;

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

void LoadLanguageFromEnvironment() {
    const std::string code = Env("QUILLBOX_LANG");
    language = code == "cz" || code == "cs" ? Language::Czech
               : code == "sk"               ? Language::Slovak
                                            : Language::English;
}

QString Tr(const Text& text) {
    switch (language) {
        case Language::Czech:
            return QString::fromUtf8(text.cs);
        case Language::Slovak:
            return QString::fromUtf8(text.sk);
        default:
            return QString::fromUtf8(text.en);
    }
}

std::string TemporaryFolder() {
    for (const char* name : {"TMP", "TEMP", "TMPDIR"}) {
        const std::string value = Env(name);
        if (!value.empty() && value.size() < 260) {
            return value;
        }
    }
    return "/tmp";
}

Script& Script::Get() {
    static Script script;
    return script;
}

Script::Script() {
    const std::string file = Env("QUILLBOX_COMPANION_SCRIPT");
    if (file.empty()) {
        return;
    }
    active_ = true;
    transcript_ = Env("QUILLBOX_COMPANION_TRANSCRIPT");
    stepMs_ = std::atoi(Env("QUILLBOX_UI_STEP_MS").c_str());
    std::ifstream in(file);
    nlohmann::json answers = nlohmann::json::parse(in, nullptr, false);
    if (answers.is_array()) {
        answers_ = std::move(answers);
    }
}

std::optional<nlohmann::json> Script::Next(const std::string& dialog) {
    if (next_ < answers_.size() && answers_[next_].is_object() &&
        answers_[next_].value("dialog", "") == dialog) {
        return answers_[next_++];
    }
    return std::nullopt;
}

void Script::Record(const nlohmann::json& line) {
    if (transcript_.empty()) {
        return;
    }
    std::ofstream out(transcript_, std::ios::app);
    out << line.dump() << '\n';
}

void AfterStep(QObject* context, std::function<void()> action) {
    QTimer::singleShot(Script::Get().StepMs(), context, std::move(action));
}

void ShowFailure(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, parent);
    box.button(QMessageBox::Ok)->setText(Tr({"OK", "OK", "OK"}));
    Script& script = Script::Get();
    if (script.Active()) {
        script.Next("messagebox");
        script.Record({{"dialog", "messagebox"},
                       {"icon", "error"},
                       {"caption", caption.toStdString()},
                       {"texts", {text.toStdString()}}});
        AfterStep(&box, [&box] { box.accept(); });
    }
    box.exec();
}

}  // namespace quillbox::companions
