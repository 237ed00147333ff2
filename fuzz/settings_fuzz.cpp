// The settings file: any bytes as Tarnwick.INI, then reads and writes of
// keys through settings::inifile, on a real file in a temporary directory. Checked:
// a read gives at most 127 characters without spaces at either end; a
// missing or unusable file gives the default; a written key reads back as
// written (after the cut to 127 characters and the trimming), and keeps
// doing so after later writes of other keys; every other line of the file
// survives in its order; a file that cannot be read is never changed; and
// a write leaves nothing else behind in the directory.
//
// Input: a mode byte (bits 0-2: 0 to 4 the file as given, 5 the file behind
// a comment line that brings it near settings::inifile::max_file_size, 6 no file, 7 a
// directory in place of the file), for mode 5 two bytes that place the size
// around the limit, two bytes of file length and the file's bytes, then up
// to eight operations (three near the limit, where each costs megabytes). An operation byte: bit 0
// write (else read), bit 1 a key name found in the file (the next byte picks which) instead of a
// text from the input. Texts (key, value, default) have a header byte: bits 0-6 the length (127
// means 127 plus the next byte), bit 7 UTF-16.

#include "fuzz_support.h"

#include "rules/windows1252.h"
#include "settings/inifile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <map>
#include <set>
#include <vector>

namespace {

// The modes of the first byte besides the file as given.
enum mode { near_limit = 5, no_file = 6, directory = 7 };
constexpr int max_operations = 8;
constexpr int max_operations_near_limit = 3;

const QTemporaryDir& scratch_dir() {
    // One directory for the whole process; it goes when the process ends.
    static const QTemporaryDir dir;
    if (!dir.isValid())
        fuzz::fail("cannot create a temporary directory", dir.errorString());
    return dir;
}

QByteArray file_bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void put_file(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        fuzz::fail("cannot write the settings file", f.errorString());
}

void clear(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir())
        QDir(path).removeRecursively();
    else if (info.exists())
        QFile::remove(path);
}

QString text_from(fuzz::input& in) {
    const std::uint8_t h = in.byte();
    std::size_t n = h & 0x7F;
    if (n == 0x7F)
        n += in.byte();
    return in.text(n, (h & 0x80) != 0);
}

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

QByteArray trim_blanks(QByteArray s) {
    while (!s.isEmpty() && is_blank(s.front()))
        s.remove(0, 1);
    while (!s.isEmpty() && is_blank(s.back()))
        s.chop(1);
    return s;
}

QString trim_spaces(QString s) {
    while (!s.isEmpty() && s.front() == u' ')
        s.remove(0, 1);
    while (!s.isEmpty() && s.back() == u' ')
        s.chop(1);
    return s;
}

QString before_zero(const QString& s) {
    const qsizetype z = s.indexOf(QChar(u'\0'));
    return z < 0 ? s : s.left(z);
}

// What a read of a missing key gives: the default, cut and trimmed, never
// half a surrogate pair.
QString expected_default(const QString& default_value) {
    QString t = before_zero(default_value);
    if (t.size() > settings::inifile::value_limit) {
        t.truncate(settings::inifile::value_limit);
        if (t.back().isHighSurrogate())
            t.chop(1);
    }
    return trim_spaces(t);
}

// What a read of a written value gives: the value as the file holds it (8-bit,
// up to a zero character, line breaks as "?"), trimmed, cut, trimmed again.
QString expected_read_back(const QString& value) {
    QByteArray stored = rules::to_windows1252(before_zero(value));
    stored.replace('\r', '?').replace('\n', '?');
    QString t = trim_spaces(rules::from_windows1252(stored));
    t.truncate(settings::inifile::value_limit);
    return trim_spaces(t);
}

QByteArray ascii_lower(QByteArray s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Whether a key can be written at all: it must stand before "=" on a line of
// its own and be found again there.
bool storable(const QByteArray& key) {
    if (key.isEmpty() || is_blank(key.front()) || is_blank(key.back()) || key.front() == '[' ||
        key.front() == ';')
        return false;
    for (const char c : key)
        if (c == '=' || c == '\r' || c == '\n' || c == '\0')
            return false;
    return true;
}

// Lines without their line ends: split at LF, one CR before it dropped; a
// last line without a line end counts.
std::vector<QByteArray> lines_of(const QByteArray& bytes) {
    std::vector<QByteArray> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype nl = bytes.indexOf('\n', start);
        const qsizetype stop = nl < 0 ? bytes.size() : nl;
        QByteArray line = bytes.mid(start, stop - start);
        if (line.endsWith('\r'))
            line.chop(1);
        lines.push_back(std::move(line));
        start = stop + 1;
    }
    return lines;
}

// The names in front of "=" on the file's lines, for operations that use
// keys the file already has.
std::vector<QString> names_in(const QByteArray& bytes) {
    std::vector<QString> names;
    for (const QByteArray& line : lines_of(bytes)) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            names.push_back(rules::from_windows1252(trim_blanks(line.left(eq))));
        if (names.size() >= 64)
            break;
    }
    return names;
}

void check_read_form(const QString& got, const char* what) {
    if (got.size() > settings::inifile::value_limit || got.contains(QChar(u'\0')) ||
        got.startsWith(u' ') || got.endsWith(u' '))
        fuzz::fail(what, fuzz::shown(got));
}

struct session {
    settings::inifile ini;
    QString path;
    // Lower-cased 8-bit key -> what a read must give.
    std::map<QByteArray, QString> written;
    std::set<QByteArray> attempted;
    bool usable = true; // the file is missing or readable, not too large, not a directory

    QString key_from(fuzz::input& in, bool from_file, const std::vector<QString>& names) {
        const std::uint8_t pick = from_file ? in.byte() : 0;
        if (from_file && !names.empty())
            return names[pick % names.size()];
        return text_from(in);
    }

