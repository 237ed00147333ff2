#include "settings/window_state.h"
#include "support/build_paths.h"

#include "app/frm_thermometer.h"
#include "controls/properties.h"
#include "controls/updown.h"
#include "settings/inifile.h"
#include "support/files.h"
#include "support/recording_prompts.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

struct window_state_fixture : ::testing::Test {
    QTemporaryDir dir;
    recording_prompts ask;
    std::unique_ptr<app::frm_thermometer> window;
    settings::inifile ini;
    QString file;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        app::window_seams seams{ask};
        seams.work_dir = dir.path();
        window = std::make_unique<app::frm_thermometer>(seams);
        file = dir.filePath(QStringLiteral("Tarnwick.INI"));
    }

    const app::thermometer_controls& ui() const { return window->ui(); }

    // Text of a text box by name, whatever widget stands for it.
    QString text(const char* name) const {
        return controls::text_of(window->control(QString::fromLatin1(name)))
            .value_or(QStringLiteral("<none>"));
    }

    // The file in Windows-1252 with CR LF line ends.
    void write_lines(const QStringList& lines) {
        QString text;
        for (const QString& l : lines)
            text += l + QStringLiteral("\r\n");
        ASSERT_TRUE(write_file(file, text.toLatin1()));
    }
};

QString key(const char* name, const char* suffix) {
    return QStringLiteral("frm_thermometer.%1.%2").arg(QLatin1String(name), QLatin1String(suffix));
}

QByteArray example_file() {
    return read_file(QString::fromUtf8(build_paths::test_data) +
                     QStringLiteral("/settings_example.ini"));
}

} // namespace

TEST_F(window_state_fixture, example_file_comes_back_and_saves_byte_for_byte) {
    const QByteArray example = example_file();
    ASSERT_FALSE(example.isEmpty());
    ASSERT_TRUE(write_file(file, example));
    // The start-up directory counts, not where the process is now.
    QTemporaryDir elsewhere;
    const QString saved_cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));

    settings::restore_window_state(window->controls(), window->seams().work_dir, ini);
    EXPECT_EQ(ini.ini_dir(), dir.path());
    const auto& c = ui();
    EXPECT_EQ(text("Text7"), QStringLiteral("2"));
    EXPECT_EQ(text("Text8"), QStringLiteral("first"));
    EXPECT_TRUE(c.Check1->isChecked());
    EXPECT_TRUE(c.Check2->isChecked());
    EXPECT_FALSE(c.Check3->isChecked());
    EXPECT_TRUE(c.Option5->isChecked());
    EXPECT_FALSE(c.Option6->isChecked() || c.Option7->isChecked() || c.Option8->isChecked());
    EXPECT_EQ(c.UpDown1->value(), 40);
    EXPECT_EQ(c.UpDown2->value(), 15);
    EXPECT_EQ(c.UpDown3->value(), 35);
    EXPECT_EQ(c.UpDown4->value(), 10);
    EXPECT_EQ(text("Text3"), QStringLiteral("40"));
    EXPECT_EQ(text("Text4"), QStringLiteral("15"));
    EXPECT_EQ(text("Text6"), QStringLiteral("35"));
    EXPECT_EQ(text("Text5"), QStringLiteral("10"));
    EXPECT_EQ(text("Text1"), QStringLiteral("24\u00BAC"));
    EXPECT_EQ(text("Text2"), QStringLiteral("26\u00BAC"));
    EXPECT_EQ(c.Label9->text(), QStringLiteral("PORT"));
    EXPECT_EQ(c.Command5->text(), QStringLiteral("Change Port"));

    settings::save_window_state(window->controls(), ini);
    QDir::setCurrent(saved_cwd);
    EXPECT_EQ(read_file(file), example);
    EXPECT_FALSE(QFileInfo::exists(elsewhere.filePath(QStringLiteral("Tarnwick.INI"))));
}

