#include <gtest/gtest.h>

#include "core/printf_format.h"
#include "core/utf.h"

namespace quillbox {
namespace {

TEST(Utf8Test, StrictDecodingRejectsWhatIsNotUtf8) {
    EXPECT_EQ(Utf8ToWide("Příliš žluťoučký kůň 😀"), "Příliš žluťoučký kůň 😀");
    const char* invalid[] = {
        "\xC0\xAF",          // overlong "/"
        "\xE0\x80\xAF",      // overlong, three bytes
        "\xED\xA0\x80",      // a surrogate
        "\xF4\x90\x80\x80",  // above U+10FFFF
        "abc\xC3",           // cut short
        "\x80",              // a lone continuation byte
        "\xFF",
    };
    for (const char* text : invalid) {
        EXPECT_EQ(Utf8ToWide(text), "") << text;
        EXPECT_TRUE(Utf8ToUtf16(text).empty());
    }
}

TEST(Utf8Test, Utf16RoundTripAndTruncation) {
    const std::string text = "a😀ž";
    std::u16string wide = Utf8ToUtf16(text);
    EXPECT_EQ(wide.size(), 4u);  // the emoji takes a surrogate pair
    EXPECT_EQ(Utf16ToUtf8(wide), text);
    EXPECT_EQ(Utf16ToUtf8(u"\xD800"), "");        // unpaired surrogate
    EXPECT_EQ(TruncateUtf16Units(text, 2), "a");  // never half a pair
    EXPECT_EQ(TruncateUtf16Units(text, 3), "a😀");
    EXPECT_EQ(TruncateUtf16Units(text, 10), text);
}

TEST(PrintfFormatTest, OnlyStringConversionsAreFilled) {
    EXPECT_EQ(FormatPrintf("HTTP status: %s\nHeader: %s", {"404", "X: y"}),
              "HTTP status: 404\nHeader: X: y");
    EXPECT_EQ(FormatPrintf("%s %d %% %s", {"a"}), "a %d % ");
    EXPECT_EQ(FormatPrintf("100%", {}), "100%");
    EXPECT_EQ(FormatPrintf("%s", {"%s"}), "%s");  // an argument is never read as a format
}

}  // namespace
}  // namespace quillbox
