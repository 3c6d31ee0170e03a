// Small helpers shared by the test executables.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>

namespace quillbox::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// Sets (or, with nullopt, removes) an environment variable and restores it afterwards.
class ScopedEnv {
  public:
    ScopedEnv(std::string name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::optional<std::string> old_;
};

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

// Runs a shell command; its exit status (-1 when it did not exit) and standard output.
std::pair<int, std::string> RunCapturingOutput(const std::string& command);

// Path of a file under tests/data of the source tree.
std::filesystem::path TestData(const std::string& name);

}  // namespace quillbox::test
