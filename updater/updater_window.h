// ZOV_J8Update's window: the title, the explanatory text or the message area, the port status,
// the module picture, the "Proceed With Update" button and the menu. What its commands do is
// core code (updater/commands.h, updater/update_thread.h); this window moves values in and out.
//
// Threading: everything here runs on the window thread. The update thread writes lines into the
// message area and the link thread reports the port's state; both only post a repaint here. When
// the update thread ends it posts `update_finished`. Closing while an update runs asks the update
// to stop at its next safe point and closes once the thread has ended.
#pragma once

#include <QMainWindow>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "draw/controls.h"
#include "ui/qt_ui.h"
#include "update/message_area.h"

class QAction;
class QGroupBox;
class QMenu;
class QPushButton;
class QtControls;

// Menu, accelerator and control commands.
enum UpdaterCommand : int {
    UPD_ABOUT = 104,
    UPD_EXIT = 105,
    UPD_BIN_UPDATE = 32797,
    UPD_PROCEED = CONTROL_IDS_DIALOGS,   // the "Proceed With Update" button
    UPD_MESSAGES,                        // the "Messages" group box (no command)
    UPD_DEVICE_FIRST = 33000,   // the serial devices found, in the order listed
};

// COM1 to COM25 are 32772 to 32796, COM26 to COM40 32798 to 32812.
constexpr int updater_com_command(int n) { return n <= 25 ? 32771 + n : 32772 + n; }

class UpdaterWindow : public QMainWindow {
public:
    // `install_ui`: whether the window's message boxes and file dialogs serve the core (tests
    // install scripted ones instead).
    explicit UpdaterWindow(bool install_ui = true);
    ~UpdaterWindow() override;

    // Start-up after the window exists: the link and the port. 0, or -1 when the link thread
    // could not be started (the message has been shown).
    int start();
    void command(int id);
    // The update thread has ended (window thread).
    void update_finished();
    // Draws the client area.
    void paint(class QPainter& p);
    // Runs the shutdown now; also run when the window closes.
    void shutdown();

    int page_mode() const { return page_mode_; }
    QPushButton* proceed_button() const { return proceed_; }
    QGroupBox* messages_box() const { return messages_; }
    QWidget* client() const { return client_; }
    QAction* action(int command) const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void build_menu();
    void realise_controls();
    void proceed();
    void set_port_items_enabled(bool enabled);
    void about_dialog();

    QtUi ui_;
    bool ui_installed_ = false;
    MessageAreaSink sink_;
    QWidget* client_ = nullptr;
    std::unique_ptr<QtControls> controls_;
    QPushButton* proceed_ = nullptr;
    QGroupBox* messages_ = nullptr;
    std::map<int, QAction*> actions_;
    std::map<int, std::string> device_commands_;
    bool ports_enabled_ = true;   // false while an update runs
    int page_mode_ = 0;            // 0: the explanatory text; 1: the message area
    bool link_started_ = false;
    bool close_pending_ = false;   // closing waits for the update thread
    bool shut_down_ = false;
};

// The window the hooks of the core reach; nullptr when none.
UpdaterWindow* updater_window();
