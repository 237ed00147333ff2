#include "history/command_line.h"
#include "history/exports.h"
#include "history/history_chart.h"
#include "history/history_window.h"
#include "history/report.h"
#include "logging/logging.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QSysInfo>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace history {

namespace {

QtMessageHandler program_handler = nullptr;

// Before the application exists Qt's start says on standard error what a
// scheduled job cannot act on (no XDG_RUNTIME_DIR under cron); a report
// run stays quiet unless it fails, and then says so in its own name.
void only_errors(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtCriticalMsg && type != QtFatalMsg)
        return;
    const QMessageLogContext ours(context.file, context.line, context.function,
                                  logging::log_history().categoryName());
    program_handler(type, ours, text);
}

// A report written without a window, for a scheduled job: one line on
// standard error and status 1 when the log cannot be read or the PDF not
// written.
int write_report(const command_line& cl, int& argc, char** argv) {
    // No display is needed to draw on paper; where no platform is chosen,
    // none is looked for.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    program_handler = qInstallMessageHandler(only_errors);
    const QGuiApplication app(argc, argv);
    qInstallMessageHandler(program_handler);
    report_request request;
    request.log_path = cl.log_path;
    request.dates = cl.dates;
    request.made_at = QDateTime::currentSecsSinceEpoch();
    request.host = QSysInfo::machineHostName();
    QString problem;
    const std::unique_ptr<report> made = make_report(request, problem);
    if (!made) {
        qCCritical(logging::log_history, "no report: %s", qUtf8Printable(problem));
        return 1;
    }
    const rules::result written = write_report_pdf(*made, cl.report_path);
    if (written)
        return 0;
    qCCritical(logging::log_history, "the report could not be written to %s: %s",
               qUtf8Printable(cl.report_path), qUtf8Printable(written.why()));
    return 1;
}

} // namespace

// The last `hours` up to now, and with `picture` the chart alone saved once
// it is drawn so: the program then ends.
void show_hours_and_save(history_window& window, int hours, const QString& picture) {
    QObject::connect(
        &window, &history_window::first_full_draw, &window,
        [&window, hours, picture] {
            if (hours > 0) {
                const double now = static_cast<double>(QDateTime::currentSecsSinceEpoch());
                window.chart().show_range(now - hours * 3600.0, now);
            }
            if (picture.isEmpty())
                return;
            // The range is drawn at the next turn of the event loop; the
            // picture is taken after it.
            QTimer::singleShot(50, &window, [&window, picture] {
                const rules::result saved = save_image(window.chart(), picture);
                if (!saved)
                    qCCritical(logging::log_history, "cannot write %s: %s", qUtf8Printable(picture),
                               qUtf8Printable(saved.why()));
                QApplication::exit(saved ? 0 : 1);
            });
        },
        Qt::SingleShotConnection);
}

} // namespace history

int main(int argc, char* argv[]) {
    QElapsedTimer since_start;
    since_start.start();
    QCoreApplication::setApplicationName(QStringLiteral("kestrova-history"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTROVA_VERSION));
    history::command_line cl;
    {
        // Options are read before anything looks for a display.
        const QCoreApplication options(argc, argv);
        cl = history::read_command_line(QCoreApplication::arguments(), QDate::currentDate());
    }
    if (cl.exit_code >= 0) {
        std::fputs(qPrintable(cl.out), stdout);
        std::fputs(qPrintable(cl.error), stderr);
        return cl.exit_code;
    }
    logging::install_message_handler("kestrova-history");
    if (!cl.report_path.isEmpty())
        return history::write_report(cl, argc, argv);

    QApplication app(argc, argv);
    history::history_window window(cl.log_path, cl.dates.value_or(chart::date_range{}));
    if (cl.exit_after_draw)
        QObject::connect(&window, &history::history_window::first_data_draw, &window,
                         [&since_start] {
                             std::printf("readings drawn after %lld ms\n",
                                         static_cast<long long>(since_start.elapsed()));
                             std::fflush(stdout);
                         });
    if (cl.exit_after_draw || !cl.snapshot.isEmpty()) {
        const QString picture = cl.snapshot;
        // The picture's name is copied: this block ends before the chart is drawn.
        QObject::connect(&window, &history::history_window::first_full_draw, &window,
                         [&window, &since_start, picture] {
                             int status = 0;
                             if (!picture.isEmpty() && !window.grab().save(picture, "PNG")) {
                                 qCCritical(logging::log_history, "cannot write %s",
                                            qUtf8Printable(picture));
                                 status = 1;
                             }
                             std::printf("first chart drawn after %lld ms, %llu lines\n",
                                         static_cast<long long>(since_start.elapsed()),
                                         static_cast<unsigned long long>(window.log().points()));
                             std::fflush(stdout);
                             QApplication::exit(status);
                         });
    }
    if (!cl.chart_image.isEmpty() || cl.hours > 0)
        history::show_hours_and_save(window, cl.hours, cl.chart_image);
    window.show();
    return QApplication::exec();
}
