// The PIN dialog drawn with Qt Widgets; what it accepts is PinDialogRequest::Accepts.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

#include "platform/ui/qt/qt_caption_width.h"
#include "platform/ui/qt/qt_dialog_driver.h"
#include "platform/ui/qt/qt_dialog_owner.h"
#include "platform/ui/qt/qt_gui_thread.h"
#include "platform/ui/qt/qt_requester_line.h"
#include "platform/ui/qt/qt_secret_text.h"
#include "platform/ui/qt/qt_user_interface.h"
#include "platform/ui/qt/qt_window_look.h"
#include "platform/ui/scripted/dialog_scripts.h"

namespace quillbox::ui {

namespace {

QLabel* TextLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);  // token labels and certificate names are not markup
    label->setWordWrap(true);
    return label;
}

// One window for all the questions of a login: answered, it can stay on screen (disabled)
// until the token has checked the PIN and the next question fills it again.
class PinWindow final : public QDialog {
  public:
    PinWindow() : QDialog(DialogOwner()) {
        setObjectName("pinDialog");
        SetUpWindow(*this);

        auto* logo = new QLabel(this);
        logo->setPixmap(LogoPicture(48, devicePixelRatioF()));
        logo->setAlignment(Qt::AlignTop);
        column_ = new QVBoxLayout;
        AddRequesterLine(*this, *column_);
        certificate_ = TextLabel(this, "certificate");
        QFont bold = certificate_->font();
        bold.setBold(true);
        certificate_->setFont(bold);
        prompt_ = TextLabel(this, "prompt");
        column_->addWidget(certificate_);
        column_->addWidget(prompt_);
        warnings_ = new QVBoxLayout;
        column_->addLayout(warnings_);
        pin_ = new QLineEdit(this);
        pin_->setObjectName("pin");
        pin_->setEchoMode(QLineEdit::Password);
        column_->addWidget(pin_);
        auto* row = new QHBoxLayout;
        row->addWidget(logo);
        row->addLayout(column_, 1);

        buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        ok_ = buttons_->button(QDialogButtonBox::Ok);
        cancel_ = buttons_->button(QDialogButtonBox::Cancel);
        auto* layout = new QVBoxLayout(this);
        layout->addLayout(row);
        layout->addStretch(1);
        layout->addWidget(buttons_);

        connect(pin_, &QLineEdit::textChanged, this, [this](const QString& text) {
            ok_->setEnabled(request_ != nullptr && request_->AcceptsLength(Utf8Length(text)));
        });
        connect(buttons_, &QDialogButtonBox::accepted, this, [this] {
            if (request_ != nullptr && request_->AcceptsLength(Utf8Length(pin_->text()))) {
                accept();
            }
        });
        connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    }

    // Shows the question (in place of the previous one) and waits for the answer.
    PinDialogAnswer Ask(const PinDialogRequest& request, AnswerScript* script) {
        Fill(request);
        std::optional<script::PinPlan> plan;
        if (script != nullptr) {
            plan = script::PlanPin(*script, request);
            driver::WhenShown(this, [this, &plan] {
                if (plan->confirm) {
                    // The typed copy in Qt's key events is as unwipable as a person's.
                    driver::Type(pin_, QString::fromUtf8(plan->pin.data(),
                                                         static_cast<qsizetype>(plan->pin.size())));
                    if (!ok_->isEnabled()) {
                        plan->problem = "the confirm button stayed disabled";
                    }
                    driver::Press(ok_);
                }
                if (loop_ != nullptr) {
                    driver::Press(cancel_);
                }
            });
        }
        if (!isVisible()) {
            WidenForCaption(*this, 440);
            adjustSize();
        }
        // New warnings lengthen the window where it stands; it never shrinks under the
        // person's eyes.
        layout()->activate();
        const int needed = heightForWidth(width());
        resize(width(), std::max(height(), needed > 0 ? needed : sizeHint().height()));
        show();
        pin_->setFocus();
        QEventLoop loop;
        loop_ = &loop;
        const bool confirmed = loop.exec() == Accepted;
        loop_ = nullptr;
        PinDialogAnswer answer;
        if (confirmed) {
            answer.confirmed = true;
            answer.pin = SecretFromText(pin_->text());
        }
        if (plan) {
            nlohmann::json line = script::PinLine(Seen(request), answer.confirmed, plan->scripted);
            if (const std::string requester = RequesterShownIn(*this); !requester.empty()) {
                line["requester"] = requester;
            }
            script->Record(std::move(line), plan->problem);
        }
        // What cannot be wiped: the line edit's own text (and its edit history), which Qt
        // frees without overwriting and gives no way to reach. At least it goes now.
        pin_->clear();
        // Waits for the token's verdict: the person sees the window kept, not gone.
        SetAnswerable(false);
        request_ = nullptr;
        return answer;
    }

