#include "updater/updater_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLayout>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>

#include <cstring>

#include "config/updater_config.h"
#include "ecm/sink.h"
#include "link/port.h"
#include "link/serial_devices.h"
#include "platform/ui_services.h"
#include "ui/about_dialog.h"
#include "ui/device_menu.h"
#include "ui/qt_canvas.h"
#include "ui/qt_controls.h"
#include "ui/window_thread.h"
#include "update/commands.h"
#include "update/update.h"
#include "update/update_thread.h"
#include "updater/updater_pictures.h"

namespace {

UpdaterWindow* the_window = nullptr;

// Pixel metrics of the client area, in the order it is painted.
constexpr int CLIENT_WIDTH = 800;
constexpr int CLIENT_HEIGHT = 560;   // an 800 x 600 window less its caption and menu bar
constexpr int TITLE_Y = 10;
constexpr int TITLE_CHAR_WIDTH = 11;   // the title is centred by its length in characters
constexpr int TEXT_X = 60, TEXT_Y = 120, TEXT_STEP = 20;
constexpr int LINE_X = 34, LINE_Y = 127, LINE_STEP = 17;
constexpr int PORT_Y = 72;
constexpr int PORT_NAME_RIGHT = 178;
constexpr int PORT_STATE_RIGHT = 230;
constexpr int PICTURE_X = 480, PICTURE_Y = 50;

const QColor WINDOW_BACKGROUND(220, 220, 220);
const QColor BUTTON_BACKGROUND(250, 250, 250);
const QColor TEXT_COLOUR(20, 20, 20);
const QColor DISABLED_TEXT_COLOUR(150, 150, 150);   // a greyed button

const char* const TITLE = "Corvathis J8 Flash ECM Update Utility";

constexpr const char* EXPLANATION[] = {
    "This utility is to update your current ZOV J8 Flash ECM to version 1.2",
    " ",
    "The upgrade process retains all of your current calibration parameters. This utility ",
    "also updates the calibrations in the ECM and saves them to your disk drive. Note that ",
    "you MUST use the newly updated calibrations. Do NOT use any previous calibrations.",
    " ",
    " ",
    "Note that once your ZOV Flash ECM has been updated, there is no longer a need for this utility.",
    " ",
    "To Update: select the proper COM port, key-on, engine-off, and press the button below to proceed. . . ",
};

// The window's child controls, as a dialog resource lists them. The updater is a program of its
// own, so its controls take the first dialog ids.
constexpr ControlDef CONTROLS[] = {
    {UPD_PROCEED, ControlKind::PushButton, "Proceed With Update", 300, 480, 200, 40, CS_TAB_STOP | CS_TAKES_FOCUS,
     KeyRoute::Own},
    {UPD_MESSAGES, ControlKind::GroupBox, "Messages", 30, 110, 730, 365, CS_HIDDEN, KeyRoute::Own},
};

// Where a menu item goes.
enum MenuPlace : int { IN_FILE, IN_HELP };
struct MenuItem {
    MenuPlace place;
    const char* text;
    int command;   // 0: the CommPort pop-up with the ports
};
constexpr MenuItem MENU[] = {
    {IN_FILE, "CommPort", 0},
    {IN_FILE, "&Bin Update...", UPD_BIN_UPDATE},
    {IN_FILE, "E&xit", UPD_EXIT},
    {IN_HELP, "&About ...", UPD_ABOUT},
};

QString latin1(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }
QColor colour(Rgb c) { return QColor(c.r, c.g, c.b); }

// The fonts the window is laid out for, those of GlanzoFlash's displays: the title's 24-pixel
// cell, the window's own font, and the message lines in a fixed-pitch font of a 17-pixel cell,
// bold: 9 pixels a character, so that 80 fill the message area.
struct Fonts {
    QFont title = display_font(Font::Title);
    QFont window = display_font(Font::Default);
    QFont message = [] {
        QFont f("Liberation Mono");
        f.setStyleHint(QFont::TypeWriter);
        f.setFixedPitch(true);
        f.setPixelSize(15);
        f.setBold(true);
        return f;
    }();
};
const Fonts& fonts()
{
    static const Fonts f;
    return f;
}

// Text with the top of its cell at y: from x, or ending at x when `right`.
void text_at(QPainter& p, int x, int y, const QString& s, bool right = false)
{
    QFontMetrics m(p.font());
    if (right)
        x -= m.horizontalAdvance(s);
    p.drawText(x, y + m.ascent(), s);
}

// The client area: painted by the window.
class Client : public QWidget {
public:
    explicit Client(UpdaterWindow* window) : QWidget(window), window_(window)
    {
        setFixedSize(CLIENT_WIDTH, CLIENT_HEIGHT);
        setAutoFillBackground(true);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        window_->paint(p);
    }

private:
    UpdaterWindow* window_;
};

QRect message_rect() { return QRect(LINE_X, LINE_Y, CLIENT_WIDTH - LINE_X, MESSAGE_LINES * LINE_STEP); }
QRect port_rect() { return QRect(0, PORT_Y - 2, PORT_STATE_RIGHT + 10, 22); }

// Hooks of the core: each only asks the window thread for a repaint.
void message_area_changed()
{
    post_to_window_thread([] {
        if (UpdaterWindow* w = updater_window())
            w->client()->update(message_rect());
    });
}

void port_state_changed(int)
{
    post_to_window_thread([] {
        if (UpdaterWindow* w = updater_window())
            w->client()->update(port_rect());
    });
}

void control_command(int id, int event, int)
{
    if (UpdaterWindow* w = updater_window(); w != nullptr && event == CONTROL_CLICKED)
        w->command(id);
}

void update_thread_finished(int)
{
    post_to_window_thread([] {
        if (UpdaterWindow* w = updater_window())
            w->update_finished();
    });
}

}  // namespace

