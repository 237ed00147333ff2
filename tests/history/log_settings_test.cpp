// What the chart takes from Tarnwick.INI: the period and the thresholds of
// the sensors whose alarm switch is on.

#include "history/log_settings.h"
#include "support/files.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct settings_case {
    const char* name;
    QByteArray ini; // section VEZ's lines, or nothing for no file
    std::uint32_t period;
    chart::sensor_limits s1;
    chart::sensor_limits s2;
};

class log_settings : public testing::TestWithParam<settings_case> {};

TEST_P(log_settings, come_from_the_file_beside_the_log) {
    QTemporaryDir dir;
    const settings_case& c = GetParam();
    if (!c.ini.isNull()) {
        ASSERT_TRUE(write_file(QDir(dir.path()).filePath(QStringLiteral("Tarnwick.INI")),
                               "[VEZ]\r\n" + c.ini));
    }
    const history::log_settings s = history::read_log_settings(dir.path());
    EXPECT_EQ(s.gaps.period_seconds, c.period);
    EXPECT_EQ(s.limits[0].high, c.s1.high);
    EXPECT_EQ(s.limits[0].low, c.s1.low);
    EXPECT_EQ(s.limits[1].high, c.s2.high);
    EXPECT_EQ(s.limits[1].low, c.s2.low);
}

const QByteArray thresholds = "frm_thermometer.Text3.text=40\r\nfrm_thermometer.Text4.text=15\r\n"
                              "frm_thermometer.Text6.text=35\r\nfrm_thermometer.Text5.text=10\r\n";

INSTANTIATE_TEST_SUITE_P(
    table, log_settings,
    testing::Values(
        settings_case{"no_file", QByteArray(), 5, {}, {}},
        settings_case{"switches_off", thresholds, 5, {}, {}},
        settings_case{
            "sensor1_on", thresholds + "frm_thermometer.Check2.value=1\r\n", 5, {40.0, 15.0}, {}},
        settings_case{
            "sensor2_on", thresholds + "frm_thermometer.Check3.value=1\r\n", 5, {}, {35.0, 10.0}},
        settings_case{
            "greyed_is_not_on", thresholds + "frm_thermometer.Check2.value=2\r\n", 5, {}, {}},
        settings_case{"not_a_number",
                      "frm_thermometer.Check2.value=1\r\nfrm_thermometer.Text3.text=abc\r\n"
                      "frm_thermometer.Text4.text=12.5\r\n",
                      5,
                      {std::nullopt, 12.5},
                      {}},
        settings_case{"ten_seconds", "frm_thermometer.Option5.value=1\r\n", 10, {}, {}},
        settings_case{"half_minute", "frm_thermometer.Option7.value=1\r\n", 30, {}, {}},
        settings_case{"one_minute",
                      "frm_thermometer.Option8.value=0\r\nfrm_thermometer.Option6.value=1\r\n",
                      60,
                      {},
                      {}}),
    [](const testing::TestParamInfo<settings_case>& i) { return std::string(i.param.name); });

} // namespace
