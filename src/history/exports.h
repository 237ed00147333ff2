#pragma once

#include "rules/result.h"

#include "chart/history_index.h"

#include <QString>

class QWidget;

// Writing what the chart shows to files the user chose. Each returns an
// empty text on success, else why the file could not be written; a file
// that fails is never left half written.
namespace history {

// `bytes` as the whole file at `path`.
rules::result replace_file(const QString& path, const QByteArray& bytes);

// PNG, or SVG when the path ends in ".svg".
rules::result save_image(QWidget& chart, const QString& path);

// The lines of the log from `from` to `to` (UTC seconds) as CSV (see
// chart/history_csv.h), in the order of the log.
rules::result export_csv(const chart::log_index& log, double from, double to, const QString& path);

} // namespace history