    // The answer ends the wait; the window stays until its owner closes it.
    void done(int result) override {
        if (loop_ != nullptr) {
            loop_->exit(result);
            loop_ = nullptr;  // the first answer counts
        }
    }

  private:
    void Fill(const PinDialogRequest& request) {
        request_ = &request;
        setWindowTitle(QString::fromStdString(request.caption));
        prompt_->setText(QString::fromStdString(request.prompt));
        certificate_->setText(QString::fromStdString(request.certificate));
        certificate_->setVisible(!request.certificate.empty());
        qDeleteAll(findChildren<QLabel*>("warning"));
        for (const std::string& warning : request.warnings) {
            QLabel* label = TextLabel(this, "warning");
            label->setText(QString::fromStdString(warning));
            label->setStyleSheet("color: #a03000;");
            warnings_->addWidget(label);
            label->show();  // counted in the size at once, not when the window is next shown
        }
        if (request.maxLength > 0) {
            pin_->setMaxLength(static_cast<int>(request.maxLength));
        }
        if (!request.okText.empty()) {
            ok_->setText(QString::fromStdString(request.okText));
        }
        if (!request.cancelText.empty()) {
            cancel_->setText(QString::fromStdString(request.cancelText));
        }
        pin_->clear();
        SetAnswerable(true);
        pin_->setEnabled(request.canEnter);
        ok_->setEnabled(false);
    }

    void SetAnswerable(bool answerable) {
        pin_->setEnabled(answerable);
        buttons_->setEnabled(answerable);
    }

    // What the dialog shows, read back from its widgets.
    PinDialogRequest Seen(const PinDialogRequest& request) const {
        PinDialogRequest seen = request;
        seen.caption = windowTitle().toStdString();
        seen.prompt = prompt_->text().toStdString();
        seen.warnings.clear();
        for (const QLabel* warning : findChildren<QLabel*>("warning")) {
            seen.warnings.push_back(warning->text().toStdString());
        }
        seen.canEnter = pin_->isEnabled();
        seen.certificate =
            certificate_->isVisibleTo(this) ? certificate_->text().toStdString() : "";
        return seen;
    }

    const PinDialogRequest* request_ = nullptr;
    QEventLoop* loop_ = nullptr;
    QVBoxLayout* column_ = nullptr;
    QVBoxLayout* warnings_ = nullptr;
    QLabel* prompt_ = nullptr;
    QLabel* certificate_ = nullptr;
    QLineEdit* pin_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace

class QtUserInterface::PinSession final : public PinDialogSession {
  public:
    explicit PinSession(QtUserInterface& ui) : ui_(ui) {
        OnGuiThread([this] { ++ui_.pinSessions_; });
    }
    ~PinSession() override {
        OnGuiThread([this] {
            if (--ui_.pinSessions_ == 0) {
                delete ui_.keptPin_.data();
            }
        });
    }

  private:
    QtUserInterface& ui_;
};

std::unique_ptr<PinDialogSession> QtUserInterface::KeepPinDialog() {
    return std::make_unique<PinSession>(*this);
}

PinDialogAnswer QtUserInterface::AskPin(const PinDialogRequest& request) {
    return OnGuiThread(PinDialogAnswer{}, [&] {
        auto* window = static_cast<PinWindow*>(keptPin_.data());
        if (window == nullptr) {
            window = new PinWindow;
        }
        PinDialogAnswer answer = window->Ask(request, driver_.get());
        // Kept only while a session waits for the token's verdict on this PIN.
        if (answer.confirmed && pinSessions_ > 0) {
            keptPin_ = window;
        } else {
            keptPin_ = nullptr;
            delete window;
        }
        return answer;
    });
}

}  // namespace quillbox::ui