    void read(const QString& key, const QString& default_value) {
        const QString got = ini.ini_read(key, default_value);
        check_read_form(got, "read gives a value out of form");
        const auto it = written.find(ascii_lower(rules::to_windows1252(key)));
        if (it != written.end()) {
            if (got != it->second)
                fuzz::fail("a written key does not read back",
                           QStringLiteral("key %1: read %2, written %3")
                               .arg(fuzz::shown(key), fuzz::shown(got), fuzz::shown(it->second)));
        } else if (!usable || !QFileInfo::exists(path)) {
            if (got != expected_default(default_value))
                fuzz::fail(
                    "a read without a usable file does not give the default",
                    QStringLiteral("key %1: read %2, default %3")
                        .arg(fuzz::shown(key), fuzz::shown(got), fuzz::shown(default_value)));
        }
    }

    void write(const QString& key, const QString& value) {
        const QByteArray before = file_bytes(path);
        const bool existed = QFileInfo::exists(path);
        // Whether it was saved shows in the file itself, checked below.
        static_cast<void>(ini.ini_write(key, value));
        const QByteArray after = file_bytes(path);

        const QByteArray k = rules::to_windows1252(key);
        attempted.insert(ascii_lower(k));
        if (!usable || !storable(k)) {
            if (after != before || QFileInfo::exists(path) != existed)
                fuzz::fail("a write that must not happen changed the file", fuzz::shown(key));
            return;
        }
        if (after.size() > settings::inifile::max_file_size)
            fuzz::fail("a write made the file too large to be read again");

        const QString want = expected_read_back(value);
        const QString got = ini.ini_read(key, QStringLiteral("\u2400default"));
        if (got == want) {
            written[ascii_lower(k)] = want;
            return;
        }
        // Only a file that would outgrow the limit may refuse the write.
        const qsizetype growth = before.count('\n') + k.size() + value.size() + 16;
        if (after != before || before.size() + growth <= settings::inifile::max_file_size)
            fuzz::fail("a written key does not read back",
                       QStringLiteral("key %1: read %2, written %3")
                           .arg(fuzz::shown(key), fuzz::shown(got), fuzz::shown(want)));
    }

    // Every line of the first file that no write could have replaced is still
    // there, in its order.
    void check_lines_survive(const QByteArray& original) const {
        const std::vector<QByteArray> now = lines_of(file_bytes(path));
        std::size_t j = 0;
        for (const QByteArray& line : lines_of(original)) {
            const qsizetype eq = line.indexOf('=');
            if (eq >= 0 && attempted.count(ascii_lower(trim_blanks(line.left(eq)))) > 0)
                continue;
            while (j < now.size() && now[j] != line)
                ++j;
            if (j == now.size())
                fuzz::fail("a line of the file was lost", fuzz::shown(QString::fromLatin1(line)));
            ++j;
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::input in(data, size);
    const QString dir = scratch_dir().path();

    session s;
    s.ini.set_ini_dir(dir);
    s.path = s.ini.path();
    clear(s.path);

    const int mode = in.byte() & 7;
    const std::uint16_t place = mode == near_limit ? in.u16() : 0;
    std::size_t file_size = 0;
    const std::uint8_t* file_data = in.bytes(in.u16(), &file_size);
    QByteArray original(reinterpret_cast<const char*>(file_data),
                        static_cast<qsizetype>(file_size));
    const std::vector<QString> names = names_in(original);

    if (mode == near_limit) {
        // A comment line in front brings the file to the limit plus -640..127
        // bytes, so that reads and writes meet the size limit from both sides.
        const qsizetype target = settings::inifile::max_file_size + place % 768 - 640;
        const qsizetype filler = target - original.size() - 3;
        if (filler >= 0)
            original.prepend(';' + QByteArray(filler, 'x') + "\r\n");
    }
    if (mode == no_file) {
        original.clear();
    } else if (mode == directory) {
        original.clear();
        if (!QDir(dir).mkdir(QStringLiteral("Tarnwick.INI")))
            fuzz::fail("cannot make a directory in place of the settings file");
        s.usable = false;
    } else {
        put_file(s.path, original);
        s.usable = original.size() <= settings::inifile::max_file_size;
    }

    const int operations = mode == near_limit ? max_operations_near_limit : max_operations;
    for (int op = 0; op < operations && in.remaining() > 0; ++op) {
        const std::uint8_t o = in.byte();
        const QString key = s.key_from(in, (o & 2) != 0, names);
        if (o & 1) {
            s.write(key, text_from(in));
        } else {
            s.read(key, text_from(in));
        }
    }

    for (const auto& [key, value] : s.written) {
        const QString got = s.ini.ini_read(rules::from_windows1252(key), QString());
        if (got != value)
            fuzz::fail("a written key was lost by a later write",
                       QStringLiteral("key %1: read %2, written %3")
                           .arg(fuzz::shown(rules::from_windows1252(key)), fuzz::shown(got),
                                fuzz::shown(value)));
    }
    if (s.usable && QFileInfo::exists(s.path)) {
        s.check_lines_survive(original);
        const QByteArray final_bytes = file_bytes(s.path);
        if (!s.written.empty() && !final_bytes.endsWith("\r\n"))
            fuzz::fail("the written file does not end in CR LF");
    }
    if (mode == directory && !QFileInfo(s.path).isDir())
        fuzz::fail("the directory in place of the settings file was touched");

    const QStringList left =
        QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    if (left.size() > 1 || (left.size() == 1 && left.front() != QStringLiteral("Tarnwick.INI")))
        fuzz::fail("files left behind in the settings directory", left.join(u' '));
    return 0;
}
