#pragma once

#include <QLoggingCategory>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <cstring>

// The messages of one area of the program ("kestrova.serial") while this
// lives, its debug lines included; they go nowhere else meanwhile. Other
// messages go the usual way. One at a time.
class log_capture {
public:
    explicit log_capture(const char* category)
        : category_(category) {
        current() = this;
        previous_ = qInstallMessageHandler(&log_capture::handle);
        QLoggingCategory::setFilterRules(QStringLiteral("%1.debug=true").arg(category_));
    }
    ~log_capture() {
        QLoggingCategory::setFilterRules(QString());
        qInstallMessageHandler(previous_);
        current() = nullptr;
    }
    log_capture(const log_capture&) = delete;
    log_capture& operator=(const log_capture&) = delete;

    QStringList lines() const {
        const QMutexLocker lock(&mutex_);
        return lines_;
    }
    // How many messages hold `part`.
    qsizetype count(const QString& part) const { return lines().filter(part).size(); }

private:
    static log_capture*& current() {
        static log_capture* c = nullptr;
        return c;
    }
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        log_capture* c = current();
        if (c && context.category && std::strcmp(context.category, c->category_) == 0) {
            const QMutexLocker lock(&c->mutex_);
            c->lines_.push_back(text);
        } else if (c && c->previous_) {
            c->previous_(type, context, text);
        }
    }

    const char* category_;
    QtMessageHandler previous_ = nullptr;
    mutable QMutex mutex_;
    QStringList lines_;
};
