#include "companions/scan/scan_dialog.h"

#include <fcntl.h>
#include <unistd.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <cstdlib>

#include "companions/common/companion.h"
#include "companions/scan/scan_texts.h"

namespace quillbox::companions {

namespace {

constexpr int kThumbnail = 96;

QStringList Texts(const std::vector<std::string>& values) {
    QStringList list;
    for (const std::string& value : values) {
        list << QString::fromStdString(value);
    }
    return list;
}

nlohmann::json ComboTexts(const QComboBox* combo) {
    nlohmann::json texts = nlohmann::json::array();
    for (int i = 0; i < combo->count(); ++i) {
        texts.push_back(combo->itemText(i).toStdString());
    }
    return texts;
}

}  // namespace

ScanDialog::ScanDialog(const std::vector<SaneSession::Device>& devices, int dpi)
    : devices_(devices), wantedDpi_(dpi) {
    setWindowTitle(Tr(texts::kCaption));
    device_ = new QComboBox(this);
    for (const SaneSession::Device& device : devices_) {
        device_->addItem(device.label, QString::fromStdString(device.name));
    }
    source_ = new QComboBox(this);
    mode_ = new QComboBox(this);
    resolution_ = new QComboBox(this);
    auto* settings = new QFormLayout;
    settings->addRow(Tr(texts::kDevice), device_);
    settings->addRow(Tr(texts::kSource), source_);
    settings->addRow(Tr(texts::kMode), mode_);
    settings->addRow(Tr(texts::kResolution), resolution_);

    list_ = new QListWidget(this);
    list_->setIconSize(QSize(kThumbnail, kThumbnail));
    list_->setFixedWidth(kThumbnail + 48);
    preview_ = new QLabel(this);
    preview_->setAlignment(Qt::AlignCenter);
    preview_->setMinimumSize(360, 420);
    preview_->setBackgroundRole(QPalette::Dark);
    preview_->setAutoFillBackground(true);
    auto* pagesRow = new QHBoxLayout;
    pagesRow->addWidget(list_);
    pagesRow->addWidget(preview_, 1);

    status_ = new QLabel(this);
    scan_ = new QPushButton(Tr(texts::kScan), this);
    rescan_ = new QPushButton(Tr(texts::kRescan), this);
    auto* buttons = new QDialogButtonBox(this);
    done_ = buttons->addButton(Tr(texts::kDone), QDialogButtonBox::AcceptRole);
    cancel_ = buttons->addButton(Tr(texts::kCancel), QDialogButtonBox::RejectRole);
    scan_->setDefault(true);
    done_->setAutoDefault(false);
    auto* scanRow = new QHBoxLayout;
    scanRow->addWidget(status_, 1);
    scanRow->addWidget(scan_);
    scanRow->addWidget(rescan_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(settings);
    layout->addLayout(pagesRow, 1);
    layout->addLayout(scanRow);
    layout->addWidget(buttons);

    connect(device_, &QComboBox::currentIndexChanged, this, [this] { OpenDevice(); });
    connect(scan_, &QPushButton::clicked, this, [this] { StartScan(std::nullopt); });
    connect(rescan_, &QPushButton::clicked, this, [this] {
        if (list_->currentRow() >= 0) {
            StartScan(list_->currentRow());
        }
    });
    connect(list_, &QListWidget::currentRowChanged, this, [this] {
        ShowPreview();
        UpdateState();
    });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (!pages_.empty() && !scanning_) {
            outcome_ = Outcome::Scanned;
            accept();
        }
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &ScanDialog::reject);
    UpdateState();
}

ScanDialog::~ScanDialog() {
    if (worker_.joinable()) {
        scanner_.Cancel();
        worker_.join();
    }
}

void ScanDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (started_) {
        return;
    }
    started_ = true;
    QMetaObject::invokeMethod(
        this, [this] { OpenDevice(); }, Qt::QueuedConnection);
}

