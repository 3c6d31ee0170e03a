// "Evermark /io2 REQUESTFILE": the PDF signature-area picker. Reads the "getarea" request,
// lets the person mark a rectangle on a page, and answers in "output.io2" in the temporary
// folder: "0" and the area text, "-2" when cancelled, or a failure code and message.
#include <poppler-qt6.h>
#include <sys/stat.h>

#include <QApplication>
#include <QFileInfo>
#include <memory>
#include <string>

#include "companions/common/companion.h"
#include "companions/evermark/area_dialog.h"
#include "companions/evermark/area_request.h"
#include "companions/evermark/evermark_texts.h"

namespace {

using namespace quillbox::companions;

// Failure codes of the answer.
constexpr int kBadRequestCode = 1;
constexpr int kMissingCode = 3;
constexpr int kNotPdfCode = 4;
constexpr int kEncryptedCode = 5;

int Fail(const std::string& folder, int code, const std::string& log, const QString& shown) {
    ShowFailure(nullptr, Tr(texts::kCaption).arg(QString()), shown);
    return WriteAnswer(folder, code, log) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    LoadLanguageFromEnvironment();
    const std::string folder = TemporaryFolder();
    if (argc != 3 || std::string(argv[1]) != "/io2") {
        return 2;  // nobody to answer
    }
    const std::optional<std::string> path = ReadAreaRequest(argv[2]);
    if (!path) {
        return Fail(folder, kBadRequestCode, "Malformed request", Tr(texts::kBadRequest));
    }
    const QString file = QString::fromStdString(*path);
    const QString name = QFileInfo(file).fileName();
    struct stat info {};
    if (stat(path->c_str(), &info) != 0) {
        return Fail(folder, kMissingCode, "No such document", Tr(texts::kMissing).arg(file));
    }
    const std::unique_ptr<Poppler::Document> document(
        S_ISREG(info.st_mode) ? Poppler::Document::load(file).release() : nullptr);
    if (document && document->isLocked()) {
        return Fail(folder, kEncryptedCode, "Document is encrypted",
                    Tr(texts::kEncrypted).arg(name));
    }
    if (!document || document->numPages() < 1) {
        return Fail(folder, kNotPdfCode, "Not a PDF document", Tr(texts::kNotPdf).arg(name));
    }
    document->setRenderHint(Poppler::Document::Antialiasing);
    document->setRenderHint(Poppler::Document::TextAntialiasing);

    AreaDialog dialog(*document, name);
    const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.AreaText().empty();
    const bool answered =
        chosen ? WriteAnswer(folder, 0, dialog.AreaText()) : WriteAnswer(folder, -2, "Cancelled");
    return answered ? 0 : 1;
}
