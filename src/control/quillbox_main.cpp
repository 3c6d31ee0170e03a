// "quillbox": runs tasks through the same pipeline a web page reaches, for scripts,
// tests and support.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "control/cli_options.h"
#include "control/task_services.h"
#include "core/globals.h"
#include "core/identity.h"
#include "core/messages/messages.h"
#include "core/task_processor.h"
#include "platform/ui/scripted/scripted_user_interface.h"
#include "platform/ui/user_interface.h"

#ifdef QUILLBOX_WITH_QT
#include <QApplication>

#include "platform/ui/qt/qt_user_interface.h"
#endif

namespace {

using quillbox::cli::Options;

constexpr int kUsageError = 2;

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

bool ReadWholeFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    out = bytes.str();
    return !in.bad();
}

// The UI for this run: as asked, else a script named in the environment, else Qt
// when there is a display, else the console.
struct UiChoice {
    std::unique_ptr<quillbox::ui::UserInterface> ui;
#ifdef QUILLBOX_WITH_QT
    std::unique_ptr<QApplication> app;
#endif
};

bool ChooseUi(const Options& options, int& argc, char** argv, UiChoice& choice) {
    std::string ui = options.ui;
    if (ui.empty()) {
        std::string script = EnvOr("QUILLBOX_UI_SCRIPT", "");
        if (!script.empty()) {
            ui = "script:" + script;
        }
    }
#ifdef QUILLBOX_WITH_QT
    if (ui.empty()) {
        ui = quillbox::ui::QtDisplayAvailable() ? "qt" : "console";
    }
#endif
    if (ui.rfind("script:", 0) == 0) {
        std::string transcript = options.transcript.empty()
                                     ? EnvOr("QUILLBOX_UI_TRANSCRIPT", "/dev/null")
                                     : options.transcript;
        try {
            choice.ui =
                std::make_unique<quillbox::ui::ScriptedUserInterface>(ui.substr(7), transcript);
        } catch (const std::exception& e) {
            std::cerr << "quillbox: " << e.what() << '\n';
            return false;
        }
    } else if (ui == "qt") {
#ifdef QUILLBOX_WITH_QT
        if (!quillbox::ui::QtDisplayAvailable()) {
            std::cerr << "quillbox: --ui qt needs a display (DISPLAY, WAYLAND_DISPLAY or "
                         "QT_QPA_PLATFORM)\n";
            return false;
        }
        choice.app = std::make_unique<QApplication>(argc, argv);
        choice.ui = std::make_unique<quillbox::ui::QtUserInterface>();
#else
        std::cerr << "quillbox: this build has no Qt dialogs\n";
        return false;
#endif
    } else {
        choice.ui = std::make_unique<quillbox::ui::ConsoleUserInterface>();
    }
    return true;
}

int RunExec(const Options& options, int& argc, char** argv) {
    std::string argument = options.target;
    if (options.document && !ReadWholeFile(options.target, argument)) {
        std::cerr << "quillbox: cannot read " << options.target << '\n';
        return kUsageError;
    }
    UiChoice choice;
    if (!ChooseUi(options, argc, argv, choice)) {
        return kUsageError;
    }
    quillbox::ui::SetUserInterface(choice.ui.get());

    auto& globals = quillbox::CGlobals::Get();
    globals.LogText(quillbox::LogLevel::File, nullptr, quillbox::BannerLine());
    if (options.language) {
        QB_LOG(quillbox::LogLevel::File, nullptr, "Set language: %s", options.language->c_str());
        quillbox::SetLanguage(*options.language);
    }
    if (options.debug) {
        QB_LOG(quillbox::LogLevel::File, nullptr, "Set debug: %s", "true");
        globals.SetDebugFlag(true);
    }

    int status;
    std::string response;
    {
        quillbox::TaskProcessor processor(quillbox::MakeTaskServices());
        quillbox::ExecuteOptions executeOptions;
        executeOptions.documentGiven = options.document;
        status = processor.ExecuteTask(argument, response, executeOptions);
    }
    quillbox::ui::SetUserInterface(nullptr);
    std::cout << response;
    if (!response.empty()) {
        std::cout << '\n';
    }
    std::cout.flush();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    quillbox::cli::ParseResult parsed = quillbox::cli::ParseArguments(args);
    if (!parsed.options) {
        std::cerr << "quillbox: " << parsed.error << '\n' << quillbox::cli::kUsage;
        return kUsageError;
    }
    const Options& options = *parsed.options;
    switch (options.command) {
        case quillbox::cli::Command::Version:
            std::cout << quillbox::kPluginVersion << '\n';
            return 0;
        case quillbox::cli::Command::LogInfo:
            std::cout << "Log File: " << quillbox::CGlobals::Get().GetLogFileInfo() << '\n';
            return 0;
        case quillbox::cli::Command::Exec:
            break;
    }
    return RunExec(options, argc, argv);
}
