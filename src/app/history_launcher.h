#pragma once

#include <QObject>
#include <QString>

namespace controls {
class prompts;
} // namespace controls

namespace app {

// Starts the history chart, a program of its own, for the data log: looked
// for beside this program first, then in PATH. The chart lives on its own,
// so nothing that happens to it can stop the monitor, and it may stay open
// after the monitor ends; while one is running, a second request starts no
// second copy.
class history_launcher : public QObject {
    Q_OBJECT
public:
    history_launcher(controls::prompts& ask, QString work_dir, QObject* parent = nullptr);

    void open();
    // Where the chart program was found; empty when it was not.
    static QString program();

private:
    bool running() const;

    controls::prompts& ask_;
    QString work_dir_;
    qint64 pid_ = 0;
};

} // namespace app
