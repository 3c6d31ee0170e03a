// The window in which a person marks the signature area of a PDF document: the pages with
// page numbers and zoom, the rectangle, "Use this area" and "Cancel" (Escape).
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QPushButton;
class QSpinBox;

namespace Poppler {
class Document;
}

namespace quillbox::companions {

class PagesView;

class AreaDialog final : public QDialog {
    Q_OBJECT
  public:
    AreaDialog(Poppler::Document& document, const QString& fileName);
    // The area text of the marked rectangle; empty while none is marked.
    std::string AreaText() const;
    PagesView& View() { return *view_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void UpdateArea();
    // The scripted person: the answer's page, drags and final button.
    void PlayScript();

    PagesView* view_;
    QSpinBox* page_;
    QLabel* zoom_;
    QLabel* hint_;
    QLabel* area_;
    QPushButton* ok_;
    QPushButton* cancel_;
    QString fileName_;
    bool started_ = false;
};

}  // namespace quillbox::companions