UpdaterWindow* updater_window() { return the_window; }

UpdaterWindow::UpdaterWindow(bool install_ui) : ui_(this)
{
    the_window = this;
    setWindowTitle("ZOV_J8Update");
    setWindowIcon(updater_icon());
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, WINDOW_BACKGROUND);
    palette.setColor(QPalette::WindowText, TEXT_COLOUR);
    palette.setColor(QPalette::Button, BUTTON_BACKGROUND);
    palette.setColor(QPalette::ButtonText, TEXT_COLOUR);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, DISABLED_TEXT_COLOUR);
    setPalette(palette);

    client_ = new Client(this);
    setCentralWidget(client_);
    build_menu();
    realise_controls();
    // Not resizable: the window is laid out for this client area.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    adjustSize();
    QRect desktop = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry() : QRect();
    WindowPlace place = updater_window_place(desktop.width(), desktop.height());
    move(place.x, place.y);

    for (const char* keys : {"Alt+?", "Alt+/"})
        connect(new QShortcut(QKeySequence(keys), this), &QShortcut::activated, this, [this] { command(UPD_ABOUT); });
    if (install_ui) {
        set_ui(&ui_);
        ui_installed_ = true;
    }
}

UpdaterWindow::~UpdaterWindow()
{
    shutdown();
    if (the_window == this)
        the_window = nullptr;
}

void UpdaterWindow::build_menu()
{
    QMenu* file = menuBar()->addMenu("&File");
    QMenu* help = menuBar()->addMenu("&Help");
    auto add = [this](QWidget* where, const QString& text, int id) {
        QAction* a = new QAction(text, where);
        connect(a, &QAction::triggered, this, [this, id] { command(id); });
        where->addAction(a);
        actions_[id] = a;
    };
    for (const MenuItem& m : MENU) {
        QMenu* menu = m.place == IN_FILE ? file : help;
        if (m.command != 0) {
            add(menu, m.text, m.command);
            continue;
        }
        QMenu* ports = menu->addMenu(m.text);
        for (int n = 1; n <= COM_PORT_COUNT; ++n)
            add(ports, QString::fromStdString(com_item_text(n)), updater_com_command(n));
        // The devices plugged in now, greyed as the COM items are while an update runs.
        refill_device_items_on_show(
            this, ports, COM_PORT_COUNT, UPD_DEVICE_FIRST, device_commands_, actions_,
            [add](QMenu* where, const QString& text, int id) {
                add(where, text, id);
                return where->actions().back();
            },
            [this] { set_port_items_enabled(ports_enabled_); });
    }
}

void UpdaterWindow::realise_controls()
{
    controls_ = std::make_unique<QtControls>(client_);
    controls_->create(CONTROLS, control_command);
    proceed_ = qobject_cast<QPushButton*>(controls_->widget(UPD_PROCEED));
    messages_ = qobject_cast<QGroupBox*>(controls_->widget(UPD_MESSAGES));
    messages_->setAttribute(Qt::WA_TransparentForMouseEvents);
    // A frame and its title in the window's colours: the message lines painted beneath show
    // through.
    messages_->setStyleSheet("QGroupBox { color: rgb(20, 20, 20); background: transparent;"
                             " border: 1px solid rgb(160, 160, 160); margin-top: 7px; }"
                             "QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 2px; }");
}

