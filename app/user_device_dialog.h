// The User Device dialog's window (File menu "&User Devices..."): a modal dialog that realises the
// control table of config/user_devices.h on a host of its own and leaves everything else to it.
#pragma once

class QWidget;

// Shows the dialog until the user closes it.
void run_user_device_dialog(QWidget* parent);
