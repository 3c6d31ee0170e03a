// The scan window: scanner, source, colour mode and resolution; "Scan a page" adds a
// page, "Scan again" replaces the selected one, each page is previewed; "Done" ends with
// the pages, "Cancel" (Escape) without them. A scan runs on a thread of its own, so the
// window stays alive and "Stop" can end it.
#pragma once

#include <QDialog>
#include <QImage>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "companions/scan/sane_scanner.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace quillbox::companions {

struct ScannedPage {
    QImage image;
    int dpi = 0;
};

class ScanDialog final : public QDialog {
    Q_OBJECT
  public:
    enum class Outcome { Scanned, Cancelled, Failed };

    ScanDialog(const std::vector<SaneSession::Device>& devices, int dpi);
    ~ScanDialog() override;

    Outcome Result() const { return outcome_; }
    const std::vector<ScannedPage>& Pages() const { return pages_; }

  public slots:
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void OpenDevice();
    void StartScan(std::optional<int> replace);
    void ScanEnded(QImage image, QString why);
    void Fail(const QString& text);
    void ShowPreview();
    void UpdateState();
    void PlayNext();  // the scripted person's next step

    std::vector<SaneSession::Device> devices_;
    int wantedDpi_;
    Scanner scanner_;
    std::thread worker_;
    bool scanning_ = false;
    std::optional<int> replacing_;
    int scanDpi_ = 0;
    std::vector<ScannedPage> pages_;
    Outcome outcome_ = Outcome::Cancelled;

    QComboBox* device_;
    QComboBox* source_;
    QComboBox* mode_;
    QComboBox* resolution_;
    QListWidget* list_;
    QLabel* preview_;
    QLabel* status_;
    QPushButton* scan_;
    QPushButton* rescan_;
    QPushButton* done_;
    QPushButton* cancel_;

    std::vector<std::function<void()>> script_;
    std::size_t scriptStep_ = 0;
    bool started_ = false;
};

// Writes the pages as one PDF, each page the size of its scan, to path: created afresh
// (0600, never through a link), synced, renamed into place. False when it cannot.
bool WritePdf(const std::vector<ScannedPage>& pages, const std::string& path);

}  // namespace quillbox::companions
