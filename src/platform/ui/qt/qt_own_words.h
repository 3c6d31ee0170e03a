// Qt's own words in its file dialogs (labels, column names, context menus) in the
// plug-in's language rather than always English.
#pragma once

#include <QTranslator>
#include <string>

namespace quillbox::ui {

// Installs Qt's translation for language (ISO 639-1) while it lives. Without the
// translation installed on the machine, or for English, Qt keeps its English words.
class QtOwnWords {
  public:
    explicit QtOwnWords(const std::string& language);
    ~QtOwnWords();
    QtOwnWords(const QtOwnWords&) = delete;
    QtOwnWords& operator=(const QtOwnWords&) = delete;

  private:
    QTranslator translator_;
    bool installed_ = false;
};

}  // namespace quillbox::ui
