// Language selection, the locale fallback and the insertion rule; the three tables against
// each other: same numbers, same placeholders, clean UTF-8.
#include "core/messages/messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/messages/messages_testing.h"
#include "core/utf.h"
#include "test_support.h"

namespace quillbox {
namespace {

using test::ScopedEnv;

class MessagesTest : public testing::Test {
  protected:
    void SetUp() override { ResetLanguageForTesting(); }
    void TearDown() override { ResetLanguageForTesting(); }

    // The locale variables, so that the developer's own locale cannot leak into a test.
    ScopedEnv lc_all_{"LC_ALL", "en_US.UTF-8"};
    ScopedEnv lc_messages_{"LC_MESSAGES", std::nullopt};
    ScopedEnv lang_{"LANG", std::nullopt};
};

TEST_F(MessagesTest, OnlyTheFirstTwoLowerCaseLettersSelectALanguage) {
    const struct {
        const char* code;
        bool accepted;
        std::uint16_t language;
    } steps[] = {
        {"CS", false, kLanguageUserDefault}, {"Sk", false, kLanguageUserDefault},
        {"de", false, kLanguageUserDefault}, {"", false, kLanguageUserDefault},
        {"c", false, kLanguageUserDefault},  {" cs", false, kLanguageUserDefault},
        {"cs-CZ", true, kLanguageCzech},     {"sk", true, kLanguageSlovak},
        {"CS", false, kLanguageSlovak},      {"en", true, kLanguageEnglish},
    };
    EXPECT_EQ(MessageLanguage(), kLanguageUserDefault);
    for (const auto& step : steps) {
        SCOPED_TRACE(std::string("\"") + step.code + '"');
        EXPECT_EQ(SetLanguage(step.code), step.accepted);
        EXPECT_EQ(MessageLanguage(), step.language);
        EXPECT_EQ(LoadMessage(121),
                  step.language == kLanguageEnglish || step.language == kLanguageUserDefault
                      ? "Error"
                      : "Chyba");
    }
}

struct LocaleCase {
    std::optional<std::string> lc_all;
    std::optional<std::string> lc_messages;
    std::optional<std::string> lang;
    std::uint16_t expected;
};

TEST_F(MessagesTest, UserDefaultFollowsTheLocaleVariablesInOrder) {
    const LocaleCase cases[] = {
        {std::nullopt, std::nullopt, "sk_SK.UTF-8@euro", kLanguageSlovak},
        {std::nullopt, std::nullopt, "de_DE.UTF-8", kLanguageEnglish},
        {std::nullopt, std::nullopt, std::nullopt, kLanguageEnglish},
        // The first non-empty variable wins, even when it names no language of ours.
        {"cs_CZ.UTF-8", "sk_SK", "sk_SK", kLanguageCzech},
        {"C", "cs_CZ", "cs_CZ", kLanguageEnglish},
        {"", "sk_SK", "cs_CZ", kLanguageSlovak},
        {"", "", "cs", kLanguageCzech},
        // Only the whole language part counts: Kashubian is not Czech.
        {"csb_PL.UTF-8", std::nullopt, std::nullopt, kLanguageEnglish},
    };
    for (const LocaleCase& c : cases) {
        ScopedEnv lc_all("LC_ALL", c.lc_all);
        ScopedEnv lc_messages("LC_MESSAGES", c.lc_messages);
        ScopedEnv lang("LANG", c.lang);
        SCOPED_TRACE(c.lc_all.value_or("-") + " / " + c.lc_messages.value_or("-") + " / " +
                     c.lang.value_or("-"));
        EXPECT_EQ(EffectiveLanguage(), c.expected);
        EXPECT_EQ(MessageLanguage(), kLanguageUserDefault);
    }
}

TEST_F(MessagesTest, UserDefaultLoadsTheLocaleTableUnlessALanguageIsChosen) {
    ScopedEnv lc_all("LC_ALL", "sk_SK.UTF-8");
    EXPECT_EQ(LoadMessage(119), "Zrušiť");
    ScopedEnv czech("LC_ALL", "cs_CZ.UTF-8");
    EXPECT_EQ(LoadMessage(119), "Zrušit");
    ASSERT_TRUE(SetLanguage("en-GB"));
    EXPECT_EQ(EffectiveLanguage(), kLanguageEnglish);
    EXPECT_EQ(LoadMessage(119), "Cancel");
}

// Every number that loads a text, with the text, in the language of `code`.
std::map<int, std::string> AllMessages(const char* code) {
    EXPECT_TRUE(SetLanguage(code));
    std::map<int, std::string> texts;
    for (int number = 0; number < 1000; ++number) {
        std::string text = LoadMessage(number);
        if (text != "???") {
            texts.emplace(number, std::move(text));
        }
    }
    return texts;
}

// "%1".."%9", "%s", "%d" and any other "%x", sorted; an escaped "%%" is no placeholder.
std::vector<std::string> Placeholders(std::string_view text) {
    std::vector<std::string> found;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '%') {
            continue;
        }
        if (text[i + 1] != '%') {
            found.emplace_back(text.substr(i, 2));
        }
        ++i;
    }
    std::ranges::sort(found);
    return found;
}

