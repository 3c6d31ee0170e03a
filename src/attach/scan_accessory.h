// The scanning accessory as the attachment task sees it: a separately installed program
// that scans a document to PDF (scan_program.h). Where none is installed the task lets the
// person pick a file instead.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace quillbox::attach {

class ScanAccessory {
  public:
    virtual ~ScanAccessory() = default;

    // "cz", "en" or "sk".
    virtual void SetLanguage(std::string_view code) = 0;

    struct Scan {
        std::int32_t result = 2;  // 0 scanned, 1 cancelled by the person, 2 failed
        std::vector<std::uint8_t> pdf;
    };
    // Scans at dpi dots per inch. A failing call throws.
    virtual Scan ScanToPdf(std::int32_t dpi) = 0;
};

// Starts the accessory; null when it is not installed or cannot start.
using ScanAccessoryFactory = std::function<std::unique_ptr<ScanAccessory>()>;

inline std::unique_ptr<ScanAccessory> NoScanAccessory() {
    return nullptr;
}

}  // namespace quillbox::attach
