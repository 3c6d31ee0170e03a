// What both companion programs share: their language, their own texts in Czech, English
// and Slovak, the person played from a script for tests, and the failure box.
//
// Scripted mode: QUILLBOX_COMPANION_SCRIPT names a JSON list of answers, one per window,
// taken in order; QUILLBOX_COMPANION_TRANSCRIPT names a file to which every window shown
// appends one JSON line with what a person saw and answered. The windows are the real
// ones; the script acts on them as a person would, each step after QUILLBOX_UI_STEP_MS.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace quillbox::companions {

// One text in the three languages.
struct Text {
    const char* cs;
    const char* en;
    const char* sk;
};

// Takes the language from QUILLBOX_LANG ("cz" or "cs", "en", "sk"); English otherwise.
void LoadLanguageFromEnvironment();
QString Tr(const Text& text);

// The temporary folder as the plug-in names it: TMP, TEMP, TMPDIR, then /tmp.
std::string TemporaryFolder();

class Script {
  public:
    static Script& Get();
    bool Active() const { return active_; }
    // The next answer when it is meant for this kind of window; otherwise none, and the
    // window keeps its default (cancel).
    std::optional<nlohmann::json> Next(const std::string& dialog);
    void Record(const nlohmann::json& line);
    int StepMs() const { return stepMs_; }

  private:
    Script();
    bool active_ = false;
    nlohmann::json answers_ = nlohmann::json::array();
    std::size_t next_ = 0;
    std::string transcript_;
    int stepMs_ = 0;
};

// Runs action after the script's step time on the window's event loop.
void AfterStep(QObject* context, std::function<void()> action);

// Shows a failure to the person and waits for OK; scripted, the box closes itself.
void ShowFailure(QWidget* parent, const QString& caption, const QString& text);

}  // namespace quillbox::companions
