#include "platform/xml/markup_scan.h"

#include <algorithm>

namespace quillbox::xml::detail {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Letters, '_', ':' and anything beyond ASCII may begin a name; only such a '<' can
// start a tag with attributes.
bool MayStartName(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || byte == '_' ||
           byte == ':' || byte >= 0x80;
}

}  // namespace

std::size_t MostAttributesInOneTag(std::string_view text) {
    std::size_t most = 0;
    std::size_t pos = text.find('<');
    while (pos != std::string_view::npos) {
        ++pos;
        if (pos < text.size() && MayStartName(text[pos])) {
            std::size_t count = 0;
            char quote = 0;
            for (; pos < text.size() && text[pos] != '<'; ++pos) {
                const char c = text[pos];
                if (quote != 0) {
                    if (c == quote) {
                        quote = 0;
                    }
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    break;
                } else if (c == '=') {
                    std::size_t next = pos + 1;
                    while (next < text.size() && IsBlank(text[next])) {
                        ++next;
                    }
                    if (next < text.size() && (text[next] == '"' || text[next] == '\'')) {
                        ++count;
                    }
                }
            }
            most = std::max(most, count);
        }
        pos = text.find('<', pos);
    }
    return most;
}

}  // namespace quillbox::xml::detail
