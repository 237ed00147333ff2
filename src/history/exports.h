#pragma once

#include "rules/history_series.h"

#include <QString>
#include <span>

class QWidget;

// Writing what the chart shows to files the user chose. Each returns an
// empty text on success, else why the file could not be written; a file
// that fails is never left half written.
namespace history {

// `bytes` as the whole file at `path`.
QString replace_file(const QString& path, const QByteArray& bytes);

// PNG, or SVG when the path ends in ".svg".
QString save_image(QWidget& chart, const QString& path);

// The points of `ranges` as CSV (see rules/history_csv.h), in log order.
QString export_csv(const point_series& series, std::span<const index_range> ranges,
                   const QString& path);

} // namespace history
