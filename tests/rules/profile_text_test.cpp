#include "rules/profile_text.h"
#include "support/files.h"

#include <gtest/gtest.h>
#include <optional>

namespace profile = rules::profile;

namespace {

std::optional<QByteArray> lookup(QByteArrayView content, profile::entry_name name) {
    const auto v = profile::find_value(content, name);
    return v ? std::optional<QByteArray>(v->toByteArray()) : std::nullopt;
}

} // namespace

TEST(profile_text, finds_a_value_by_section_and_key) {
    struct row {
        const char* what;
        QByteArray content;
        const char* section;
        const char* key;
        std::optional<QByteArray> expected;
    };
    const std::optional<QByteArray> none;
    const row rows[] = {
        {"plain", "[VEZ]\r\nk=v\r\n", "VEZ", "k", "v"},
        {"LF line ends", "[VEZ]\nk=v\nz=w\n", "VEZ", "z", "w"},
        {"no final line end", "[VEZ]\r\nk=v", "VEZ", "k", "v"},
        {"section name case", "[vez]\r\nk=v\r\n", "VEZ", "k", "v"},
        {"key name case", "[VEZ]\r\nFRM.Text1.TEXT=v\r\n", "VEZ", "frm.Text1.text", "v"},
        {"spaces around key and value", "[VEZ]\r\n  k = v w  \r\n", "VEZ", "k", "v w"},
        {"blanks inside the brackets", "[ VEZ ]\r\nk=v\r\n", "VEZ", "k", "v"},
        {"empty value", "[VEZ]\r\nk=\r\n", "VEZ", "k", ""},
        {"value holding =", "[VEZ]\r\nk=a=b\r\n", "VEZ", "k", "a=b"},
        {"first of two keys", "[VEZ]\r\nk=1\r\nK=2\r\n", "VEZ", "k", "1"},
        {"first of two sections", "[VEZ]\r\na=1\r\n[VEZ]\r\nk=2\r\n", "VEZ", "k", none},
        {"key in another section", "[Ports]\r\nk=v\r\n[VEZ]\r\nj=w\r\n", "VEZ", "k", none},
        {"key before any section", "k=v\r\n[VEZ]\r\n", "VEZ", "k", none},
        {"commented out", "[VEZ]\r\n;k=v\r\n", "VEZ", "k", none},
        {"line without =", "[VEZ]\r\nk\r\n", "VEZ", "k", none},
        {"section header without ]", "[VEZ]\r\n[Other\r\nk=v\r\n", "VEZ", "k", none},
        {"missing section", "[Other]\r\nk=v\r\n", "VEZ", "k", none},
        {"empty file", "", "VEZ", "k", none},
        {"NUL bytes kept in the value", bytes_of("[VEZ]\nk=a\0b\n"), "VEZ", "k", bytes_of("a\0b")},
        {"binary around", bytes_of("\xff\xfe\0\r\r[VEZ]\n\x01\n[VEZ]\rk=v\nk=w"), "VEZ", "k", "w"},
    };
    for (const row& r : rows)
        EXPECT_EQ(lookup(r.content, {.section = r.section, .key = r.key}), r.expected) << r.what;
}

TEST(profile_text, stores_a_value_in_place_or_at_the_end_of_its_section) {
    struct row {
        const char* what;
        QByteArray content;
        const char* key;
        const char* value;
        QByteArray expected;
    };
    const row rows[] = {
        {"new file", "", "k", "v", "[VEZ]\r\nk=v\r\n"},
        {"replaced in place", "[VEZ]\r\na=1\r\nk=old\r\nb=2\r\n", "k", "new",
         "[VEZ]\r\na=1\r\nk=new\r\nb=2\r\n"},
        {"replaced whatever its letter case", "[vez]\r\nK = old\r\n", "k", "v", "[vez]\r\nk=v\r\n"},
        {"added after the section's last key, before the blank line",
         "[VEZ]\r\na=1\r\n\r\n[Ports]\r\n1=/dev/pts/3\r\n", "k", "v",
         "[VEZ]\r\na=1\r\nk=v\r\n\r\n[Ports]\r\n1=/dev/pts/3\r\n"},
        {"added to an empty section", "[VEZ]\r\n[Ports]\r\n", "k", "v",
         "[VEZ]\r\nk=v\r\n[Ports]\r\n"},
        {"section added at the end", "[Ports]\r\n1=COM1", "k", "v",
         "[Ports]\r\n1=COM1\r\n\r\n[VEZ]\r\nk=v\r\n"},
        {"section added after a blank line", "; note\r\n\r\n", "k", "v",
         "; note\r\n\r\n[VEZ]\r\nk=v\r\n"},
        {"LF becomes CR LF, unknown lines kept", "; c\n[VEZ]\nodd line\nk=1\n[X]\ny=2\n", "k", "2",
         "; c\r\n[VEZ]\r\nodd line\r\nk=2\r\n[X]\r\ny=2\r\n"},
        {"comment inside the section comes before the new key", "[VEZ]\r\na=1\r\n; end\r\n", "k",
         "v", "[VEZ]\r\na=1\r\n; end\r\nk=v\r\n"},
        {"only the first section of the name", "[VEZ]\r\na=1\r\n[VEZ]\r\nk=2\r\n", "k", "3",
         "[VEZ]\r\na=1\r\nk=3\r\n[VEZ]\r\nk=2\r\n"},
        {"binary lines kept byte for byte", bytes_of("\0\xff\r\x01\n[VEZ]\n"), "k", "v",
         bytes_of("\0\xff\r\x01\r\n[VEZ]\r\nk=v\r\n")},
    };
    for (const row& r : rows) {
        const QByteArray got =
            profile::with_value(r.content, {.section = "VEZ", .key = r.key}, r.value);
        EXPECT_EQ(got, r.expected) << r.what;
        EXPECT_EQ(lookup(got, {.section = "VEZ", .key = r.key}), QByteArray(r.value)) << r.what;
    }
}

