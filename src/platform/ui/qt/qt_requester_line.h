// The line that names the page asking, at the top of a dialog of a task a web page
// started. Message boxes carry it as their informative text instead.
#pragma once

#include <QBoxLayout>
#include <QLabel>
#include <QWidget>
#include <string>

#include "platform/ui/user_interface.h"

namespace quillbox::ui {

// The line naming the page that asks, as a label of the dialog; null when no page asks.
inline QLabel* MakeRequesterLabel(QWidget& dialog) {
    const std::string line = CurrentRequester();
    if (line.empty()) {
        return nullptr;
    }
    auto* label = new QLabel(QString::fromStdString(line), &dialog);
    label->setObjectName("requester");
    label->setTextFormat(Qt::PlainText);  // an origin is not markup
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

// Adds the line to layout at index; nothing when no page asks.
inline void AddRequesterLine(QWidget& dialog, QBoxLayout& layout, int index = 0) {
    if (QLabel* label = MakeRequesterLabel(dialog)) {
        layout.insertWidget(index, label);
    }
}

// The line as the dialog shows it; empty when it shows none.
inline std::string RequesterShownIn(const QWidget& dialog) {
    const auto* label = dialog.findChild<QLabel*>("requester");
    return label != nullptr ? label->text().toStdString() : std::string();
}

}  // namespace quillbox::ui