// Same numbers, same placeholders and lines as English; clean UTF-8 whose only control
// character is the line feed; numbers outside the tables give the missing mark.
TEST_F(MessagesTest, EveryTableMatchesEnglishAndIsCleanText) {
    auto english = AllMessages("en");
    english.erase(100);  // the project name exists only in English
    for (const char* code : {"en", "cs", "sk"}) {
        auto texts = AllMessages(code);
        for (int number : {0, -1, INT_MIN, INT_MAX}) {
            EXPECT_EQ(LoadMessage(number), "???") << code << ' ' << number;
        }
        EXPECT_EQ(FormatMessageText(-1, {"x"}), "???") << code;
        texts.erase(100);
        ASSERT_EQ(texts.size(), english.size()) << code;
        for (const auto& [number, text] : english) {
            SCOPED_TRACE(std::string(code) + " " + std::to_string(number));
            ASSERT_TRUE(texts.contains(number));
            const std::string& other = texts.at(number);
            EXPECT_EQ(Placeholders(other), Placeholders(text));
            EXPECT_EQ(std::ranges::count(other, '\n'), std::ranges::count(text, '\n'));
            EXPECT_TRUE(IsValidUtf8(other));
            EXPECT_TRUE(std::ranges::all_of(
                other, [](char c) { return c == '\n' || static_cast<unsigned char>(c) >= 0x20; }));
        }
    }
}

TEST(MessagesFormatTest, InsertionRules) {
    EXPECT_EQ(FormatInsertions("%2-%1-%2", {"a", "b"}), "b-a-b");
    EXPECT_EQ(FormatInsertions("%9", {"1", "2", "3", "4", "5", "6", "7", "8", "nine"}), "nine");
    EXPECT_EQ(FormatInsertions("", {"a"}), "");
    EXPECT_EQ(FormatInsertions("100%% sure %%%%", {}), "100% sure %%");
    // An escaped percent sign followed by a digit is text, not an insertion.
    EXPECT_EQ(FormatInsertions("%%1", {"x"}), "%1");
    EXPECT_EQ(FormatInsertions("%%%1", {"x"}), "%x");
    // Inserted text is not formatted again.
    EXPECT_EQ(FormatInsertions("%1 %2", {"%2%%", "b"}), "%2%% b");
    EXPECT_EQ(FormatInsertions("HTTP status: %s\nCode: %d", {"x"}), "HTTP status: %s\nCode: %d");
    EXPECT_EQ(FormatInsertions("%0 % x 50%", {"x"}), "%0 % x 50%");
    // An insertion without a value stays visible.
    EXPECT_EQ(FormatInsertions("%1 and %3", {"one", "two"}), "one and %3");
    // Only one digit names an insertion.
    EXPECT_EQ(FormatInsertions("%10", {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}), "a0");
    EXPECT_EQ(FormatInsertions("%2b", {"x", "64"}), "64b");
}

}  // namespace
}  // namespace quillbox
