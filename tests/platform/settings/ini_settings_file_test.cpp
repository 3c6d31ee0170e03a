#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "platform/settings/settings_store.h"
#include "test_support.h"

namespace quillbox::settings {
namespace {

namespace fs = std::filesystem;

const std::string kOldFile = "; by hand\n[K]\nkept=sz:yes\n";

class IniSettingsFileTest : public ::testing::Test {
  protected:
    IniSettingsFileTest()
        : file(temp / "q/settings.ini"), store(file.string(), (temp / "m.ini").string()) {
        fs::create_directories(file.parent_path());
    }
    // A write that must be refused: fails, names the file and the reason, changes nothing.
    void ExpectRefused(const char* reason, const std::string& contents) {
        std::string why;
        EXPECT_FALSE(store.Write(Root::CurrentUser, "K", "new", Value{1u}, &why));
        EXPECT_NE(why.find(file.string() + " "), std::string::npos) << why;
        EXPECT_NE(why.find(reason), std::string::npos) << why;
        chmod(file.c_str(), 0600);
        if (!contents.empty()) {
            EXPECT_EQ(test::ReadFile(file), contents);
        }
        EXPECT_FALSE(fs::exists(fs::symlink_status(file.string() + ".tmp")));
    }
    mode_t Mode(const fs::path& path) const {
        struct stat info {};
        return lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
    }

    test::TempDir temp;
    fs::path file;
    IniSettingsStore store;
};

TEST_F(IniSettingsFileTest, FilesItCannotReadOrParseAreNotOverwritten) {
    struct Case {
        const char* what;
        std::string contents;  // empty: something other than a file holds the name
        const char* reason;
    };
    const Case cases[] = {
        {"junk line", kOldFile + "not a setting\n", "cannot be parsed: line 4"},
        {"NUL bytes", kOldFile + std::string("x=sz:\0", 6), "cannot be parsed: line 4"},
        {"folder", "", "is not a regular file"},
        {"link", "", "cannot be opened"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(file);
        if (!c.contents.empty()) {
            test::WriteFile(file, c.contents);
            // What a person can still read of it is still there.
            EXPECT_EQ(std::get<std::string>(*store.Read(Root::CurrentUser, "K", "kept")), "yes");
        } else if (c.what == std::string("folder")) {
            fs::create_directory(file);
        } else {
            test::WriteFile(temp / "elsewhere", kOldFile);
            fs::create_symlink(temp / "elsewhere", file);
        }
        ExpectRefused(c.reason, c.contents);
    }
    EXPECT_EQ(test::ReadFile(temp / "elsewhere"), kOldFile);
}

TEST_F(IniSettingsFileTest, UnreadableFileIsNotOverwritten) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root reads a file of mode 000; the parse cases cover the refusal";
    }
    test::WriteFile(file, kOldFile);
    chmod(file.c_str(), 0);
    ExpectRefused("Permission denied", kOldFile);
}

// A write that died after writing its temporary file leaves it behind: the settings are
// the old ones, and the next write neither keeps nor follows it.
TEST_F(IniSettingsFileTest, LeftoverTemporaryFileDoesNotHarmTheSettings) {
    const fs::path leftover = file.string() + ".tmp";
    const std::function<void()> leftovers[] = {
        [&] { test::WriteFile(leftover, "[K]\nkept=sz:half-wri"); },
        [&] { fs::create_symlink(temp / "victim", leftover); },
        [&] { fs::create_symlink(temp / "nowhere", leftover); },
    };
    for (const auto& leave : leftovers) {
        test::WriteFile(file, kOldFile);
        test::WriteFile(temp / "victim", "not settings");
        leave();
        EXPECT_EQ(std::get<std::string>(*store.Read(Root::CurrentUser, "K", "kept")), "yes");
        ASSERT_TRUE(store.Write(Root::CurrentUser, "K", "new", Value{1u}));
        EXPECT_EQ(test::ReadFile(file), kOldFile + "new=dword:00000001\n");
        EXPECT_EQ(test::ReadFile(temp / "victim"), "not settings");
        EXPECT_FALSE(fs::exists(temp / "nowhere"));
        EXPECT_FALSE(fs::exists(fs::symlink_status(leftover)));
    }
}

TEST_F(IniSettingsFileTest, FileKeepsItsModeAndNewFilesArePrivate) {
    const mode_t oldMask = umask(0);  // a new file must not depend on the caller's umask
    const std::pair<mode_t, mode_t> cases[] = {{0, 0600}, {0644, 0644}, {0640, 0640}};
    for (auto [existing, expected] : cases) {
        fs::remove(file);
        if (existing != 0) {
            test::WriteFile(file, kOldFile);
            chmod(file.c_str(), existing);
        }
        EXPECT_TRUE(store.Write(Root::CurrentUser, "K", "new", Value{1u}));
        EXPECT_EQ(Mode(file), expected);
        EXPECT_EQ(Mode(file.string() + ".lock"), 0600u);
    }
    umask(oldMask);
}

// Two processes (two browser tabs) writing at once: every value of both survives.
TEST_F(IniSettingsFileTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kValues = 200;
    auto name = [](int w, int i) { return "w" + std::to_string(w) + "_" + std::to_string(i); };
    pid_t children[2];
    for (int w = 0; w < 2; ++w) {
        children[w] = fork();
        ASSERT_GE(children[w], 0);
        if (children[w] == 0) {
            IniSettingsStore own(file.string(), (temp / "m.ini").string());
            bool ok = true;
            for (int i = 0; i < kValues; ++i) {
                ok &= own.Write(Root::CurrentUser, "K", name(w, i), Value{std::uint32_t(i)});
            }
            _exit(ok ? 0 : 1);
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    for (pid_t child : children) {
        int status = 0;
        while (waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer " << child;
    }
    int missing = 0;
    for (int w = 0; w < 2; ++w) {
        for (int i = 0; i < kValues; ++i) {
            missing += store.Read(Root::CurrentUser, "K", name(w, i)) != Value{std::uint32_t(i)};
        }
    }
    EXPECT_EQ(missing, 0);
}

}  // namespace
}  // namespace quillbox::settings
