#include "app/kestrova_app.h"

#include "controls/display_box.h"
#include "support/files.h"
#include "support/recording_prompts.h"

#include <QAction>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>

namespace {

// PATH holds only `dir` for the life of the object.
struct path_guard {
    QByteArray saved = qgetenv("PATH");
    explicit path_guard(const QString& dir) { qputenv("PATH", dir.toLocal8Bit()); }
    ~path_guard() { qputenv("PATH", saved); }
    path_guard(const path_guard&) = delete;
    path_guard& operator=(const path_guard&) = delete;
};

struct history_fixture : ::testing::Test {
    QTemporaryDir work;
    QTemporaryDir bin;
    recording_prompts ask;
    app::kestrova_app app{app::window_seams{.ask = ask, .work_dir = work.path()}};
    QString record = bin.filePath(QStringLiteral("calls"));

    // A stand-in for the chart that notes where and with what it was started,
    // then stays up until it is killed.
    void install_fake_chart() {
        const QString script = bin.filePath(QStringLiteral("kestrova-history"));
        const QByteArray sleep =
            QStandardPaths::findExecutable(QStringLiteral("sleep")).toLocal8Bit();
        ASSERT_TRUE(write_file(script, "#!/bin/sh\necho \"$$|$PWD|$*\" >> '" +
                                           record.toLocal8Bit() + "'\nexec " + sleep + " 60\n"));
        ASSERT_TRUE(QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner));
    }
    QList<QByteArray> calls() const {
        QList<QByteArray> lines = read_file(record).split('\n');
        lines.removeLast(); // after the last line end
        return lines;
    }
    ~history_fixture() override {
        for (const QByteArray& call : calls())
            ::kill(call.split('|').front().toInt(), SIGKILL);
    }
};

} // namespace

TEST_F(history_fixture, ctrl_h_the_menu_and_a_double_click_open_one_chart_for_the_log) {
    install_fake_chart();
    path_guard path(bin.path());
    app::frm_thermometer& w = app.window();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));

    // Right-click on the window offers the same action (and "Settings…" and
    // "Alarms…"), and nothing is added to the window's controls.
    ASSERT_EQ(w.contextMenuPolicy(), Qt::ActionsContextMenu);
    ASSERT_EQ(w.actions().size(), 3);
    EXPECT_EQ(w.actions().front()->text(), QString::fromUtf8("History\u2026"));
    EXPECT_EQ(w.actions()[1]->text(), QString::fromUtf8("Settings\u2026"));
    EXPECT_EQ(w.actions().back()->text(), QString::fromUtf8("Alarms\u2026"));
    EXPECT_EQ(w.controls().size(), 49u);

    QTest::keyClick(&w, Qt::Key_H, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls().size() == 1; }, 5000));
    const QList<QByteArray> first = calls().front().split('|');
    EXPECT_EQ(QString::fromLocal8Bit(first[1]), work.path());
    EXPECT_EQ(QString::fromLocal8Bit(first[2]), work.filePath(QStringLiteral("TARNWICK.txt")));

    // While it runs, asking again starts no second copy.
    QTest::mouseDClick(w.ui().Text2, Qt::LeftButton);
    w.actions().front()->trigger();
    EXPECT_FALSE(QTest::qWaitFor([&] { return calls().size() > 1; }, 300));

    // Once it is gone, a double click on the other reading starts it again.
    ::kill(first[0].toInt(), SIGKILL);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            QTest::mouseDClick(w.ui().Text1, Qt::LeftButton);
            return calls().size() == 2;
        },
        5000));
    EXPECT_FALSE(QTest::qWaitFor([&] { return calls().size() > 2; }, 100));
    EXPECT_TRUE(ask.messages.isEmpty());
}

TEST_F(history_fixture, a_chart_that_cannot_be_found_is_explained) {
    path_guard path(bin.path());
    app.window().actions().front()->trigger();
    ASSERT_EQ(ask.messages, QStringList{QStringLiteral("The history chart cannot be started.")});
    EXPECT_TRUE(ask.last_details.contains(QLatin1String("kestrova-history")));
}
