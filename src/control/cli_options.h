// The command line of the "quillbox" front end.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quillbox::cli {

enum class Command { Exec, Version, LogInfo };

struct Options {
    Command command = Command::Exec;
    std::string target;  // URL, or with document a file holding the task text
    // Later targets run after the first in the same control, as later tasks of one page.
    std::vector<std::string> moreTargets;
    bool document = false;
    std::optional<std::string> language;
    bool debug = false;
    std::string ui;  // "", "qt", "console" or "script:PATH"
    std::string transcript;
    bool verbose = false;  // version: also the control's identity
};

struct ParseResult {
    std::optional<Options> options;  // unset on a usage error
    std::string error;
};

ParseResult ParseArguments(const std::vector<std::string>& args);

extern const char* const kUsage;

}  // namespace quillbox::cli
