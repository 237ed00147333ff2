#include "app/frm_thermometer.h"
#include "controls/display_box.h"
#include "serial/comm_control.h"
#include "support/pty.h"
#include "support/recording_prompts.h"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// The window with MSComm1 open on a pty that plays the logger.
struct decoder_end_to_end : ::testing::Test {
    pty_pair pty;
    recording_prompts ask;
    app::frm_thermometer w{app::window_seams{ask}};
    serial::comm_control* comm = w.ui().MSComm1;

    void SetUp() override {
        rules::port_map m;
        m.set_device(1, pty.slave_path());
        comm->set_port_map(m);
        ASSERT_TRUE(comm->set_port_open(true));
    }
};

} // namespace

TEST_F(decoder_end_to_end, bytes_on_a_pty_reach_the_readings_and_the_caption) {

    ASSERT_TRUE(pty.write(QByteArray("\xFE\x19\xFD\x1F", 4)));
    const QString want = QString::fromUtf8("KESTROVA (25\u00BAC,31\u00BAC)");
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.windowTitle() == want; }, 5000))
        << w.windowTitle().toStdString();
    EXPECT_EQ(w.ui().Text2->text(), QString::fromUtf8("25\u00BAC"));
    EXPECT_EQ(w.ui().Text1->text(), QString::fromUtf8("31\u00BAC"));
    EXPECT_EQ(w.ui().Text8->text(), QLatin1String("second"));

    // 253 then 255: sensor 2 loses its reading, sensor 1 keeps its own.
    ASSERT_TRUE(pty.write(QByteArray("\xFD\xFF", 2)));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return w.ui().Text1->text() == QLatin1String(" - - "); }, 5000));
    EXPECT_EQ(w.ui().Text2->text(), QString::fromUtf8("25\u00BAC"));
    EXPECT_EQ(w.windowTitle(), QString::fromUtf8("KESTROVA (25\u00BAC, - - )"));
    EXPECT_EQ(comm->rthreshold(), 1);
    EXPECT_EQ(comm->input_len(), 1);
}

TEST_F(decoder_end_to_end, the_caption_follows_every_byte_but_reaches_the_window_once_per_batch) {

    // A restored reading and an ignored byte: the caption is rebuilt all the same.
    w.ui().Text2->setText(QString::fromUtf8("26\u00BAC"));
    ASSERT_TRUE(pty.write(QByteArray("\x82", 1)));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return w.windowTitle() == QString::fromUtf8("KESTROVA (26\u00BAC,)"); }, 5000))
        << w.windowTitle().toStdString();

    // While a byte is decoded the receive notification is off.
    int decoded = 0;
    bool armed_while_decoding = false;
    QObject::connect(w.ui().Text2, &controls::display_box::textChanged, &w, [&] {
        ++decoded;
        armed_while_decoding =
            armed_while_decoding || comm->rthreshold() != 0 || comm->input_len() != 0;
    });

    // 1000 readings in one write: every one decoded, few titles.
    int titles = 0;
    struct title_counter : QObject {
        int& n;
        explicit title_counter(int& count)
            : n(count) {}
        bool eventFilter(QObject*, QEvent* e) override {
            n += e->type() == QEvent::WindowTitleChange;
            return false;
        }
    } counter(titles);
    w.installEventFilter(&counter);
    QByteArray burst("\xFE");
    for (int i = 0; i < 1000; ++i)
        burst += static_cast<char>(i % 2 ? 40 : 41);
    burst += '\x2A';
    ASSERT_TRUE(pty.write(burst));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return w.windowTitle() == QString::fromUtf8("KESTROVA (42\u00BAC,)"); }, 5000));
    EXPECT_GE(decoded, 1001);
    EXPECT_FALSE(armed_while_decoding);
    EXPECT_LE(titles, 20) << "the window system gets one title per batch, not per byte";
}