void ScanDialog::OpenDevice() {
    const std::string name = device_->currentData().toString().toStdString();
    if (const QString why = scanner_.Open(name); !why.isEmpty()) {
        Fail(Tr(texts::kDeviceError).arg(why));
        return;
    }
    const QSignalBlocker quietSource(source_), quietMode(mode_), quietResolution(resolution_);
    source_->clear();
    source_->addItems(Texts(scanner_.Sources()));
    mode_->clear();
    mode_->addItems(Texts(scanner_.Modes()));
    resolution_->clear();
    int chosen = -1, bestDistance = 1 << 30;
    for (const int dpi : scanner_.Resolutions(wantedDpi_)) {
        resolution_->addItem(Tr(texts::kDpi).arg(dpi), dpi);
        if (std::abs(dpi - wantedDpi_) < bestDistance) {
            bestDistance = std::abs(dpi - wantedDpi_);
            chosen = resolution_->count() - 1;
        }
    }
    resolution_->setCurrentIndex(chosen);
    UpdateState();
    if (Script::Get().Active() && script_.empty()) {
        // The script's answer is read once the first device is open, as a person reads the
        // window.
        const std::optional<nlohmann::json> answer = Script::Get().Next("scan");
        const nlohmann::json a = answer.value_or(nlohmann::json{{"answer", "cancel"}});
        script_.push_back([this, a] {
            if (a.contains("device")) {
                device_->setCurrentIndex(
                    device_->findData(QString::fromStdString(a["device"].get<std::string>())));
            }
            if (a.contains("source")) {
                source_->setCurrentText(QString::fromStdString(a["source"].get<std::string>()));
            }
            if (a.contains("mode")) {
                mode_->setCurrentText(QString::fromStdString(a["mode"].get<std::string>()));
            }
            if (a.contains("resolution")) {
                resolution_->setCurrentIndex(resolution_->findData(a["resolution"].get<int>()));
            }
            PlayNext();
        });
        for (int i = 0; i < a.value("pages", 0); ++i) {
            script_.push_back([this] { scan_->click(); });
        }
        if (const int again = a.value("rescan", 0); again > 0) {
            script_.push_back([this, again] {
                list_->setCurrentRow(again - 1);
                rescan_->click();
            });
        }
        script_.push_back([this, a] {
            nlohmann::json sizes = nlohmann::json::array();
            for (const ScannedPage& page : pages_) {
                sizes.push_back({page.image.width(), page.image.height(), page.dpi});
            }
            const std::string choice = a.value("answer", "cancel");
            Script::Get().Record({{"dialog", "scan"},
                                  {"caption", windowTitle().toStdString()},
                                  {"devices", ComboTexts(device_)},
                                  {"sources", ComboTexts(source_)},
                                  {"modes", ComboTexts(mode_)},
                                  {"resolutions", ComboTexts(resolution_)},
                                  {"resolution", resolution_->currentText().toStdString()},
                                  {"texts", {status_->text().toStdString()}},
                                  {"pages", sizes},
                                  {"answer", choice}});
            AfterStep(this, [this, choice] { (choice == "ok" ? done_ : cancel_)->click(); });
        });
        AfterStep(this, [this] { PlayNext(); });
    }
}

void ScanDialog::PlayNext() {
    if (scriptStep_ < script_.size()) {
        const std::size_t step = scriptStep_++;
        AfterStep(this, [this, step] { script_[step](); });
    }
}

void ScanDialog::StartScan(std::optional<int> replace) {
    if (scanning_ || !scanner_.IsOpen()) {
        return;
    }
    if (!source_->currentText().isEmpty()) {
        scanner_.SetSource(source_->currentText().toStdString());
    }
    if (!mode_->currentText().isEmpty()) {
        scanner_.SetMode(mode_->currentText().toStdString());
    }
    scanDpi_ = resolution_->currentData().toInt();
    if (scanDpi_ <= 0 || !scanner_.SetResolution(scanDpi_)) {
        // A device without a resolution choice scans at its own; the page is sized by it.
        scanDpi_ = wantedDpi_;
    }
    replacing_ = replace;
    scanning_ = true;
    status_->setText(Tr(texts::kScanning).arg(replace.value_or(int(pages_.size())) + 1));
    UpdateState();
    worker_ = std::thread([this] {
        QString why;
        QImage image = scanner_.ScanPage(why);
        QMetaObject::invokeMethod(
            this, [this, image = std::move(image), why] { ScanEnded(image, why); },
            Qt::QueuedConnection);
    });
}

