#include "notify/event_command.h"
#include "notify/mail_courier.h"
#include "notify/mail_notifier.h"
#include "notify/smtp_client.h"

#include "alarm/install.h"
#include "alerts/alarm_judge.h"
#include "alerts/alarm_state.h"
#include "alerts/link_watch.h"
#include "app/frm_thermometer.h"
#include "controls/properties.h"
#include "controls/timer.h"
#include "rules/log_rules.h"
#include "support/broker.h"
#include "support/build_paths.h"
#include "support/recording_prompts.h"
#include "support/smtp_server.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

using namespace std::chrono_literals;

QString str(const QJsonObject& o, const char* key) {
    return o.value(QString::fromLatin1(key)).toString();
}

// One station: the window's sensors, the alarm state on them (raised and
// ended at once), the mail server of the test and the courier to it.
struct mail_fixture : ::testing::Test {
    QTemporaryDir dir;
    smtp_server server{dir.path()};
    recording_prompts ask;
    app::frm_thermometer w{app::window_seams{ask}};
    const app::thermometer_controls& ui = w.ui();
    alerts::link_watch link{[] { return std::chrono::milliseconds(30000); }, 60s};
    std::unique_ptr<alerts::alarm_judge> judge;
    std::unique_ptr<alerts::alarm_state> alarms;
    rules::mail::mail_settings settings;
    notify::mail_courier::options options;

    mail_fixture() {
        ui.Timer1->set_enabled(false);
        ui.Text3->setText(QStringLiteral("30"));
        ui.Text4->setText(QStringLiteral("10"));
        controls::set_check_value(ui.Check2, 1);
        alarms::apply_alarm_switches(w.sensors());
        w.release_timers();
        link.port_changed(true);
        judge = std::make_unique<alerts::alarm_judge>(w.sensors(), link, 2s);
        rules::alarms::alarm_settings a;
        a.hold = 0ms;
        a.name[0] = QStringLiteral("Freezer A");
        alarms = std::make_unique<alerts::alarm_state>(*judge, a);
        make_test_certificates(dir.path());
        settings.host = QStringLiteral("127.0.0.1");
        settings.port = server.port;
        settings.cafile = dir.filePath(QStringLiteral("ca.crt"));
        settings.username = QStringLiteral("ann");
        settings.password = QStringLiteral("secret");
        settings.from = QStringLiteral("kestrova@lab.example");
        settings.to = {QStringLiteral("ops@lab.example")};
        options.outbox_dir = dir.filePath(QStringLiteral("TARNWICK-outbox"));
        options.chart_program = QString::fromUtf8(build_paths::history);
        options.log_path = dir.filePath(QStringLiteral("TARNWICK.txt"));
        options.timeout = 5s;
        options.first_wait = 200ms;
        options.longest_wait = 400ms;
    }
    bool start_server(const QStringList& more = {}) {
        return server.start(QStringList{QStringLiteral("--cert"), dir.filePath("server.crt"),
                                        QStringLiteral("--key"), dir.filePath("server.key"),
                                        QStringLiteral("--user"), QStringLiteral("ann"),
                                        QStringLiteral("--password"), QStringLiteral("secret")} +
                            more);
    }
    void read(const char* r) {
        ui.Text2->setText(QString::fromLatin1(r) + QStringLiteral("\u00BAC"));
        link.received(1);
        QTest::qWait(20);
    }
    // Six hours of readings in the log, the last a minute ago.
    void write_log() {
        QFile f(options.log_path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const QDateTime now = QDateTime::currentDateTime();
        for (int m = 360; m >= 1; m -= 5)
            f.write(rules::datalog::log_line(now.addSecs(-60LL * m),
                                             QStringLiteral("%1\u00BAC").arg(20 + m % 17),
                                             QStringLiteral("5\u00BAC")));
    }
    rules::mail::message made(const QString& subject, const QDateTime& at,
                              const QString& thread = {}) {
        rules::mail::message m;
        m.id =
            rules::mail::make_id(QStringLiteral("lab"), at, static_cast<quint64>(subject.size()));
        m.thread = thread.isEmpty() ? m.id : thread;
        m.subject = subject;
        m.body = QStringLiteral("text of ") + subject;
        m.made = at;
        m.sensor = 1;
        m.phase = QStringLiteral("raised");
        return m;
    }
};

} // namespace

