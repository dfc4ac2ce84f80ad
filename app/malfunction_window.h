// The malfunction codes tool window: a small floating window beside the main window that shows
// the boxes the core draws (src/displays/malfunction.h) into a canvas of its own.
//
// Everything here runs on the window thread. The display thread draws into the canvas while the
// window is open; the canvas is detached (waiting for such a frame) before the window goes.
#pragma once

#include <QWidget>

#include "ui/qt_canvas.h"

class MalfunctionWindow : public QWidget {
public:
    explicit MalfunctionWindow(QWidget* main);
    ~MalfunctionWindow() override;

    // Takes the window down; `by_user` when the user closed it (Enter, Escape, the close box).
    void take_down(bool by_user);
    // Shows what the canvas got since the last time.
    void show_drawn();
    QtCanvas& canvas() { return canvas_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void leaveEvent(QEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void closeEvent(QCloseEvent*) override;
    void moveEvent(QMoveEvent*) override;
    bool focusNextPrevChild(bool) override { return false; }   // TAB goes on to the main window

private:
    QtCanvas canvas_;
    bool down_ = false;
};

// The ToolWindow operations of the main window's table.
bool malfunction_window_is_open();
void open_malfunction_window();
void close_malfunction_window();   // a display switch takes it down; it is still remembered as open
void focus_malfunction_window();
// The open window, or nullptr.
MalfunctionWindow* malfunction_window();
