// The "Cells" window: a cell table of a log (analysis/cells.h) with its choices beside it.
//
// X, Y and Z are picked from every channel and math channel; the grid is the VE table's or the
// user's own breakpoints (typed, or "even steps from A to B by C"); the statistic, the weighting,
// the minimum hits, the filter, the math channels (a list of names and expressions) and the
// wideband's delay. Every change bins the kept values of the log again; while an expression does
// not compile its muParser message stands under the field and the last good table stays.
//
// The table: cells coloured around a centre (0 % or 128), value and hit count in each, empty cells
// blank; a tooltip with hits, weight, mean, min, max and stdev; a click selects the cell's samples
// (the graph marks them, the Analysis table jumps to the first). The scatter: X against Y coloured
// by Z; a rectangle dragged adds "[X] >= a && [X] <= b && [Y] >= c && [Y] <= d" to the filter.
// "Copy" (tab-separated text), "Save CSV..." and "Write BIN..." (VE grid).
#pragma once

#include <QWidget>

#include <string>
#include <vector>

#include "analysis/cells.h"
#include "analysis/cells_settings.h"
#include "app/cells_scatter.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTabWidget;
class CellsWindow;

class CellsTableView : public QWidget {
public:
    CellsTableView(CellsWindow* window, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    CellsWindow* window_;
};

class ScatterPlot : public QWidget {
public:
    ScatterPlot(CellsWindow* window, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    CellsWindow* window_;
    bool dragging_ = false;
    QPoint from_, to_;
};

class CellsWindow : public QWidget {
public:
    // `settings_path`: where the choices are kept (empty: not kept).
    CellsWindow(QWidget* owner, const std::string& settings_path);

    // Reads every channel of `path` once; 0, or -1 when it cannot be read.
    int load_log(const std::string& path);
    const std::string& log_path() const { return log_; }
    // Puts `settings` into the controls and bins again.
    void apply_settings(const CellsSettings& settings);
    CellsSettings settings() const;
    // The error of the last change ("" when the table is current), as shown.
    std::string error_text() const;
    const CellTable& table() const { return table_; }
    const CellPlan& plan() const { return plan_; }
    TablePicture& picture() { return picture_; }
    ScatterView& scatter_view() { return scatter_view_; }

    // The table as tab-separated text; the clipboard gets it from "Copy".
    std::string table_text(char separator) const;
    void copy_table();
    void save_csv();
    void write_bin();
    // A click on a table cell (r * columns + c).
    void select_cell(long cell);
    // A rectangle dragged on the scatter, in X and Y.
    void add_scatter_filter(double x0, double x1, double y0, double y1);
    void show_scatter(bool scatter);

    QComboBox* x_box() { return x_; }
    QComboBox* z_box() { return z_; }
    QLineEdit* filter_edit() { return filter_; }
    QLineEdit* x_axis_edit() { return x_axis_; }
    QTableWidget* math_table() { return math_; }
    QCheckBox* ve_grid_box() { return ve_grid_; }
    QTabWidget* views() { return views_; }
    // The window's picture at its size now.
    QImage render();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void recompute();
    void fill_channel_boxes();
    void even_steps_to(bool x);
    void update_summary();

    std::string log_, settings_path_;
    std::vector<ChannelInfo> catalogue_;
    LogValues values_;
    CellPlan plan_;
    CellTable table_;
    CellsSettings last_good_;
    TablePicture picture_;
    ScatterView scatter_view_;
    bool filling_ = false;

    QComboBox *x_, *y_, *z_, *stat_, *weighting_, *centre_;
    QCheckBox* ve_grid_;
    QLineEdit *x_axis_, *y_axis_, *step_from_, *step_to_, *step_by_, *filter_;
    QSpinBox* min_hits_;
    QDoubleSpinBox* delay_;
    QTableWidget* math_;
    QLabel *filter_error_, *math_error_, *error_, *summary_;
    QTabWidget* views_;
    CellsTableView* table_view_;
    ScatterPlot* scatter_;
    QPushButton* write_bin_;
};

// The desktop program's opener: the window (one at a time) for a log.
void attach_cells_window(const std::string& settings_path);
CellsWindow* cells_window();

// `GlanzoFlash --cells LOG [cells options] [--screenshot PNG]`: the window for LOG with the options
// given (the rest as kept), written to PNG, or shown until closed. 2 with one stderr line for a
// bad option or expression, 1 for a log that cannot be read.
int run_cells_command(const std::vector<std::string>& args, const std::string& png, const std::string& settings_path);