TEST(profile_text, a_section_is_rewritten_and_every_byte_around_it_kept) {
    struct row {
        const char* what;
        QByteArray content;
        profile::key_values entries;
        QByteArray expected;
    };
    const profile::key_values host_b = {{"host", "b"}};
    const row rows[] = {
        {"known keys replaced, unknown kept, comments dropped, LF elsewhere kept",
         "[VEZ]\nk=v\n[MQTT]\nhost=a\n; c\nextra=1\nport=2\n\n[Notify]\ndesktop=1\n",
         {{"host", "b"}, {"topic", "t"}},
         "[VEZ]\nk=v\n[MQTT]\nhost=b\r\ntopic=t\r\nextra=1\r\n\n[Notify]\ndesktop=1\n"},
        {"letter case of names", "[mqtt]\r\nHOST=a\r\n", host_b, "[mqtt]\r\nhost=b\r\n"},
        {"emptied", "[MQTT]\r\nhost=a\r\n[VEZ]\r\n", {}, "[MQTT]\r\n[VEZ]\r\n"},
        {"only the first section of the name", "[MQTT]\r\nhost=a\r\n[MQTT]\r\nhost=c\r\n", host_b,
         "[MQTT]\r\nhost=b\r\n[MQTT]\r\nhost=c\r\n"},
        {"header at the end without a line end", "[VEZ]\r\nk=v\r\n[MQTT]", host_b,
         "[VEZ]\r\nk=v\r\n[MQTT]\r\nhost=b\r\n"},
        {"new section before [VEZ], whose last line stays without its line end",
         "; top\r\nloose=1\r\n[Site]\r\nx=1\r\n[VEZ]\r\nk=v", host_b,
         "; top\r\nloose=1\r\n[Site]\r\nx=1\r\n[MQTT]\r\nhost=b\r\n[VEZ]\r\nk=v"},
        {"new section at the end of a file without sections", "k=v", host_b,
         "k=v\r\n[MQTT]\r\nhost=b\r\n"},
        {"new file", "", host_b, "[MQTT]\r\nhost=b\r\n"},
        {"nothing to write, no section made", "[VEZ]\nk=v", {}, "[VEZ]\nk=v"},
    };
    const std::vector<QByteArray> known = {"host", "port", "topic"};
    for (const row& r : rows) {
        const QByteArray got = profile::with_section(r.content, "MQTT", known, r.entries, "VEZ");
        EXPECT_EQ(got, r.expected) << r.what;
        for (const auto& [key, value] : r.entries)
            EXPECT_EQ(lookup(got, {.section = "MQTT", .key = key}), value) << r.what;
    }
}

TEST(profile_text, keys_that_could_not_be_found_again_are_not_storable) {
    for (const char* k : {"", " k", "k ", "[k", ";k", "a=b", "a\nb", "a\rb"})
        EXPECT_FALSE(profile::is_storable_key(k)) << '"' << k << '"';
    EXPECT_FALSE(profile::is_storable_key(QByteArrayView("a\0b", 3)));
    for (const char* k : {"FileId", "frm_thermometer.Text7.text", "1", "a b"})
        EXPECT_TRUE(profile::is_storable_key(k)) << k;
}
