#include "platform/ui/qt/qt_secret_text.h"

#include <QByteArray>
#include <string_view>

namespace quillbox::ui {

std::size_t Utf8Length(const QString& text) {
    std::size_t bytes = 0;
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        // Each half of a surrogate pair counts two of the pair's four bytes.
        bytes += unit < 0x80 ? 1 : unit < 0x800 || c.isSurrogate() ? 2 : 3;
    }
    return bytes;
}

std::size_t CharacterCount(const QString& text) {
    std::size_t characters = 0;
    for (const QChar c : text) {
        characters += c.isLowSurrogate() ? 0 : 1;
    }
    return characters;
}

secret::SecretText SecretFromText(const QString& text) {
    QByteArray utf8 = text.toUtf8();
    secret::SecretText secret(
        std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    // data(), not constData(): a fresh conversion is not shared, so this writes in place.
    secret::WipeBytes(utf8.data(), static_cast<std::size_t>(utf8.size()));
    return secret;
}

}  // namespace quillbox::ui
