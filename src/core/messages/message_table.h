// The per-language message tables behind LoadMessage.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace quillbox::message_table {

struct MessageEntry {
    int number;
    std::string_view text;  // UTF-8; empty means "no text", like a number that is not listed
};

// Each table is sorted by strictly ascending number, so that lookups can bisect it.
std::span<const MessageEntry> Czech();
std::span<const MessageEntry> English();
std::span<const MessageEntry> Slovak();

constexpr bool IsStrictlyAscending(std::span<const MessageEntry> table) {
    for (std::size_t i = 1; i < table.size(); ++i) {
        if (table[i - 1].number >= table[i].number) {
            return false;
        }
    }
    return true;
}

}  // namespace quillbox::message_table
