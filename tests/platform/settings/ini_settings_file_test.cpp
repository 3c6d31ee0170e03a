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

constexpr std::string_view kOldFile = "; kept by hand\n[K]\nkept=sz:yes\ncount=dword:00000007\n";

class IniSettingsFileTest : public ::testing::Test {
  protected:
    IniSettingsFileTest()
        : file(temp / "quillbox/settings.ini"), store(file.string(), (temp / "m.ini").string()) {
        fs::create_directories(file.parent_path());
    }

    std::string Text(std::string_view key, std::string_view name) const {
        std::optional<Value> value = store.Read(Root::CurrentUser, key, name);
        return value ? std::get<std::string>(*value) : "<none>";
    }
    mode_t Mode(const fs::path& path) const {
        struct stat info {};
        return lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
    }

    test::TempDir temp;
    fs::path file;
    IniSettingsStore store;
};

// Files the store does not understand: a write must fail, say why, and leave them as
// they were, with the values a person can still read in them.
TEST_F(IniSettingsFileTest, FilesItCannotReadOrParseAreNotOverwritten) {
    struct Case {
        const char* what;
        std::string contents;  // written to the settings file, unless prepare says otherwise
        std::function<void(const fs::path&)> prepare;
        const char* reason;
        bool valuesReadable;
    };
    const fs::path elsewhere = temp / "dotfiles/settings.ini";
    const Case cases[] = {
        {"a line that is neither section, comment nor value",
         std::string(kOldFile) + "this is not a setting\n", nullptr, "cannot be parsed: line 5",
         true},
        {"NUL bytes", std::string(kOldFile) + std::string("x=sz:\0\0", 7), nullptr,
         "cannot be parsed: line 5", true},
        {"a folder in its place", "", [](const fs::path& p) { fs::create_directory(p); },
         "not a regular file", false},
        {"a link to a file elsewhere", "",
         [&](const fs::path& p) {
             fs::create_directories(elsewhere.parent_path());
             test::WriteFile(elsewhere, std::string(kOldFile));
             fs::create_symlink(elsewhere, p);
         },
         "cannot be opened", false},
        {"a dangling link", "", [&](const fs::path& p) { fs::create_symlink(temp / "nowhere", p); },
         "cannot be opened", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(file);
        fs::remove_all(elsewhere);
        if (c.prepare) {
            c.prepare(file);
        } else {
            test::WriteFile(file, c.contents);
        }
        std::string why;
        EXPECT_FALSE(store.Write(Root::CurrentUser, "K", "new", Value{std::string("v")}, &why));
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
        EXPECT_NE(why.find(file.string()), std::string::npos) << why;
        if (!c.prepare) {
            EXPECT_EQ(test::ReadFile(file), c.contents);
        }
        EXPECT_EQ(Text("K", "kept"), c.valuesReadable ? "yes" : "<none>");
        EXPECT_EQ(Text("K", "new"), "<none>");
        EXPECT_FALSE(fs::exists(fs::symlink_status(temp / "quillbox/settings.ini.tmp")));
        EXPECT_FALSE(fs::exists(temp / "nowhere"));
        if (fs::exists(elsewhere)) {
            EXPECT_EQ(test::ReadFile(elsewhere), kOldFile);
        }
    }
}

TEST_F(IniSettingsFileTest, UnreadableFileIsNotOverwritten) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root reads a file of mode 000; the parse cases cover the refusal";
    }
    test::WriteFile(file, std::string(kOldFile));
    fs::permissions(file, fs::perms::none);
    std::string why;
    EXPECT_FALSE(store.Write(Root::CurrentUser, "K", "new", Value{1u}, &why));
    EXPECT_NE(why.find("Permission denied"), std::string::npos) << why;
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(test::ReadFile(file), kOldFile);
}

