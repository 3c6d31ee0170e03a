#include "signing/filter/filter_evaluator.h"

#include <locale.h>
#include <array>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <span>
#include <utility>
#include <vector>

#include "core/globals.h"
#include "core/messages/messages.h"
#include "signing/qcert/qualified_certificate_parser.h"

namespace quillbox {

namespace {

constexpr int kMessageFunctionNotSupported = 153;

enum class Function {
    kIssuerStr,
    kSubjectStr,
    kStrCmp,
    kContainsSubstr,
    kAnd,
    kOr,
    kNot,
    kIf,
    kIsEmpty,
    kGt,
    kLt,
    kLastParam,
    kSwitch,
    kQStatus,
    kQStatusParam,
};

constexpr std::array<std::pair<std::string_view, Function>, 15> kFunctions{{
    {"IssuerStr", Function::kIssuerStr},
    {"SubjectStr", Function::kSubjectStr},
    {"StrCmp", Function::kStrCmp},
    {"ContainsSubstr", Function::kContainsSubstr},
    {"And", Function::kAnd},
    {"Or", Function::kOr},
    {"Not", Function::kNot},
    {"If", Function::kIf},
    {"IsEmpty", Function::kIsEmpty},
    {"Gt", Function::kGt},
    {"Lt", Function::kLt},
    {"LastParam", Function::kLastParam},
    {"Switch", Function::kSwitch},
    {"QStatus", Function::kQStatus},
    {"QStatusParam", Function::kQStatusParam},
}};

constexpr std::array<std::pair<std::string_view, std::string_view>, 14> kShortNames{{
    {"cn", "2.5.4.3"},
    {"ou", "2.5.4.11"},
    {"o", "2.5.4.10"},
    {"c", "2.5.4.6"},
    {"l", "2.5.4.7"},
    {"st", "2.5.4.8"},
    {"street", "2.5.4.9"},
    {"title", "2.5.4.12"},
    {"uid", "0.9.2342.19200300.100.1.1"},
    {"mail", "1.2.840.113549.1.9.1"},
    {"dc", "0.9.2342.19200300.100.1.2.25"},
    {"serialnumber", "2.5.4.5"},
    {"unstructuredname", "1.2.840.113549.1.9.2"},
    {"unstructuredaddress", "1.2.840.113549.1.9.8"},
}};

FilterValue Text(std::string text) {
    return {std::move(text), false};
}
FilterValue Truth(bool value) {
    return Text(value ? "true" : "false");
}
FilterValue Null() {
    return {{}, true};
}

bool IsTrue(const FilterValue* value) {
    return value != nullptr && value->text == "true";
}

// "true", "false" or empty (a missing parameter counts as empty); nothing for other text.
std::optional<bool> Tristate(const FilterValue* value, bool& empty) {
    empty = value == nullptr || value->text.empty();
    if (empty) {
        return false;
    }
    if (value->text == "true") {
        return true;
    }
    if (value->text == "false") {
        return false;
    }
    return std::nullopt;
}

bool QStatusParamAccepts(bool qualifiedEmpty, bool qualified, bool deviceEmpty, bool device,
                         int status) {
    if (status < 0 || status > 3) {
        return qualifiedEmpty && deviceEmpty;
    }
    const bool isQualified = (status & QCertFilter::kQualifiedStatusQualified) != 0;
    const bool onDevice = (status & QCertFilter::kQualifiedStatusDevice) != 0;
    return (qualifiedEmpty || qualified == isQualified) && (deviceEmpty || device == onDevice);
}

// One call: the function applied to already evaluated parameters.
class Call {
  public:
    Call(const std::string& name, std::span<const FilterValue* const> parameters,
         const CertificateEntry& entry)
        : name_(name), p_(parameters), entry_(entry) {}

    std::optional<FilterValue> Apply() const {
        const Function* function = nullptr;
        for (const auto& [name, f] : kFunctions) {
            if (name == name_) {
                function = &f;
                break;
            }
        }
        if (function == nullptr) {
            CGlobals::Get().LogText(LogLevel::File, nullptr,
                                    FormatMessageText(kMessageFunctionNotSupported, {name_}));
            return Name();
        }
        switch (*function) {
            case Function::kIssuerStr: {
                const std::string oid = IssuerAttributeOid(Str(0));
                return Attribute(entry_.IssuerAttribute(oid));
            }
            case Function::kSubjectStr:
                return Attribute(entry_.SubjectAttribute(Str(0)));
            case Function::kStrCmp:
                if (p_.size() < 2) {
                    return Name();
                }
                return Truth(Str(0) == Str(1));
            case Function::kContainsSubstr:
                if (p_.size() < 2) {
                    return Name();
                }
                if (p_[0]->null || p_[1]->null) {
                    return Truth(false);
                }
                return Truth(p_[0]->text.find(p_[1]->text) != std::string::npos);
            case Function::kAnd:
            case Function::kOr: {
                if (p_.empty()) {
                    return Name();
                }
                bool all = true;
                bool any = false;
                for (const FilterValue* value : p_) {
                    all = all && IsTrue(value);
                    any = any || IsTrue(value);
                }
                return Truth(*function == Function::kAnd ? all : any);
            }
            case Function::kNot:
                if (p_.empty()) {
                    return Name();
                }
                return Truth(!IsTrue(p_[0]));
            case Function::kIf:
                if (p_.empty()) {
                    return std::nullopt;
                }
                if (IsTrue(p_[0])) {
                    return Copy(1);
                }
                return p_.size() > 2 ? *p_[2] : Null();
            case Function::kIsEmpty:
                if (p_.empty()) {
                    return std::nullopt;
                }
                return Truth(p_[0]->text.empty());
            case Function::kGt:
            case Function::kLt: {
                if (p_.empty()) {
                    return std::nullopt;
                }
                const double a = FilterNumber(Str(0));
                const double b = p_.size() > 1 ? FilterNumber(Str(1)) : 0.0;
                return Truth(*function == Function::kGt ? a > b : a < b);
            }
            case Function::kLastParam:
                if (p_.empty()) {
                    return std::nullopt;
                }
                return *p_.back();
            case Function::kSwitch:
                if (p_.empty()) {
                    return std::nullopt;
                }
                for (std::size_t key = 2; key < p_.size(); key += 2) {
                    if (Str(key) == Str(0)) {
                        return Copy(key + 1);
                    }
                }
                return p_.size() > 1 ? *p_[1] : *p_[0];
            case Function::kQStatus:
                return Text(QualifiedStatusText(entry_.qualifiedStatus));
            case Function::kQStatusParam: {
                bool qualifiedEmpty = false;
                bool deviceEmpty = false;
                const auto qualified = Tristate(Param(0), qualifiedEmpty);
                const auto device = Tristate(Param(1), deviceEmpty);
                if (!qualified || !device) {
                    return Name();
                }
                return Truth(QStatusParamAccepts(qualifiedEmpty, *qualified, deviceEmpty, *device,
                                                 entry_.qualifiedStatus));
            }
        }
        return Name();
    }

