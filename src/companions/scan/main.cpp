// "quillbox-scan --dpi N --out FILE": the scanning accessory. Shows the scan window and
// exits 0 with the scanned pages as one PDF in FILE, 1 when the person cancelled, 2 when
// there is no scanner or the scanner failed.
#include <QApplication>
#include <cstdlib>
#include <string>

#include "companions/common/companion.h"
#include "companions/scan/sane_scanner.h"
#include "companions/scan/scan_dialog.h"
#include "companions/scan/scan_texts.h"

int main(int argc, char** argv) {
    using namespace quillbox::companions;
    constexpr int kScanned = 0, kCancelled = 1, kFailed = 2;
    QApplication app(argc, argv);
    LoadLanguageFromEnvironment();
    int dpi = 300;
    std::string out;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--dpi") {
            dpi = std::atoi(argv[i + 1]);
        } else if (option == "--out") {
            out = argv[i + 1];
        }
    }
    if (out.empty() || dpi <= 0 || dpi > 9600) {
        return kFailed;
    }
    const SaneSession sane;
    const std::vector<SaneSession::Device> devices = sane.Devices();
    if (devices.empty()) {
        ShowFailure(nullptr, Tr(texts::kCaption), Tr(texts::kNoDevice));
        return kFailed;
    }
    ScanDialog dialog(devices, dpi);
    dialog.exec();
    switch (dialog.Result()) {
        case ScanDialog::Outcome::Scanned:
            return WritePdf(dialog.Pages(), out) ? kScanned : kFailed;
        case ScanDialog::Outcome::Cancelled:
            return kCancelled;
        default:
            return kFailed;
    }
}
