#include "controls/prompts.h"

#include "rules/text.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>

void stderr_prompts::message(const QString& text, const QString& details) {
    QString line = text;
    if (!details.isEmpty())
        line += QStringLiteral(": ") + details.simplified();
    std::fprintf(stderr, "kestrova: %s\n", qPrintable(line));
}

bool stderr_prompts::confirm(const QString& text) {
    std::fprintf(stderr, "kestrova: %s (OK)\n", qPrintable(text));
    return true;
}

bool stderr_prompts::no_display() {
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

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
