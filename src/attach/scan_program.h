// The scanning accessory on this platform: a program of its own (the project installs
// "quillbox-scan"), named by the machine-wide setting "ScanToPdf" under
// "Software\Kestrelsoft\Vellum". Each scan starts it as
//   PROGRAM --dpi N --out FOLDER/scan.pdf
// with a private folder (0700) as its temporary folder and QUILLBOX_LANG set to the
// language; its exit status is the scan's result (0 scanned, 1 cancelled, 2 failed), and
// on 0 the document is the file it wrote. The folder goes when the scan ends.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "attach/scan_accessory.h"

namespace quillbox::attach {

inline constexpr std::string_view kScanSettingsKey = "Software\\Kestrelsoft\\Vellum";
inline constexpr std::string_view kScanProgramName = "ScanToPdf";

class ProgramScanAccessory final : public ScanAccessory {
  public:
    explicit ProgramScanAccessory(std::string program) : program_(std::move(program)) {}
    void SetLanguage(std::string_view) override {}  // the child gets it with its environment
    Scan ScanToPdf(std::int32_t dpi) override;

  private:
    std::string program_;
};

// The accessory the setting names; null when none is set or the program cannot run.
std::unique_ptr<ScanAccessory> InstalledScanAccessory();

}  // namespace quillbox::attach
