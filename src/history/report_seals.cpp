#include "history/report_seals.h"

#include "chart/log_search.h"
#include "history/log_file.h"
#include "history/sha256_stream.h"

#include <algorithm>
#include <vector>

namespace history {

namespace {

constexpr qint64 piece = qint64(1) << 20;

std::int64_t local_midnight(QDate date) {
    return chart::days_from_civil(date.year(), date.month(), date.day()) * 86400;
}

// The hash of [begin, end) of the log; empty when it comes up short.
QByteArray hash_of(const log_file& log, qint64 begin, qint64 end) {
    sha256_stream hash;
    std::vector<char> buffer(std::size_t(std::min(piece, std::max<qint64>(end - begin, 1))));
    for (qint64 at = begin; at < end;) {
        const qint64 want = std::min<qint64>(qint64(buffer.size()), end - at);
        if (log.read_at(at, buffer.data(), want) != want)
            return {};
        hash.add(QByteArrayView(buffer.data(), want));
        at += want;
    }
    return hash.hex();
}

// Whether the sealed bytes are where the seal says, whole lines of that
// day with none of it just after them, and hash as they did: the log as it
// was, read once. Anything else is looked for by time.
bool still_in_place(const log_file& log, qint64 size, const chart::day_seal& seal) {
    if (seal.first_byte < 0 || seal.end_byte <= seal.first_byte || seal.end_byte > size)
        return false;
    char before = '\n';
    if (seal.first_byte > 0 && log.read_at(seal.first_byte - 1, &before, 1) != 1)
        return false;
    const QByteArray prefix = seal.date.toString(QStringLiteral("MM-dd-yyyy")).toLatin1() + '\t';
    QByteArray after(prefix.size(), '\0');
    const qint64 got = log.read_at(seal.end_byte, after.data(), after.size());
    if (before != '\n' || (got == after.size() && after == prefix))
        return false;
    return hash_of(log, seal.first_byte, seal.end_byte) == seal.sha256;
}

QString check_day(const log_file& log, qint64 size, const chart::day_seal& seal) {
    const QString lines =
        QStringLiteral("lines %1\u2013%2").arg(seal.first_line).arg(seal.last_line);
    if (still_in_place(log, size, seal))
        return QStringLiteral("sealed, matches (%1)").arg(lines);
    QString changed = QStringLiteral("changed since it was sealed (%1)").arg(lines);
    const std::int64_t from = local_midnight(seal.date);
    const auto located = chart::locate_lines(log, size, from, from + 86400);
    if (!located)
        return QStringLiteral("sealed; the log could not be read to check it");
    const chart::line_span& now = located->span;
    const qint64 sealed = seal.end_byte - seal.first_byte;
    if (now.empty() || sealed <= 0 || now.end - now.begin < sealed)
        return changed;
    // Lines written after the seal (a stop, then a start the same day) are
    // not sealed yet; the sealed ones are checked.
    if (hash_of(log, now.begin, now.begin + sealed) != seal.sha256)
        return changed;
    if (now.end - now.begin > sealed)
        return QStringLiteral("sealed, matches (%1); the day's later lines are not sealed")
            .arg(lines);
    return QStringLiteral("sealed, matches (%1)").arg(lines);
}

} // namespace

std::vector<QString> check_seals(const log_file& log, qint64 size,
                                 const chart::report_period& period,
                                 const std::vector<chart::day_seal>& seals) {
    std::vector<QString> out;
    out.reserve(period.days.size());
    for (const chart::report_day& day : period.days) {
        const auto seal =
            std::lower_bound(seals.begin(), seals.end(), day.date,
                             [](const chart::day_seal& s, QDate d) { return s.date < d; });
        out.push_back(seal == seals.end() || seal->date != day.date ? QStringLiteral("not sealed")
                                                                    : check_day(log, size, *seal));
    }
    return out;
}

} // namespace history