// Raised, acknowledged with a corrective action, back to normal: three
// messages threaded under the first, as a mail client reads them, the
// alarm's own with the chart of the last six hours.
TEST_F(mail_fixture, an_alarm_its_answer_and_its_end_reach_the_mailbox_threaded) {
    ASSERT_TRUE(start_server());
    write_log();
    notify::mail_courier courier(settings, options);
    QSignalSpy attempts(&courier, &notify::mail_courier::attempted);
    notify::mail_notifier mail(*alarms, link, courier, QStringLiteral("lab-pc"),
                               QStringLiteral("kestrova/lab"));
    read("25");
    read("31");
    ASSERT_TRUE(alarms->acknowledge(1, alerts::answer_via::window, QStringLiteral("Ann"),
                                    QStringLiteral("door closed, stock moved to freezer B")));
    read("25");
    ASSERT_TRUE(server.wait_for(3, 30000));
    const QList<QJsonObject> m = server.messages();
    EXPECT_EQ(str(m[0], "subject"),
              QString::fromUtf8("[KESTROVA lab-pc] Freezer A high alarm: 31 °C (threshold 30 °C)"));
    EXPECT_EQ(str(m[1], "subject"),
              QStringLiteral("[KESTROVA lab-pc] Freezer A alarm acknowledged by Ann"));
    EXPECT_EQ(str(m[2], "subject"),
              QString::fromUtf8("[KESTROVA lab-pc] Freezer A back to normal: 25 °C"));
    const QString first = str(m[0], "message_id");
    EXPECT_TRUE(first.startsWith(u'<') && first.endsWith(u'>')) << first.toStdString();
    EXPECT_EQ(str(m[0], "in_reply_to"), QString());
    for (int i : {1, 2}) {
        EXPECT_EQ(str(m[i], "in_reply_to"), first);
        EXPECT_EQ(str(m[i], "references"), first);
    }
    EXPECT_TRUE(
        str(m[1], "text").contains(QStringLiteral("door closed, stock moved to freezer B")));
    EXPECT_TRUE(
        str(m[0], "text").contains(QStringLiteral("publishing 1 on kestrova/lab/acknowledge")));
    EXPECT_TRUE(str(m[0], "text").contains(QString::fromUtf8("Peak: 31 °C")));
    EXPECT_FALSE(str(m[0], "date").isEmpty());
    const QJsonArray parts = m[0].value(QStringLiteral("parts")).toArray();
    ASSERT_EQ(parts.size(), 2);
    EXPECT_EQ(parts[1].toObject().value(QStringLiteral("type")), QStringLiteral("image/png"));
    EXPECT_TRUE(parts[1].toObject().value(QStringLiteral("png")).toBool());
    EXPECT_EQ(m[1].value(QStringLiteral("parts")).toArray().size(), 1) << "no chart for an answer";
    ASSERT_TRUE(QTest::qWaitFor([&] { return attempts.size() == 3; }, 2000));
    EXPECT_TRUE(attempts[0][2].toBool());
    EXPECT_EQ(attempts[1][1].toString(), QStringLiteral("acknowledged"));
    EXPECT_TRUE(QDir(options.outbox_dir).isEmpty()) << "nothing left in the outbox";
}

// What the test button and the journal say, in the operator's words.
TEST_F(mail_fixture, failures_are_named_as_the_operator_would_name_them) {
    ASSERT_TRUE(start_server({QStringLiteral("--refuse"), QStringLiteral("nobody@lab.example")}));
    const rules::mail::message m = made(QStringLiteral("test"), QDateTime::currentDateTime());
    const auto why = [&](const rules::mail::mail_settings& s) {
        return notify::send_mail(s, m, {}, 3s).why();
    };
    EXPECT_EQ(why(settings), QString());
    rules::mail::mail_settings s = settings;
    s.password = QStringLiteral("wrong");
    EXPECT_TRUE(why(s).startsWith(QStringLiteral("login refused"))) << why(s).toStdString();
    s = settings;
    s.to = {QStringLiteral("nobody@lab.example")};
    EXPECT_TRUE(why(s).startsWith(QStringLiteral("recipient refused"))) << why(s).toStdString();
    s = settings;
    s.cafile = dir.filePath(QStringLiteral("other_ca.crt"));
    EXPECT_EQ(why(s), QStringLiteral("the server's certificate is not signed by the CA file"));
    s = settings;
    s.port = smtp_server(dir.path()).port; // nobody listens there
    EXPECT_TRUE(why(s).startsWith(QStringLiteral("nothing answers"))) << why(s).toStdString();
}

