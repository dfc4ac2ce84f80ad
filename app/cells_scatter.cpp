#include "app/cells_scatter.h"

#include <QImage>

#include <algorithm>
#include <cmath>

namespace {

const QColor BACKGROUND(16, 18, 22), EMPTY_CELL(34, 37, 44), GRID(52, 56, 66), TEXT(200, 204, 212),
    DARK_TEXT(20, 20, 20), HOVER(255, 255, 255), SELECTED(220, 90, 200);

QFont small_font(int pixels)
{
    QFont f("Liberation Sans");
    f.setPixelSize(pixels);
    return f;
}

// Rounded tick steps (1, 2 or 5 x 10^n) giving about `count` ticks over [lo, hi].
double tick_step(double lo, double hi, int count)
{
    double raw = (hi - lo) / std::max(count, 1);
    if (!(raw > 0))
        return 1;
    double p = std::pow(10.0, std::floor(std::log10(raw)));
    double f = raw / p;
    return (f < 1.5 ? 1 : f < 3.5 ? 2 : f < 7.5 ? 5 : 10) * p;
}

struct CellGeometry {
    double left, top, w, h;
};

CellGeometry geometry(const CellTable& t, const QRect& area)
{
    double w = (area.width() - CELLS_LABEL_WIDTH) / static_cast<double>(std::max<size_t>(t.columns(), 1));
    double h = (area.height() - CELLS_LABEL_HEIGHT) / static_cast<double>(std::max<size_t>(t.rows(), 1));
    return {static_cast<double>(area.left() + CELLS_LABEL_WIDTH), static_cast<double>(area.top() + CELLS_LABEL_HEIGHT), w, h};
}

}  // namespace

QColor diverging_colour(double v, double centre, double span)
{
    double t = span > 0 ? (v - centre) / span : 0;
    t = std::clamp(t, -1.0, 1.0);
    auto mix = [](int a, int b, double f) { return static_cast<int>(a + (b - a) * f + 0.5); };
    if (t >= 0)
        return QColor(mix(245, 215, t), mix(245, 48, t), mix(245, 39, t));
    return QColor(mix(245, 49, -t), mix(245, 104, -t), mix(245, 200, -t));
}

QString cell_number_text(double v)
{
    if (!std::isfinite(v))
        return QString();
    double a = std::fabs(v);
    int decimals = a >= 1000 ? 0 : a >= 100 ? 1 : a >= 10 ? 1 : 2;
    return QString::number(v, 'f', decimals);
}

long table_cell_at(const CellTable& t, const QRect& area, QPoint point)
{
    CellGeometry g = geometry(t, area);
    double c = (point.x() - g.left) / g.w, r = (point.y() - g.top) / g.h;
    if (c < 0 || r < 0 || c >= static_cast<double>(t.columns()) || r >= static_cast<double>(t.rows()))
        return -1;
    return static_cast<long>(r) * static_cast<long>(t.columns()) + static_cast<long>(c);
}