QAction* UpdaterWindow::action(int id) const
{
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

int UpdaterWindow::start()
{
    set_flash_sink(&sink_);
    g_message_area.on_change = message_area_changed;
    g_port.on_port_state = port_state_changed;
    g_port.on_open_refused = show_port_refusal;
    g_update.on_finished = update_thread_finished;
    if (start_updater_link() != 0) {
        ui().message_box("CreateThread failed", "comm", MB_OK);
        return -1;
    }
    link_started_ = true;
    return 0;
}

void UpdaterWindow::command(int id)
{
    for (int n = 1; n <= COM_PORT_COUNT; ++n) {
        if (id == updater_com_command(n)) {
            choose_updater_port("COM" + std::to_string(n));
            return;
        }
    }
    if (auto it = device_commands_.find(id); it != device_commands_.end()) {
        choose_updater_port(it->second);
        return;
    }
    switch (id) {
    case UPD_PROCEED:
        proceed();
        return;
    case UPD_BIN_UPDATE:
        bin_update_command();
        return;
    case UPD_EXIT:
        close();
        return;
    case UPD_ABOUT:
        about_dialog();
        return;
    default:
        return;
    }
}

void UpdaterWindow::proceed()
{
    // The button is greyed while an update runs; a start that still gets here is refused.
    if (g_update.running != 0 || close_pending_ || !link_started_)
        return;
    page_mode_ = 1;
    client_->setFocus();
    proceed_->setEnabled(false);
    set_port_items_enabled(false);
    clear_message_area();
    messages_->show();
    client_->update();
    if (start_update_thread() < 0) {
        ui().message_box("CreateThread failed", "flash", MB_OK);
        update_finished();
    }
}

void UpdaterWindow::update_finished()
{
    if (g_update.running != 0)
        return;
    join_update_thread();
    proceed_->setEnabled(true);
    set_port_items_enabled(true);
    if (close_pending_)
        close();
}

// A port chosen while banks are being programmed would cut the update off in the middle of a
// bank, so the ports wait until the update has ended.
void UpdaterWindow::set_port_items_enabled(bool enabled)
{
    ports_enabled_ = enabled;
    for (int n = 1; n <= COM_PORT_COUNT; ++n)
        action(updater_com_command(n))->setEnabled(enabled);
    for (const auto& [id, path] : device_commands_)
        action(id)->setEnabled(enabled);
}

void UpdaterWindow::paint(QPainter& p)
{
    const Fonts& f = fonts();
    p.setPen(TEXT_COLOUR);
    p.setFont(f.title);
    int title_length = static_cast<int>(std::strlen(TITLE));
    text_at(p, 400 - (title_length / 2) * TITLE_CHAR_WIDTH, TITLE_Y, TITLE);

    if (page_mode_ == 0) {
        p.setFont(f.window);
        for (int i = 0; i < static_cast<int>(std::size(EXPLANATION)); ++i)
            text_at(p, TEXT_X, TEXT_Y + TEXT_STEP * i, EXPLANATION[i]);
    } else {
        p.setFont(f.message);
        QFontMetrics m(f.message);
        std::vector<MessageLine> lines = message_lines();
        for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
            QString text = latin1(lines[i].text);
            int y = LINE_Y + LINE_STEP * i;
            p.fillRect(LINE_X, y, m.horizontalAdvance(text), LINE_STEP, colour(message_line_colour(lines[i].colour)));
            text_at(p, LINE_X, y, text);
        }
    }

    // The port status: the port's name and whether the link has it open.
    p.setFont(f.window);
    QFontMetrics m(f.window);
    // A long device path keeps its end, which tells the devices apart.
    int room = PORT_NAME_RIGHT - 10 - m.horizontalAdvance(':');
    QString name = m.elidedText(latin1(g_updater_settings.port), Qt::ElideLeft, room);
    text_at(p, PORT_NAME_RIGHT, PORT_Y, name + ":", true);
    text_at(p, PORT_STATE_RIGHT, PORT_Y, g_port.indicator != 0 ? "Open  " : "Closed", true);

    static const QImage picture = module_picture();
    p.drawImage(PICTURE_X, PICTURE_Y, picture);
}

void UpdaterWindow::about_dialog()
{
    ::about_dialog(this, updater_icon_pixmap(32), "ZOV_J8 Flash Update", "Version 1.2a");
}

void UpdaterWindow::closeEvent(QCloseEvent* event)
{
    if (g_update.running != 0) {
        // No bank is left half-written: the update stops before its next bank, says so in its
        // lines, and the window closes when the thread has ended (update_finished).
        close_pending_ = true;
        request_update_stop();
        event->ignore();
        return;
    }
    shutdown();
    event->accept();
}

void UpdaterWindow::shutdown()
{
    if (shut_down_)
        return;
    shut_down_ = true;
    if (g_update.running != 0) {
        // Destroyed without a close (tests, program end): the update still ends at a safe point,
        // and a box it may be about to show answers at once.
        ui_.set_closing();
        request_update_stop();
        while (g_update.running != 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    join_update_thread();
    page_mode_ = 0;
    save_updater_window(x(), y(), isMinimized());
    ui_.set_closing();
    g_update.on_finished = nullptr;
    g_message_area.on_change = nullptr;
    g_port.on_port_state = nullptr;
    g_port.on_open_refused = nullptr;
    if (link_started_) {
        stop_updater_link();
        link_started_ = false;
    }
    set_flash_sink(nullptr);
    if (ui_installed_)
        set_ui(nullptr);
    run_posted_work();
}
