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

// ---- Field rules ---------------------------------------------------------------------------

// A voltage or value field: its limits, the number of decimals it shows and the factor between
// the number typed and the number stored (millivolts, value x 10000).
struct NumberFieldRule {
    double min, max;
    int decimals;
    double factor;
};
constexpr NumberFieldRule VOLT_RULE{0.0, 5.0, 3, 1000.0};
constexpr NumberFieldRule VALUE_RULE{-999.9999, 9999.9999, 4, 10000.0};
constexpr int MAX_PRECISION = 4;

// What typing may leave in a number field: digits, one decimal point and a minus sign in first
// place (`decimal`), or digits only. `removed` says whether anything had to go.
std::string filter_number_field(std::string_view text, bool decimal, bool& removed);
// The number a field stands for, within the rule's limits and rounded to its decimals;
// `corrected` when the field was empty, unreadable or out of limits.
double field_value(std::string_view text, const NumberFieldRule& rule, bool& corrected);
// The field's text for a number, and the whole number stored for it.
std::string field_text(double value, const NumberFieldRule& rule);
int32_t field_stored(double value, const NumberFieldRule& rule);

// A record back to the free state: inactive, "-Available Device Entry-", "NEW", 0 to 5 V for
// 0 to 100, width 4, precision 4.
void free_user_device(int n);

void reset_user_device_dialog();
