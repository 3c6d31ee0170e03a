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
#include "control/control_identity.h"
#include "control/task_services.h"
#include "control/ui_choice.h"
#include "core/globals.h"
#include "core/identity.h"
#include "core/messages/messages.h"
#include "core/task_processor.h"
#include "platform/ui/user_interface.h"

namespace {

using quillbox::cli::Options;

constexpr int kUsageError = 2;

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

int RunExec(const Options& options, int& argc, char** argv) {
    std::vector<std::string> targets{options.target};
    targets.insert(targets.end(), options.moreTargets.begin(), options.moreTargets.end());
    quillbox::control::UiChoice choice;
    std::string uiError;
    if (!quillbox::control::ChooseUi({options.ui, options.transcript}, argc, argv, choice,
                                     uiError)) {
        std::cerr << "quillbox: " << uiError << '\n';
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

    // One control for all targets: a later task sees what an earlier one left, as on a page.
    int status = 0;
    {
        quillbox::TaskProcessor processor(quillbox::MakeTaskServices());
        quillbox::ExecuteOptions executeOptions;
        executeOptions.documentGiven = options.document;
        for (const std::string& target : targets) {
            // Each file is read when its task starts: it may be a pipe that a script fills
            // with what the earlier tasks answered.
            std::string argument = target;
            if (options.document && !ReadWholeFile(target, argument)) {
                std::cerr << "quillbox: cannot read " << target << '\n';
                status = status != 0 ? status : kUsageError;
                break;
            }
            std::string response;
            const int taskStatus = processor.ExecuteTask(argument, response, executeOptions);
            status = status != 0 ? status : taskStatus;
            std::cout << response;
            if (!response.empty()) {
                std::cout << '\n';
            }
            std::cout.flush();
        }
    }
    quillbox::ui::SetUserInterface(nullptr);
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
            if (options.verbose) {
                for (const auto& item : quillbox::control::kIdentityItems) {
                    std::cout << item.label << ": " << item.value << '\n';
                }
            }
            return 0;
        case quillbox::cli::Command::LogInfo:
            std::cout << "Log File: " << quillbox::CGlobals::Get().GetLogFileInfo() << '\n';
            return 0;
        case quillbox::cli::Command::Exec:
            break;
    }
    return RunExec(options, argc, argv);
}