TEST_F(window_state_fixture, first_start_keeps_design_values_but_clears_option8) {
    settings::restore_window_state(window->controls(), window->seams().work_dir, ini);
    EXPECT_EQ(ini.state(), settings::inifile::file_state::missing);
    const auto& c = ui();
    EXPECT_EQ(text("Text7"), QStringLiteral("select"));
    EXPECT_EQ(text("Text8"), QStringLiteral("first"));
    for (const char* t : {"Text1", "Text2", "Text3", "Text4", "Text5", "Text6"})
        EXPECT_EQ(text(t), QString()) << t;
    for (const QRadioButton* o : {c.Option5, c.Option6, c.Option7, c.Option8})
        EXPECT_FALSE(o->isChecked()) << o->objectName().toStdString();
    for (const QCheckBox* b : {c.Check1, c.Check2, c.Check3})
        EXPECT_FALSE(b->isChecked()) << b->objectName().toStdString();
    for (const controls::updown* u : {c.UpDown1, c.UpDown2, c.UpDown3, c.UpDown4})
        EXPECT_EQ(u->value(), 0) << u->objectName().toStdString();
    EXPECT_EQ(c.Label9->text(), QStringLiteral("PORT"));
    EXPECT_EQ(c.Label8->text(), QString());
    EXPECT_EQ(c.Option8->text(), QStringLiteral("5 Sec"));
    EXPECT_EQ(c.Frame1->title(), QStringLiteral("Temperature Sensor 1"));
    EXPECT_EQ(c.Label17->text(), QStringLiteral("Temperature High Threshold [\u00BAC]"));
    EXPECT_TRUE(ask.messages.isEmpty());

    settings::save_window_state(window->controls(), ini);
    const QByteArray expected = "[VEZ]\r\n"
                                "FileId=therm\r\n"
                                "frm_thermometer.Text8.text=first\r\n"
                                "frm_thermometer.Command5.value=False\r\n"
                                "frm_thermometer.Text7.text=select\r\n"
                                "frm_thermometer.Option6.value=0\r\n"
                                "frm_thermometer.Check1.value=0\r\n"
                                "frm_thermometer.Command7.value=False\r\n"
                                "frm_thermometer.Option8.value=0\r\n"
                                "frm_thermometer.Option7.value=0\r\n"
                                "frm_thermometer.Option5.value=0\r\n"
                                "frm_thermometer.UpDown1.value=0\r\n"
                                "frm_thermometer.Check3.value=0\r\n"
                                "frm_thermometer.Text6.text=\r\n"
                                "frm_thermometer.Text5.text=\r\n"
                                "frm_thermometer.Text1.text=\r\n"
                                "frm_thermometer.UpDown3.value=0\r\n"
                                "frm_thermometer.UpDown4.value=0\r\n"
                                "frm_thermometer.Check2.value=0\r\n"
                                "frm_thermometer.Text4.text=\r\n"
                                "frm_thermometer.Text3.text=\r\n"
                                "frm_thermometer.Text2.text=\r\n"
                                "frm_thermometer.UpDown2.value=0\r\n";
    EXPECT_EQ(read_file(file), expected);
}

