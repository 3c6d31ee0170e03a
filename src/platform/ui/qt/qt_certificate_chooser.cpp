// The certificate dialog drawn with Qt Widgets: the pages, the list and the buttons show
// what the CertificateChooser says, and every click is handed to it.
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "platform/ui/qt/qt_dialog_driver.h"
#include "platform/ui/qt/qt_dialog_owner.h"
#include "platform/ui/qt/qt_gui_thread.h"
#include "platform/ui/qt/qt_requester_line.h"
#include "platform/ui/qt/qt_user_interface.h"
#include "platform/ui/qt/qt_window_look.h"
#include "platform/ui/scripted/dialog_scripts.h"

namespace quillbox::ui {

namespace {

constexpr int kIdColumn = 5;

QString Text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

class ChooserDialog final : public QDialog {
  public:
    explicit ChooserDialog(CertificateChooser& chooser)
        : QDialog(DialogOwner()), chooser_(chooser) {
        setObjectName("certificateChooser");
        const CertificateChooserTexts& texts = chooser.Texts();
        setWindowTitle(Text(texts.caption));
        SetUpWindow(*this);

        tabs_ = new QTabWidget(this);
        tabs_->setObjectName("pages");
        tabs_->addTab(BuildList(texts), Text(texts.listPage));
        if (chooser.HasPreviewPage()) {
            preview_ = new QPlainTextEdit(tabs_);
            preview_->setObjectName("preview");
            preview_->setReadOnly(true);
            preview_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            previewFailed_ = new QLabel(Text(texts.previewFailed), preview_->viewport());
            previewFailed_->setObjectName("previewFailed");
            previewFailed_->setWordWrap(true);
            previewFailed_->setAlignment(Qt::AlignCenter);
            (new QVBoxLayout(preview_->viewport()))->addWidget(previewFailed_);
            previewFailed_->hide();
            tabs_->addTab(preview_, Text(texts.previewPage));
        }

        // The logo stands at the top right, beside the page tabs and as high as they are.
        auto* logo = new QLabel(tabs_);
        logo->setObjectName("logo");
        const int tabHeight = tabs_->findChild<QTabBar*>()->sizeHint().height();
        logo->setPixmap(LogoPicture(std::max(tabHeight - 2, 16), devicePixelRatioF()));
        tabs_->setCornerWidget(logo, Qt::TopRightCorner);

        showAll_ = new QCheckBox(Text(texts.showAll), this);
        showAll_->setObjectName("showAll");

        confirm_ = new QPushButton(Text(texts.confirm), this);
        confirm_->setObjectName("confirm");
        confirm_->setDefault(true);
        view_ = new QPushButton(Text(texts.view), this);
        view_->setObjectName("view");
        view_->setAutoDefault(false);
        cancel_ = new QPushButton(Text(texts.cancel), this);
        cancel_->setObjectName("cancel");
        cancel_->setAutoDefault(false);
        auto* buttons = new QHBoxLayout;
        buttons->addWidget(showAll_);
        buttons->addStretch(1);
        buttons->addWidget(confirm_);
        buttons->addWidget(view_);
        buttons->addWidget(cancel_);

        auto* layout = new QVBoxLayout(this);
        AddRequesterLine(*this, *layout);
        layout->addWidget(tabs_, 1);
        layout->addLayout(buttons);

        connect(list_, &QTableWidget::itemSelectionChanged, this, [this] {
            if (!filling_) {
                chooser_.Select(SelectedRow());
                AfterAction();
            }
        });
        connect(list_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
            chooser_.DoubleClick(static_cast<std::size_t>(row));
            AfterAction();
        });
        connect(showAll_, &QCheckBox::clicked, this, [this](bool checked) {
            chooser_.SetShowAll(checked);
            AfterAction(true);
        });
        connect(tabs_, &QTabWidget::currentChanged, this, [this](int page) { PageShown(page); });
        connect(confirm_, &QPushButton::clicked, this, [this] {
            chooser_.Confirm();
            AfterAction();
        });
        connect(view_, &QPushButton::clicked, this, [this] {
            chooser_.View();
            AfterAction();
        });
        connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    }

    // Opens the chooser and shows the window until the chooser has finished; with a
    // driver, its actions are played on the widgets.
    void Run(AnswerScript* driver) {
        chooser_.Open();
        if (chooser_.Finished()) {
            if (driver != nullptr) {
                Actor actor(*this);
                script::ChooserRun run(*driver, actor);
                run.Opened();
                run.Close();
            }
            return;
        }
        Refill();
        const int columnsWidth = FitColumns();
        list_->setFocus();
        // Wide enough for every column without a horizontal scroll bar; the margins
        // around the list are those the layouts give it.
        const QMargins margins = layout()->contentsMargins();
        const int around = tabs_->sizeHint().width() - list_->sizeHint().width() + margins.left() +
                           margins.right();
        const int listWidth =
            columnsWidth + 2 * list_->frameWidth() + list_->verticalScrollBar()->sizeHint().width();
        resize(sizeHint().expandedTo(QSize(std::max(720, listWidth + around), 420)));
        if (driver == nullptr) {
            exec();
            return;
        }
        Actor actor(*this);
        script::ChooserRun run(*driver, actor);
        run.Opened();
        // One action per turn of the event loop: an action may open a nested dialog (the
        // viewer, the wait dialog of the preview) that has to close before the next.
        std::function<void()> step = [this, &run, &step] {
            if (run.Step()) {
                driver::WhenShown(this, step);
            } else {
                run.Close();
            }
        };
        driver::WhenShown(this, step);
        exec();
    }

