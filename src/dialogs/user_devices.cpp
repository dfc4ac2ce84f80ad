#include "dialogs/user_devices.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include "config/config.h"
#include "config/devices.h"
#include "config/settings.h"
#include "dialogs/preferences.h"
#include "platform/ui_services.h"

UserDeviceDialog g_user_device_dialog;

namespace {

constexpr auto OWN = KeyRoute::Own;
constexpr auto PLAIN = Font::Default;

// The dialog is 470 x 250: the list and the fields on the left, the buttons on the right.
constexpr std::array<ControlDef, 16> USER_DEVICE_CONTROLS = {{
    {UD_LIST, ControlKind::ComboBox, nullptr, 12, 12, 330, 28, CS_TAB_STOP, OWN},
    {UD_NAME_LABEL, ControlKind::Label, "Name:", 12, 54, 70, 20, CS_NONE, OWN},
    {UD_NAME, ControlKind::Edit, "", 88, 52, 254, 24, CS_TAB_STOP, OWN, PLAIN, 48},
    {UD_UNIT_LABEL, ControlKind::Label, "Unit:", 12, 86, 70, 20, CS_NONE, OWN},
    {UD_UNIT, ControlKind::Edit, "", 88, 84, 64, 24, CS_TAB_STOP, OWN, PLAIN, 4},
    {UD_VOLT_J, ControlKind::Edit, "", 12, 128, 70, 24, CS_TAB_STOP, OWN, PLAIN, 5},
    {UD_LABEL_J, ControlKind::Label, "", 88, 130, 140, 20, CS_NONE, OWN},
    {UD_VALUE_J, ControlKind::Edit, "", 232, 128, 110, 24, CS_TAB_STOP, OWN, PLAIN, 9},
    {UD_VOLT_K, ControlKind::Edit, "", 12, 160, 70, 24, CS_TAB_STOP, OWN, PLAIN, 5},
    {UD_LABEL_K, ControlKind::Label, "", 88, 162, 140, 20, CS_NONE, OWN},
    {UD_VALUE_K, ControlKind::Edit, "", 232, 160, 110, 24, CS_TAB_STOP, OWN, PLAIN, 9},
    {UD_PRECISION_LABEL, ControlKind::Label, "Precision:", 12, 204, 70, 20, CS_NONE, OWN},
    {UD_PRECISION, ControlKind::Edit, "", 88, 202, 40, 24, CS_TAB_STOP, OWN, PLAIN, 1},
    {UD_APPLY, ControlKind::PushButton, "Apply", 364, 12, 90, 28, CS_TAB_STOP | CS_DISABLED, OWN},
    {UD_DELETE, ControlKind::PushButton, "Delete", 364, 48, 90, 28, CS_TAB_STOP, OWN},
    {UD_CLOSE, ControlKind::PushButton, "Close", 364, 84, 90, 28, CS_TAB_STOP, OWN},
}};

// The two points' fields and the record's numbers they edit.
struct NumberField {
    int control;
    const NumberFieldRule* rule;
    Shared<int32_t> UserDeviceSettings::*setting;
};
constexpr NumberField NUMBER_FIELDS[] = {
    {UD_VOLT_J, &VOLT_RULE, &UserDeviceSettings::volt_j},
    {UD_VALUE_J, &VALUE_RULE, &UserDeviceSettings::unit_j},
    {UD_VOLT_K, &VOLT_RULE, &UserDeviceSettings::volt_k},
    {UD_VALUE_K, &VALUE_RULE, &UserDeviceSettings::unit_k},
};

constexpr const char* FREE_NAME = "-Available Device Entry-";
constexpr const char* NEW_NAME = "Put New Device Name Here";
constexpr const char* MODIFIED_TEXT = "This device entry has been modified.\n\nDo you want to save the changes?";
constexpr size_t NAME_LIMIT = 48, UNIT_LIMIT = 4;

ControlHost& host() { return *g_user_device_dialog.host; }

const NumberField* number_field(int id)
{
    for (const NumberField& f : NUMBER_FIELDS)
        if (f.control == id)
            return &f;
    return nullptr;
}

// The configuration file keeps texts without surrounding blanks; so does the record.
std::string trimmed(const std::string& s, size_t limit)
{
    size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos)
        return {};
    size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1).substr(0, limit);
}

void refresh_list()
{
    std::vector<std::string> names;
    for (const UserDeviceSettings& d : g_settings.ud)
        names.push_back(d.name);
    host().set_items(UD_LIST, names);
    host().set_value(UD_LIST, g_user_device_dialog.record);
}

void show_unit_labels(const std::string& unit)
{
    char label[32];
    std::snprintf(label, sizeof label, "Volts for %s of  ", unit.c_str());
    host().set_text(UD_LABEL_J, label);
    host().set_text(UD_LABEL_K, label);
}

void show_record()
{
    ControlHost& h = host();
    const UserDeviceSettings& d = g_settings.ud[g_user_device_dialog.record];
    h.set_text(UD_NAME, d.active == 1 ? d.name : NEW_NAME);
    h.set_text(UD_UNIT, d.unit);
    for (const NumberField& f : NUMBER_FIELDS)
        h.set_text(f.control, field_text(d.*f.setting / f.rule->factor, *f.rule));
    // The file allows more places than the dialog offers.
    h.set_text(UD_PRECISION, std::to_string(std::min(static_cast<int>(d.preci), MAX_PRECISION)));
    show_unit_labels(d.unit);
    h.set_enabled(UD_APPLY, false);
    g_user_device_dialog.modified = false;
    h.focus(UD_NAME);
}

