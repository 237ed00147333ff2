#include "app/frm_thermometer.h"
#include "serial/comm_control.h"
#include "support/pty.h"
#include "support/recording_prompts.h"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

TEST(decoder_end_to_end, bytes_on_a_pty_reach_the_readings_and_the_caption) {
    pty_pair pty;
    recording_prompts ask;
    frm_thermometer w{window_seams{&ask}};
    comm_control* comm = w.ui().MSComm1;
    port_map m;
    m.set_device(1, pty.slave_path());
    comm->set_port_map(m);
    ASSERT_TRUE(comm->set_port_open(true));

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
