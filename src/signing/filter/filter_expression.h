// The parsed form of a certificate filter such as
//   And(StrCmp(IssuerStr(o),{Example CA, Inc.}),QStatusParam(true,))
// Blanks outside braces are insignificant; braces quote a literal verbatim. The parser keeps
// its own stack of open calls, so nesting depth is bounded only by the text's length.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillbox {

struct FilterNode {
    std::string text;                     // a literal's value or a function's name
    std::vector<std::size_t> parameters;  // indices into FilterExpression::Nodes()
    bool literal = true;
};

class FilterExpression {
  public:
    // Nodes in source order: every node comes before all of its parameters, so walking the
    // list backwards meets each parameter before the call that uses it. Node 0 is the root.
    const std::vector<FilterNode>& Nodes() const { return nodes_; }
    const FilterNode& Root() const { return nodes_.front(); }

  private:
    friend std::optional<FilterExpression> ParseFilter(std::string_view filter);
    std::vector<FilterNode> nodes_;
};

// Nothing when the root is a literal (a filter without any call accepts everything).
// Throws CSignException -21 for a "{" without its "}" and -22 for a call whose ")" never
// comes. Text after the root call is ignored.
std::optional<FilterExpression> ParseFilter(std::string_view filter);

// Removes blanks, no-break spaces and tabs, except inside braces: "{" starts a braced part
// and any "}" ends it.
std::string RemoveFilterBlanks(std::string_view filter);

// Position of the "}" that closes the "{" at `open`, or npos.
std::size_t MatchingBrace(std::string_view text, std::size_t open);

}  // namespace quillbox
