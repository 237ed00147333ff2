#include "history/file_prompts.h"

#include "history/report_dialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>

namespace history {

QString dialog_file_prompts::save_path(const QString& caption, const QString& suggestion,
                                       const QString& filters) {
    QString selected;
    QString path = QFileDialog::getSaveFileName(parent_, caption, suggestion, filters, &selected);
    // A name typed without an extension takes the chosen type's.
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) {
        const auto m = QRegularExpression(QStringLiteral("\\*(\\.\\w+)")).match(selected);
        if (m.hasMatch())
            path += m.captured(1);
    }
    return path;
}

void dialog_file_prompts::failed(const QString& text, const QString& reason) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("KESTROVA History"), text, QMessageBox::Ok,
                    parent_);
    box.setInformativeText(reason);
    box.exec();
}

std::optional<report_choice> dialog_file_prompts::choose_report(const report_choice& suggestion,
                                                                const QString& shown) {
    report_dialog dialog(suggestion, shown, parent_);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.choice();
}

bool dialog_file_prompts::choose_printer(QPrinter& printer) {
    QPrintDialog dialog(&printer, parent_);
    dialog.setWindowTitle(QStringLiteral("Print report"));
    return dialog.exec() == QDialog::Accepted;
}

} // namespace history
