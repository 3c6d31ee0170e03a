// A look at the raw text before libxml2 parses it, for costs the parser would only
// notice too late.
#pragma once

#include <cstddef>
#include <string_view>

namespace quillbox::xml::detail {

// The largest number of attributes that any tag of the text can hold. libxml2 2.9
// compares each attribute of a start tag with all earlier ones, so a single tag with
// a million attributes keeps it busy for hours; this count finds such a tag in one pass.
//
// Every '<' is taken as the start of a tag (comments, CDATA and processing instructions
// are not skipped, so the parser's own recovery after an error cannot lead it into a
// tag this scan did not see). A tag ends at '<' or at '>' outside quotes; an attribute
// is a '=' outside quotes followed by a quote. The result is never below the count the
// parser sees in any start tag.
std::size_t MostAttributesInOneTag(std::string_view text);

}  // namespace quillbox::xml::detail
