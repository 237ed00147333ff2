#include "history/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace history {

namespace {

// The options every Qt program with windows takes, those with a value
// first; QApplication reads them itself.
bool is_qt_option(const QString& arg, bool& takes_value) {
    static const QStringList with_value = {
        QStringLiteral("platform"),        QStringLiteral("platformpluginpath"),
        QStringLiteral("platformtheme"),   QStringLiteral("plugin"),
        QStringLiteral("display"),         QStringLiteral("geometry"),
        QStringLiteral("qwindowgeometry"), QStringLiteral("title"),
        QStringLiteral("qwindowtitle"),    QStringLiteral("icon"),
        QStringLiteral("qwindowicon"),     QStringLiteral("style"),
        QStringLiteral("stylesheet"),      QStringLiteral("session"),
        QStringLiteral("qmljsdebugger")};
    static const QStringList alone = {QStringLiteral("reverse"), QStringLiteral("nograb"),
                                      QStringLiteral("dograb"), QStringLiteral("sync"),
                                      QStringLiteral("widgetcount")};
    if (!arg.startsWith(u'-') || arg.startsWith(QLatin1StringView("--")) || arg.size() < 2)
        return false;
    const QString name = arg.mid(1).section(u'=', 0, 0);
    takes_value = with_value.contains(name) && !arg.contains(u'=');
    return with_value.contains(name) || alone.contains(name);
}

QStringList without_qt_options(const QStringList& arguments) {
    QStringList out;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        bool takes_value = false;
        if (i > 0 && is_qt_option(arguments[i], takes_value)) {
            i += takes_value ? 1 : 0;
            continue;
        }
        out << arguments[i];
    }
    return out;
}

command_line failed(const QString& why) {
    command_line c;
    c.exit_code = 2;
    c.error = QStringLiteral("kestrova-history: %1\n").arg(why);
    return c;
}

// The benchmark's, not an operator's: not in --help.
QCommandLineOption benchmark_option() {
    QCommandLineOption o(
        QStringLiteral("exit-after-first-draw"),
        QStringLiteral("Print the time to the first complete chart and exit (for benchmarks)."));
    o.setFlags(QCommandLineOption::HiddenFromHelp);
    return o;
}

// Ends the program at once with `out` on standard output.
command_line answered(const QString& out) {
    command_line c;
    c.exit_code = 0;
    c.out = out;
    return c;
}

// The chart alone as a picture, of the last hours up to now: what an alarm's
// e-mail carries.
QCommandLineOption chart_image_option() {
    return {QStringLiteral("chart-image"),
            QStringLiteral("Save a PNG picture of the chart alone once it is drawn, and exit."),
            QStringLiteral("PNG")};
}

QCommandLineOption hours_option() {
    return {QStringLiteral("hours"), QStringLiteral("Show the last N hours up to now (1 to 8760)."),
            QStringLiteral("N")};
}

// Reads --chart-image and --hours into `c`; why not, or empty.
QString read_chart_options(const QCommandLineParser& args, command_line& c) {
    c.chart_image = args.value(chart_image_option());
    if (!args.isSet(hours_option()))
        return {};
    bool ok = false;
    c.hours = args.value(hours_option()).toInt(&ok);
    return ok && c.hours >= 1 && c.hours <= 8760
               ? QString()
               : QStringLiteral("--hours takes a whole number from 1 to 8760, not \"%1\"")
                     .arg(args.value(hours_option()));
}

} // namespace

command_line read_command_line(const QStringList& arguments, QDate today) {
    QCommandLineParser args;
    args.setApplicationDescription(QStringLiteral(
        "The history chart of a KESTROVA data log (default: TARNWICK.txt in the current "
        "directory), or with --report a PDF report of it, made without a window."));
    const QCommandLineOption help = args.addHelpOption();
    const QCommandLineOption version = args.addVersionOption();
    args.addPositionalArgument(QStringLiteral("LOG"), QStringLiteral("The data log."),
                               QStringLiteral("[LOG]"));
    const QCommandLineOption report(
        QStringLiteral("report"),
        QStringLiteral("Write a PDF report of the log for the days from --from to --to and exit "
                       "(needs no display; for scheduled jobs)."),
        QStringLiteral("FILE.pdf"));
    const QCommandLineOption from(
        QStringLiteral("from"),
        QStringLiteral("The first day of the report, or of the window's view (local time)."),
        QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption to(
        QStringLiteral("to"),
        QStringLiteral("The last day, inclusive. Default: yesterday, the last whole day; "
                       "without --from the 7 days up to --to."),
        QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption exit_after_draw = benchmark_option();
    const QCommandLineOption snapshot(
        QStringLiteral("snapshot"),
        QStringLiteral("Save a PNG picture of the window once the chart is drawn, and exit."),
        QStringLiteral("PNG"));
    for (const QCommandLineOption& o :
         {report, from, to, exit_after_draw, snapshot, chart_image_option(), hours_option()})
        args.addOption(o);

    if (!args.parse(without_qt_options(arguments)))
        return failed(args.errorText());
    if (args.isSet(help) || args.isSet(QStringLiteral("help-all")))
        return answered(args.helpText());
    if (args.isSet(version))
        return answered(QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                      QCoreApplication::applicationVersion()));
    if (args.positionalArguments().size() > 1)
        return failed(QStringLiteral("one data log at a time, not %1")
                          .arg(args.positionalArguments().size()));

    command_line c;
    c.log_path = args.positionalArguments().value(0, QStringLiteral("TARNWICK.txt"));
    c.report_path = args.value(report);
    if (args.isSet(report) && c.report_path.isEmpty())
        return failed(QStringLiteral("--report needs the name of the PDF to write"));
    std::optional<QDate> dates[2];
    const QCommandLineOption* const date_options[] = {&from, &to};
    for (int i = 0; i < 2; ++i) {
        const QCommandLineOption& o = *date_options[i];
        if (!args.isSet(o))
            continue;
        dates[i] = chart::parse_report_date(args.value(o));
        if (!dates[i])
            return failed(QStringLiteral("--%1 takes a date as YYYY-MM-DD from 1970 to 2105, "
                                         "not \"%2\"")
                              .arg(o.names().constFirst(), args.value(o)));
    }
    if (dates[0] || dates[1] || args.isSet(report)) {
        c.dates = chart::report_dates(today, dates[0], dates[1]);
        if (c.dates->from > c.dates->to)
            return failed(
                QStringLiteral("the range from %1 to %2 holds no day")
                    .arg(c.dates->from.toString(Qt::ISODate), c.dates->to.toString(Qt::ISODate)));
    }
    c.exit_after_draw = args.isSet(exit_after_draw);
    c.snapshot = args.value(snapshot);
    if (const QString wrong = read_chart_options(args, c); !wrong.isEmpty())
        return failed(wrong);
    return c;
}

} // namespace history
