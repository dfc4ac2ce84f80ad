#include "app/malfunction_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include <vector>

#include "app/tool_window_host.h"
#include "config/settings.h"
#include "displays/malfunction.h"
#include "platform/ui_services.h"
#include "ui/window_thread.h"

namespace {

MalfunctionWindow* the_window = nullptr;

std::vector<ScreenArea> screen_areas()
{
    std::vector<ScreenArea> out;
    for (QScreen* s : QGuiApplication::screens()) {
        QRect r = s->availableGeometry();
        out.push_back({r.x(), r.y(), r.width(), r.height()});
    }
    // The primary screen first: a window that is on none comes up there.
    if (QScreen* primary = QGuiApplication::primaryScreen()) {
        QRect r = primary->availableGeometry();
        out.insert(out.begin(), {r.x(), r.y(), r.width(), r.height()});
    }
    return out;
}

}  // namespace

MalfunctionWindow::MalfunctionWindow(QWidget* main)
    : QWidget(main, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle("Malfunction Codes");
    setFixedSize(MALF_CLIENT_W, MALF_CLIENT_H);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    canvas_.clear(BACKGROUND);
    canvas_.set_on_change([] {
        post_to_window_thread([] {
            if (the_window != nullptr)
                the_window->show_drawn();
        });
    });
}

MalfunctionWindow::~MalfunctionWindow()
{
    // Going with the main window: frames must stop drawing into the canvas first.
    if (!down_)
        malfunction_window_closed(x(), y(), false);
    if (the_window == this)
        the_window = nullptr;
}

void MalfunctionWindow::take_down(bool by_user)
{
    if (down_)
        return;
    down_ = true;
    malfunction_window_closed(x(), y(), by_user);
    if (the_window == this)
        the_window = nullptr;
    hide();
    deleteLater();
    if (QWidget* main = parentWidget())
        main->activateWindow();
}

void MalfunctionWindow::show_drawn()
{
    QRect drawn = canvas_.take_dirty();
    if (!drawn.isEmpty())
        update(drawn);
}

void MalfunctionWindow::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    QRect r = event->rect();
    canvas_.with_image([&](const QImage& image) { p.drawImage(r.topLeft(), image, r); });
}

void MalfunctionWindow::mouseMoveEvent(QMouseEvent*)
{
    // The pointer over the window gives it the focus, except while a dialog of the program waits.
    if (g_ui_state.modal_dialog_open == 0 && !isActiveWindow())
        activateWindow();
}

void MalfunctionWindow::leaveEvent(QEvent*)
{
    // The focus goes back to the main window, unless a dialog has it.
    if (QWidget* main = parentWidget(); main != nullptr && g_ui_state.modal_dialog_open == 0)
        main->activateWindow();
}

void MalfunctionWindow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        take_down(true);
        return;
    case Qt::Key_Tab:
        host_character('\t');
        return;
    default:
        // Characters go on to the main window unchanged: the display keys and the logging keys.
        if (g_tool_window_host.character != nullptr && event->text().size() == 1 &&
            !(event->modifiers() & (Qt::AltModifier | Qt::ControlModifier)))
            host_character(event->text().at(0));
        else
            QWidget::keyPressEvent(event);
    }
}

void MalfunctionWindow::closeEvent(QCloseEvent* event)
{
    take_down(true);
    event->accept();
}

void MalfunctionWindow::moveEvent(QMoveEvent*)
{
    // Kept as it moves, so that the position saved with the configuration at exit is where the
    // window stands then.
    if (isVisible() && !down_) {
        g_settings.xposmalf = x();
        g_settings.yposmalf = y();
    }
}

bool malfunction_window_is_open() { return the_window != nullptr; }

void open_malfunction_window()
{
    if (the_window != nullptr)
        return;
    the_window = new MalfunctionWindow(g_tool_window_host.parent);
    std::vector<ScreenArea> screens = screen_areas();
    WindowPlace place = reachable_place(g_settings.xposmalf, g_settings.yposmalf, MALF_WINDOW_W, MALF_WINDOW_H, screens);
    if (place.move)
        the_window->move(place.x, place.y);
    attach_malfunction_canvas(&the_window->canvas());
    paint_malfunction_window();
    malfunction_window_opened();
    the_window->show();
}

void close_malfunction_window()
{
    if (the_window != nullptr)
        the_window->take_down(false);
}

void focus_malfunction_window()
{
    if (the_window != nullptr) {
        the_window->raise();
        the_window->activateWindow();
    }
}

MalfunctionWindow* malfunction_window() { return the_window; }
