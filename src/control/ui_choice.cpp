#include "control/ui_choice.h"

#include <cstdlib>
#include <exception>

#include "platform/ui/scripted/scripted_user_interface.h"

#ifdef QUILLBOX_WITH_QT
#include "platform/ui/qt/qt_user_interface.h"
#endif

namespace quillbox::control {

namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

}  // namespace

bool UiChoice::HasQtApplication() const {
#ifdef QUILLBOX_WITH_QT
    return app != nullptr;
#else
    return false;
#endif
}

bool ChooseUi(const UiRequest& request, int& argc, char** argv, UiChoice& choice,
              std::string& error) {
    std::string ui = request.ui.empty() ? EnvOr("QUILLBOX_UI", "") : request.ui;
    if (ui.empty()) {
        std::string script = EnvOr("QUILLBOX_UI_SCRIPT", "");
        if (!script.empty()) {
            ui = "script:" + script;
        }
    }
    if (ui.empty()) {
#ifdef QUILLBOX_WITH_QT
        ui = ui::QtDisplayAvailable() ? "qt" : "console";
#else
        ui = "console";
#endif
    }
    const std::string transcript = request.transcript.empty()
                                       ? EnvOr("QUILLBOX_UI_TRANSCRIPT", "/dev/null")
                                       : request.transcript;
    if (ui.rfind("script:", 0) == 0) {
        try {
            choice.ui = std::make_unique<ui::ScriptedUserInterface>(ui.substr(7), transcript);
        } catch (const std::exception& e) {
            error = e.what();
            return false;
        }
    } else if (ui == "qt" || ui.rfind("qt:", 0) == 0) {
#ifdef QUILLBOX_WITH_QT
        if (!ui::QtDisplayAvailable()) {
            error = "--ui qt needs a display (DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM)";
            return false;
        }
        std::shared_ptr<ui::AnswerScript> driver;
        if (ui != "qt") {
            try {
                driver = std::make_shared<ui::AnswerScript>(ui.substr(3), transcript);
            } catch (const std::exception& e) {
                error = e.what();
                return false;
            }
        }
        choice.app = std::make_unique<QApplication>(argc, argv);
        choice.ui = std::make_unique<ui::QtUserInterface>(std::move(driver));
#else
        (void)argc;
        (void)argv;
        error = "this build has no Qt dialogs";
        return false;
#endif
    } else if (ui == "console") {
        choice.ui = std::make_unique<ui::ConsoleUserInterface>();
    } else {
        error = "unknown user interface \"" + ui +
                "\" (qt, qt:ANSWERS.json, console, script:ANSWERS.json)";
        return false;
    }
    return true;
}

}  // namespace quillbox::control