void ScanDialog::ScanEnded(QImage image, QString why) {
    worker_.join();
    scanning_ = false;
    const bool stopped =
        image.isNull() && why == QString::fromUtf8(sane_strstatus(SANE_STATUS_CANCELLED));
    if (image.isNull() && !stopped) {
        Fail(Tr(texts::kDeviceError).arg(why));
        return;
    }
    if (!image.isNull()) {
        const int row = replacing_.value_or(int(pages_.size()));
        if (replacing_) {
            pages_[std::size_t(row)] = {image, scanDpi_};
        } else {
            pages_.push_back({image, scanDpi_});
            list_->addItem(Tr(texts::kPage).arg(row + 1));
        }
        list_->item(row)->setIcon(QPixmap::fromImage(
            image.scaled(kThumbnail, kThumbnail, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
        list_->setCurrentRow(row);
    }
    status_->setText(stopped ? Tr(texts::kStopped) : Tr(texts::kPages).arg(pages_.size()));
    ShowPreview();
    UpdateState();
    if (Script::Get().Active()) {
        PlayNext();
    }
}

void ScanDialog::Fail(const QString& text) {
    ShowFailure(this, windowTitle(), text);
    outcome_ = Outcome::Failed;
    QDialog::reject();
}

void ScanDialog::reject() {
    if (scanning_) {
        scanner_.Cancel();  // the scan ends as stopped; the window stays
        return;
    }
    outcome_ = Outcome::Cancelled;
    QDialog::reject();
}

void ScanDialog::ShowPreview() {
    const int row = list_->currentRow();
    if (row < 0 || std::size_t(row) >= pages_.size()) {
        preview_->setPixmap({});
        return;
    }
    preview_->setPixmap(QPixmap::fromImage(pages_[std::size_t(row)].image.scaled(
        preview_->size() - QSize(8, 8), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void ScanDialog::UpdateState() {
    const bool idle = !scanning_ && scanner_.IsOpen();
    for (QWidget* w : {static_cast<QWidget*>(device_), static_cast<QWidget*>(source_),
                       static_cast<QWidget*>(mode_), static_cast<QWidget*>(resolution_)}) {
        w->setEnabled(!scanning_);
    }
    scan_->setEnabled(idle);
    rescan_->setEnabled(idle && list_->currentRow() >= 0);
    done_->setEnabled(idle && !pages_.empty());
    cancel_->setText(scanning_ ? Tr(texts::kStop) : Tr(texts::kCancel));
    if (pages_.empty() && !scanning_) {
        status_->setText(Tr(texts::kNoPages));
    }
}

bool WritePdf(const std::vector<ScannedPage>& pages, const std::string& path) {
    const std::string temporary = path + ".part";
    unlink(temporary.c_str());
    const int fd =
        open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    bool written = false;
    {
        QFile file;
        file.open(fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
        QPdfWriter writer(&file);
        writer.setCreator(QStringLiteral("Quillbox"));
        writer.setResolution(72);  // painter units are points
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter;
        for (std::size_t i = 0; i < pages.size(); ++i) {
            const ScannedPage& page = pages[i];
            const QSizeF points(page.image.width() * 72.0 / page.dpi,
                                page.image.height() * 72.0 / page.dpi);
            writer.setPageSize(QPageSize(points, QPageSize::Point, {}, QPageSize::ExactMatch));
            if (i == 0 ? !painter.begin(&writer) : !writer.newPage()) {
                break;
            }
            painter.drawImage(QRectF(QPointF(0, 0), points), page.image);
            written = i + 1 == pages.size();
        }
        written = painter.end() && written;
        written = file.flush() && written;
    }
    written = fsync(fd) == 0 && written;
    written = close(fd) == 0 && written;
    if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace quillbox::companions
