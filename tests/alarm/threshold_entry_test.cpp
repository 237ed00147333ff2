#include "alarm/threshold_entry.h"
#include "app/frm_thermometer.h"
#include "controls/updown.h"
#include "support/recording_prompts.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

// Sets the default locale for one test and puts the old one back.
class locale_guard {
public:
    explicit locale_guard(const QLocale& l) { QLocale::setDefault(l); }
    ~locale_guard() { QLocale::setDefault(saved_); }
    locale_guard(const locale_guard&) = delete;
    locale_guard& operator=(const locale_guard&) = delete;

private:
    QLocale saved_;
};

// Remembers what the watched field showed while each message box was up.
class field_watching_prompts : public recording_prompts {
public:
    void message(const QString& text, const QString& details = {}) override {
        recording_prompts::message(text, details);
        text_while_shown << (watched ? watched->text() : QString());
    }
    const QLineEdit* watched = nullptr;
    QStringList text_while_shown;
};

struct threshold_fixture : ::testing::Test {
    locale_guard english{QLocale(QLocale::English, QLocale::UnitedStates)};
    field_watching_prompts ask;
    app::frm_thermometer w{app::window_seams{ask}};
    const app::thermometer_controls& ui = w.ui();

    threshold_fixture() { w.show(); }

    // As the operator pastes: the whole text arrives in one change.
    static void paste(QLineEdit* field, const QString& text) {
        QApplication::clipboard()->setText(text);
        field->selectAll();
        QTest::keySequence(field, QKeySequence::Paste);
    }
};

} // namespace

TEST_F(threshold_fixture, typing_keeps_field_and_spin_button_in_step) {
    QTest::keyClicks(ui.Text3, QStringLiteral("30"));
    EXPECT_EQ(ui.Text3->text(), QStringLiteral("30"));
    EXPECT_EQ(ui.UpDown1->value(), 30);
    EXPECT_TRUE(ask.messages.isEmpty());

    // "1" and "13" are accepted; "130" is refused once, then becomes 125.
    ui.Text4->clear();
    QTest::keyClicks(ui.Text4, QStringLiteral("13"));
    EXPECT_EQ(ui.UpDown2->value(), 13);
    EXPECT_TRUE(ask.messages.isEmpty());
    ask.watched = ui.Text4;
    QTest::keyClicks(ui.Text4, QStringLiteral("0"));
    EXPECT_EQ(ask.messages, QStringList{QStringLiteral("Maximum Temperature is 125\u00BAC")});
    EXPECT_EQ(ask.text_while_shown, QStringList{QStringLiteral("130")});
    EXPECT_EQ(ui.Text4->text(), QStringLiteral("125"));
    EXPECT_EQ(ui.UpDown2->value(), 125);

    // Text4, the low threshold, now lies above Text3, the high one: no
    // message beyond the refusal.
    EXPECT_EQ(ask.messages.size(), 1);

    // "12." keeps its point; "12.7" rounds to 13 and the field follows.
    QTest::keyClicks(ui.Text6, QStringLiteral("12."));
    EXPECT_EQ(ui.Text6->text(), QStringLiteral("12."));
    EXPECT_EQ(ui.UpDown3->value(), 12);
    QTest::keyClicks(ui.Text6, QStringLiteral("7"));
    EXPECT_EQ(ui.Text6->text(), QStringLiteral("13"));
    EXPECT_EQ(ui.UpDown3->value(), 13);

    // 125 is the limit itself; 125.4 lies above it although it rounds to 125.
    QTest::keyClicks(ui.Text5, QStringLiteral("125"));
    EXPECT_EQ(ui.Text5->text(), QStringLiteral("125"));
    EXPECT_EQ(ui.UpDown4->value(), 125);
    EXPECT_EQ(ask.messages.size(), 1);
    ask.watched = ui.Text5;
    QTest::keyClicks(ui.Text5, QStringLiteral(".4"));
    EXPECT_EQ(ask.messages.size(), 2);
    EXPECT_EQ(ask.text_while_shown.value(1), QStringLiteral("125.4"));
    EXPECT_EQ(ui.Text5->text(), QStringLiteral("125"));
    EXPECT_EQ(ui.UpDown4->value(), 125);
}

