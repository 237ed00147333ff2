#include "rules/profile_text.h"

#include "rules/text.h"

#include <cstring>

namespace rules::profile {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

QByteArrayView trim_blanks(QByteArrayView s) {
    return trimmed(s, is_blank);
}

QByteArrayView trim_spaces(QByteArrayView s) {
    return trimmed(s, [](char c) { return c == ' '; });
}

char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_name(QByteArrayView a, QByteArrayView b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (ascii_lower(a[i]) != ascii_lower(b[i]))
            return false;
    return true;
}

// Calls f(line) for each line without its line end, LF or CR LF, until f
// answers false. A last line without a line end counts; an empty content
// has no lines.
template <class F> void for_each_line(QByteArrayView content, F f) {
    const char* p = content.data();
    const char* const end = p + content.size();
    while (p < end) {
        const auto* nl =
            static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        const char* line_end = nl ? nl : end;
        QByteArrayView line(p, line_end - p);
        if (line.endsWith('\r'))
            line.chop(1);
        if (!f(line))
            return;
        p = nl ? nl + 1 : end;
    }
}

enum class line_type { blank, section, key, other };

struct parsed_line {
    line_type type = line_type::other;
    QByteArrayView name;
    QByteArrayView value;
};

parsed_line parse(QByteArrayView line) {
    const QByteArrayView t = trim_blanks(line);
    if (t.isEmpty())
        return {line_type::blank, {}, {}};
    if (t.front() == '[') {
        // A header without its "]" still opens a section, so that stray
        // text cannot make the lines below it part of the section above.
        QByteArrayView name = t.sliced(1);
        const qsizetype close = name.indexOf(']');
        if (close >= 0)
            name.truncate(close);
        return {line_type::section, trim_blanks(name), {}};
    }
    if (t.front() == ';')
        return {};
    const qsizetype eq = line.indexOf('=');
    if (eq < 0)
        return {};
    const QByteArrayView name = trim_blanks(line.first(eq));
    if (name.isEmpty())
        return {};
    return {line_type::key, name, line.sliced(eq + 1)};
}

} // namespace

std::optional<QByteArrayView> find_value(QByteArrayView content, entry_name name) {
    std::optional<QByteArrayView> found;
    bool seen_section = false;
    bool inside = false;
    for_each_line(content, [&](QByteArrayView line) {
        const parsed_line p = parse(line);
        if (p.type == line_type::section) {
            if (inside)
                return false;
            inside = !seen_section && same_name(p.name, name.section);
            seen_section = seen_section || inside;
        } else if (inside && p.type == line_type::key && same_name(p.name, name.key)) {
            found = trim_spaces(p.value);
            return false;
        }
        return true;
    });
    return found;
}

bool is_storable_key(QByteArrayView key) {
    if (key.isEmpty() || key != trim_blanks(key) || key.front() == '[' || key.front() == ';')
        return false;
    for (char c : key)
        if (c == '=' || c == '\r' || c == '\n' || c == '\0')
            return false;
    return true;
}

QByteArray with_value(QByteArrayView content, entry_name name, QByteArrayView value) {
    const QByteArrayView section = name.section;
    const QByteArrayView key = name.key;
    // First pass: where the section starts, where the key stands, and the
    // last non-blank line of the section, after which a new key goes.
    qsizetype n = 0;
    qsizetype header = -1;
    qsizetype key_line = -1;
    qsizetype last_filled = -1;
    bool inside = false;
    bool ends_blank = true;
    for_each_line(content, [&](QByteArrayView line) {
        const parsed_line p = parse(line);
        if (p.type == line_type::section) {
            inside = header < 0 && same_name(p.name, section);
            if (inside)
                header = last_filled = n;
        } else if (inside) {
            if (p.type == line_type::key && key_line < 0 && same_name(p.name, key))
                key_line = n;
            if (p.type != line_type::blank)
                last_filled = n;
        }
        ends_blank = p.type == line_type::blank;
        ++n;
        return true;
    });

    QByteArray out;
    out.reserve(content.size() + n + section.size() + key.size() + value.size() + 16);
    const auto put_entry = [&] { out.append(key).append('=').append(value).append("\r\n"); };
    qsizetype i = 0;
    for_each_line(content, [&](QByteArrayView line) {
        if (i == key_line)
            put_entry();
        else
            out.append(line).append("\r\n");
        if (key_line < 0 && i == last_filled)
            put_entry();
        ++i;
        return true;
    });
    if (header < 0) {
        if (n > 0 && !ends_blank)
            out.append("\r\n");
        out.append('[').append(section).append("]\r\n");
        put_entry();
    }
    return out;
}