    // Escape, the close button of the window and "Cancel".
    void reject() override {
        if (!chooser_.Finished()) {
            chooser_.Cancel();
        }
        QDialog::reject();
    }

  private:
    // What a person sees of the dialog and does with it, for the driver.
    class Actor final : public script::ChooserActor {
      public:
        explicit Actor(ChooserDialog& dialog) : d_(dialog) {}

        CertificateChooserTexts Texts() const override {
            CertificateChooserTexts texts;
            texts.caption = d_.windowTitle().toStdString();
            texts.listPage = d_.tabs_->tabText(0).toStdString();
            if (HasPreviewPage()) {
                texts.previewPage = d_.tabs_->tabText(1).toStdString();
            }
            for (int column = 0; column < d_.list_->columnCount(); ++column) {
                texts.columns.at(static_cast<std::size_t>(column)) =
                    d_.list_->horizontalHeaderItem(column)->text().toStdString();
            }
            texts.showAll = d_.showAll_->text().toStdString();
            texts.confirm = d_.confirm_->text().toStdString();
            texts.view = d_.view_->text().toStdString();
            texts.cancel = d_.cancel_->text().toStdString();
            return texts;
        }
        bool HasPreviewPage() const override { return d_.tabs_->count() > 1; }
        std::string Requester() const override { return RequesterShownIn(d_); }
        std::string EmptyNote() const override {
            return d_.empty_->isVisibleTo(&d_) ? d_.empty_->text().toStdString() : std::string();
        }
        std::vector<CertificateRow> Rows() const override {
            std::vector<CertificateRow> rows;
            for (int row = 0; row < d_.list_->rowCount(); ++row) {
                auto cell = [this, row](int column) {
                    const QTableWidgetItem* item = d_.list_->item(row, column);
                    return item != nullptr ? item->text().toStdString() : std::string();
                };
                rows.push_back({cell(0), cell(1), cell(2), cell(3), cell(4), cell(kIdColumn)});
            }
            return rows;
        }
        std::optional<std::size_t> Selection() const override { return d_.SelectedRow(); }
        bool ShowAll() const override { return d_.showAll_->isChecked(); }
        bool ConfirmEnabled() const override { return d_.confirm_->isEnabled(); }
        bool Finished() const override { return d_.chooser_.Finished(); }

        void Select(std::size_t row) override {
            QTableWidgetItem* item = d_.list_->item(static_cast<int>(row), 0);
            d_.list_->scrollToItem(item);
            const QPoint centre = d_.list_->visualItemRect(item).center();
            driver::Click(d_.list_->viewport(), &centre);
        }
        void ClickShowAll() override { driver::Press(d_.showAll_); }
        std::optional<std::string> ShowPreview() override {
            QTabBar* bar = d_.tabs_->tabBar();
            const QPoint centre = bar->tabRect(1).center();
            driver::Click(bar, &centre);
            const QString text = d_.preview_->toPlainText();
            if (text.isEmpty()) {
                return std::nullopt;
            }
            return text.toStdString();
        }
        void ClickView() override { driver::Press(d_.view_); }
        void ClickConfirm() override { driver::Press(d_.confirm_); }
        void DoubleClick(std::size_t row) override {
            QTableWidgetItem* item = d_.list_->item(static_cast<int>(row), 0);
            d_.list_->scrollToItem(item);
            driver::DoubleClick(d_.list_->viewport(), d_.list_->visualItemRect(item).center());
        }
        void ClickCancel() override { driver::Press(d_.cancel_); }

      private:
        ChooserDialog& d_;
    };

