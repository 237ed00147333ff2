#include "history/file_prompts.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
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

} // namespace history
