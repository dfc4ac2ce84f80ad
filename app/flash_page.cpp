#include "app/flash_page.h"

#include <QCoreApplication>
#include <QEvent>

#include "app/commands.h"
#include "app/tool_window_host.h"
#include "flash/flash_window.h"
#include "ui/window_thread.h"

namespace {

// Swallows mouse and keyboard input while it is installed on the application.
class InputDropper : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Wheel:
            return true;
        default:
            return false;
        }
    }
};

// A procedure holds the window thread from "Apply" to its end. After each message line the window
// shows what was drawn; the user's input is left waiting, so that nothing the user does can start
// while the procedure runs (the window system keeps it until the procedure ends).
void show_line()
{
    host_show_drawn();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// What the user clicked or typed while the procedure ran is dropped, not carried out afterwards:
// a second "Apply" pressed while the first ran must not start another procedure. Closing the
// window still comes through.
void drop_waiting_input()
{
    InputDropper dropper;
    QCoreApplication::instance()->installEventFilter(&dropper);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::instance()->removeEventFilter(&dropper);
}

// "Close" is pressed on a control of the page, which the switch takes down: after the click.
void switch_to_gauges()
{
    post_to_window_thread([] {
        host_command(CMD_GLANZO);
    });
}

}  // namespace

void open_flash_page()
{
    g_flash_window.show_line = show_line;
    g_flash_window.procedure_ended = drop_waiting_input;
    g_flash_window.switch_to_gauges = switch_to_gauges;
    open_flash_window();
}
