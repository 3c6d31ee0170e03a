// The open-file dialog: Qt's own file dialog, not the desktop's, so that it looks the
// same everywhere and the driver can type into it. It hands out only regular files.
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <optional>

#include "platform/ui/qt/qt_caption_width.h"
#include "platform/ui/qt/qt_dialog_driver.h"
#include "platform/ui/qt/qt_dialog_owner.h"
#include "platform/ui/qt/qt_gui_thread.h"
#include "platform/ui/qt/qt_own_words.h"
#include "platform/ui/qt/qt_requester_line.h"
#include "platform/ui/qt/qt_user_interface.h"
#include "platform/ui/qt/qt_window_look.h"
#include "platform/ui/scripted/file_scripts.h"

namespace quillbox::ui {

namespace {

std::string LocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

class RegularFileDialog final : public QFileDialog {
  public:
    using QFileDialog::QFileDialog;

    void accept() override {
        // Qt takes any existing entry; a typed name of a FIFO or a device would block the
        // task or never end once read. Such a name stays in the field and is not taken.
        const QStringList files = selectedFiles();
        if (files.size() == 1) {
            const QFileInfo info(files.front());
            if (info.exists() && !info.isDir() && !IsChoosableFile(LocalPath(files.front()))) {
                return;
            }
        }
        QFileDialog::accept();
    }
};

OpenFileAnswer AskOpenFileHere(const OpenFileRequest& request, AnswerScript* script) {
    const QtOwnWords words(request.language);
    RegularFileDialog dialog(DialogOwner(), QString::fromStdString(request.caption));
    dialog.setObjectName("openFileDialog");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDirectory(QDir::homePath());
    // Without QDir::System the list leaves out FIFOs, sockets and devices.
    dialog.setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
    SetUpWindow(dialog);
    // The buttons speak the plug-in's words; Qt's translation covers the rest.
    if (!request.okText.empty()) {
        dialog.setLabelText(QFileDialog::Accept, QString::fromStdString(request.okText));
    }
    if (!request.cancelText.empty()) {
        dialog.setLabelText(QFileDialog::Reject, QString::fromStdString(request.cancelText));
    }
    WidenForCaption(dialog, 640);
    // Room for every column of the list; Qt cuts the modification time to "7 Dec ...:48".
    dialog.resize(820, 500);
    if (auto* list = dialog.findChild<QTreeView*>("treeView")) {
        list->header()->setSectionResizeMode(3, QHeaderView::ResizeToContents);
    }
    if (auto* layout = qobject_cast<QGridLayout*>(dialog.layout())) {
        if (QLabel* label = MakeRequesterLabel(dialog)) {
            layout->addWidget(label, layout->rowCount(), 0, 1, layout->columnCount());
        }
    }
    auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
    auto* buttons = dialog.findChild<QDialogButtonBox*>("buttonBox");

    std::optional<script::OpenFilePlan> plan;
    if (script != nullptr && name != nullptr && buttons != nullptr) {
        plan = script::PlanOpenFile(*script);
        driver::WhenShown(&dialog, [&dialog, &plan, name, buttons] {
            // Qt answers a missing file with a box of its own that the driver cannot see.
            if (plan->choose && IsChoosableFile(plan->path)) {
                // Pasted whole: typed a key at a time, Qt's completer takes over the field.
                name->setFocus();
                name->setText(QFile::decodeName(plan->path.c_str()));
                driver::Press(buttons->button(QDialogButtonBox::Open));
            } else if (plan->choose) {
                plan->problem =
                    "the dialog does not take " + plan->path + ": not an existing regular file";
            }
            if (dialog.isVisible()) {
                dialog.reject();
            }
        });
    }
    OpenFileAnswer answer;
    if (dialog.exec() == QDialog::Accepted && dialog.selectedFiles().size() == 1) {
        answer = {true, LocalPath(dialog.selectedFiles().front())};
    }
    if (plan) {
        OpenFileRequest seen{dialog.windowTitle().toStdString(), {}, {}};
        nlohmann::json line = script::OpenFileLine(seen, answer, plan->scripted);
        if (const std::string requester = RequesterShownIn(dialog); !requester.empty()) {
            line["requester"] = requester;
        }
        // Qt's own words, to tell whether they came in the person's language.
        for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"}) {
            if (const auto* label = dialog.findChild<QLabel*>(name)) {
                line["labels"].push_back(label->text().toStdString());
            }
        }
        script->Record(std::move(line), plan->problem);
    }
    return answer;
}

}  // namespace

OpenFileAnswer QtUserInterface::AskOpenFile(const OpenFileRequest& request) {
    return OnGuiThread(OpenFileAnswer{}, [&] { return AskOpenFileHere(request, driver_.get()); });
}

}  // namespace quillbox::ui
