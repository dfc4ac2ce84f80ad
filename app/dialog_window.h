// What the dialogs of GlanzoFlash share as windows: a fixed-size modal window in the program's
// colours whose controls come from a table on a host of its own, and whose closing (the window's
// close button, Esc) goes to the dialog's own command like its Cancel or Close button.
#pragma once

#include <QDialog>

#include "ui/qt_controls.h"

class DialogWindow : public QDialog {
public:
    // `close_command` is what Esc and the close button report: the dialog's routine then ends it.
    DialogWindow(QWidget* parent, const char* title, int width, int height, ControlCommand command, int close_command);
    ~DialogWindow() override;

    QtControls& host() { return host_; }
    // Ends the open dialog (the routine's `end`); nothing when none is open.
    static void end_open_dialog();

protected:
    void reject() override;

private:
    QtControls host_;
    ControlCommand command_;
    int close_command_;
};
