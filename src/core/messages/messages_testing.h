// Test-only access to the process-wide message language.
#pragma once

namespace quillbox {

// Returns the message language to kLanguageUserDefault, which SetLanguage alone cannot do.
void ResetLanguageForTesting();

}  // namespace quillbox