// A server that answers EHLO and then nothing: the attempt ends at its
// timeout, on the courier's thread; posting never waits for it.
TEST_F(mail_fixture, a_server_that_stalls_holds_up_nothing) {
    ASSERT_TRUE(server.start({QStringLiteral("--stall")}));
    settings.security = rules::mail::security::none;
    options.timeout = 2s;
    notify::mail_courier courier(settings, options);
    QSignalSpy attempts(&courier, &notify::mail_courier::attempted);
    QElapsedTimer posting;
    posting.start();
    courier.post({made(QStringLiteral("stalled"), QDateTime::currentDateTime()), false});
    EXPECT_LT(posting.elapsed(), 100);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !attempts.isEmpty(); }, 8000));
    EXPECT_FALSE(attempts[0][2].toBool());
    EXPECT_EQ(attempts[0][3].toString(), QStringLiteral("the mail server did not answer in time"));
    QElapsedTimer ending;
    ending.start();
    courier.finish(0ms);
    EXPECT_LT(ending.elapsed(), 3000) << "a send under way is broken off at the end";
    // A message made while a send stalls, then the end: both wait for the
    // next run.
    notify::mail_courier again(settings, options);
    QTest::qWait(300);
    again.post({made(QStringLiteral("made meanwhile"), QDateTime::currentDateTime()), false});
    again.finish(0ms);
    EXPECT_EQ(QDir(options.outbox_dir).entryList(QDir::Files).size(), 2);
}

// The server down while three messages are made; the monitor restarted;
// the server back: the three arrive in order, each saying how late.
TEST_F(mail_fixture, messages_wait_in_the_outbox_across_a_restart_and_go_in_order) {
    const QDateTime two_hours_ago = QDateTime::currentDateTime().addSecs(-2 * 3600 - 600);
    {
        notify::mail_courier courier(settings, options);
        QSignalSpy attempts(&courier, &notify::mail_courier::attempted);
        const rules::mail::message raised = made(QStringLiteral("raised"), two_hours_ago);
        courier.post({raised, false});
        courier.post(
            {made(QStringLiteral("acknowledged"), two_hours_ago.addSecs(60), raised.id), false});
        courier.post({made(QStringLiteral("ended"), two_hours_ago.addSecs(120), raised.id), false});
        ASSERT_TRUE(QTest::qWaitFor([&] { return !attempts.isEmpty(); }, 5000));
        EXPECT_TRUE(attempts[0][3].toString().startsWith(QStringLiteral("nothing answers")));
        courier.finish(0ms);
    }
    EXPECT_EQ(QDir(options.outbox_dir).entryList(QDir::Files).size(), 3);
    // Restarted while the server is still away: its first try fails, and a
    // minute's back-off follows; the server's port is looked at meanwhile.
    options.first_wait = 60s;
    options.look_every = 200ms;
    notify::mail_courier again(settings, options);
    QSignalSpy attempts(&again, &notify::mail_courier::attempted);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !attempts.isEmpty(); }, 5000));
    ASSERT_TRUE(start_server());
    ASSERT_TRUE(server.wait_for(3, 5000)) << "sent once the server listens, not after the minute";
    const QList<QJsonObject> m = server.messages();
    ASSERT_EQ(m.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(str(m[i], "subject"), QStringList({"raised", "acknowledged", "ended"})[i]);
        EXPECT_TRUE(
            str(m[i], "text")
                .startsWith(QStringLiteral("Sent 2 h late: the mail server did not answer.")))
            << str(m[i], "text").toStdString();
    }
    EXPECT_EQ(str(m[2], "in_reply_to"), str(m[0], "message_id"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return QDir(options.outbox_dir).isEmpty(); }, 2000));
}

