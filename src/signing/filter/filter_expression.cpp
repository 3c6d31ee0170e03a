#include "signing/filter/filter_expression.h"

#include "core/sign_exception.h"

namespace quillbox {

namespace {

constexpr std::int32_t kMissingBraceInParameter = -21;
constexpr std::int32_t kMissingBraceInExpression = -22;

// The first occurrence of one character at or after a position that only moves forward;
// remembers the last answer so that a long filter is scanned once, not once per node.
class ForwardFinder {
  public:
    ForwardFinder(std::string_view text, char c) : text_(text), c_(c) {}
    std::size_t From(std::size_t pos) {
        if (!known_ || (found_ != std::string_view::npos && found_ < pos)) {
            found_ = text_.find(c_, pos);
            known_ = true;
        }
        return found_;
    }

  private:
    std::string_view text_;
    char c_;
    std::size_t found_ = std::string_view::npos;
    bool known_ = false;
};

struct Head {
    std::string text;
    bool call = false;
    std::size_t next = 0;  // where parsing goes on
};

class Parser {
  public:
    explicit Parser(std::string_view text)
        : text_(text), open_(text, '('), comma_(text, ','), close_(text, ')') {}

    // One literal, or the name of a call with `next` just after its "(".
    Head ReadHead(std::size_t pos) {
        if (pos < text_.size() && text_[pos] == ',') {
            ++pos;
        }
        if (pos < text_.size() && text_[pos] == '{') {
            const std::size_t close = MatchingBrace(text_, pos);
            if (close == std::string_view::npos) {
                throw CSignException(kMissingBraceInParameter, {}, false);
            }
            return {std::string(text_.substr(pos + 1, close - pos - 1)), false, close + 1};
        }
        const std::size_t npos = std::string_view::npos;
        const std::size_t open = open_.From(pos);
        const std::size_t comma = comma_.From(pos);
        const std::size_t close = close_.From(pos);
        if (open != npos && (comma == npos || comma > open)) {
            return {std::string(text_.substr(pos, open - pos)), true, open + 1};
        }
        if (comma != npos && (close == npos || close > comma)) {
            return {std::string(text_.substr(pos, comma - pos)), false, comma + 1};
        }
        if (close != npos) {
            return {std::string(text_.substr(pos, close - pos)), false, close};
        }
        return {std::string(text_.substr(pos)), false, text_.size()};
    }

  private:
    std::string_view text_;
    ForwardFinder open_;
    ForwardFinder comma_;
    ForwardFinder close_;
};

bool IsBlankAt(std::string_view text, std::size_t i, std::size_t& width) {
    if (text[i] == ' ' || text[i] == '\t') {
        width = 1;
        return true;
    }
    // U+00A0 in UTF-8.
    if (text[i] == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0') {
        width = 2;
        return true;
    }
    return false;
}

}  // namespace

std::string RemoveFilterBlanks(std::string_view filter) {
    std::string text;
    text.reserve(filter.size());
    bool braced = false;
    for (std::size_t i = 0; i < filter.size();) {
        const char c = filter[i];
        std::size_t width = 1;
        if (c == '{') {
            braced = true;
        } else if (c == '}') {
            braced = false;
        } else if (!braced && IsBlankAt(filter, i, width)) {
            i += width;
            continue;
        }
        text += c;
        ++i;
    }
    return text;
}

std::size_t MatchingBrace(std::string_view text, std::size_t open) {
    // Each "{" before the first "}" opens a level that the first "}" closes innermost; every
    // further level takes the next "}" after the previous one.
    std::size_t close = text.find('}', open + 1);
    if (close == std::string_view::npos) {
        return close;
    }
    std::size_t levels = 0;
    for (std::size_t inner = text.find('{', open + 1); inner < close;
         inner = text.find('{', inner + 1)) {
        ++levels;
    }
    while (levels-- > 0 && close != std::string_view::npos) {
        close = text.find('}', close + 1);
    }
    return close;
}

std::optional<FilterExpression> ParseFilter(std::string_view filter) {
    const std::string text = RemoveFilterBlanks(filter);
    Parser parser(text);
    FilterExpression expression;
    std::vector<FilterNode>& nodes = expression.nodes_;
    std::vector<std::size_t> openCalls;  // calls whose parameter list is being read
    std::size_t pos = 0;

    for (;;) {
        Head head = parser.ReadHead(pos);
        const std::size_t index = nodes.size();
        nodes.push_back({std::move(head.text), {}, !head.call});
        if (!openCalls.empty()) {
            nodes[openCalls.back()].parameters.push_back(index);
        }
        pos = head.next;
        if (head.call) {
            if (pos >= text.size() || text[pos] != ')') {
                openCalls.push_back(index);
                continue;
            }
            ++pos;  // a call without parameters
        }
        // A node is complete: close every call whose ")" follows.
        while (!openCalls.empty()) {
            if (pos >= text.size()) {
                throw CSignException(kMissingBraceInExpression, {}, false);
            }
            if (text[pos] != ')') {
                break;
            }
            ++pos;
            openCalls.pop_back();
        }
        if (openCalls.empty()) {
            break;
        }
    }

    if (nodes.front().literal) {
        return std::nullopt;
    }
    return expression;
}

}  // namespace quillbox
