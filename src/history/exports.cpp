#include "history/exports.h"

#include "rules/history_csv.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QPainter>
#include <QPixmap>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QWidget>

namespace history {

namespace {

QString commit(QSaveFile& file) {
    if (!file.commit())
        return file.errorString();
    return {};
}

} // namespace

QString save_image(QWidget& chart, const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (QFileInfo(path).suffix().compare(QLatin1StringView("svg"), Qt::CaseInsensitive) == 0) {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(chart.size());
        svg.setViewBox(QRect(QPoint(0, 0), chart.size()));
        svg.setTitle(QStringLiteral("KESTROVA History"));
        QPainter painter(&svg);
        chart.render(&painter);
        painter.end();
    } else {
        QImageWriter writer(&file, "png");
        if (!writer.write(chart.grab().toImage())) {
            file.cancelWriting();
            return writer.errorString();
        }
    }
    return commit(file);
}

QString export_csv(const point_series& series, std::span<const index_range> ranges,
                   const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    local_clock clock;
    QByteArray out(csv_header);
    const auto& pts = series.points();
    for (const index_range& r : ranges) {
        for (std::size_t i = r.begin; i < r.end; ++i) {
            append_csv_line(out, pts[i], clock.offset_at_utc(pts[i].time));
            if (out.size() > (1 << 20)) {
                if (file.write(out) != out.size()) {
                    file.cancelWriting();
                    return file.errorString();
                }
                out.clear();
            }
        }
    }
    if (file.write(out) != out.size()) {
        file.cancelWriting();
        return file.errorString();
    }
    return commit(file);
}

} // namespace history
