#include "controls/prompts.h"
#include "rules/port_map.h"
#include "serial/port_probe.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryFile>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// Waits for the next modal box, hands it to `check`, then clicks `button`
// (or closes the box when it has no such button, so a test never hangs).
void answer_next_box(QMessageBox::StandardButton button,
                     const std::function<void(QMessageBox&)>& check) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, button, check] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        check(*box);
        if (QAbstractButton* b = box->button(button))
            b->click();
        else
            box->reject();
    });
    poll->start(10);
}

void expect_plain_box(const QMessageBox& box, const QString& text,
                      QMessageBox::StandardButtons buttons) {
    EXPECT_EQ(box.windowTitle(), QStringLiteral("KESTROVA"));
    EXPECT_EQ(box.text(), text);
    EXPECT_EQ(box.standardButtons(), buttons);
    EXPECT_EQ(box.icon(), QMessageBox::NoIcon);
}

// What `act` writes to standard error.
QByteArray stderr_of(const std::function<void()>& act) {
    QTemporaryFile file;
    if (!file.open())
        return "<no temporary file>";
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(file.handle(), STDERR_FILENO);
    act();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    file.seek(0);
    return file.readAll();
}

} // namespace

// Without a display (this test's offscreen platform) nobody can answer: each
// box is one line on standard error, and a question is answered OK.
TEST(stderr_prompts, each_box_is_one_line_and_every_question_is_answered_ok) {
    ASSERT_TRUE(controls::stderr_prompts::no_display());
    controls::stderr_prompts ask;
    EXPECT_FALSE(ask.interactive());
    EXPECT_EQ(stderr_of([&] { ask.message(QStringLiteral(" Please select a Port")); }),
              "kestrova:  Please select a Port\n");
    EXPECT_EQ(stderr_of([&] {
                  ask.message(QStringLiteral("There is No Comm Port on this Computer"),
                              QStringLiteral("Port 1 (/dev/ttyS0): no such device\n"
                                             "Port 2 (/dev/ttyS1): no such device"));
              }),
              "kestrova: There is No Comm Port on this Computer: Port 1 (/dev/ttyS0): no such "
              "device; Port 2 (/dev/ttyS1): no such device\n");
    bool answer = false;
    EXPECT_EQ(stderr_of([&] { answer = ask.confirm(QStringLiteral("Do you want to Exit")); }),
              "kestrova: Do you want to Exit (OK)\n");
    EXPECT_TRUE(answer);
}

TEST(message_box_prompts, message_has_ok_only_and_confirm_ok_and_cancel_titled_kestrova) {
    controls::message_box_prompts ask;
    const QString exit_text = QStringLiteral("Do you want to Exit");

    answer_next_box(QMessageBox::Ok, [](QMessageBox& box) {
        expect_plain_box(box, QStringLiteral(" Please select a Port"), QMessageBox::Ok);
        EXPECT_EQ(box.informativeText(), QString());
    });
    ask.message(QStringLiteral(" Please select a Port"));

    answer_next_box(QMessageBox::Ok, [&](QMessageBox& box) {
        expect_plain_box(box, exit_text, QMessageBox::Ok | QMessageBox::Cancel);
    });
    EXPECT_TRUE(ask.confirm(exit_text));

    answer_next_box(QMessageBox::Cancel, [](QMessageBox&) {});
    EXPECT_FALSE(ask.confirm(exit_text));
}

TEST(message_box_prompts, the_no_port_box_fits_the_screen_whatever_the_device_paths) {
    rules::port_map ports;
    serial::probe_result probe;
    for (int p = 1; p <= 4; ++p) {
        ports.set_device(p, QStringLiteral("/dev/serial/by-id/usb-logger-%1").arg(p).repeated(100));
        probe.failures[static_cast<std::size_t>(p - 1)] = serial::port_failure{
            ports.device(p), QSerialPort::DeviceNotFoundError, QStringLiteral("x")};
    }
    const QString main_text = QStringLiteral("There is No Comm Port on this Computer");
    controls::message_box_prompts ask;
    answer_next_box(QMessageBox::Ok, [&](QMessageBox& box) {
        expect_plain_box(box, main_text, QMessageBox::Ok);
        EXPECT_TRUE(box.informativeText().contains(QLatin1String("no such device")));
        EXPECT_TRUE(box.informativeText().contains(ports.device(4).right(30)))
            << "a long path keeps its end";
        const QRect screen = box.screen()->availableGeometry();
        EXPECT_LE(box.frameGeometry().height(), screen.height());
        EXPECT_LE(box.frameGeometry().width(), screen.width());
    });
    ask.message(main_text, serial::no_port_details(probe, ports));
}
