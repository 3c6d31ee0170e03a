// Secrets typed into Qt line edits, taken with as few copies as Qt allows.
#pragma once

#include <QString>
#include <cstddef>

#include "platform/secret/secret_text.h"

namespace quillbox::ui {

// The text's length in UTF-8 bytes, counted without converting it: every conversion would
// be one more copy of the secret.
std::size_t Utf8Length(const QString& text);

// The characters in the text (a pair of surrogates is one), without converting it.
std::size_t CharacterCount(const QString& text);

// The text as UTF-8 in a secret; the one conversion buffer on the way is wiped.
secret::SecretText SecretFromText(const QString& text);

}  // namespace quillbox::ui
