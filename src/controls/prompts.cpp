#include "controls/prompts.h"

#include "rules/text.h"

#include <QMessageBox>

void message_box_prompts::message(const QString& text, const QString& details) {
    QMessageBox box(QMessageBox::NoIcon, rules::app_title, text, QMessageBox::Ok, parent_);
    if (!details.isEmpty())
        box.setInformativeText(details);
    box.exec();
}

bool message_box_prompts::confirm(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, rules::app_title, text,
                    QMessageBox::Ok | QMessageBox::Cancel, parent_);
    return box.exec() == QMessageBox::Ok;
}
