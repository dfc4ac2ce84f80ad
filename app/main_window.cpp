#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLayout>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QShortcut>

#include <thread>

#include "app/app_icon.h"
#include "app/menu_operations.h"
#include "app/preferences_dialog.h"
#include "app/scroll_keys.h"
#include "app/tool_window_host.h"
#include "app/user_device_dialog.h"
#include "config/config.h"
#include "config/settings.h"
#include "datalog/datalog.h"
#include "datalog/playback.h"
#include "displays/gauges.h"
#include "displays/status_panel.h"
#include "displays/trip.h"
#include "ecm/protocol.h"
#include "flash/flash_window.h"
#include "link/link_thread.h"
#include "link/port.h"
#include "link/ring.h"
#include "link/serial_devices.h"
#include "platform/sleep.h"
#include "stream/connection.h"
#include "stream/display_thread.h"
#include "ui/about_dialog.h"
#include "ui/device_menu.h"
#include "ui/help_dialog.h"
#include "ui/window_thread.h"
#include "velearn/ve_learn_state.h"

MenuOperations g_menu_operations;

ToolWindowHost g_tool_window_host;

namespace {

MainWindow* the_window = nullptr;

// Runs a menu operation that a later window or dialog provides, when it is there.
void run(void (*operation)())
{
    if (operation != nullptr)
        operation();
}

// Where an item goes.
enum MenuPlace : int { IN_FILE, IN_COMMPORT, IN_DISPLAY, IN_HELP, ON_BAR };

struct MenuItem {
    MenuPlace place;
    const char* text;
    int command;
    bool greyed;   // at start
};

// The menu, in order; the CommPort submenu's COM items are added where its entry stands.
constexpr MenuItem MENU[] = {
    {IN_FILE, "&CommPort", 0, false},
    {IN_FILE, "&DataLog...", CMD_DATALOG, false},
    {IN_FILE, "Close DataLo&g", CMD_CLOSE_DATALOG, true},
    {IN_FILE, "&Playback...", CMD_PLAYBACK, false},
    {IN_FILE, "&Stop Playback", CMD_STOP_PLAYBACK, true},
    {IN_FILE, "&Learn VE...", CMD_LEARN_VE, false},
    {IN_FILE, "St&op Learn VE", CMD_STOP_LEARN_VE, true},
    {IN_FILE, "Pre&ferences...", CMD_PREFERENCES, false},
    {IN_FILE, "&User Devices...", CMD_USER_DEVICES, false},
    {IN_FILE, "E&xit", CMD_EXIT, false},
    {IN_DISPLAY, "&Glanzo", CMD_GLANZO, true},
    {IN_DISPLAY, "&Trip Info", CMD_TRIP, false},
    {IN_DISPLAY, "&VE Learn", CMD_VE_LEARN, false},
    {IN_DISPLAY, "&SPK Knock", CMD_SPK_KNOCK, false},
    {IN_DISPLAY, "&Diagnostic", CMD_DIAGNOSTIC, false},
    {IN_DISPLAY, "&Malf Codes", CMD_MALF_CODES, false},
    {IN_DISPLAY, "&Bank Select", CMD_BANK_SELECT, false},
    {IN_DISPLAY, "&Flash", CMD_FLASH, false},
    {IN_DISPLAY, "&Analysis", CMD_ANALYSIS, false},
    {IN_HELP, "&Help", CMD_HELP, false},
    {IN_HELP, "&About", CMD_ABOUT, false},
    {ON_BAR, "         Quick Display Selections ->", CMD_QUICK_LABEL, true},
    {ON_BAR, "&GZD", CMD_QUICK_GZD, false},
    {ON_BAR, "&TRIP", CMD_QUICK_TRIP, false},
    {ON_BAR, "&VE", CMD_QUICK_VE, false},
    {ON_BAR, "&SPK", CMD_QUICK_SPK, false},
    {ON_BAR, "DIA&G", CMD_QUICK_DIAG, false},
};

// The Display menu's entries that every switch enables first.
constexpr int DISPLAY_ITEMS[] = {CMD_GLANZO,     CMD_TRIP,  CMD_VE_LEARN, CMD_SPK_KNOCK, CMD_MALF_CODES,
                                 CMD_BANK_SELECT, CMD_FLASH, CMD_ANALYSIS, CMD_DIAGNOSTIC};

void ve_learn_changed()
{
    post_to_window_thread([] {
        if (MainWindow* w = main_window())
            w->update_ve_learn_menu();
    });
}

// The link thread reports the port's state; the field names the port, a text the window thread
// owns, so it is drawn there.
void show_port_in_panel(int)
{
    post_to_window_thread([] {
        const DisplayEntry* d = display_entry(g_display.active_display);
        if (main_window() != nullptr && d != nullptr && d->status_panel)
            refresh_port_state();
    });
}

void logging_changed()
{
    post_to_window_thread([] {
        if (MainWindow* w = main_window())
            w->command(0);   // menu states follow the logging state
    });
}

// Stops a thread while the window thread keeps answering what that thread may be waiting for.
void stop_while_serving(void (*stop)())
{
    std::atomic<bool> done{false};
    std::thread joiner([&] {
        stop();
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    joiner.join();
}

}  // namespace

MainWindow* main_window() { return the_window; }

CanvasView::CanvasView(QtCanvas& canvas, QWidget* parent) : QWidget(parent), canvas_(canvas)
{
    setFixedSize(CANVAS_WIDTH, CANVAS_HEIGHT);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

void CanvasView::mouseMoveEvent(QMouseEvent*)
{
    // The pointer over the window brings it forward, except on the pages with their own controls.
    int active = g_display.active_display;
    if (active != DISPLAY_ANALYSIS && active != DISPLAY_FLASH && !window()->isActiveWindow())
        window()->activateWindow();
}

bool CanvasView::event(QEvent* event)
{
    const DisplayInput* in = display_input(g_display.active_display);
    if (in == nullptr)
        return QWidget::event(event);
    // The left button: the routine for its action, with the point.
    auto left = [event](void (*routine)(int, int)) {
        auto* m = static_cast<QMouseEvent*>(event);
        if (m->button() == Qt::LeftButton)
            routine(m->position().toPoint().x(), m->position().toPoint().y());
    };
    int code = -1;
    switch (event->type()) {
    case QEvent::KeyPress:
        code = scroll_code_of_key(static_cast<QKeyEvent*>(event)->key(), false);
        break;
    case QEvent::Wheel:
        code = scroll_code_of_wheel(static_cast<QWheelEvent*>(event));
        break;
    case QEvent::MouseButtonPress:
        left(in->mouse_down);
        break;
    case QEvent::MouseButtonRelease:
        left(in->mouse_up);
        break;
    case QEvent::MouseButtonDblClick:
        left(in->double_click);
        break;
    default:
        break;
    }
    if (code < 0)
        return QWidget::event(event);
    in->scroll(code, 0);
    return true;
}

void CanvasView::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    QRect r = event->rect();
    canvas_.with_image([&](const QImage& image) { p.drawImage(r.topLeft(), image, r); });
}

MainWindow::MainWindow(bool install_ui) : ui_(this)
{
    the_window = this;
    g_tool_window_host = {
        .parent = this,
        .character = [](QChar c) { the_window->character(c); },
        .activate = [] { the_window->activateWindow(); },
        .show_drawn = [] { the_window->show_drawn(); },
        .command = [](int id) { the_window->command(id); },
    };
    setWindowTitle("Glanzo");
    setWindowIcon(app_icon());
    view_ = new CanvasView(canvas_, this);
    setCentralWidget(view_);
    controls_ = std::make_unique<QtControls>(view_);
    controls_->set_key_target([this](char c) { character(QChar(c)); });
    controls_->set_key_rule(display_key);
    build_menu();
    // Not resizable: the displays are laid out for this client area.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    adjustSize();
    if (g_settings.xposhwnd != -1) {
        move(g_settings.xposhwnd, g_settings.yposhwnd);
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        move(area.width() / 2 - 400, area.height() / 2 - 300);
    }

    canvas_.set_on_change([] {
        post_to_window_thread([] {
            if (MainWindow* w = main_window())
                w->show_drawn();
        });
    });
    ui_.set_repaint([] {
        if (MainWindow* w = main_window())
            w->paint_window();
    });
    if (install_ui) {
        set_ui(&ui_);
        ui_installed_ = true;
    }
    attach_canvas(&canvas_);
    attach_controls(controls_.get());
    g_port.on_port_state = show_port_in_panel;
    g_port.on_open_refused = show_port_refusal;
    install_link_hooks();
    g_datalog.on_change = logging_changed;
    g_ve_learn.on_change = ve_learn_changed;
    g_menu_operations.start_ve_learn = [] { choose_and_start_ve_learn(); };
    g_menu_operations.stop_ve_learn = [] { stop_ve_learn(); };
    g_menu_operations.preferences = [] {
        run_preferences_dialog(main_window());
        playback_rate_changed();
    };
    g_menu_operations.user_devices = [] { run_user_device_dialog(main_window()); };

    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, [this] { one_second_tick(); });
    for (const char* keys : {"Alt+?", "Alt+/"})
        connect(new QShortcut(QKeySequence(keys), this), &QShortcut::activated, this, [this] { command(CMD_ABOUT); });
}

MainWindow::~MainWindow()
{
    shutdown();
    if (the_window == this) {
        the_window = nullptr;
        g_tool_window_host = ToolWindowHost{};
    }
}

void MainWindow::build_menu()
{
    QMenu* file = menuBar()->addMenu("&File");
    QMenu* display = menuBar()->addMenu("&Display");
    QMenu* help = menuBar()->addMenu("&Help");
    auto add = [this](QWidget* where, const QString& text, int id, bool greyed) {
        QAction* a = new QAction(text, where);
        a->setEnabled(!greyed);
        connect(a, &QAction::triggered, this, [this, id] { command(id); });
        where->addAction(a);
        actions_[id] = a;
    };
    for (const MenuItem& m : MENU) {
        switch (m.place) {
        case IN_FILE:
            if (m.command == 0) {
                QMenu* ports = file->addMenu(m.text);
                for (int n = 1; n <= COM_PORT_COUNT; ++n)
                    add(ports, QString::fromStdString(com_item_text(n)), com_command(n), false);
                refill_device_items_on_show(this, ports, COM_PORT_COUNT, CMD_DEVICE_FIRST, device_commands_,
                                            actions_, [add](QMenu* menu, const QString& text, int id) {
                                                add(menu, text, id, false);
                                                return menu->actions().back();
                                            });
            } else {
                add(file, m.text, m.command, m.greyed);
            }
            break;
        case IN_DISPLAY:
            add(display, m.text, m.command, m.greyed);
            break;
        case IN_HELP:
            add(help, m.text, m.command, m.greyed);
            break;
        default:
            add(menuBar(), m.text, m.command, m.greyed);
            break;
        }
    }
}

void MainWindow::show_drawn()
{
    QRect drawn = canvas_.take_dirty();
    if (!drawn.isEmpty())
        view_->update(drawn);
}

QAction* MainWindow::action(int id) const
{
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

void MainWindow::set_enabled(int id, bool enabled)
{
    if (QAction* a = action(id))
        a->setEnabled(enabled);
}

void MainWindow::update_ve_learn_menu()
{
    bool learning = g_ve_learn.active != 0;
    set_enabled(CMD_LEARN_VE, !learning);
    set_enabled(CMD_STOP_LEARN_VE, learning);
    // Once a run has started, the item names what it stops.
    if (QAction* a = action(CMD_STOP_LEARN_VE))
        a->setText("St&op VeLearn");
}

void MainWindow::update_logging_menu()
{
    bool logging = g_datalog.logging_on != 0;
    bool playing = g_playback.playing != 0;
    set_enabled(CMD_DATALOG, !logging && !playing);
    set_enabled(CMD_CLOSE_DATALOG, logging);
    set_enabled(CMD_PLAYBACK, !playing);
    set_enabled(CMD_STOP_PLAYBACK, playing);
}

int MainWindow::start()
{
    timer_.start();
    if (start_display_thread() != 0) {
        ui().message_box("CreateThread failed", "display", MB_OK);
        return -1;
    }
    threads_started_ = true;
    if (start_link_thread() != 0) {
        ui().message_box("CreateThread failed", "comm", MB_OK);
        return -1;
    }
    switch_display(CMD_GLANZO);
    return 0;
}

void MainWindow::one_second_tick() { g_display.one_second_counter = g_display.one_second_counter + 1; }

void MainWindow::command(int id)
{
    int active = g_display.active_display;
    bool analysis_or_flash = active == DISPLAY_ANALYSIS || active == DISPLAY_FLASH;
    for (int n = 1; n <= 40; ++n) {
        if (id == com_command(n)) {
            g_settings.port = "COM" + std::to_string(n);
            connect_port();
            return;
        }
    }
    if (auto it = device_commands_.find(id); it != device_commands_.end()) {
        g_settings.port = it->second;
        connect_port();
        return;
    }
    switch (id) {
    case 0:
        update_logging_menu();
        paint_window();
        return;
    case CMD_DATALOG:
        if (analysis_or_flash)
            switch_display(CMD_GLANZO);
        choose_and_start_logging();
        update_logging_menu();
        paint_window();
        return;
    case CMD_CLOSE_DATALOG:
        stop_logging();
        update_logging_menu();
        paint_window();
        return;
    case CMD_PLAYBACK:
        if (analysis_or_flash)
            switch_display(CMD_GLANZO);
        play(std::string());
        return;
    case CMD_STOP_PLAYBACK:
        stop_playing();
        return;
    case CMD_LEARN_VE:
        if (analysis_or_flash)
            switch_display(CMD_GLANZO);
        run(g_menu_operations.start_ve_learn);
        return;
    case CMD_STOP_LEARN_VE:
        run(g_menu_operations.stop_ve_learn);
        return;
    case CMD_PREFERENCES:
        run(g_menu_operations.preferences);
        paint_window();   // in the units the dialog may have changed (Analysis rebuilds its table)
        return;
    case CMD_USER_DEVICES:
        run(g_menu_operations.user_devices);
        paint_window();
        return;
    case CMD_EXIT:
        close();
        return;
    case CMD_MALF_CODES:
    case CMD_BANK_SELECT:
        flash_tool_window(id);
        return;
    case CMD_HELP:
        help_dialog(this, app_icon().pixmap(32, 32));
        return;
    case CMD_ABOUT:
        about_dialog();
        return;
    default:
        if (display_for_command(id) != nullptr)
            switch_display(id);
        return;
    }
}

void MainWindow::play(const std::string& path)
{
    int rc = path.empty() ? start_playback() : start_playback_file(path);
    if (rc == 0) {
        // The bank select window goes while the port is closed; it comes back when playback stops.
        if (ToolWindow* bank = tool_window(CMD_BANK_SELECT); bank != nullptr && bank->close != nullptr)
            bank->close();
    }
    update_logging_menu();
    paint_window();
}

void MainWindow::stop_playing()
{
    if (stop_playback() != 0)
        return;
    update_logging_menu();
    paint_window();
    ToolWindow* bank = tool_window(CMD_BANK_SELECT);
    if (g_settings.actvfbnk == 1 && bank != nullptr && bank->open != nullptr && (bank->is_open == nullptr || !bank->is_open()))
        flash_tool_window(CMD_BANK_SELECT);
}

ToolWindow* MainWindow::tool_window(int command)
{
    for (ToolWindow& t : tool_windows_)
        if (t.command == command)
            return &t;
    return nullptr;
}

void MainWindow::flash_tool_window(int id)
{
    for (ToolWindow& t : tool_windows_) {
        if (t.command != id || t.open == nullptr)
            continue;
        if (t.is_open != nullptr && t.is_open() && t.focus != nullptr) {
            // Already open: draw the eye to it.
            for (int i = 0; i < 3; ++i) {
                if (i % 2 == 0)
                    t.focus();
                else
                    activateWindow();
                QApplication::processEvents();
                sleep_ms(120);
            }
        } else {
            t.open();
        }
        activateWindow();
    }
}

void MainWindow::switch_display(int cmd)
{
    // A bank procedure holds the link and the page until it ends.
    if (flash_procedure_running())
        return;
    for (int item : DISPLAY_ITEMS)
        set_enabled(item, true);
    const DisplayEntry* target = display_for_command(cmd);
    if (target == nullptr)
        return;
    const DisplayEntry& t = *target;

    if (t.page) {
        ecm_command(ECM_STREAM, STREAM_STOP);
        if (t.closes_link)
            stop_logging();
        stop_playing();
        run(g_menu_operations.stop_ve_learn);
        if (t.closes_link)
            disconnect_port();
    } else {
        set_enabled(t.menu_command, false);
    }
    if (t.page || g_display.active_display != t.id) {
        hold_display();
        if (!t.keeps_playback_bar)
            destroy_playback_bar();
        for (const DisplayEntry& d : DISPLAYS)
            if (d.id != t.id && d.destroy != nullptr && (!d.destroy_only_when_shown || g_display.active_display == d.id))
                d.destroy();
        if (t.page)
            for (ToolWindow& w : tool_windows_)
                if (w.close != nullptr)
                    w.close();
        g_display.active_display = t.id;
        run(t.create);
        if (!t.page)
            create_playback_bar();
    }
    if (t.page) {
        const int greyed[] = {CMD_MALF_CODES, CMD_BANK_SELECT, t.menu_command};
        for (int item : greyed)
            set_enabled(item, false);
        if (t.closes_link)
            update_logging_menu();
    }
    paint_window();
    if (t.closes_link)
        return;   // the hold stays while the page is shown
    if (!t.page) {
        for (ToolWindow& w : tool_windows_) {
            bool remembered = w.command == CMD_BANK_SELECT ? g_settings.actvfbnk == 1 && g_playback.playing == 0
                                                           : g_settings.actvmalf == 1;
            if (remembered && w.open != nullptr && (w.is_open == nullptr || !w.is_open()))
                w.open();
        }
    }
    g_display.display_hold = 0;
    if (g_port.indicator == 0 && g_playback.playing == 0)
        connect_port();
    if (!t.page)
        request_ring_flush();
}

void MainWindow::paint_window()
{
    canvas_.clear(BACKGROUND);
    const DisplayEntry* d = display_entry(g_display.active_display);
    if (d == nullptr)
        return;
    if (d->status_panel)
        paint_status_panel();
    if (d->title != nullptr)
        canvas_.text(d->title_x, 6, d->title, Font::Title, TEXT, BACKGROUND, ALIGN_LEFT, true);
    if (d->paint != nullptr)
        d->paint();
}

void MainWindow::character(QChar c)
{
    int active = g_display.active_display;
    if (active == DISPLAY_ANALYSIS || active == DISPLAY_FLASH)
        return;
    if (c.unicode() > 0x7F || !display_key(static_cast<char>(c.unicode())))
        return;
    if (const DisplayEntry* d = display_for_key(static_cast<char>(c.unicode()))) {
        command(d->quick_command);
        return;
    }
    if (c == '\t')
        log_key_tab();
    else if (c == ' ')
        log_key_space();
    else
        log_key_enter();
    refresh_logging_state();
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Tab:
        character('\t');
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        character('\r');
        return;
    default:
        if (event->text().size() == 1 && !(event->modifiers() & (Qt::AltModifier | Qt::ControlModifier)))
            character(event->text().at(0));
        else
            QMainWindow::keyPressEvent(event);
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // A timer may ask while a bank procedure holds the window: the close waits for its end.
    if (flash_procedure_running()) {
        event->ignore();
        QTimer::singleShot(100, this, [this] { close(); });
        return;
    }
    shutdown();
    event->accept();
}

void MainWindow::shutdown()
{
    if (shut_down_)
        return;
    shut_down_ = true;
    // The tool windows go first, leaving their positions in the settings that are saved next.
    for (ToolWindow& t : tool_windows_)
        if (t.close != nullptr)
            t.close();
    if (!isMinimized()) {
        g_settings.xposhwnd = x();
        g_settings.yposhwnd = y();
    }
    save_config();
    if (g_datalog.logging_on != 0)
        stop_logging();
    // The learned table is written as a stop writes it; a failure is still shown, since the
    // window is not gone yet and the table would otherwise be lost without a word.
    if (g_ve_learn.active != 0)
        stop_ve_learn();
    request_port_state(PORT_CLOSE, nullptr);
    sleep_ms(20);

    // The threads are stopped before the canvas goes, so that nothing draws into a window that
    // is gone; a thread waiting on a message box gets its answer at once.
    timer_.stop();
    ui_.set_closing();
    g_port.on_port_state = nullptr;
    g_port.on_open_refused = nullptr;
    g_datalog.on_change = nullptr;
    g_ve_learn.on_change = nullptr;
    if (threads_started_) {
        stop_while_serving(stop_display_thread);
        stop_while_serving(stop_link_thread);
        threads_started_ = false;
    }
    // The shown display lets go of what it holds (the Flash page its timer), now that the threads
    // no longer act on what it gives back (the run mode).
    if (const DisplayEntry* d = display_entry(g_display.active_display); d != nullptr && d->destroy != nullptr)
        d->destroy();
    attach_canvas(nullptr);
    attach_controls(nullptr);
    if (ui_installed_)
        set_ui(nullptr);
    run_posted_work();   // what the threads left for this window, while it is still here
}

void MainWindow::about_dialog() { ::about_dialog(this, app_icon().pixmap(32, 32), "Glanzo Display", "Version 3.0i"); }

