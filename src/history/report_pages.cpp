// The report laid out on pages: measured first, so that every page can
// say how many there are, then painted.

#include "history/report.h"
#include "history/report_chart.h"

#include <QFontDatabase>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QTextOption>
#include <functional>

namespace history {

namespace {

QFont font_of(double points, bool bold = false) {
    QFont f(QStringLiteral("Liberation Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

class page_layout {
public:
    page_layout(QPainter& painter, QPagedPaintDevice& device, report& r)
        : p_(painter)
        , device_(device)
        , r_(r)
        , pt_(device.logicalDpiY() / 72.0)
        , width_(device.width())
        , footer_font_(font_of(7.5)) {
        height_ = device.height() - 2.5 * line(footer_font_);
        pages_.emplace_back();
    }

    void place(const chart::report_block& b) {
        switch (b.what) {
        case chart::report_block::kind::title:
            text(b.text, font_of(16, true), 0, 8);
            break;
        case chart::report_block::kind::heading:
            // With the start of what follows it.
            need(line(font_of(11, true)) * 1.8 + 4 * line(font_of(8)));
            text(b.text, font_of(11, true), y_ > 0 ? 10 : 0, 4);
            break;
        case chart::report_block::kind::note:
            text(b.text, font_of(8.5), 0, 4);
            break;
        case chart::report_block::kind::fields:
            fields(b.fields);
            break;
        case chart::report_block::kind::table:
            table(b.table);
            break;
        case chart::report_block::kind::chart:
            chart();
            break;
        }
    }

    // Every page, each with its foot.
    bool paint() {
        const QString count = QString::number(pages_.size());
        for (std::size_t i = 0; i < pages_.size(); ++i) {
            if (i > 0 && !device_.newPage())
                return false;
            for (const auto& draw : pages_[i])
                draw();
            foot(QStringLiteral("page %1 of %2").arg(i + 1).arg(count));
        }
        return true;
    }

private:
    double line(const QFont& f) const { return QFontMetricsF(f, &device_).height(); }

    void new_page() {
        pages_.emplace_back();
        y_ = 0;
    }

    // Room for `height` on this page, else the next.
    void need(double height) {
        if (y_ > 0 && y_ + height > height_)
            new_page();
    }

    void later(std::function<void()> draw) { pages_.back().push_back(std::move(draw)); }

    // Wrapped at words, and inside a word too long for a line (a path, a hash).
    QRectF measure(const QString& s, const QFont& f, double width) {
        p_.setFont(f);
        QTextOption o;
        o.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        return p_.boundingRect(QRectF(0, 0, width, 1e9), s, o);
    }

    void draw_text(const QRectF& box, const QString& s, const QFont& f, Qt::Alignment align,
                   const QColor& colour = Qt::black) {
        later([this, box, s, f, align, colour] {
            p_.setFont(f);
            p_.setPen(colour);
            QTextOption o(align);
            o.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
            p_.drawText(box, s, o);
        });
    }

    // One line, no wrapping: the cells of a year's tables are thousands.
    void draw_cell(const QRectF& box, const QString& s, const QFont& f, Qt::Alignment align) {
        later([this, box, s, f, align] {
            p_.setFont(f);
            p_.setPen(Qt::black);
            p_.drawText(box, int(align) | Qt::TextSingleLine, s);
        });
    }

    void text(const QString& s, const QFont& f, double before, double after) {
        const double h = measure(s, f, width_).height();
        need(before * pt_ + h);
        if (y_ > 0)
            y_ += before * pt_;
        draw_text(QRectF(0, y_, width_, h), s, f, Qt::AlignLeft | Qt::AlignTop);
        y_ += h + after * pt_;
    }

    void fields(const std::vector<std::pair<QString, QString>>& rows) {
        const QFont label_font = font_of(8.5, true);
        const QFont value_font = font_of(8.5);
        p_.setFont(label_font);
        double label_width = 0;
        for (const auto& row : rows)
            label_width = std::max(label_width, measure(row.first, label_font, width_).width());
        label_width += 8 * pt_;
        for (const auto& [label, value] : rows) {
            const double h = measure(value, value_font, width_ - label_width).height();
            need(h);
            draw_text(QRectF(0, y_, label_width, h), label, label_font, Qt::AlignLeft);
            draw_text(QRectF(label_width, y_, width_ - label_width, h), value, value_font,
                      Qt::AlignLeft);
            y_ += h + 1.5 * pt_;
        }
        y_ += 3 * pt_;
    }

    void table(const chart::report_table& t) {
        const QFont body = font_of(8);
        const QFont bold = font_of(8, true);
        const double row = line(body) * 1.3;
        double total = 0;
        for (int w : t.widths)
            total += w;
        std::vector<QRectF> cells; // x and width of each column
        double x = 0;
        for (int w : t.widths) {
            cells.emplace_back(x, 0, width_ * w / total, row);
            x += cells.back().width();
        }
        const auto draw_row = [&](const QStringList& texts, const QFont& f, bool shaded) {
            const double y = y_;
            if (shaded)
                later([this, y, row] {
                    p_.fillRect(QRectF(0, y, width_, row), QColor(0xF0, 0xF0, 0xF0));
                });
            for (qsizetype c = 0; c < texts.size() && c < qsizetype(cells.size()); ++c) {
                const QRectF box =
                    cells[std::size_t(c)].translated(0, y).adjusted(3 * pt_, 0, -3 * pt_, 0);
                draw_cell(box, texts[c], f,
                          (c < t.text_columns ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
            }
            y_ += row;
        };
        const auto header = [&] {
            draw_row(t.header, bold, false);
            const double y = y_;
            later([this, y] {
                p_.setPen(QPen(Qt::black, 0.5 * pt_));
                p_.drawLine(QPointF(0, y), QPointF(width_, y));
            });
        };
        need(row * 3);
        header();
        for (std::size_t i = 0; i < t.rows.size(); ++i) {
            if (y_ + row > height_) {
                // A page read alone still says what the table is.
                new_page();
                if (!t.caption.isEmpty())
                    text(t.caption + QStringLiteral(" (continued)"), font_of(9, true), 0, 3);
                header();
            }
            draw_row(t.rows[i], body, i % 2 == 1);
        }
        y_ += 6 * pt_;
    }

    void chart() {
        const double h = width_ * 0.45;
        need(h);
        const QRectF box(0, y_, width_, h);
        later([this, box] { draw_report_chart(p_, box, r_, pt_); });
        y_ += h + 6 * pt_;
    }

    void foot(const QString& page) {
        const double y = device_.height() - line(footer_font_);
        p_.setPen(QPen(QColor(0x80, 0x80, 0x80), 0.4 * pt_));
        p_.drawLine(QPointF(0, y - 2 * pt_), QPointF(width_, y - 2 * pt_));
        p_.setFont(footer_font_);
        p_.setPen(QColor(0x40, 0x40, 0x40));
        const QRectF box(0, y, width_, line(footer_font_));
        p_.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, r_.content.footer);
        p_.drawText(box, Qt::AlignRight | Qt::AlignVCenter, page);
    }

    QPainter& p_;
    QPagedPaintDevice& device_;
    report& r_;
    double pt_;
    double width_;
    double height_ = 0;
    double y_ = 0;
    QFont footer_font_;
    std::vector<std::vector<std::function<void()>>> pages_;
};

} // namespace

bool paint_report(report& r, QPagedPaintDevice& device) {
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    page_layout layout(painter, device, r);
    for (const chart::report_block& b : r.content.blocks)
        layout.place(b);
    const bool painted = layout.paint();
    return painter.end() && painted;
}

} // namespace history
