#include "app/frm_thermometer.h"
#include "controls/updown.h"
#include "support/recording_prompts.h"

#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>
#include <random>

namespace {

// Pieces that random texts are built from: what numbers are made of, what
// the reader must refuse, and what no one would type but a paste can bring.
const QStringList pieces = {
    QStringLiteral("0"),      QStringLiteral("1"),      QStringLiteral("9"),
    QStringLiteral("12"),     QStringLiteral("125"),    QStringLiteral("."),
    QStringLiteral(","),      QStringLiteral("-"),      QStringLiteral("+"),
    QStringLiteral("e"),      QStringLiteral("E"),      QStringLiteral(" "),
    QStringLiteral("\t"),     QStringLiteral("e400"),   QStringLiteral("e-400"),
    QStringLiteral("nan"),    QStringLiteral("inf"),    QStringLiteral("abc"),
    QStringLiteral("\u0661"), QStringLiteral("\uFF15"), QString::fromUtf8("\U0001F525"),
    QStringLiteral("\u00BA"), QString(QChar(0xDC00)),   QString(QChar(0)),
    QString(400, u'9'),       QString(300, u'0'),       QStringLiteral("99999999999"),
};

QString random_text(std::mt19937& gen) {
    std::uniform_int_distribution<int> count(0, 6);
    std::uniform_int_distribution<qsizetype> pick(0, pieces.size() - 1);
    QString t;
    for (int n = count(gen); n > 0; --n)
        t += pieces[pick(gen)];
    return t;
}

bool typable(const QString& text) {
    for (QChar c : text)
        if (c < u' ' || c > u'~')
            return false;
    return true;
}

} // namespace

TEST(threshold_fuzz, any_text_leaves_the_spin_button_in_range) {
    recording_prompts ask;
    app::frm_thermometer w{app::window_seams{ask}};
    QLineEdit* field = w.ui().Text6;
    controls::updown* spin = w.ui().UpDown3;
    w.show();
    const QRegularExpression plain_0_to_125(QStringLiteral("^(0|[1-9][0-9]?|1[01][0-9]|12[0-5])$"));

    std::mt19937 gen(20240607);
    std::bernoulli_distribution typed(0.1);
    for (int i = 0; i < 4000; ++i) {
        const QString text = random_text(gen);
        const qsizetype before = ask.messages.size();
        // Keystrokes for short printable texts (QTest knows keys for ASCII
        // only); the rest arrives whole, as a paste would.
        const bool keys = text.size() < 40 && typable(text) && typed(gen);
        if (keys) {
            field->clear();
            QTest::keyClicks(field, text);
        } else {
            field->setText(text);
        }
        SCOPED_TRACE(text.toStdString());
        ASSERT_GE(spin->value(), 0);
        ASSERT_LE(spin->value(), 125);
        // Typing goes on after a refusal; a whole text ends at the limit.
        if (!keys && ask.messages.size() > before) {
            ASSERT_EQ(field->text(), QStringLiteral("125"));
        }
        // A settled field that holds a plain whole number holds the spin value.
        if (plain_0_to_125.match(field->text()).hasMatch()) {
            ASSERT_EQ(field->text(), QString::number(spin->value()));
        }
    }
}
