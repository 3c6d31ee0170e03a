#include "attach/scan_program.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "attach/evm_signer.h"
#include "core/base64/base64_coder.h"
#include "core/globals.h"
#include "core/unique_fd.h"
#include "platform/settings/settings_store.h"
#include "platform/system/system_info.h"

namespace quillbox::attach {

namespace {

constexpr std::int32_t kFailed = 2;

// A private folder that is removed with all in it when this goes.
class PrivateFolder {
  public:
    PrivateFolder() {
        std::string folder = sys::TemporaryFolder() + "/SCAN-XXXXXX";
        if (mkdtemp(folder.data()) != nullptr) {
            path_ = std::move(folder);
        }
    }
    ~PrivateFolder() {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// The document the program left: a regular file of ours, small enough to encode.
bool ReadDocument(const std::string& path, std::vector<std::uint8_t>& pdf) {
    const UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat info {};
    if (file.get() < 0 || fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_uid != geteuid() || info.st_size <= 0 ||
        static_cast<std::uint64_t>(info.st_size) > Base64Coder::kMaxEncodeCount) {
        return false;
    }
    pdf.resize(static_cast<std::size_t>(info.st_size));
    std::size_t length = 0;
    while (length < pdf.size()) {
        const ssize_t got = read(file.get(), pdf.data() + length, pdf.size() - length);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        length += static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace

ScanAccessory::Scan ProgramScanAccessory::ScanToPdf(std::int32_t dpi) {
    Scan scan;
    scan.result = kFailed;
    const PrivateFolder folder;
    if (folder.Path().empty()) {
        QB_LOG(LogLevel::File, nullptr, "Scan: no temporary folder: %d", errno);
        return scan;
    }
    const std::string document = folder.Path() + "/scan.pdf";
    ChildProcess child;
    int status = 0;
    QB_LOG(LogLevel::File, nullptr, "Scan: %s", program_.c_str());
    if (!child.Spawn(program_, {"--dpi", std::to_string(dpi), "--out", document}, folder.Path()) ||
        !child.WaitForEnd(&status)) {
        QB_LOG(LogLevel::File, nullptr, "Scan: cannot run the accessory: %d", errno);
        return scan;
    }
    // A crash or an unknown status is a failed scan: the person still gets the file dialog.
    const int exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (exit == 1) {
        scan.result = 1;
    } else if (exit == 0 && ReadDocument(document, scan.pdf)) {
        scan.result = 0;
    } else {
        scan.pdf.clear();
        QB_LOG(LogLevel::File, nullptr, "Scan: failed (status %d)", exit);
    }
    return scan;
}

std::unique_ptr<ScanAccessory> InstalledScanAccessory() {
    const std::optional<settings::Value> value = settings::CurrentSettingsStore().Read(
        settings::Root::LocalMachine, kScanSettingsKey, kScanProgramName);
    const std::string* program = value ? std::get_if<std::string>(&*value) : nullptr;
    if (program == nullptr || program->empty() || program->front() != '/' ||
        access(program->c_str(), X_OK) != 0) {
        return nullptr;
    }
    return std::make_unique<ProgramScanAccessory>(*program);
}

}  // namespace quillbox::attach
