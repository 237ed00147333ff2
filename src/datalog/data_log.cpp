#include "datalog/data_log.h"

#include "app/frm_thermometer.h"
#include "controls/properties.h"
#include "settings/windows1252.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <cstdio>

namespace datalog {

QByteArray log_line(const QDateTime& now, const QString& sensor1, const QString& sensor2) {
    // The date is always month-day-year, whatever the system's date settings.
    const QString text = now.toString(QStringLiteral("MM-dd-yyyy\tHH:mm:ss")) + u'\t' + sensor1 +
                         u'\t' + sensor2 + QStringLiteral("\r\n");
    return settings::to_windows1252(text);
}

data_log::data_log(QString dir)
    : dir_(std::move(dir)) {}

QString data_log::path() const {
    return QDir(dir_).filePath(log_file_name);
}

QString data_log::append(const QByteArray& line) {
    QFile f(path());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return f.errorString();
    const qint64 size_before = f.size();
    const qint64 written = f.write(line);
    if (written == line.size())
        return {};
    QString error = f.errorString();
    if (written > 0)
        f.resize(size_before);
    return error.isEmpty() ? QStringLiteral("the line was not written whole") : error;
}

log_writer::log_writer(const thermometer_controls& ui, QString dir,
                       std::function<QDateTime()> clock, QObject* parent)
    : QObject(parent)
    , ui_(ui)
    , log_(std::move(dir))
    , clock_(std::move(clock))
    , normal_text_(ui.Check1->palette().color(QPalette::WindowText)) {}

namespace {

void set_text_colour(QCheckBox* box, QColor c) {
    QPalette p = box->palette();
    p.setColor(QPalette::WindowText, c);
    p.setColor(QPalette::ButtonText, c);
    box->setPalette(p);
}

} // namespace

void log_writer::write_log_line() {
    if (controls::check_value(ui_.Check1) == 0)
        return;
    const QDateTime now = clock_();
    report(log_.append(log_line(now, ui_.Text2->text(), ui_.Text1->text())));
}

void log_writer::report(const QString& error) {
    QCheckBox* box = ui_.Check1;
    if (error.isEmpty()) {
        if (failing_) {
            failing_ = false;
            box->setToolTip(QString());
            set_text_colour(box, normal_text_);
            std::fprintf(stderr, "kestrova: the data log %s is written again\n",
                         qPrintable(QDir::toNativeSeparators(log_.path())));
        }
        return;
    }
    const QString tip = QStringLiteral("Logging is failing: %1 cannot be written (%2)")
                            .arg(QDir::toNativeSeparators(log_.path()), error);
    if (box->toolTip() != tip) {
        box->setToolTip(tip);
        set_text_colour(box, QColor(0xC0, 0x00, 0x00));
    }
    if (!failing_) {
        failing_ = true;
        std::fprintf(stderr, "kestrova: %s\n", qPrintable(tip));
    }
}

} // namespace datalog
