// The three message tables against each other: same numbers, same placeholders, clean UTF-8.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/messages/messages.h"
#include "core/messages/messages_testing.h"
#include "core/utf.h"

namespace quillbox {
namespace {

constexpr const char* kLanguages[] = {"en", "cs", "sk"};

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

class MessagesTableTest : public testing::Test {
  protected:
    void SetUp() override { ResetLanguageForTesting(); }
    void TearDown() override { ResetLanguageForTesting(); }
};

TEST_F(MessagesTableTest, MissingEmptyAndOutOfRangeNumbersGiveTheMissingMark) {
    for (const char* code : kLanguages) {
        ASSERT_TRUE(SetLanguage(code));
        for (int number : {215, 223, 124, 130, 139, 142, 159, 99, 0, -1, INT_MIN, INT_MAX}) {
            EXPECT_EQ(LoadMessage(number), "???") << code << ' ' << number;
        }
        // The project name exists only in English.
        EXPECT_EQ(LoadMessage(100), std::string(code) == "en" ? "Ovo" : "???") << code;
    }
}

TEST_F(MessagesTableTest, TranslationsMatchEnglishNumberForNumber) {
    auto english = AllMessages("en");
    english.erase(100);
    for (const char* code : {"cs", "sk"}) {
        const auto translated = AllMessages(code);
        ASSERT_EQ(translated.size(), english.size()) << code;
        for (const auto& [number, text] : english) {
            SCOPED_TRACE(std::string(code) + " " + std::to_string(number));
            ASSERT_TRUE(translated.contains(number));
            const std::string& other = translated.at(number);
            EXPECT_EQ(Placeholders(other), Placeholders(text));
            EXPECT_EQ(std::ranges::count(other, '\n'), std::ranges::count(text, '\n'));
        }
    }
}

TEST_F(MessagesTableTest, AllTextsAreCleanUtf8) {
    for (const char* code : kLanguages) {
        for (const auto& [number, text] : AllMessages(code)) {
            SCOPED_TRACE(std::string(code) + " " + std::to_string(number));
            EXPECT_TRUE(IsValidUtf8(text));
            // A line feed is the only control character a text may hold.
            EXPECT_TRUE(std::ranges::all_of(
                text, [](char c) { return c == '\n' || static_cast<unsigned char>(c) >= 0x20; }));
        }
    }
}

TEST_F(MessagesTableTest, EnglishTextsKeepTheirExactForm) {
    ASSERT_TRUE(SetLanguage("en"));
    EXPECT_EQ(LoadMessage(108), "Autentication");
    EXPECT_EQ(LoadMessage(184).back(), ' ');
    for (const char* code : kLanguages) {
        ASSERT_TRUE(SetLanguage(code));
        EXPECT_EQ(LoadMessage(101), "Quillbox Plug-in") << code;
    }
}

TEST_F(MessagesTableTest, PasswordRuleListsEveryAsciiPunctuationCharacter) {
    std::string punctuation;
    for (char c = '!'; c <= '~'; ++c) {
        if ((c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '`') ||
            c >= '{') {
            punctuation += punctuation.empty() ? "" : " ";
            punctuation += c;
        }
    }
    ASSERT_EQ(punctuation.size(), 32u * 2 - 1);
    for (const char* code : kLanguages) {
        ASSERT_TRUE(SetLanguage(code));
        const std::string text = FormatMessageText(185);
        SCOPED_TRACE(code);
        ASSERT_GT(text.size(), punctuation.size());
        EXPECT_EQ(text.substr(text.size() - punctuation.size() - 1), "\n" + punctuation);
        EXPECT_NE(text.find(":\n\n"), std::string::npos);
    }
}

TEST_F(MessagesTableTest, AboutTextNamesTheProduct) {
    for (const char* code : kLanguages) {
        ASSERT_TRUE(SetLanguage(code));
        const std::string text = FormatMessageText(188, {"Quillbox Plug-in"});
        SCOPED_TRACE(code);
        EXPECT_EQ(text.find('%'), std::string::npos);
        EXPECT_TRUE(text.starts_with("Quillbox Plug-in "));
    }
}

}  // namespace
}  // namespace quillbox
