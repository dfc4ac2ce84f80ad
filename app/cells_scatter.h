// Pictures of a cell table: the coloured table (value and hit count in each cell, on a diverging
// scale around a chosen centre) and the scatter of its kept samples (X against Y, coloured by Z).
#pragma once

#include <QColor>
#include <QPainter>
#include <QRect>

#include <string>

#include "analysis/cells.h"

// ---- The table --------------------------------------------------------------------------------

// Pixel metrics: the y breakpoints left of the cells, the x breakpoints above them.
constexpr int CELLS_LABEL_WIDTH = 52;
constexpr int CELLS_LABEL_HEIGHT = 20;

struct TablePicture {
    CellStat stat = CellStat::Mean;
    long min_hits = 1;
    double centre = 0;         // white on the scale
    long hover = -1;           // cell under the pointer (r * columns + c), or -1
    long selected = -1;        // clicked cell, or -1
};

// The cell at `point` in a table painted into `area`, as r * columns + c, or -1.
long table_cell_at(const CellTable& table, const QRect& area, QPoint point);
void paint_cells_table(QPainter& p, const CellTable& table, const TablePicture& picture, const QRect& area);

// ---- The scatter ------------------------------------------------------------------------------

constexpr int SCATTER_LEFT = 64, SCATTER_RIGHT = 12, SCATTER_TOP = 12, SCATTER_BOTTOM = 34;

struct ScatterView {
    double x0 = 0, x1 = 1, y0 = 0, y1 = 1;   // the plot's edges in X and Y
    double centre = 0, span = 1;              // Z: white at the centre, full colour at centre +- span
};

// Edges around every kept sample (a little beyond), the colour scale around `centre`.
ScatterView scatter_fit(const CellTable& table, double centre = 0);
// The plot's rectangle inside `area`.
QRect scatter_plot_area(const QRect& area);
// X and Y at a point of the plot.
QPointF scatter_value_at(const ScatterView& view, const QRect& area, QPoint point);
void paint_scatter(QPainter& p, const CellTable& table, const ScatterView& view, const QRect& area,
                   const std::string& x_name, const std::string& y_name);

// Blue below the centre, white at it, red above, full at +- span.
QColor diverging_colour(double v, double centre, double span);
// A value as the table and the tooltips show it: up to four significant digits.
QString cell_number_text(double v);
