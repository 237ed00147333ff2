#include "history/exports.h"

#include "chart/history_csv.h"
#include "chart/history_view.h"
#include "rules/text.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageWriter>
#include <QPainter>
#include <QPixmap>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QWidget>
#include <cerrno>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace history {

namespace {

// A file written beside its final place and renamed over it only once all
// of it is on the disk. Unbuffered, because QSaveFile (Qt 6.4) renames even
// after the flush of its buffer failed; a file that is dropped (not
// committed) is removed, and the old one stays as it was.
class replacing_file {
public:
    explicit replacing_file(const QString& path)
        : file_(path) {}

    // Each fails with the system's reason.
    rules::result open() {
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return rules::result::failure(file_.errorString());
        return {};
    }

    rules::result write(const QByteArray& bytes) {
        // A write that the file system cuts short sets no error on the
        // file, only errno.
        errno = 0;
        if (file_.write(bytes) == bytes.size())
            return {};
        return rules::result::failure(file_.error() != QFileDevice::NoError
                                          ? file_.errorString()
                                          : rules::system_reason(errno));
    }

    rules::result commit() {
#ifdef Q_OS_UNIX
        // Space the file system only finds missing at write-back time is
        // reported here, before the old file is given up.
        if (::fsync(file_.handle()) != 0)
            return rules::result::failure(rules::system_reason(errno));
#endif
        if (!file_.commit())
            return rules::result::failure(file_.errorString());
        return {};
    }

private:
    QSaveFile file_;
};

} // namespace

rules::result replace_file(const QString& path, const QByteArray& bytes) {
    replacing_file file(path);
    rules::result done = file.open();
    if (done)
        done = file.write(bytes);
    if (done)
        done = file.commit();
    return done;
}

rules::result save_image(QWidget& chart, const QString& path) {
    // Pictures are small; made in memory, a failed write cannot leave half
    // of one behind, and a writer that does not report its device's
    // errors (the SVG one) cannot hide them.
    QBuffer image;
    image.open(QIODevice::WriteOnly);
    if (QFileInfo(path).suffix().compare(QLatin1StringView("svg"), Qt::CaseInsensitive) == 0) {
        QSvgGenerator svg;
        svg.setOutputDevice(&image);
        svg.setSize(chart.size());
        svg.setViewBox(QRect(QPoint(0, 0), chart.size()));
        svg.setTitle(QStringLiteral("KESTROVA History"));
        QPainter painter(&svg);
        chart.render(&painter);
        painter.end();
    } else {
        QImageWriter writer(&image, "png");
        if (!writer.write(chart.grab().toImage()))
            return rules::result::failure(writer.errorString());
    }
    return replace_file(path, image.data());
}

rules::result export_csv(const chart::log_index& log, double from, double to, const QString& path) {
    replacing_file file(path);
    if (rules::result opened = file.open(); !opened)
        return opened;
    chart::local_clock clock;
    QByteArray out(chart::csv_header);
    rules::result written;
    const bool read =
        chart::for_each_between(log, from, to, [&](std::span<const chart::log_point> points) {
            for (const chart::log_point& p : points)
                chart::append_csv_line(out, p, clock.offset_at_utc(p.time));
            if (out.size() > (1 << 20)) {
                written = file.write(out);
                out.clear();
            }
            return written.ok();
        });
    if (!written)
        return written;
    if (!read)
        return rules::result::failure(
            QStringLiteral("The log changed while it was read; try again."));
    if (written = file.write(out); !written)
        return written;
    return file.commit();
}

} // namespace history
