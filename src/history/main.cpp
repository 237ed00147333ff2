#include "history/history_window.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <cstdio>

int main(int argc, char* argv[]) {
    QElapsedTimer since_start;
    since_start.start();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrova-history"));
    QApplication::setApplicationVersion(QStringLiteral(KESTROVA_VERSION));

    QCommandLineParser args;
    args.setApplicationDescription(
        QStringLiteral("The history chart of a KESTROVA data log (default: TARNWICK.txt in the "
                       "current directory)."));
    args.addHelpOption();
    args.addVersionOption();
    args.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The data log to show."));
    const QCommandLineOption exit_after_draw(
        QStringLiteral("exit-after-first-draw"),
        QStringLiteral("Print the time to the first complete chart and exit (for benchmarks)."));
    const QCommandLineOption snapshot(
        QStringLiteral("snapshot"),
        QStringLiteral("Save a PNG picture of the window once the chart is drawn, and exit."),
        QStringLiteral("PNG"));
    args.addOption(exit_after_draw);
    args.addOption(snapshot);
    args.process(app);
    if (args.positionalArguments().size() > 1)
        args.showHelp(2);
    const QString path = args.positionalArguments().value(0, QStringLiteral("TARNWICK.txt"));

    history::history_window window(path);
    if (args.isSet(exit_after_draw))
        QObject::connect(&window, &history::history_window::first_data_draw, &window,
                         [&since_start] {
                             std::printf("readings drawn after %lld ms\n",
                                         static_cast<long long>(since_start.elapsed()));
                             std::fflush(stdout);
                         });
    if (args.isSet(exit_after_draw) || args.isSet(snapshot)) {
        const QString picture = args.value(snapshot);
        // The picture's name is copied: this block ends before the chart is drawn.
        QObject::connect(&window, &history::history_window::first_full_draw, &window,
                         [&window, &since_start, picture] {
                             int status = 0;
                             if (!picture.isEmpty() && !window.grab().save(picture, "PNG")) {
                                 std::fprintf(stderr, "kestrova-history: cannot write %s\n",
                                              qPrintable(picture));
                                 status = 1;
                             }
                             std::printf("first chart drawn after %lld ms, %zu lines\n",
                                         static_cast<long long>(since_start.elapsed()),
                                         window.series().size());
                             std::fflush(stdout);
                             QApplication::exit(status);
                         });
    }
    window.show();
    return QApplication::exec();
}
