// The User Device dialog: the sixteen user-defined devices, each a straight line through two
// (volts, value) points with a name, a unit and the precision its readings are shown with.
//
// Everything the dialog does is here, on the window thread: its controls (a table, in the order
// the dialog lists them), what typing and leaving a field do, what Apply and Delete store, and
// the rebuild of the device catalogue and the channels when it closes. The window in app/ only
// realises the table on a host of its own, hands the events to user_device_command and closes
// when told.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/dialog_rules.h"
#include "draw/controls.h"

constexpr int USER_DEVICE_IDS = CONTROL_IDS_DIALOGS + 800;

enum UserDeviceControl : int {
    UD_LIST = USER_DEVICE_IDS,
    UD_NAME_LABEL,
    UD_NAME,
    UD_UNIT_LABEL,
    UD_UNIT,
    UD_VOLT_J,
    UD_LABEL_J,
    UD_VALUE_J,
    UD_VOLT_K,
    UD_LABEL_K,
    UD_VALUE_K,
    UD_PRECISION_LABEL,
    UD_PRECISION,
    UD_APPLY,
    UD_DELETE,
    UD_CLOSE,
};

struct UserDeviceDialog {
    ControlHost* host = nullptr;   // the dialog's controls; none while it is closed
    int record = 0;                // the record shown
    int last_record = 0;           // the record the dialog opens on next time
    bool modified = false;         // its fields were edited since it was shown or applied
    bool changed = false;          // a record was applied or deleted since the dialog opened
    void (*end)() = nullptr;       // closes the dialog's window
};

extern UserDeviceDialog g_user_device_dialog;

// Opens the dialog on `host` on the record last edited, with `modal_dialog_open` set; `end` is
// called when the dialog is to close.
void open_user_devices(ControlHost& host, void (*end)());
// Every choice, edit, focus change and click of the dialog's controls; UD_CLOSE also stands for
// the window being closed or Esc.
void user_device_command(int id, int event, int value);

// A record back to the free state: inactive, "-Available Device Entry-", "NEW", 0 to 5 V for
// 0 to 100, width 4, precision 4.
void free_user_device(int n);

void reset_user_device_dialog();
