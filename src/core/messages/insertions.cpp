#include "core/messages/messages.h"

#include <cstddef>

namespace quillbox {

std::string FormatInsertions(std::string_view text,
                             std::initializer_list<std::string_view> insertions) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '%' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const char next = text[i + 1];
        if (next == '%') {
            out += '%';
            ++i;
            continue;
        }
        if (next >= '1' && next <= '9') {
            const auto index = static_cast<std::size_t>(next - '1');
            if (index < insertions.size()) {
                out += insertions.begin()[index];
                ++i;
                continue;
            }
        }
        // Not an insertion of ours: keep the "%" and let the next character pass on its own.
        out += c;
    }
    return out;
}

}  // namespace quillbox