    QWidget* BuildList(const CertificateChooserTexts& texts) {
        list_ = new QTableWidget(0, static_cast<int>(texts.columns.size()), tabs_);
        list_->setObjectName("certificates");
        QStringList headings;
        for (const std::string& heading : texts.columns) {
            headings << Text(heading);
        }
        list_->setHorizontalHeaderLabels(headings);
        list_->setSelectionMode(QAbstractItemView::SingleSelection);
        list_->setSelectionBehavior(QAbstractItemView::SelectRows);
        list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        list_->setShowGrid(true);
        list_->setWordWrap(false);
        list_->setTabKeyNavigation(false);
        list_->verticalHeader()->hide();
        list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 8);
        QHeaderView* header = list_->horizontalHeader();
        header->setSectionsClickable(false);
        header->setHighlightSections(false);
        header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        header->setStretchLastSection(true);
        list_->setColumnHidden(kIdColumn, true);
        // Why the list is empty, in the middle of where the rows would be.
        empty_ = new QLabel(Text(texts.emptyList), list_->viewport());
        empty_->setObjectName("emptyList");
        empty_->setWordWrap(true);
        empty_->setAlignment(Qt::AlignCenter);
        auto* emptyLayout = new QVBoxLayout(list_->viewport());
        emptyLayout->addWidget(empty_);
        empty_->hide();
        // The selected certificate stays visible while the focus is on a button.
        QPalette palette = list_->palette();
        for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
            palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
        }
        list_->setPalette(palette);
        return list_;
    }

    // The columns start at the widths of the original layout and widen, once, where a
    // heading or an entry of the first listing would be cut (a wider font, a longer
    // translation, a long issuer name); the last visible column takes the rest.
    // Returns the width the visible columns take.
    int FitColumns() {
        constexpr int kWidest = 260;
        QHeaderView* header = list_->horizontalHeader();
        const QAbstractItemView* view = list_;  // where the content size hint is public
        int total = 0;
        for (int column = 0; column < kIdColumn; ++column) {
            const int given = kCertificateColumnWidths[static_cast<std::size_t>(column)];
            const int needed = std::max(header->sectionSizeHint(column),
                                        std::min(view->sizeHintForColumn(column), kWidest));
            list_->setColumnWidth(column, std::max(given, needed));
            total += std::max(given, needed);
        }
        return total;
    }

    std::optional<std::size_t> SelectedRow() const {
        const QModelIndexList rows = list_->selectionModel()->selectedRows();
        if (rows.isEmpty()) {
            return std::nullopt;
        }
        return static_cast<std::size_t>(rows.first().row());
    }

    // Shows the chooser's rows, selection and check box as they are now.
    void Refill() {
        filling_ = true;
        list_->clearSelection();
        const std::vector<CertificateRow>& rows = chooser_.Rows();
        list_->setRowCount(static_cast<int>(rows.size()));
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const CertificateRow& row = rows[i];
            const std::string* cells[] = {&row.displayName, &row.issuerName,   &row.validFrom,
                                          &row.validTo,     &row.friendlyName, &row.certificateId};
            for (int column = 0; column < list_->columnCount(); ++column) {
                auto* item = new QTableWidgetItem(Text(*cells[column]));
                item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
                item->setToolTip(item->text());
                list_->setItem(static_cast<int>(i), column, item);
            }
        }
        if (const std::optional<std::size_t> selected = chooser_.Selection();
            selected && *selected < rows.size()) {
            const int row = static_cast<int>(*selected);
            list_->setCurrentCell(row, 0);
            list_->selectRow(row);
            list_->scrollToItem(list_->item(row, 0));
        }
        empty_->setVisible(rows.empty() && !empty_->text().isEmpty());
        filling_ = false;
        showAll_->setChecked(chooser_.ShowAll());
        UpdateButtons();
    }

    void UpdateButtons() {
        const bool enabled = chooser_.CanConfirm();
        confirm_->setEnabled(enabled);
        view_->setEnabled(enabled);
    }

    void PageShown(int page) {
        view_->setVisible(page == 0);
        if (preview_ == nullptr || tabs_->widget(page) != preview_) {
            return;
        }
        const std::optional<std::string> text = chooser_.PreviewShown();
        if (text && !previewSet_) {
            preview_->setPlainText(QString::fromUtf8(text->data(), static_cast<int>(text->size())));
            previewSet_ = true;
        }
        previewFailed_->setVisible(!text && !previewFailed_->text().isEmpty());
        AfterAction();
    }

    // Closes the window once the chooser has finished; otherwise shows what changed.
    void AfterAction(bool listChanged = false) {
        if (chooser_.Finished()) {
            done(QDialog::Rejected);
        } else if (listChanged) {
            Refill();
        } else {
            UpdateButtons();
        }
    }

    CertificateChooser& chooser_;
    QTabWidget* tabs_ = nullptr;
    QTableWidget* list_ = nullptr;
    QPlainTextEdit* preview_ = nullptr;
    QCheckBox* showAll_ = nullptr;
    QLabel* empty_ = nullptr;
    QLabel* previewFailed_ = nullptr;
    QPushButton* confirm_ = nullptr;
    QPushButton* view_ = nullptr;
    QPushButton* cancel_ = nullptr;
    bool filling_ = false;
    bool previewSet_ = false;
};

}  // namespace

void QtUserInterface::RunCertificateChooser(CertificateChooser& chooser) {
    const bool ran = OnGuiThread(false, [&] {
        ChooserDialog dialog(chooser);
        dialog.Run(driver_.get());
        return true;
    });
    if (!ran) {
        chooser.Cancel();
    }
}

}  // namespace quillbox::ui