// A disk that takes no more (a file size limit): the message is not lost,
// it goes from memory, and that is said.
TEST_F(mail_fixture, an_outbox_that_cannot_be_written_still_sends_and_says_so) {
    ASSERT_TRUE(start_server());
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = saved;
    tight.rlim_cur = 10;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    notify::mail_courier courier(settings, options);
    QSignalSpy dropped(&courier, &notify::mail_courier::dropped);
    courier.post({made(QStringLiteral("kept in memory"), QDateTime::currentDateTime()), false});
    const bool said = QTest::qWaitFor([&] { return !dropped.isEmpty(); }, 5000);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    ASSERT_TRUE(said);
    EXPECT_TRUE(dropped[0][1].toString().contains(QStringLiteral("sent from memory")));
    ASSERT_TRUE(server.wait_for(1));
    EXPECT_EQ(str(server.messages()[0], "subject"), QStringLiteral("kept in memory"));
}

// The command of [Alarm]: once per event, in order, with the event's facts;
// one that hangs is killed at its limit, and what it said is kept.
TEST_F(mail_fixture, the_command_runs_once_per_event_with_its_facts) {
    const QString script = dir.filePath(QStringLiteral("tell.sh"));
    const QString out = dir.filePath(QStringLiteral("runs.txt"));
    QFile f(script);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n"
            "echo \"$KESTROVA_EVENT|$KESTROVA_SENSOR|$KESTROVA_NAME|$KESTROVA_KIND|"
            "$KESTROVA_READING|$KESTROVA_THRESHOLD|$KESTROVA_STATION|$KESTROVA_COMMENT\" >> " +
            out.toUtf8() +
            "\n[ \"$KESTROVA_EVENT\" = ended ] && { echo 'the gateway said no' >&2; exit 3; }\n"
            "[ \"$KESTROVA_EVENT\" = acknowledged ] && sleep 5\nexit 0\n");
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    notify::event_command command(*alarms, script, QStringLiteral("lab-pc"), 500ms);
    QSignalSpy ran(&command, &notify::event_command::ran);
    read("25");
    read("31");
    ASSERT_TRUE(alarms->acknowledge(1, alerts::answer_via::mqtt, QStringLiteral("Ann"),
                                    QStringLiteral("door closed")));
    read("25");
    ASSERT_TRUE(QTest::qWaitFor([&] { return ran.size() == 3; }, 8000));
    QFile runs(out);
    ASSERT_TRUE(runs.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(runs.readAll()),
              QStringLiteral("raised|1|Freezer A|high|31|30|lab-pc|\n"
                             "acknowledged|1|Freezer A|high|31|30|lab-pc|door closed\n"
                             "ended|1|Freezer A|high|25|30|lab-pc|\n"));
    EXPECT_TRUE(ran[0][2].toBool());
    EXPECT_EQ(ran[0][4].toInt(), 0);
    EXPECT_FALSE(ran[1][2].toBool());
    EXPECT_TRUE(ran[1][3].toString().startsWith(QStringLiteral("killed after")));
    EXPECT_FALSE(ran[2][2].toBool());
    EXPECT_EQ(ran[2][4].toInt(), 3);
    EXPECT_EQ(ran[2][5].toString(), QStringLiteral("the gateway said no"));
}

// The outbox holds so many: beyond that the oldest gives way, and is named.
TEST_F(mail_fixture, a_full_outbox_drops_its_oldest_and_names_it) {
    options.most = 2;
    options.first_wait = 60s;
    notify::mail_courier courier(settings, options);
    QSignalSpy dropped(&courier, &notify::mail_courier::dropped);
    const QDateTime now = QDateTime::currentDateTime();
    for (const char* subject : {"first", "second", "third"})
        courier.post({made(QString::fromLatin1(subject), now), false});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dropped.isEmpty(); }, 5000));
    EXPECT_EQ(dropped[0][0].toString(), QStringLiteral("first"));
    EXPECT_EQ(dropped[0][1].toString(), QStringLiteral("the outbox holds 2 messages at most"));
    EXPECT_EQ(QDir(options.outbox_dir).entryList(QDir::Files).size(), 2);
}