TEST_F(window_state_fixture, restore_applies_each_kinds_rules_and_skips_refused_values) {
    const auto& c = ui();
    // Values that the file must not be able to disturb.
    c.UpDown1->set_value(7);
    c.UpDown3->set_value(8);
    c.UpDown4->set_value(9);
    c.Check1->setChecked(true);
    c.Check2->setChecked(true);
    write_lines({
        QStringLiteral("[VEZ]"),
        key("Text8", "text=second"),
        key("Text7", "text=3"),
        key("Text2", "text= - - "),
        key("Text1", "text=") + QString(130, u'9'),
        key("Label9", "caption=  Port No.  "),
        key("Frame1", "caption=Sensor A"),
        key("Command5", "caption=Port..."),
        key("Command7", "value=1"),
        key("Option6", "value=1"),
        key("Option5", "value=1"),
        key("Option7", "value=0.0"),
        key("Check1", "value=abc"),
        key("Check3", "value=2"),
        key("Check2", "value=3"),
        key("UpDown1", "value=126"),
        key("UpDown3", "value=12.5"),
        key("UpDown4", "value=1e999"),
        key("UpDown2", "value= 4 2abc"),
    });
    settings::restore_window_state(window->controls(), window->seams().work_dir, ini);

    EXPECT_EQ(text("Text8"), QStringLiteral("second"));
    EXPECT_EQ(text("Text7"), QStringLiteral("3"));
    EXPECT_EQ(text("Text2"), QStringLiteral("- -"));
    EXPECT_EQ(text("Text1"), QString(127, u'9'));
    EXPECT_EQ(c.Label9->text(), QStringLiteral("Port No."));
    EXPECT_EQ(c.Frame1->title(), QStringLiteral("Sensor A"));
    EXPECT_EQ(c.Command5->text(), QStringLiteral("Port..."));
    EXPECT_EQ(c.Command7->text(), QStringLiteral("Exit"));
    // Of two selected options the later one in the walk wins.
    EXPECT_TRUE(c.Option5->isChecked());
    EXPECT_FALSE(c.Option6->isChecked() || c.Option7->isChecked() || c.Option8->isChecked());
    EXPECT_EQ(c.Check1->checkState(), Qt::Unchecked);
    EXPECT_EQ(c.Check3->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(c.Check2->checkState(), Qt::Checked) << "3 is refused";
    EXPECT_EQ(c.UpDown1->value(), 7) << "above the range";
    EXPECT_EQ(c.UpDown3->value(), 8) << "a fraction";
    EXPECT_EQ(c.UpDown4->value(), 9) << "infinity";
    EXPECT_EQ(c.UpDown2->value(), 42);

    // Save writes no captions; the hand-written ones stay for the next start.
    settings::save_window_state(window->controls(), ini);
    EXPECT_EQ(ini.ini_read(key("Label9", "caption"), QString()), QStringLiteral("Port No."));
    EXPECT_EQ(ini.ini_read(key("Check3", "value"), QString()), QStringLiteral("1"));
    EXPECT_EQ(ini.ini_read(key("Text2", "text"), QString()), QStringLiteral("- -"));
    EXPECT_EQ(ini.ini_read(key("Command7", "value"), QString()), QStringLiteral("False"));
}

TEST_F(window_state_fixture, save_keeps_what_it_does_not_know) {
    ASSERT_TRUE(write_file(file, "; written by hand\n"
                                 "[Ports]\n"
                                 "3=/dev/serial/by-id/usb-FTDI_logger-if00-port0\n"
                                 "\n"
                                 "[VEZ]\n"
                                 "FileId=therm\n"
                                 "frm_thermometer.Text99.text=gone\n"
                                 "frm_thermometer.Text7.text=1\n"
                                 "frm_thermometer.Label9.caption=Port\n"
                                 "\n"
                                 "[Later]\n"
                                 "x=1\n"));
    settings::restore_window_state(window->controls(), window->seams().work_dir, ini);
    controls::set_text(window->control(u"Text7"), QStringLiteral("4"));
    settings::save_window_state(window->controls(), ini);

    const QByteArray saved = read_file(file);
    EXPECT_TRUE(saved.startsWith("; written by hand\r\n"
                                 "[Ports]\r\n"
                                 "3=/dev/serial/by-id/usb-FTDI_logger-if00-port0\r\n"
                                 "\r\n"
                                 "[VEZ]\r\n"
                                 "FileId=therm\r\n"
                                 "frm_thermometer.Text99.text=gone\r\n"
                                 "frm_thermometer.Text7.text=4\r\n"
                                 "frm_thermometer.Label9.caption=Port\r\n"
                                 "frm_thermometer.Text8.text=first\r\n"
                                 "frm_thermometer.Command5.value=False\r\n"))
        << saved.toStdString();
    EXPECT_TRUE(saved.endsWith("frm_thermometer.UpDown2.value=0\r\n"
                               "\r\n"
                               "[Later]\r\n"
                               "x=1\r\n"))
        << saved.toStdString();
    EXPECT_EQ(saved.count("frm_thermometer."), 23);
}

TEST_F(window_state_fixture, restored_values_run_change_handling_at_once) {
    const auto& c = ui();
    write_lines({QStringLiteral("[VEZ]"), key("Text7", "text=3"), key("Option5", "value=1"),
                 key("UpDown1", "value=40"), key("Check2", "value=1"),
                 QStringLiteral("frm_thermometer.Text2.text=26\u00BAC")});
    // Walk order: Text7, Option5, UpDown1, Check2, Text2. Each handler sees
    // the controls before it restored and those after it not yet.
    QStringList seen;
    QObject context;
    QObject::connect(c.Option5, &QRadioButton::toggled, &context, [&](bool on) {
        seen << QStringLiteral("Option5=%1 Text7=%2 UpDown1=%3")
                    .arg(on)
                    .arg(text("Text7"))
                    .arg(c.UpDown1->value());
    });
    QObject::connect(c.Check2, &QCheckBox::stateChanged, &context, [&](int state) {
        seen << QStringLiteral("Check2=%1 UpDown1=%2 Text2=%3")
                    .arg(state)
                    .arg(c.UpDown1->value())
                    .arg(text("Text2"));
    });

    settings::restore_window_state(window->controls(), window->seams().work_dir, ini);
    EXPECT_EQ(seen.join(u'|'),
              QStringLiteral("Option5=1 Text7=3 UpDown1=0|Check2=2 UpDown1=40 Text2="));
    EXPECT_EQ(text("Text2"), QStringLiteral("26\u00BAC"));
}
