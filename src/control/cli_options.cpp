#include "control/cli_options.h"

namespace quillbox::cli {

const char* const kUsage =
    "usage: quillbox exec URL-or-FILE... [--document] [--lang cs|en|sk] [--debug]\n"
    "                     [--ui qt|qt:ANSWERS.json|console|script:ANSWERS.json] [--transcript "
    "FILE]\n"
    "       quillbox version [--verbose]\n"
    "       quillbox log-info\n";

namespace {

ParseResult Fail(std::string error) {
    return {std::nullopt, std::move(error)};
}

}  // namespace

ParseResult ParseArguments(const std::vector<std::string>& args) {
    if (args.empty()) {
        return Fail("no command given");
    }
    Options options;
    const std::string& command = args[0];
    if (command == "version" && args.size() == 2 && args[1] == "--verbose") {
        options.command = Command::Version;
        options.verbose = true;
        return {options, {}};
    }
    if (command == "version" || command == "log-info") {
        if (args.size() != 1) {
            return Fail("'" + command + "' takes no arguments");
        }
        options.command = command == "version" ? Command::Version : Command::LogInfo;
        return {options, {}};
    }
    if (command != "exec") {
        return Fail("unknown command '" + command + "'");
    }
    options.command = Command::Exec;
    bool haveTarget = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                return false;
            }
            out = args[++i];
            return true;
        };
        if (arg == "--document") {
            options.document = true;
        } else if (arg == "--debug") {
            options.debug = true;
        } else if (arg == "--lang") {
            std::string lang;
            if (!value(lang) || (lang != "cs" && lang != "en" && lang != "sk")) {
                return Fail("--lang takes cs, en or sk");
            }
            options.language = lang;
        } else if (arg == "--ui") {
            if (!value(options.ui) ||
                !(options.ui == "qt" || options.ui == "console" ||
                  (options.ui.rfind("qt:", 0) == 0 && options.ui.size() > 3) ||
                  (options.ui.rfind("script:", 0) == 0 && options.ui.size() > 7))) {
                return Fail("--ui takes qt, qt:ANSWERS.json, console or script:ANSWERS.json");
            }
        } else if (arg == "--transcript") {
            if (!value(options.transcript) || options.transcript.empty()) {
                return Fail("--transcript takes a file name");
            }
        } else if (arg.rfind("--", 0) == 0 && arg.size() > 2) {
            return Fail("unknown option '" + arg + "'");
        } else if (!haveTarget) {
            options.target = arg;
            haveTarget = true;
        } else {
            options.moreTargets.push_back(arg);
        }
    }
    if (!haveTarget) {
        return Fail("exec needs a URL or a file");
    }
    return {options, {}};
}

}  // namespace quillbox::cli