// A write that died after writing its temporary file leaves that file behind; the
// settings must be the old ones, and the next write must neither keep nor follow it.
TEST_F(IniSettingsFileTest, LeftoverTemporaryFileDoesNotHarmTheSettings) {
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> leave;
    };
    const fs::path victim = temp / "victim";
    const Case cases[] = {
        {"a half-written file",
         [](const fs::path& p) { test::WriteFile(p, "[K]\nkept=sz:half-writ"); }},
        {"a link to another file", [&](const fs::path& p) { fs::create_symlink(victim, p); }},
        {"a dangling link", [&](const fs::path& p) { fs::create_symlink(temp / "nowhere", p); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::WriteFile(file, std::string(kOldFile));
        test::WriteFile(victim, "not a settings file");
        const fs::path leftover = file.string() + ".tmp";
        c.leave(leftover);

        EXPECT_EQ(Text("K", "kept"), "yes");
        ASSERT_TRUE(store.Write(Root::CurrentUser, "K", "new", Value{std::string("v")}));
        EXPECT_EQ(Text("K", "kept"), "yes");
        EXPECT_EQ(Text("K", "new"), "v");
        EXPECT_EQ(std::get<std::uint32_t>(*store.Read(Root::CurrentUser, "K", "count")), 7u);
        EXPECT_EQ(test::ReadFile(victim), "not a settings file");
        EXPECT_FALSE(fs::exists(temp / "nowhere"));
        EXPECT_FALSE(fs::exists(fs::symlink_status(leftover)));
    }
}

TEST_F(IniSettingsFileTest, FileKeepsItsModeAndNewFilesArePrivate) {
    const mode_t oldMask = umask(0);  // a new file must not depend on the caller's umask
    struct Case {
        std::optional<mode_t> existing;
        mode_t expected;
    };
    const Case cases[] = {{std::nullopt, 0600}, {0644, 0644}, {0640, 0640}, {0600, 0600}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.existing ? std::to_string(*c.existing) : "new");
        fs::remove(file);
        if (c.existing) {
            test::WriteFile(file, std::string(kOldFile));
            chmod(file.c_str(), *c.existing);
        }
        EXPECT_TRUE(store.Write(Root::CurrentUser, "K", "new", Value{1u}));
        EXPECT_EQ(Mode(file), c.expected);
        EXPECT_EQ(Mode(file.string() + ".lock"), 0600u);
    }
    umask(oldMask);
}

// Two processes (two browser tabs) writing at once: every value of both survives.
TEST_F(IniSettingsFileTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kWriters = 2;
    constexpr int kValues = 200;
    pid_t children[kWriters];
    for (int w = 0; w < kWriters; ++w) {
        children[w] = fork();
        ASSERT_GE(children[w], 0);
        if (children[w] == 0) {
            IniSettingsStore own(file.string(), (temp / "m.ini").string());
            int failures = 0;
            for (int i = 0; i < kValues; ++i) {
                failures += own.Write(Root::CurrentUser, "K",
                                      "w" + std::to_string(w) + "_" + std::to_string(i),
                                      Value{static_cast<std::uint32_t>(i)})
                                ? 0
                                : 1;
            }
            _exit(failures == 0 ? 0 : 1);
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    for (pid_t child : children) {
        int status = 0;
        pid_t done = 0;
        while ((done = waitpid(child, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (done == 0) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            ADD_FAILURE() << "writer " << child << " did not finish in time";
            continue;
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer " << child;
    }
    int missing = 0;
    for (int w = 0; w < kWriters; ++w) {
        for (int i = 0; i < kValues; ++i) {
            std::optional<Value> value = store.Read(
                Root::CurrentUser, "K", "w" + std::to_string(w) + "_" + std::to_string(i));
            if (!value || std::get<std::uint32_t>(*value) != static_cast<std::uint32_t>(i)) {
                ++missing;
            }
        }
    }
    EXPECT_EQ(missing, 0);
}

}  // namespace
}  // namespace quillbox::settings
