#pragma once

#include <QString>
#include <QTest>
#include <QWidget>

// Types `text` key by key as an operator does: the event loop runs between
// the keys (a lamp's tick, a message sent), as it does between keystrokes.
inline void type_keys(QWidget* field, const QString& text, int pause_ms = 150) {
    for (const QChar c : text) {
        QTest::keyClicks(field, QString(c));
        QTest::qWait(pause_ms);
    }
}
