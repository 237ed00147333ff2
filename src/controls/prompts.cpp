#include "controls/prompts.h"

#include "logging/logging.h"
#include "rules/text.h"

#include <QGuiApplication>
#include <QMessageBox>

namespace controls {

void stderr_prompts::message(const QString& text, const QString& details) {
    // One line for the journal: the details' lines apart by "; ", a line
    // that ends in a colon run on into the next.
    QString line = text;
    QString separator = QStringLiteral(": ");
    for (const QString& part : details.split(u'\n', Qt::SkipEmptyParts)) {
        line += separator + part.trimmed();
        separator = part.endsWith(u':') ? QStringLiteral(" ") : QStringLiteral("; ");
    }
    qCWarning(logging::log_app).noquote() << line;
}

bool stderr_prompts::confirm(const QString& text) {
    qCInfo(logging::log_app).noquote() << text + QStringLiteral(" (OK)");
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

} // namespace controls
