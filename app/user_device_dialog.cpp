#include "app/user_device_dialog.h"

#include "app/dialog_window.h"
#include "dialogs/user_devices.h"

void run_user_device_dialog(QWidget* parent)
{
    DialogWindow dialog(parent, "User Device", 470, 250, user_device_command, UD_CLOSE);
    open_user_devices(dialog.host(), DialogWindow::end_open_dialog);
    dialog.exec();
    if (g_user_device_dialog.host != nullptr)
        user_device_command(UD_CLOSE, CONTROL_CLICKED, 0);
}
