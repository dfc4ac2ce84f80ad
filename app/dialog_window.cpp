#include "app/dialog_window.h"

#include <QPalette>

#include "draw/canvas.h"

namespace {

DialogWindow* open_dialog = nullptr;

}  // namespace

DialogWindow::DialogWindow(QWidget* parent, const char* title, int width, int height, ControlCommand command,
                           int close_command)
    : QDialog(parent), host_(this), command_(command), close_command_(close_command)
{
    setWindowTitle(title);
    setFixedSize(width, height);
    // The window's own colours, as the labels and boxes the realiser makes expect.
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(BACKGROUND.r, BACKGROUND.g, BACKGROUND.b));
    p.setColor(QPalette::WindowText, QColor(TEXT.r, TEXT.g, TEXT.b));
    setPalette(p);
    setAutoFillBackground(true);
    open_dialog = this;
}

DialogWindow::~DialogWindow()
{
    if (open_dialog == this)
        open_dialog = nullptr;
}

void DialogWindow::end_open_dialog()
{
    if (open_dialog != nullptr)
        open_dialog->done(0);
}

void DialogWindow::reject() { command_(close_command_, CONTROL_CLICKED, 0); }