namespace {

// Where one line lies in the content: its text, and where the next begins.
struct line_span {
    qsizetype begin = 0;
    qsizetype end = 0; // before the line end
    qsizetype next = 0;
};

std::vector<line_span> lines_of(QByteArrayView content) {
    std::vector<line_span> lines;
    qsizetype p = 0;
    while (p < content.size()) {
        const qsizetype nl = content.indexOf('\n', p);
        const qsizetype next = nl < 0 ? content.size() : nl + 1;
        qsizetype end = nl < 0 ? content.size() : nl;
        if (end > p && content[end - 1] == '\r')
            --end;
        lines.push_back({p, end, next});
        p = next;
    }
    return lines;
}

bool is_known(const std::vector<QByteArray>& known, QByteArrayView key) {
    for (const QByteArray& k : known)
        if (same_name(k, key))
            return true;
    return false;
}

void put_entries(QByteArray& out, const key_values& entries) {
    for (const auto& [key, value] : entries)
        out.append(key).append('=').append(value).append("\r\n");
}

} // namespace

QByteArray with_section(QByteArrayView content, QByteArrayView section,
                        const std::vector<QByteArray>& known, const key_values& entries,
                        QByteArrayView place_before) {
    const std::vector<line_span> lines = lines_of(content);
    const auto text = [&](const line_span& l) { return content.sliced(l.begin, l.end - l.begin); };
    std::size_t header = lines.size();
    std::size_t successor = lines.size();
    for (std::size_t i = 0; i < lines.size() && header == lines.size(); ++i) {
        const parsed_line p = parse(text(lines[i]));
        if (p.type != line_type::section)
            continue;
        if (successor == lines.size() && same_name(p.name, place_before))
            successor = i;
        if (same_name(p.name, section))
            header = i;
    }

    QByteArray out;
    out.reserve(content.size() + 256);
    if (header == lines.size()) {
        if (entries.empty())
            return content.toByteArray();
        // The loop above saw every line, since the section is missing.
        const qsizetype at = successor < lines.size() ? lines[successor].begin : content.size();
        out.append(content.first(at));
        if (at > 0 && content[at - 1] != '\n')
            out.append("\r\n");
        out.append('[').append(section).append("]\r\n");
        put_entries(out, entries);
        out.append(content.sliced(at));
        return out;
    }

    std::size_t stop = header + 1;
    while (stop < lines.size() && parse(text(lines[stop])).type != line_type::section)
        ++stop;
    // The blank lines that end the section keep it apart from the next one.
    std::size_t trailing = stop;
    while (trailing > header + 1 && parse(text(lines[trailing - 1])).type == line_type::blank)
        --trailing;

    const line_span& h = lines[header];
    out.append(content.first(h.next));
    if (h.next == h.end)
        out.append("\r\n");
    put_entries(out, entries);
    for (std::size_t i = header + 1; i < trailing; ++i) {
        const parsed_line p = parse(text(lines[i]));
        if (p.type == line_type::key && !is_known(known, p.name))
            out.append(text(lines[i])).append("\r\n");
    }
    const qsizetype rest = trailing < lines.size() ? lines[trailing].begin : content.size();
    out.append(content.sliced(rest));
    return out;
}

} // namespace rules::profile
