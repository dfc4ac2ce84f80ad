// The "1/4 Mile Graph" window: a top-level window owned by the main window that shows the graph
// the core draws (analysis/qmile_graph.h) on its own canvas, with its own scroll bar, and hands
// its mouse, keys and wheel to the core. The Analysis page attaches it while it is shown.
#pragma once

#include <QWidget>

#include <memory>

#include "app/qmile_runs_panel.h"
#include "ui/qt_canvas.h"
#include "ui/qt_controls.h"

class QmileGraphWindow : public QWidget {
public:
    explicit QmileGraphWindow(QWidget* owner);

    QtCanvas& canvas() { return canvas_; }
    QtControls& controls() { return *controls_; }
    QmileRunsPanel* runs() { return runs_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QtCanvas canvas_;
    std::unique_ptr<QtControls> controls_;
    QmileRunsPanel* runs_;
};

// The window as the graph's host, while the Analysis page is shown.
void attach_qmile_graph_window();
void detach_qmile_graph_window();
// The window while it exists (tests look at it), or nullptr.
QmileGraphWindow* qmile_graph_window();
