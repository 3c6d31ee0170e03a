#include <gtest/gtest.h>

#include "core/messages/messages.h"
#include "core/messages/messages_testing.h"
#include "core/sign_exception.h"

namespace quillbox {
namespace {

class SignExceptionTest : public ::testing::Test {
  protected:
    void SetUp() override { SetLanguage("en"); }
    void TearDown() override { ResetLanguageForTesting(); }
};

TEST_F(SignExceptionTest, CodesWithoutTextTakeTheirMessage) {
    EXPECT_EQ(CSignException(-5, "", false, 0).Text(), "Certificate not found");
    EXPECT_EQ(CSignException(0, "", false, 0).Text(), "OK");
    EXPECT_EQ(CSignException(-2, "", false, 0).Text(), "");  // no text of its own
    SetLanguage("sk");
    EXPECT_EQ(CSignException(-5, "", false, 0).Text(), LoadMessage(148));
}

TEST_F(SignExceptionTest, GivenTextsLoseTrailingLineBreaksAndSurviveCopies) {
    CSignException given(-12, "NCryptSignHash() #2, error 0x1\r\n\n", true, 0);
    EXPECT_EQ(given.Text(), "NCryptSignHash() #2, error 0x1");
    CSignException copy = given;
    EXPECT_EQ(copy.Text(), given.Text());
    EXPECT_EQ(copy.Code(), -12);
    EXPECT_STREQ(copy.what(), "NCryptSignHash() #2, error 0x1");

    errno = ENOENT;
    CSignException fromErrno(-6);
    EXPECT_EQ(fromErrno.LastError(), static_cast<std::uint32_t>(ENOENT));
    EXPECT_EQ(fromErrno.SystemText(), "No such file or directory");
    // The system's text only when asked for; the error number is kept either way.
    CSignException withoutFlag(-6, "", false, EACCES);
    EXPECT_EQ(withoutFlag.SystemText(), "");
    EXPECT_EQ(withoutFlag.LastError(), static_cast<std::uint32_t>(EACCES));
}

}  // namespace
}  // namespace quillbox