  private:
    const FilterValue* Param(std::size_t i) const { return i < p_.size() ? p_[i] : nullptr; }
    // A parameter's text; missing and null read as empty.
    const std::string& Str(std::size_t i) const {
        static const std::string empty;
        return i < p_.size() ? p_[i]->text : empty;
    }
    // A parameter the function needs; nothing ends the evaluation.
    std::optional<FilterValue> Copy(std::size_t i) const {
        if (i >= p_.size()) {
            return std::nullopt;
        }
        return *p_[i];
    }
    FilterValue Name() const { return Text(name_); }
    static FilterValue Attribute(std::optional<std::string> value) {
        return value ? Text(std::move(*value)) : Null();
    }

    const std::string& name_;
    std::span<const FilterValue* const> p_;
    const CertificateEntry& entry_;
};

locale_t CLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", nullptr);
    return locale;
}

}  // namespace

std::string QualifiedStatusText(int status) {
    switch (status) {
        case QCertFilter::kQualifiedStatusQualified:
            return "qualified";
        case QCertFilter::kQualifiedStatusDevice:
            return "qualifieddevice";
        case QCertFilter::kQualifiedStatusQualifiedOnDevice:
            return "qualifiedonqualifieddevice";
        case QCertFilter::kQualifiedStatusError:
            return "error";
        default:
            return {};
    }
}

double FilterNumber(std::string_view text) {
    // The longest leading part of the form [blanks][sign]digits[.digits][e[sign]digits];
    // hexadecimal, "inf" and "nan" are not numbers here.
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    const std::size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    auto digits = [&](std::size_t from) {
        std::size_t j = from;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9') {
            ++j;
        }
        return j;
    };
    const std::size_t intEnd = digits(i);
    std::size_t end = intEnd;
    bool any = intEnd > i;
    if (end < text.size() && text[end] == '.') {
        const std::size_t fracEnd = digits(end + 1);
        if (fracEnd > end + 1 || any) {
            any = any || fracEnd > end + 1;
            end = fracEnd;
        }
    }
    if (!any) {
        return 0.0;
    }
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        std::size_t e = end + 1;
        if (e < text.size() && (text[e] == '+' || text[e] == '-')) {
            ++e;
        }
        const std::size_t expEnd = digits(e);
        if (expEnd > e) {
            end = expEnd;
        }
    }
    const std::string number(text.substr(start, end - start));
    // strtod_l: the C locale's "." whatever locale the process runs in; overflow gives
    // +-HUGE_VAL, underflow 0, as wanted.
    return strtod_l(number.c_str(), nullptr, CLocale());
}

std::string IssuerAttributeOid(std::string_view name) {
    std::string lower(name);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    for (const auto& [shortName, oid] : kShortNames) {
        if (lower == shortName) {
            return std::string(oid);
        }
    }
    return lower;
}

std::optional<FilterValue> EvaluateFilter(const FilterExpression& expression,
                                          const CertificateEntry& entry) {
    const std::vector<FilterNode>& nodes = expression.Nodes();
    std::vector<FilterValue> values(nodes.size());
    std::vector<const FilterValue*> parameters;
    // Backwards, so every parameter is evaluated before its call; all parameters are
    // evaluated (no short cut in "And", "Or" or "If").
    for (std::size_t i = nodes.size(); i-- > 0;) {
        const FilterNode& node = nodes[i];
        if (node.literal) {
            values[i] = Text(node.text);
            continue;
        }
        parameters.clear();
        for (const std::size_t p : node.parameters) {
            parameters.push_back(&values[p]);
        }
        std::optional<FilterValue> value = Call(node.text, parameters, entry).Apply();
        if (!value) {
            return std::nullopt;
        }
        values[i] = std::move(*value);
        // Parameters are not needed any more; free them as we go.
        for (const std::size_t p : node.parameters) {
            values[p] = FilterValue();
        }
    }
    return values.empty() ? std::nullopt : std::optional<FilterValue>(std::move(values[0]));
}

bool FilterAccepts(const CertificateEntry& entry, std::string_view filter) {
    if (filter.empty()) {
        return true;
    }
    const std::optional<FilterExpression> expression = ParseFilter(filter);
    if (!expression) {
        return true;
    }
    const std::optional<FilterValue> value = EvaluateFilter(*expression, entry);
    return value && value->text == "true";
}

}  // namespace quillbox
