#include "companions/evermark/area_dialog.h"

#include <poppler-qt6.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QVBoxLayout>

#include "companions/common/companion.h"
#include "companions/evermark/area_request.h"
#include "companions/evermark/evermark_texts.h"
#include "companions/evermark/pages_view.h"

namespace quillbox::companions {

namespace {

constexpr double kMillimetresPerPoint = 25.4 / 72;

void SendMouse(QWidget* target, QEvent::Type type, QPointF position, Qt::MouseButtons buttons) {
    QMouseEvent event(type, position, target->mapToGlobal(position), Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

}  // namespace

AreaDialog::AreaDialog(Poppler::Document& document, const QString& fileName) : fileName_(fileName) {
    setWindowTitle(Tr(texts::kCaption).arg(fileName));
    view_ = new PagesView(document, this);

    page_ = new QSpinBox(this);
    page_->setRange(1, std::max(1, view_->PageCount()));
    auto* of = new QLabel(Tr(texts::kOf).arg(view_->PageCount()), this);
    auto* smaller = new QPushButton(QStringLiteral("\u2212"), this);
    auto* larger = new QPushButton(QStringLiteral("+"), this);
    auto* fit = new QPushButton(Tr(texts::kFit), this);
    zoom_ = new QLabel(this);
    for (QPushButton* button : {smaller, larger, fit}) {
        button->setAutoDefault(false);
    }
    smaller->setFixedWidth(smaller->sizeHint().height() * 2);
    larger->setFixedWidth(smaller->sizeHint().height() * 2);
    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(Tr(texts::kPage), this));
    bar->addWidget(page_);
    bar->addWidget(of);
    bar->addStretch();
    bar->addWidget(smaller);
    bar->addWidget(zoom_);
    bar->addWidget(larger);
    bar->addWidget(fit);

    hint_ = new QLabel(Tr(texts::kHint), this);
    hint_->setWordWrap(true);
    area_ = new QLabel(this);
    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(Tr(texts::kUseArea), QDialogButtonBox::AcceptRole);
    cancel_ = buttons->addButton(Tr(texts::kCancel), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(view_, 1);
    layout->addWidget(hint_);
    layout->addWidget(area_);
    layout->addWidget(buttons);

    auto showZoom = [this] { zoom_->setText(QString::number(qRound(view_->Zoom() * 100)) + " %"); };
    connect(page_, &QSpinBox::valueChanged, this, [this](int page) {
        if (view_->CurrentPage() != page - 1) {
            view_->ShowPage(page - 1);
        }
    });
    connect(view_, &PagesView::CurrentPageChanged, this, [this](int page) {
        const QSignalBlocker quiet(page_);
        page_->setValue(page + 1);
    });
    connect(smaller, &QPushButton::clicked, this, [this, showZoom] {
        view_->SetZoom(view_->Zoom() / 1.25);
        showZoom();
    });
    connect(larger, &QPushButton::clicked, this, [this, showZoom] {
        view_->SetZoom(view_->Zoom() * 1.25);
        showZoom();
    });
    connect(fit, &QPushButton::clicked, this, [this, showZoom] {
        view_->ZoomToFit();
        showZoom();
    });
    connect(view_, &PagesView::AreaChanged, this, &AreaDialog::UpdateArea);
    UpdateArea();
    showZoom();

    const QSize room = screen() != nullptr ? screen()->availableSize() : QSize(1280, 800);
    resize(std::min(760, room.width() - 40), std::min(900, room.height() - 60));
}

std::string AreaDialog::AreaText() const {
    const auto& area = view_->Area();
    return area ? companions::AreaText(area->page + 1, area->rect, view_->PageSize(area->page))
                : std::string();
}

void AreaDialog::UpdateArea() {
    const auto& area = view_->Area();
    ok_->setEnabled(area.has_value());
    area_->setText(area ? Tr(texts::kArea)
                              .arg(area->page + 1)
                              .arg(area->rect.width() * kMillimetresPerPoint, 0, 'f', 0)
                              .arg(area->rect.height() * kMillimetresPerPoint, 0, 'f', 0)
                        : Tr(texts::kNoArea));
}

void AreaDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (started_) {
        return;
    }
    started_ = true;
    // Sizes are known only once the window is shown.
    QMetaObject::invokeMethod(
        this,
        [this] {
            view_->ZoomToFit();
            zoom_->setText(QString::number(qRound(view_->Zoom() * 100)) + " %");
            view_->setFocus();
            if (Script::Get().Active()) {
                AfterStep(this, [this] { PlayScript(); });
            }
        },
        Qt::QueuedConnection);
}

void AreaDialog::PlayScript() {
    Script& script = Script::Get();
    const std::optional<nlohmann::json> answer = script.Next("pdfarea");
    if (!answer) {
        reject();
        return;
    }
    const int page = answer->value("page", 1) - 1;
    page_->setValue(page + 1);
    // Drags as a person makes them, in points from the page's top-left corner.
    QWidget* target = view_->viewport();
    for (const nlohmann::json& drag : answer->value("drags", nlohmann::json::array())) {
        const QPointF from = view_->ViewportPoint(page, {drag.at(0), drag.at(1)});
        const QPointF to = view_->ViewportPoint(page, {drag.at(2), drag.at(3)});
        SendMouse(target, QEvent::MouseButtonPress, from, Qt::LeftButton);
        SendMouse(target, QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
        SendMouse(target, QEvent::MouseMove, to, Qt::LeftButton);
        SendMouse(target, QEvent::MouseButtonRelease, to, Qt::NoButton);
    }
    const std::string choice = answer->value("answer", "cancel");
    script.Record({{"dialog", "pdfarea"},
                   {"caption", windowTitle().toStdString()},
                   {"pages", view_->PageCount()},
                   {"texts", {hint_->text().toStdString(), area_->text().toStdString()}},
                   {"buttons", {ok_->text().toStdString(), cancel_->text().toStdString()}},
                   {"area", AreaText()},
                   {"answer", choice}});
    AfterStep(this, [this, choice] {
        if (choice == "ok" && ok_->isEnabled()) {
            ok_->click();
        } else if (choice == "escape") {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(this, &escape);
        } else {
            cancel_->click();
        }
    });
}

}  // namespace quillbox::companions
