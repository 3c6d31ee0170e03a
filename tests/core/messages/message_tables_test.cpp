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

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        char32_t code_point = 0;
        char32_t smallest = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1, code_point = lead & 0x1F, smallest = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, code_point = lead & 0x0F, smallest = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, code_point = lead & 0x07, smallest = 0x10000;
        } else {
            return false;
        }
        if (text.size() - i <= extra) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code_point = (code_point << 6) | (next & 0x3F);
        }
        if (code_point < smallest || code_point > 0x10FFFF ||
            (code_point >= 0xD800 && code_point <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

class MessagesTableTest : public testing::Test {
  protected:
    void SetUp() override { ResetLanguageForTesting(); }
    void TearDown() override { ResetLanguageForTesting(); }
};

TEST_F(MessagesTableTest, EnglishHasTheFullNumberRange) {
    const auto english = AllMessages("en");
    std::vector<int> numbers;
    for (const auto& [number, text] : english) {
        // Texts added later take numbers after the reserved block 215-223.
        if (number <= 223) {
            numbers.push_back(number);
        }
    }
    std::vector<int> expected;
    for (int number = 100; number <= 214; ++number) {
        const bool skipped = (number >= 124 && number <= 130) || number == 139 || number == 140 ||
                             number == 142 || number == 158 || number == 159;
        if (!skipped) {
            expected.push_back(number);
        }
    }
    EXPECT_EQ(numbers, expected);
}

TEST_F(MessagesTableTest, MissingEmptyAndOutOfRangeNumbersGiveTheMissingMark) {
    for (const char* code : kLanguages) {
        ASSERT_TRUE(SetLanguage(code));
        for (int number : {215, 223, 124, 130, 139, 142, 159, 99, 0, -1, INT_MIN, INT_MAX}) {
            EXPECT_EQ(LoadMessage(number), "???") << code << ' ' << number;
        }
    }
}

TEST_F(MessagesTableTest, ProjectNameExistsOnlyInEnglish) {
    ASSERT_TRUE(SetLanguage("en"));
    EXPECT_EQ(LoadMessage(100), "Ovo");
    for (const char* code : {"cs", "sk"}) {
        ASSERT_TRUE(SetLanguage(code));
        EXPECT_EQ(LoadMessage(100), "???") << code;
    }
}

TEST_F(MessagesTableTest, TranslationsMatchEnglishNumberForNumber) {
    const auto english = AllMessages("en");
    for (const char* code : {"cs", "sk"}) {
        const auto translated = AllMessages(code);
        for (const auto& [number, text] : english) {
            if (number == 100) {
                continue;
            }
            SCOPED_TRACE(std::string(code) + " " + std::to_string(number));
            const auto it = translated.find(number);
            if (it == translated.end()) {
                ADD_FAILURE() << "no translation";
                continue;
            }
            EXPECT_EQ(Placeholders(it->second), Placeholders(text));
            EXPECT_EQ(std::ranges::count(it->second, '\n'), std::ranges::count(text, '\n'));
        }
        for (const auto& [number, text] : translated) {
            EXPECT_TRUE(english.contains(number)) << code << ' ' << number;
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
    EXPECT_EQ(LoadMessage(204), "Server communication error\nHTTP status: %s\nHeader: %s");
    EXPECT_EQ(FormatMessageText(204), LoadMessage(204));
    EXPECT_EQ(FormatMessageText(103, {"Quillbox Plug-in", "32", "1.0"}),
              "========== Quillbox Plug-in (32b) 1.0 ==========");
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
    ASSERT_TRUE(SetLanguage("en"));
    EXPECT_TRUE(LoadMessage(185).starts_with(
        "Only ASCII characters allowed in password:\n\nletters, digits, space and characters\n"));
}

TEST_F(MessagesTableTest, AboutTextNamesTheProductInSeveralParagraphs) {
    for (const char* code : kLanguages) {
        ASSERT_TRUE(SetLanguage(code));
        const std::string text = FormatMessageText(188, {"Quillbox Plug-in"});
        SCOPED_TRACE(code);
        EXPECT_EQ(text.find('%'), std::string::npos);
        EXPECT_TRUE(text.starts_with("Quillbox Plug-in "));
        std::size_t paragraphs = 1;
        for (std::size_t at = text.find("\n\n"); at != std::string::npos;
             at = text.find("\n\n", at + 2)) {
            ++paragraphs;
        }
        EXPECT_GE(paragraphs, 3u);
    }
}

}  // namespace
}  // namespace quillbox
