// The "Log Graph" window: the channel list (tick up to eight, each with its lane), "Fit All" and
// "Save PNG...", and the plot, which paints the scene the core computes (analysis/graph.h) and
// hands its mouse, wheel and keys back to the core.
//
// The plot: the wheel zooms about the pointer, a drag pans, a drag with Shift (or the right
// button) zooms to the span dragged out, a click selects the row under it in the Analysis table,
// a double-click or F fits the whole log; Left and Right pan, + and - zoom.
#pragma once

#include <QImage>
#include <QWidget>

#include <string>
#include <vector>

class GraphComparePanel;
class QListWidget;
class QSpinBox;
class QPainter;
struct GraphScene;
struct GraphPick;

class GraphPlot : public QWidget {
public:
    explicit GraphPlot(QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;
};

class GraphWindow : public QWidget {
public:
    explicit GraphWindow(QWidget* owner);

    GraphPlot* plot() { return plot_; }
    QListWidget* channel_list() { return list_; }
    QSpinBox* lane_box() { return lane_; }
    GraphComparePanel* compare_panel() { return compare_; }
    // The list filled again from the catalogue and the picks.
    void refill();
    // "Save PNG...": the plot as it is shown, to a file the user names.
    void save_png();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void picks_from_list();
    void set_picks(const std::vector<GraphPick>& picks);
    void lane_changed(int lane);
    void current_changed();

    QListWidget* list_;
    QSpinBox* lane_;
    GraphPlot* plot_;
    GraphComparePanel* compare_;
    bool filling_ = false;    // the list is being filled: its signals are not the user's
    bool changing_ = false;   // the user's change is being applied
};

// Paints `scene` (fonts and pens of the plot).
void paint_graph_scene(QPainter& p, const GraphScene& scene);
// The graph as it stands, fit-all or not, drawn at width x height.
QImage render_graph(int width, int height);

// The window as the graph's host; attached for the program's life.
void attach_graph_window();
void detach_graph_window();
// The window while it exists (tests look at it), or nullptr.
GraphWindow* graph_window();

// `GlanzoFlash --graph LOG [--channels NAMES] [--compare LOG2 [--align HOW]] [--screenshot PNG]`:
// the graph of LOG (fit-all) with the channels named (comma-separated; else those kept, or the
// defaults), LOG2 drawn over it when given, written to PNG, or shown in its window until it is
// closed. The exit code; errors go to stderr.
int run_graph_command(const std::string& log, const std::string& channels, const std::string& png,
                      const std::string& compare = {}, const std::string& align = {});
