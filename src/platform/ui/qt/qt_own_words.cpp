#include "platform/ui/qt/qt_own_words.h"

#include <QCoreApplication>
#include <QLibraryInfo>

namespace quillbox::ui {

QtOwnWords::QtOwnWords(const std::string& language) {
    // Only the plug-in's languages: a page-chosen code never names a file.
    if ((language == "cs" || language == "sk") &&
        translator_.load("qtbase_" + QString::fromStdString(language),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        installed_ = QCoreApplication::installTranslator(&translator_);
    }
}

QtOwnWords::~QtOwnWords() {
    if (installed_) {
        QCoreApplication::removeTranslator(&translator_);
    }
}

}  // namespace quillbox::ui
