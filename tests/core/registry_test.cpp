#include <gtest/gtest.h>

#include <thread>

#include "core/globals.h"
#include "core/registry.h"
#include "log_file.h"
#include "platform/settings/settings_store.h"
#include "test_support.h"

namespace quillbox {
namespace {

using settings::IniSettingsStore;
using settings::Root;
using settings::Value;

class RegistryTest : public ::testing::Test {
  protected:
    RegistryTest()
        : files((temp / "user/quillbox/settings.ini").string(),
                (temp / "machine/quillbox/settings.ini").string()),
          platform(files) {
        settings::SetSettingsStore(&platform);
    }
    ~RegistryTest() override { settings::SetSettingsStore(nullptr); }

    test::TempDir temp;
    IniSettingsStore files;
    settings::PlatformSettingsStore platform;
};

TEST_F(RegistryTest, ValuesRoundTripWithSubkeysTypesAndCase) {
    EXPECT_TRUE(WriteRegistryValue(RegistryRoot::CurrentUser, kPluginSettingsKey, {},
                                   Value{std::string("aGVsbG8=")}, "LastSignCert"));
    EXPECT_TRUE(WriteRegistryValue(RegistryRoot::CurrentUser, "Software\\Kestrelsoft",
                                   "Quillbox Signing Extension\\Settings", Value{1u},
                                   "ShowAllCerts"));
    std::string text;
    std::uint32_t number = 0;
    EXPECT_TRUE(ReadRegistryValue(RegistryRoot::CurrentUser,
                                  "software\\kestrelsoft\\quillbox signing extension\\settings", {},
                                  &text, nullptr, "lastsigncert"));
    EXPECT_EQ(text, "aGVsbG8=");
    EXPECT_TRUE(ReadRegistryValue(RegistryRoot::CurrentUser, kPluginSettingsKey, {}, nullptr,
                                  &number, "ShowAllCerts"));
    EXPECT_EQ(number, 1u);
    // The out for the value's type must be given.
    EXPECT_FALSE(ReadRegistryValue(RegistryRoot::CurrentUser, kPluginSettingsKey, {}, &text,
                                   nullptr, "ShowAllCerts"));
    // The other root is a different store.
    EXPECT_FALSE(ReadRegistryValue(RegistryRoot::LocalMachine, kPluginSettingsKey, {}, &text,
                                   nullptr, "LastSignCert"));
    // Replacing keeps one line.
    EXPECT_TRUE(WriteRegistryValue(RegistryRoot::CurrentUser, kPluginSettingsKey, {}, Value{0u},
                                   "ShowAllCerts"));
    std::string file = test::ReadFile(temp / "user/quillbox/settings.ini");
    EXPECT_EQ(file.find("ShowAllCerts"), file.rfind("ShowAllCerts")) << file;
}

TEST_F(RegistryTest, TextsThatWouldBreakTheFileSurvive) {
    const std::string tricky = "a=b\n[Section]\r\n;c\\d\t#";
    EXPECT_TRUE(files.Write(Root::CurrentUser, "Key", "name=with\nbreak", Value{tricky}));
    EXPECT_TRUE(files.Write(Root::CurrentUser, "Key", "plain", Value{std::string("x")}));
    auto read = files.Read(Root::CurrentUser, "Key", "name=with\nbreak");
    ASSERT_TRUE(read);
    EXPECT_EQ(std::get<std::string>(*read), tricky);
    EXPECT_EQ(std::get<std::string>(*files.Read(Root::CurrentUser, "Key", "plain")), "x");
    EXPECT_FALSE(files.Read(Root::CurrentUser, "Section", "a"));
    EXPECT_FALSE(files.Write(Root::CurrentUser, "Bad]Key", "n", Value{1u}));
}

TEST_F(RegistryTest, LongTextsAreNotRead) {
    // 129 UTF-16 units plus the terminating NUL fill the 260 bytes exactly.
    std::string fits(129, 'x');
    std::string tooLong(130, 'x');
    WriteRegistryValue(RegistryRoot::CurrentUser, "K", {}, Value{fits}, "fits");
    WriteRegistryValue(RegistryRoot::CurrentUser, "K", {}, Value{tooLong}, "long");
    std::string text;
    EXPECT_TRUE(ReadRegistryValue(RegistryRoot::CurrentUser, "K", {}, &text, nullptr, "fits"));
    EXPECT_EQ(text, fits);
    EXPECT_FALSE(ReadRegistryValue(RegistryRoot::CurrentUser, "K", {}, &text, nullptr, "long"));
}

TEST_F(RegistryTest, UnwritableStoreReportsFailure) {
    test::WriteFile(temp / "blocker", "a file where a folder should be");
    IniSettingsStore blocked((temp / "blocker/quillbox/settings.ini").string(),
                             (temp / "blocker/m.ini").string());
    EXPECT_FALSE(blocked.Write(Root::CurrentUser, "K", "n", Value{1u}));
}

TEST_F(RegistryTest, RefusedWriteIsLoggedAndKeepsTheFile) {
    const std::string kept = "[K]\nkept=sz:yes\nnot a value line\n";
    std::filesystem::create_directories(temp / "user/quillbox");
    test::WriteFile(temp / "user/quillbox/settings.ini", kept);
    test::WriteFile(temp / std::string(kLogFileName), "");
    CGlobals globals(temp.path().string());
    CGlobals::SetInstanceForTesting(&globals);
    const bool written = WriteRegistryValue(RegistryRoot::CurrentUser, "K", {}, Value{1u}, "new");
    CGlobals::SetInstanceForTesting(nullptr);

    EXPECT_FALSE(written);
    EXPECT_EQ(test::ReadFile(temp / "user/quillbox/settings.ini"), kept);
    const std::string log = test::ReadLogFile(temp / std::string(kLogFileName));
    EXPECT_NE(
        log.find("Settings: cannot write K\\new: " +
                 (temp / "user/quillbox/settings.ini").string() + " cannot be parsed: line 3"),
        std::string::npos)
        << log;
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w) {
        writers.emplace_back([this, w] {
            IniSettingsStore own(files.FileOf(Root::CurrentUser), files.FileOf(Root::LocalMachine));
            for (int i = 0; i < 25; ++i) {
                own.Write(Root::CurrentUser, "K", "v" + std::to_string(w * 100 + i),
                          Value{static_cast<std::uint32_t>(i)});
            }
        });
    }
    for (auto& t : writers) {
        t.join();
    }
    for (int w = 0; w < 4; ++w) {
        for (int i = 0; i < 25; ++i) {
            EXPECT_TRUE(files.Read(Root::CurrentUser, "K", "v" + std::to_string(w * 100 + i)));
        }
    }
}

TEST_F(RegistryTest, SecureProtocolsComesFromTheTlsLibraryUnlessSet) {
    std::uint32_t protocols = 0;
    ASSERT_TRUE(ReadRegistryValue(RegistryRoot::CurrentUser, settings::kInternetSettingsKey, {},
                                  nullptr, &protocols, settings::kSecureProtocolsName));
    EXPECT_EQ(protocols, settings::TlsProtocolsOffered());
    EXPECT_NE(protocols & settings::kProtocolTls12, 0u);
    ASSERT_TRUE(files.Write(Root::CurrentUser, settings::kInternetSettingsKey,
                            settings::kSecureProtocolsName, Value{0x80u}));
    ASSERT_TRUE(ReadRegistryValue(RegistryRoot::CurrentUser, settings::kInternetSettingsKey, {},
                                  nullptr, &protocols, settings::kSecureProtocolsName));
    EXPECT_EQ(protocols, 0x80u);
}

}  // namespace
}  // namespace quillbox
