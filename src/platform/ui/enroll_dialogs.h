// The dialogs of the enrollment tasks: the private-key password dialog and the dialog
// that chooses where a PFX file goes.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/secret/secret_text.h"

namespace quillbox::ui {

// ---- Password dialog: a password, and for a new key its confirmation. OK hands both
// texts to accept, which tells the person what is wrong (a message box over the dialog)
// and answers false to keep the dialog open.
struct PasswordRequest {
    std::string caption{};
    std::string passwordLabel{};
    std::string confirmLabel{};
    bool confirmShown = true;
    // Most characters a field takes; the field itself refuses more, so nothing typed is
    // cut without the person seeing it.
    std::size_t maxChars = 49;
    std::string okText{};
    std::string cancelText{};
    std::function<bool(std::string_view password, std::string_view confirmation)> accept{};
};

struct PasswordAnswer {
    bool confirmed = false;
    secret::SecretText password{};  // UTF-8
};

// ---- Save dialog: where a file goes. Asking before an existing file is replaced is left to
// the caller, so that it asks in the plug-in's own words and language.
struct SaveFileFilter {
    std::string name{};                   // "Personal information exchange (*.pfx; *.p12)"
    std::vector<std::string> patterns{};  // "*.pfx", "*.p12"
};

struct SaveFileRequest {
    std::string caption{};
    std::vector<SaveFileFilter> filters{};  // the first is selected
    std::string defaultSuffix{};            // added to a name typed without one
    std::string language{};                 // ISO 639-1: the words the dialog adds itself
};

enum class SaveFileOutcome { Chosen, Cancelled, Failed };

struct SaveFileAnswer {
    SaveFileOutcome outcome = SaveFileOutcome::Cancelled;
    std::string path{};  // absolute, when chosen
};

}  // namespace quillbox::ui
