// The save dialog: the platform's file dialog in save mode. Replacing an existing file is
// asked by the caller in the plug-in's own words, so the dialog does not ask too.
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>
#include <optional>

#include "platform/ui/qt/qt_dialog_driver.h"
#include "platform/ui/qt/qt_dialog_owner.h"
#include "platform/ui/qt/qt_gui_thread.h"
#include "platform/ui/qt/qt_own_words.h"
#include "platform/ui/qt/qt_user_interface.h"
#include "platform/ui/qt/qt_window_look.h"
#include "platform/ui/scripted/enroll_scripts.h"

namespace quillbox::ui {
namespace {

SaveFileAnswer AskSaveFileHere(const SaveFileRequest& request, AnswerScript* script) {
    const QtOwnWords words(request.language);
    QFileDialog dialog(DialogOwner(), QString::fromStdString(request.caption));
    dialog.setObjectName("saveFileDialog");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    SetUpWindow(dialog);
    QStringList filters;
    for (const SaveFileFilter& filter : request.filters) {
        QStringList patterns;
        for (const std::string& pattern : filter.patterns) {
            patterns << QString::fromStdString(pattern);
        }
        // Qt reads the patterns from the parentheses at the end of the name.
        filters << QString::fromStdString(filter.name) + " (" + patterns.join(' ') + ")";
    }
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QString::fromStdString(request.defaultSuffix));
    dialog.setDirectory(QDir::home());

    std::optional<script::SaveFilePlan> plan;
    if (script != nullptr) {
        plan = script::PlanSaveFile(*script, request);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        driver::WhenShown(&dialog, [&] {
            if (plan->outcome == SaveFileOutcome::Chosen) {
                const QFileInfo target(QString::fromStdString(plan->path));
                dialog.setDirectory(target.absolutePath());
                dialog.selectFile(target.fileName());
                // As the Save button does; the driver needs the widget dialog.
                QMetaObject::invokeMethod(&dialog, "accept", Qt::DirectConnection);
            }
            if (dialog.isVisible()) {
                dialog.reject();
            }
        });
    }
    SaveFileAnswer answer;
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        answer.outcome = SaveFileOutcome::Chosen;
        answer.path = QFileInfo(dialog.selectedFiles().front()).absoluteFilePath().toStdString();
    }
    if (plan) {
        SaveFileRequest seen = request;
        seen.caption = dialog.windowTitle().toStdString();
        script->Record(script::SaveFileLine(seen, answer, plan->scripted), plan->problem);
    }
    return answer;
}

}  // namespace

SaveFileAnswer QtUserInterface::AskSaveFile(const SaveFileRequest& request) {
    // No application: the dialog cannot be shown, which is not the person cancelling.
    return OnGuiThread(SaveFileAnswer{SaveFileOutcome::Failed, {}},
                       [&] { return AskSaveFileHere(request, driver_.get()); });
}

}  // namespace quillbox::ui
