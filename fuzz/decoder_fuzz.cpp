// The reading decoder against a second, deliberately simple model of the
// decoding table: any byte stream, from any decoder state text and any
// reading texts that a restore may have left in the fields. After every
// byte the state, both readings and the caption must agree.
//
// Input: one selector byte (bits 0-1: the state "first", "second", empty,
// or a text from the input; bit 2 and bit 3: a text from the input for
// sensor 1 and sensor 2 instead of an empty field), the texts it asks for
// (each a header byte: bits 0-5 the length, bit 6 UTF-16, then the text),
// then the byte stream.

#include "fuzz_support.h"

#include "rules/decoder.h"

#include <array>
#include <string>

namespace {

// The model, written from the table of byte class and state alone.
enum class column { first, second, other };
enum class byte_kind { value, ignored, marker_sensor2, marker_sensor1, no_reading };
enum class action { nothing, state_first, state_second, show_value, show_no_reading };

// Rows: byte_kind; columns: column.
constexpr std::array<std::array<action, 3>, 5> table = {{
    {action::show_value, action::show_value, action::nothing},
    {action::nothing, action::nothing, action::nothing},
    {action::state_second, action::state_second, action::state_second},
    {action::state_first, action::state_first, action::state_first},
    {action::show_no_reading, action::show_no_reading, action::nothing},
}};

byte_kind kind_of(int b) {
    if (b <= 124)
        return byte_kind::value;
    if (b <= 252)
        return byte_kind::ignored;
    if (b == 253)
        return byte_kind::marker_sensor2;
    if (b == 254)
        return byte_kind::marker_sensor1;
    return byte_kind::no_reading;
}

std::u16string reading(int b) {
    std::u16string s;
    if (b >= 100)
        s += static_cast<char16_t>(u'0' + b / 100);
    if (b >= 10)
        s += static_cast<char16_t>(u'0' + b / 10 % 10);
    s += static_cast<char16_t>(u'0' + b % 10);
    return s + u"\u00BAC";
}

struct model {
    std::u16string state;
    std::u16string sensor1;
    std::u16string sensor2;

    void feed(int b) {
        const column col = state == u"first"    ? column::first
                           : state == u"second" ? column::second
                                                : column::other;
        std::u16string& field = col == column::first ? sensor1 : sensor2;
        switch (table[static_cast<std::size_t>(kind_of(b))][static_cast<std::size_t>(col)]) {
        case action::nothing:
            break;
        case action::state_first:
            state = u"first";
            break;
        case action::state_second:
            state = u"second";
            break;
        case action::show_value:
            field = reading(b);
            break;
        case action::show_no_reading:
            field = u" - - ";
            break;
        }
    }

    // Rebuilt in one buffer: a fresh string per byte would cost more than
    // the decoding being checked.
    const std::u16string& caption() {
        caption_text.assign(u"KESTROVA (");
        caption_text.append(sensor1).append(u",").append(sensor2).append(u")");
        return caption_text;
    }

    std::u16string caption_text;
};

QString field_text(fuzz::input& in) {
    const std::uint8_t h = in.byte();
    return in.text(h & 0x3F, (h & 0x40) != 0);
}

void expect_same(const char* what, const QString& got, const std::u16string& want, int code,
                 std::size_t index) {
    if (QStringView(want) != got)
        fuzz::fail(what, QStringLiteral("byte %1 (code %2): program %3, model %4")
                             .arg(index)
                             .arg(code)
                             .arg(fuzz::shown(got), fuzz::shown(QString::fromStdU16String(want))));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::input in(data, size);
    const std::uint8_t selector = in.byte();

    QString state;
    switch (selector & 3) {
    case 0:
        state = QStringLiteral("first");
        break;
    case 1:
        state = QStringLiteral("second");
        break;
    case 2:
        break;
    default:
        state = field_text(in);
        break;
    }
    QString sensor1 = (selector & 4) ? field_text(in) : QString();
    QString sensor2 = (selector & 8) ? field_text(in) : QString();

    model m;
    m.state = state.toStdU16String();
    m.sensor1 = sensor1.toStdU16String();
    m.sensor2 = sensor2.toStdU16String();

    std::size_t count = 0;
    const std::uint8_t* stream = in.bytes(in.remaining(), &count);
    for (std::size_t i = 0; i < count; ++i) {
        const int code = stream[i];
        // What the port event does with one byte.
        const rules::decoder::step s = rules::decoder::decode(state, code);
        if (s.new_state)
            state = *s.new_state;
        if (s.field == rules::decoder::target::sensor1)
            sensor1 = s.text;
        else if (s.field == rules::decoder::target::sensor2)
            sensor2 = s.text;
        const QString caption = rules::decoder::caption(sensor1, sensor2);

        m.feed(code);
        expect_same("decoder state", state, m.state, code, i);
        expect_same("sensor 1 reading", sensor1, m.sensor1, code, i);
        expect_same("sensor 2 reading", sensor2, m.sensor2, code, i);
        expect_same("caption", caption, m.caption(), code, i);
    }
    return 0;
}