void paint_cells_table(QPainter& p, const CellTable& t, const TablePicture& picture, const QRect& area)
{
    p.fillRect(area, BACKGROUND);
    if (t.columns() == 0 || t.rows() == 0)
        return;
    CellGeometry g = geometry(t, area);
    // The scale reaches the value furthest from the centre; counts and spreads start at zero.
    bool spread = picture.stat == CellStat::Count || picture.stat == CellStat::Stdev;
    double centre = spread ? 0 : picture.centre, span = 0;
    std::vector<double> values(t.cells.size());
    for (size_t i = 0; i < t.cells.size(); ++i) {
        values[i] = cell_value(t.cells[i], picture.stat, picture.min_hits);
        if (std::isfinite(values[i]))
            span = std::max(span, std::fabs(values[i] - centre));
    }
    const QFont value_font = small_font(std::clamp(static_cast<int>(g.h * 0.55), 8, 14));
    const QFont hits_font = small_font(std::clamp(static_cast<int>(g.h * 0.35), 6, 10));
    const QFont label_font = small_font(11);
    p.setFont(label_font);
    p.setPen(TEXT);
    for (size_t c = 0; c < t.columns(); ++c)
        p.drawText(QRectF(g.left + g.w * static_cast<double>(c), area.top(), g.w, CELLS_LABEL_HEIGHT), Qt::AlignCenter,
                   QString::number(t.x_axis[c], 'g', 6));
    for (size_t r = 0; r < t.rows(); ++r)
        p.drawText(QRectF(area.left(), g.top + g.h * static_cast<double>(r), CELLS_LABEL_WIDTH - 4, g.h),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(t.y_axis[r], 'g', 6));
    for (size_t r = 0; r < t.rows(); ++r) {
        for (size_t c = 0; c < t.columns(); ++c) {
            size_t i = r * t.columns() + c;
            QRectF cell(g.left + g.w * static_cast<double>(c), g.top + g.h * static_cast<double>(r), g.w, g.h);
            bool has = std::isfinite(values[i]);
            p.fillRect(cell, has ? (spread ? diverging_colour(values[i], 0, span) : diverging_colour(values[i], centre, span))
                                 : EMPTY_CELL);
            if (has) {
                p.setPen(DARK_TEXT);
                p.setFont(value_font);
                p.drawText(cell.adjusted(1, 0, -1, -g.h * 0.25), Qt::AlignCenter, cell_number_text(values[i]));
                p.setFont(hits_font);
                p.setPen(QColor(0, 0, 0, 150));
                p.drawText(cell.adjusted(1, 0, -2, 0), Qt::AlignRight | Qt::AlignBottom, QString::number(t.cells[i].hits));
            }
        }
    }
    p.setPen(QPen(GRID, 1));
    for (size_t c = 0; c <= t.columns(); ++c)
        p.drawLine(QPointF(g.left + g.w * static_cast<double>(c), g.top),
                   QPointF(g.left + g.w * static_cast<double>(c), g.top + g.h * static_cast<double>(t.rows())));
    for (size_t r = 0; r <= t.rows(); ++r)
        p.drawLine(QPointF(g.left, g.top + g.h * static_cast<double>(r)),
                   QPointF(g.left + g.w * static_cast<double>(t.columns()), g.top + g.h * static_cast<double>(r)));
    auto outline = [&](long i, const QColor& colour) {
        if (i < 0 || i >= static_cast<long>(t.cells.size()))
            return;
        size_t r = static_cast<size_t>(i) / t.columns(), c = static_cast<size_t>(i) % t.columns();
        p.setPen(QPen(colour, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(g.left + g.w * static_cast<double>(c), g.top + g.h * static_cast<double>(r), g.w, g.h).adjusted(1, 1, -1, -1));
    };
    outline(picture.hover, HOVER);
    outline(picture.selected, SELECTED);
}

// ---- The scatter ------------------------------------------------------------------------------

ScatterView scatter_fit(const CellTable& t, double centre)
{
    ScatterView v;
    v.centre = centre;
    if (t.kept_x.empty())
        return v;
    auto [x0, x1] = std::minmax_element(t.kept_x.begin(), t.kept_x.end());
    auto [y0, y1] = std::minmax_element(t.kept_y.begin(), t.kept_y.end());
    double span = 0;
    for (double z : t.kept_z)
        span = std::max(span, std::fabs(z - centre));
    auto widen = [](double lo, double hi, double& a, double& b) {
        double m = hi > lo ? (hi - lo) * 0.03 : std::max(std::fabs(lo) * 0.05, 1.0);
        a = lo - m;
        b = hi + m;
    };
    widen(*x0, *x1, v.x0, v.x1);
    widen(*y0, *y1, v.y0, v.y1);
    v.span = span > 0 ? span : 1;
    return v;
}

QRect scatter_plot_area(const QRect& area)
{
    return area.adjusted(SCATTER_LEFT, SCATTER_TOP, -SCATTER_RIGHT, -SCATTER_BOTTOM);
}

QPointF scatter_value_at(const ScatterView& v, const QRect& area, QPoint point)
{
    QRect plot = scatter_plot_area(area);
    double fx = (point.x() - plot.left()) / static_cast<double>(std::max(plot.width(), 1));
    double fy = (plot.bottom() - point.y()) / static_cast<double>(std::max(plot.height(), 1));
    return QPointF(v.x0 + fx * (v.x1 - v.x0), v.y0 + fy * (v.y1 - v.y0));
}

void paint_scatter(QPainter& p, const CellTable& t, const ScatterView& v, const QRect& area, const std::string& x_name,
                   const std::string& y_name)
{
    p.fillRect(area, BACKGROUND);
    QRect plot = scatter_plot_area(area);
    if (plot.width() < 4 || plot.height() < 4)
        return;
    p.fillRect(plot, QColor(26, 29, 35));
    p.setFont(small_font(11));
    // Grid and labels.
    double sx = tick_step(v.x0, v.x1, 8), sy = tick_step(v.y0, v.y1, 6);
    const double px = plot.width() / (v.x1 - v.x0), py = plot.height() / (v.y1 - v.y0);
    for (double x = std::ceil(v.x0 / sx) * sx; x <= v.x1; x += sx) {
        int col = plot.left() + static_cast<int>((x - v.x0) * px);
        p.setPen(GRID);
        p.drawLine(col, plot.top(), col, plot.bottom());
        p.setPen(TEXT);
        p.drawText(QRect(col - 40, plot.bottom() + 2, 80, 14), Qt::AlignCenter, QString::number(x, 'g', 6));
    }
    for (double y = std::ceil(v.y0 / sy) * sy; y <= v.y1; y += sy) {
        int row = plot.bottom() - static_cast<int>((y - v.y0) * py);
        p.setPen(GRID);
        p.drawLine(plot.left(), row, plot.right(), row);
        p.setPen(TEXT);
        p.drawText(QRect(area.left(), row - 7, SCATTER_LEFT - 4, 14), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(y, 'g', 6));
    }
    p.setPen(TEXT);
    p.drawText(QRect(plot.left(), plot.bottom() + 17, plot.width(), 14), Qt::AlignCenter, QString::fromLatin1(x_name.c_str()));
    p.save();
    p.translate(area.left() + 10, plot.center().y());
    p.rotate(-90);
    p.drawText(QRect(-plot.height() / 2, -8, plot.height(), 14), Qt::AlignCenter, QString::fromLatin1(y_name.c_str()));
    p.restore();

    // The points: 2 x 2 pixels each, written straight into an image of the plot; the colours from a
    // table of 256 steps across the scale.
    QImage dots(plot.size(), QImage::Format_ARGB32_Premultiplied);
    dots.fill(Qt::transparent);
    QRgb lut[256];
    for (int i = 0; i < 256; ++i)
        lut[i] = diverging_colour(v.centre + v.span * (i - 127.5) / 127.5, v.centre, v.span).rgb();
    const int w = dots.width(), h = dots.height();
    uchar* bits = dots.bits();
    const qsizetype stride = dots.bytesPerLine();
    const double zscale = 127.5 / v.span;
    for (size_t k = 0; k < t.kept_x.size(); ++k) {
        int col = static_cast<int>((t.kept_x[k] - v.x0) * px);
        int row = h - 1 - static_cast<int>((t.kept_y[k] - v.y0) * py);
        if (col < 0 || row < 0 || col >= w || row >= h)
            continue;
        int zi = static_cast<int>(std::clamp((t.kept_z[k] - v.centre) * zscale + 127.5, 0.0, 255.0));
        QRgb c = lut[zi];
        for (int dy = 0; dy < 2 && row + dy < h; ++dy) {
            auto* line = reinterpret_cast<QRgb*>(bits + (row + dy) * stride);
            line[col] = c;
            if (col + 1 < w)
                line[col + 1] = c;
        }
    }
    p.drawImage(plot.topLeft(), dots);
}
