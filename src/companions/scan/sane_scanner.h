// Scanners through SANE: the devices there are, one opened device's source, mode and
// resolution choices, and a scanned page as an image.
#pragma once

#include <sane/sane.h>

#include <QImage>
#include <QString>
#include <atomic>
#include <optional>
#include <string>
#include <vector>

namespace quillbox::companions {

// SANE for the life of this object.
class SaneSession {
  public:
    SaneSession();
    ~SaneSession();
    SaneSession(const SaneSession&) = delete;
    SaneSession& operator=(const SaneSession&) = delete;
    bool Ok() const { return ok_; }

    struct Device {
        std::string name;  // what SANE opens it by
        QString label;     // maker and model, for the person
    };
    std::vector<Device> Devices() const;

  private:
    bool ok_ = false;
};

class Scanner {
  public:
    Scanner() = default;
    ~Scanner();
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    // Opens the device; an empty text, or SANE's reason.
    QString Open(const std::string& name);
    bool IsOpen() const { return handle_ != nullptr; }

    // The choices the device offers; empty when it offers none.
    std::vector<std::string> Sources() const;
    std::vector<std::string> Modes() const;
    // Resolutions worth offering: the usual presets and wanted, as far as the device takes
    // them; the device's own when it names a few.
    std::vector<int> Resolutions(int wanted) const;

    // False when the device refuses; what it refuses to set is left as it was.
    bool SetSource(const std::string& source);
    bool SetMode(const std::string& mode);
    bool SetResolution(int dpi);

    // One page; null with why set when it fails or was cancelled.
    QImage ScanPage(QString& why);
    // From another thread: stops the page being scanned.
    void Cancel();

  private:
    int OptionIndex(const char* name) const;
    std::vector<std::string> StringChoices(const char* name) const;
    bool SetString(const char* name, const std::string& value);

    SANE_Handle handle_ = nullptr;
    std::atomic<bool> cancelled_{false};
};

}  // namespace quillbox::companions