// Apply: the fields into the record shown, each brought into its limits on the way.
void apply_record()
{
    ControlHost& h = host();
    UserDeviceSettings& d = g_settings.ud[g_user_device_dialog.record];
    d.name = trimmed(h.text(UD_NAME), NAME_LIMIT);
    d.unit = trimmed(h.text(UD_UNIT), UNIT_LIMIT);
    for (const NumberField& f : NUMBER_FIELDS) {
        bool corrected = false;
        d.*f.setting = field_stored(field_value(h.text(f.control), *f.rule, corrected), *f.rule);
    }
    int32_t precision = dialog_unsigned(h.text(UD_PRECISION));
    d.preci = precision > MAX_PRECISION ? MAX_PRECISION : precision;
    d.active = 1;
    g_user_device_dialog.changed = true;
    refresh_list();
    show_record();
}

void delete_record()
{
    free_user_device(g_user_device_dialog.record);
    g_user_device_dialog.changed = true;
    refresh_list();
    show_record();
}

// A record left while modified: the user says whether its changes are kept.
void offer_to_apply()
{
    if (!g_user_device_dialog.modified)
        return;
    if (ui().message_box(MODIFIED_TEXT, "Warning!", MB_YESNO | MB_ICONEXCLAMATION | MB_TOPMOST) == ID_YES)
        apply_record();
}

void choose_record(int n)
{
    if (n < 0 || n >= USER_DEVICE_COUNT || n == g_user_device_dialog.record)
        return;
    offer_to_apply();
    g_user_device_dialog.record = n;
    g_user_device_dialog.last_record = n;
    host().set_value(UD_LIST, n);
    show_record();
}

void close_user_devices()
{
    offer_to_apply();
    build_device_catalogue();
    revalidate_user_channels();
    rebuild_channel_state();
    save_config();
    if (g_user_device_dialog.changed)
        g_ui_state.settings_changed = 1;
    ui().request_repaint();
    void (*end)() = g_user_device_dialog.end;
    g_user_device_dialog.host = nullptr;
    g_user_device_dialog.end = nullptr;
    g_ui_state.modal_dialog_open = 0;
    if (end != nullptr)
        end();
}

void edited(int id)
{
    ControlHost& h = host();
    bool decimal = number_field(id) != nullptr;
    if (decimal || id == UD_PRECISION) {
        bool removed = false;
        std::string kept = filter_number_field(h.text(id), decimal, removed);
        if (removed) {
            h.set_text(id, kept);
            ui().beep();
        }
    } else if (id == UD_UNIT) {
        show_unit_labels(h.text(UD_UNIT));
    }
    g_user_device_dialog.modified = true;
    h.set_enabled(UD_APPLY, true);
}

void left(int id)
{
    ControlHost& h = host();
    if (const NumberField* f = number_field(id)) {
        bool corrected = false;
        double v = field_value(h.text(id), *f->rule, corrected);
        h.set_text(id, field_text(v, *f->rule));
        if (corrected) {
            ui().beep();
            h.focus(id);   // back to the field, its text selected
        }
    } else if (id == UD_PRECISION && dialog_unsigned(h.text(id)) > MAX_PRECISION) {
        h.set_text(id, std::to_string(MAX_PRECISION));
        ui().beep();
    }
}

}  // namespace

void open_user_devices(ControlHost& h, void (*end)())
{
    UserDeviceDialog& u = g_user_device_dialog;
    g_ui_state.modal_dialog_open = 1;
    u.host = &h;
    u.end = end;
    u.changed = false;
    u.record = u.last_record >= 0 && u.last_record < USER_DEVICE_COUNT ? u.last_record : 0;
    h.create(USER_DEVICE_CONTROLS, user_device_command);
    refresh_list();
    show_record();
}

void user_device_command(int id, int event, int value)
{
    if (g_user_device_dialog.host == nullptr)
        return;   // an event left over from a dialog that has closed
    switch (event) {
    case CONTROL_SELECTED:
        if (id == UD_LIST)
            choose_record(value);
        break;
    case CONTROL_EDITED:
        edited(id);
        break;
    case CONTROL_FOCUS_LOST:
        left(id);
        break;
    case CONTROL_CLICKED:
        if (id == UD_APPLY)
            apply_record();
        else if (id == UD_DELETE)
            delete_record();
        else if (id == UD_CLOSE)
            close_user_devices();
        break;
    default:
        break;
    }
}

void free_user_device(int n)
{
    if (n < 0 || n >= USER_DEVICE_COUNT)
        return;
    UserDeviceSettings& d = g_settings.ud[n];
    d.active = 0;
    d.name = FREE_NAME;
    d.unit = "NEW";
    d.volt_j = 0;
    d.volt_k = 5000;
    d.unit_j = 0;
    d.unit_k = 1000000;
    d.width = 4;
    d.preci = 4;
}

void reset_user_device_dialog() { g_user_device_dialog = UserDeviceDialog{}; }
