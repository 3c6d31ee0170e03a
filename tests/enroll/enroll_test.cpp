// The enrollment rules that the end-to-end runs do not reach: the password checks of each
// mode, the letters kept in a key file name, and how the durable writer treats what is there.
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "core/messages/messages.h"
#include "enroll/key_file.h"
#include "enroll/password_dialog.h"
#include "test_support.h"

namespace quillbox::enroll {
namespace {

namespace fs = std::filesystem;

TEST(PasswordDialogTest, RefusalsOfEachMode) {
    const CPasswordDlg fresh(CPasswordDlg::kNewPassword);
    const CPasswordDlg existing(CPasswordDlg::kExistingPassword);
    const struct {
        const CPasswordDlg& dialog;
        std::string password, confirmation;
        int refusal;
    } cases[] = {
        {fresh, "", "", 168},
        {fresh, "p\xC3\xA4ss", "p\xC3\xA4ss", 185},
        {fresh, "tab\there", "tab\there", 185},
        {fresh, "Secret", "secret", 164},
        {fresh, "~ Secret!", "~ Secret!", 0},
        {existing, "", "", 168},
        {existing, "p\xC3\xA4ss", "", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.dialog.Refusal(c.password, c.confirmation), c.refusal) << c.password;
    }
}

TEST(KeyFileTest, NameKeepsLettersOfAnyScriptWhateverTheLanguage) {
    for (const char* language : {"cs", "en"}) {
        SetLanguage(language);
        EXPECT_EQ(CommonNameForFile("Anna Example, Ing."), "AnnaExampleIng");
        EXPECT_EQ(CommonNameForFile("\xC5\xBDlu\xC5\xA5ou\xC4\x8Dk\xC3\xBD 2/\\.."),
                  "\xC5\xBDlu\xC5\xA5ou\xC4\x8Dk\xC3\xBD"
                  "2");
    }
}

TEST(KeyFileTest, DurableWriteNeverFollowsOrClobbersUnasked) {
    test::TempDir dir;
    test::WriteFile(dir / "target", "kept");
    const fs::path existing = dir / "existing", link = dir / "link", fresh = dir / "fresh";
    test::WriteFile(existing, "old");
    fs::create_symlink(dir / "target", link);

    EXPECT_TRUE(WriteDurably(existing, "new", false).has_value());
    EXPECT_TRUE(WriteDurably(link, "new", false).has_value());
    EXPECT_EQ(test::ReadFile(existing), "old");
    ASSERT_FALSE(WriteDurably(link, "new", true).has_value());
    EXPECT_FALSE(fs::is_symlink(link));  // the link was replaced, not followed
    EXPECT_EQ(test::ReadFile(dir / "target"), "kept");
    ASSERT_FALSE(WriteDurably(fresh, "key", false).has_value());
    struct stat info {};
    ASSERT_EQ(stat(fresh.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 4);

    std::string bytes;
    int error = 0;
    EXPECT_EQ(ReadCapped(fresh, 2, bytes, error), ReadStatus::Unreadable);
    EXPECT_EQ(ReadCapped(link, 100, bytes, error), ReadStatus::Ok);
    EXPECT_EQ(ReadCapped(dir / "missing", 100, bytes, error), ReadStatus::NotFound);
}

}  // namespace
}  // namespace quillbox::enroll