TEST_F(threshold_fixture, whole_text_changes_settle_after_one_round_trip) {
    QSignalSpy text_changes(ui.Text3, &QLineEdit::textChanged);
    QSignalSpy spin_changes(ui.UpDown1, &controls::updown::value_changed);

    // Spin at 0: "08" moves it to 8, which rewrites the field once.
    paste(ui.Text3, QStringLiteral("08"));
    EXPECT_EQ(ui.Text3->text(), QStringLiteral("8"));
    EXPECT_EQ(ui.UpDown1->value(), 8);
    EXPECT_EQ(spin_changes.size(), 1);
    EXPECT_EQ(text_changes.size(), 2); // "08", then "8"

    // Spin already at 8: "08" changes nothing and stays as typed.
    paste(ui.Text3, QStringLiteral("08"));
    EXPECT_EQ(ui.Text3->text(), QStringLiteral("08"));
    EXPECT_EQ(ui.UpDown1->value(), 8);
    EXPECT_EQ(spin_changes.size(), 1);
    EXPECT_EQ(text_changes.size(), 3);

    // Blanks go when the value moves.
    ASSERT_TRUE(ui.UpDown1->set_value(30));
    paste(ui.Text3, QStringLiteral(" 40 "));
    EXPECT_EQ(ui.Text3->text(), QStringLiteral("40"));
    EXPECT_EQ(ui.UpDown1->value(), 40);

    // Below 0: the spin button goes to its lower end and writes it back;
    // when it is there already, the field keeps what was typed.
    paste(ui.Text3, QStringLiteral("-5"));
    EXPECT_EQ(ui.Text3->text(), QStringLiteral("0"));
    EXPECT_EQ(ui.UpDown1->value(), 0);
    paste(ui.Text3, QStringLiteral("-5"));
    EXPECT_EQ(ui.Text3->text(), QStringLiteral("-5"));
    EXPECT_EQ(ui.UpDown1->value(), 0);

    // Not a number: no message, the spin button stays.
    ASSERT_TRUE(ui.UpDown1->set_value(17));
    for (const QString& t : {QString(), QStringLiteral("-"), QStringLiteral("."),
                             QStringLiteral("abc"), QStringLiteral("nan")}) {
        paste(ui.Text3, t);
        EXPECT_EQ(ui.Text3->text(), t);
        EXPECT_EQ(ui.UpDown1->value(), 17) << t.toStdString();
    }
    EXPECT_TRUE(ask.messages.isEmpty());

    // Infinity lies above the limit.
    paste(ui.Text3, QStringLiteral("1e400"));
    EXPECT_EQ(ask.messages.size(), 1);
    EXPECT_EQ(ui.Text3->text(), QStringLiteral("125"));
    EXPECT_EQ(ui.UpDown1->value(), 125);
}

TEST_F(threshold_fixture, spin_arrows_write_the_field) {
    ASSERT_TRUE(ui.UpDown4->set_value(20));
    EXPECT_EQ(ui.Text5->text(), QStringLiteral("20"));
    auto* up = ui.UpDown4->findChild<QToolButton*>(QStringLiteral("up"));
    ASSERT_NE(up, nullptr);
    QTest::mouseClick(up, Qt::LeftButton);
    EXPECT_EQ(ui.UpDown4->value(), 21);
    EXPECT_EQ(ui.Text5->text(), QStringLiteral("21"));

    ASSERT_TRUE(ui.UpDown4->set_value(125));
    QSignalSpy text_changes(ui.Text5, &QLineEdit::textChanged);
    QTest::mouseClick(up, Qt::LeftButton);
    EXPECT_EQ(ui.UpDown4->value(), 125);
    EXPECT_EQ(text_changes.size(), 0);

    // The keyboard steps the other spin buttons the same way, each into its
    // own field.
    QTest::keyClick(ui.UpDown1, Qt::Key_Up);
    QTest::keyClick(ui.UpDown2, Qt::Key_PageUp);
    EXPECT_EQ(ui.Text3->text(), QStringLiteral("1"));
    EXPECT_EQ(ui.Text4->text(), QStringLiteral("10"));
    QTest::keyClick(ui.UpDown2, Qt::Key_Down);
    EXPECT_EQ(ui.Text4->text(), QStringLiteral("9"));
    EXPECT_EQ(ui.Text6->text(), QString());
    EXPECT_TRUE(ask.messages.isEmpty());
}

TEST_F(threshold_fixture, reads_the_decimal_separator_of_the_users_locale) {
    locale_guard german{QLocale(QLocale::German, QLocale::Germany)};
    QTest::keyClicks(ui.Text3, QStringLiteral("12,7"));
    EXPECT_EQ(ui.Text3->text(), QStringLiteral("13"));
    EXPECT_EQ(ui.UpDown1->value(), 13);
    // A point is not a separator there: "12.7" stops at 12.
    QTest::keyClicks(ui.Text4, QStringLiteral("12.7"));
    EXPECT_EQ(ui.Text4->text(), QStringLiteral("12.7"));
    EXPECT_EQ(ui.UpDown2->value(), 12);
    EXPECT_TRUE(ask.messages.isEmpty());
}
