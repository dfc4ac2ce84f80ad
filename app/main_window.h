// The main window of GlanzoFlash: the menu, the keys, the one-second timer, the display switch
// and the shutdown. The displays draw into the canvas; this window shows it.
//
// Threading: the window thread runs everything here. The display thread draws into the canvas
// between the window's paints and reads `active_display` and `display_hold`, which only
// switch_display writes. Hooks that the link and display threads call (port indicator, logging
// state) carry their work over to the window thread when it touches menus.
#pragma once

#include <QMainWindow>
#include <QTimer>

#include <array>
#include <map>
#include <memory>
#include <string>

#include "app/bank_select_window.h"
#include "app/display_table.h"
#include "app/malfunction_window.h"
#include "ui/qt_canvas.h"
#include "ui/qt_controls.h"
#include "ui/qt_ui.h"

class QAction;
class QMenu;

// The 800 x 600 client area: shows the canvas and takes the keys.
class CanvasView : public QWidget {
public:
    CanvasView(QtCanvas& canvas, QWidget* parent);

protected:
    // On a display with input of its own (display_input), its keys, wheel and left button go there.
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    bool focusNextPrevChild(bool) override { return false; }   // TAB is a logging key

private:
    QtCanvas& canvas_;
};

class MainWindow : public QMainWindow {
public:
    // `install_ui`: whether the window's message boxes and file dialogs serve the core (tests
    // install scripted ones instead).
    explicit MainWindow(bool install_ui = true);
    ~MainWindow() override;

    // Start-up after the window exists: timer, threads, first display switch. 0, or -1 when a
    // thread could not be started (the message has been shown).
    int start();

    // A menu or accelerator command.
    void command(int id);
    void switch_display(int command);
    // Repaints the whole client area into the canvas, as the window's paint handler does.
    void paint_window();
    // A character typed on the window.
    void character(QChar c);

    void update_ve_learn_menu();
    // Playback of `path`, or of a file the user chooses when it is empty, as the File menu starts it.
    void play(const std::string& path);
    void stop_playing();
    QtControls& controls_host() { return *controls_; }
    QtCanvas& canvas() { return canvas_; }
    // Shows what has been drawn into the canvas since the last time.
    void show_drawn();
    QAction* action(int command) const;
    // The shutdown; also run when the window closes.
    void shutdown();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool) override { return false; }   // TAB is a logging key

private:
    void build_menu();
    // The CommPort list's device part, as the machine has its devices now.
    void set_enabled(int command, bool enabled);
    void update_logging_menu();
    void one_second_tick();
    void about_dialog();
    void flash_tool_window(int command);
    ToolWindow* tool_window(int command);

    QtCanvas canvas_;
    QtUi ui_;
    bool ui_installed_ = false;
    CanvasView* view_ = nullptr;
    std::unique_ptr<QtControls> controls_;
    QTimer timer_;
    std::map<int, QAction*> actions_;
    std::map<int, std::string> device_commands_;
    std::array<ToolWindow, 2> tool_windows_{{{CMD_MALF_CODES, malfunction_window_is_open, open_malfunction_window,
                                              close_malfunction_window, focus_malfunction_window},
                                             {CMD_BANK_SELECT, bank_select_is_open, open_bank_select_window,
                                              close_bank_select_window, focus_bank_select_window}}};
    bool threads_started_ = false;
    bool shut_down_ = false;
};

// The window the hooks of the core reach; nullptr when none.
MainWindow* main_window();
