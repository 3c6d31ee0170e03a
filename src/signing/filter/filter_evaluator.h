// Evaluates a parsed certificate filter against one certificate. Every value is text (or
// null, which reads as the empty text except in "ContainsSubstr"); truth is "true".
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "signing/filter/certificate_entry.h"
#include "signing/filter/filter_expression.h"

namespace quillbox {

struct FilterValue {
    std::string text;
    bool null = false;

    bool operator==(const FilterValue&) const = default;
};

// The root's value; nothing when a function read a parameter that is not there ("If",
// "IsEmpty", "Gt", "Lt", "LastParam" without parameters, "Switch" whose matching key has no
// result), which ends the evaluation. Unknown functions are logged and give their name.
std::optional<FilterValue> EvaluateFilter(const FilterExpression& expression,
                                          const CertificateEntry& entry);

// Empty filter, or one without any call: accepted. Otherwise accepted exactly when the
// evaluation completes with "true". Parse errors propagate as CSignException -21 / -22.
bool FilterAccepts(const CertificateEntry& entry, std::string_view filter);

// "qualified", "qualifieddevice", "qualifiedonqualifieddevice", "error", or empty.
std::string QualifiedStatusText(int status);

// The leading decimal number of a text ("12.5abc" is 12.5); 0 without one.
double FilterNumber(std::string_view text);

// The dotted OID for a short attribute name ("cn", "O", ...), or the lower-cased text itself.
std::string IssuerAttributeOid(std::string_view name);

}  // namespace quillbox
