#include "dialogs/preferences.h"

#include <array>
#include <cstdio>
#include <limits>
#include <mutex>

#include "config/config.h"
#include "config/settings.h"
#include "platform/ui_services.h"

PreferencesDialog g_preferences;

namespace {

// ---- Layout ----------------------------------------------------------------------------------
// The dialog is 620 x 470; the tabs run along the top, the page below them at (14, 34) fills the
// tab control less its frame, and the buttons sit under it on the right. Page rows are written
// relative to the page's corner.

constexpr int PX = 14, PY = 34;

constexpr std::array<ControlDef, 5> FRAME_CONTROLS = {{
    {PREF_TABS, ControlKind::TabBar, nullptr, 8, 8, 604, 26, CS_NONE, KeyRoute::Own},
    {PREF_FRAME, ControlKind::GroupBox, nullptr, 8, 28, 604, 396, CS_NONE, KeyRoute::Own},
    {PREF_OK, ControlKind::PushButton, "OK", 372, 434, 75, 26, CS_GROUP | CS_TAB_STOP, KeyRoute::Own},
    {PREF_CANCEL, ControlKind::PushButton, "Cancel", 454, 434, 75, 26, CS_TAB_STOP, KeyRoute::Own},
    {PREF_APPLY, ControlKind::PushButton, "Apply", 536, 434, 75, 26, CS_TAB_STOP | CS_DISABLED, KeyRoute::Own},
}};

constexpr const char* TAB_NAMES[] = {"General Setup", "ADC Channels"};

constexpr uint32_t EDIT = CS_TAB_STOP;
constexpr uint32_t FIRST_RADIO = CS_GROUP | CS_TAB_STOP;
constexpr auto OWN = KeyRoute::Own;

constexpr std::array<ControlDef, 40> GENERAL_CONTROLS = {{
    {GEN_VE_GROUP, ControlKind::GroupBox, "VE Learn", PX, PY + 4, 285, 170, CS_NONE, OWN},
    {GEN_BLM, ControlKind::RadioButton, "BLM", PX + 14, PY + 26, 60, 22, FIRST_RADIO, OWN},
    {GEN_WB, ControlKind::RadioButton, "WB", PX + 90, PY + 26, 60, 22, CS_NONE, OWN},
    {GEN_MIN_CTS_LABEL, ControlKind::Label, "Minimum CTS:", PX + 14, PY + 58, 120, 20, CS_GROUP, OWN},
    {GEN_MIN_CTS, ControlKind::Edit, "", PX + 140, PY + 56, 60, 24, EDIT, OWN, Font::Default, 5},
    {GEN_MIN_CTS_UNIT, ControlKind::Label, "\xB0" "C", PX + 206, PY + 58, 30, 20, CS_NONE, OWN},
    {GEN_MAX_CTS_LABEL, ControlKind::Label, "Maximum CTS:", PX + 14, PY + 88, 120, 20, CS_NONE, OWN},
    {GEN_MAX_CTS, ControlKind::Edit, "", PX + 140, PY + 86, 60, 24, EDIT, OWN, Font::Default, 5},
    {GEN_MAX_CTS_UNIT, ControlKind::Label, "\xB0" "C", PX + 206, PY + 88, 30, 20, CS_NONE, OWN},
    {GEN_SMOOTHING_LABEL, ControlKind::Label, "Smoothing Factor:", PX + 14, PY + 118, 124, 20, CS_NONE, OWN},
    {GEN_SMOOTHING, ControlKind::Edit, "", PX + 140, PY + 116, 60, 24, EDIT, OWN, Font::Default, 5},
    // Periodic writing of the learned table is for emulator setups only: the box stays hidden.
    {GEN_AUTOUPDATE, ControlKind::CheckBox, "AutoUpdate:", PX + 14, PY + 146, 120, 20, CS_HIDDEN | CS_TEXT_LEFT, OWN},
    {GEN_AUTOUPDATE_MINUTES, ControlKind::Edit, "", PX + 140, PY + 144, 60, 24, CS_HIDDEN, OWN, Font::Default, 5},
    {GEN_RATE_GROUP, ControlKind::GroupBox, "Display Update", PX, PY + 182, 285, 62, CS_GROUP, OWN},
    {GEN_RATE, ControlKind::ComboBox, nullptr, PX + 14, PY + 204, 200, 26, EDIT, OWN},
    {GEN_PLAYBACK_GROUP, ControlKind::GroupBox, "Playback Rate", PX, PY + 252, 285, 86, CS_NONE, OWN},
    {GEN_PLAYBACK, ControlKind::Trackbar, nullptr, PX + 14, PY + 274, 257, 30, EDIT, OWN},
    {GEN_SLOW, ControlKind::Label, "Slow", PX + 14, PY + 308, 50, 20, CS_NONE, OWN},
    {GEN_FAST, ControlKind::Label, "Fast", PX + 240, PY + 308, 40, 20, CS_NONE, OWN},
    {GEN_KNOCK_LABEL, ControlKind::Label, "Knock Alert Sound:", PX + 300, PY + 12, 170, 20, CS_NONE, OWN},
    {GEN_KNOCK, ControlKind::CheckBox, "Enable", PX + 475, PY + 12, 90, 20, EDIT, OWN},
    {GEN_ENTER_LABEL, ControlKind::Label, "ENTER to Pause Datalog:", PX + 300, PY + 40, 170, 20, CS_NONE, OWN},
    {GEN_ENTER, ControlKind::CheckBox, "Enable", PX + 475, PY + 40, 90, 20, EDIT, OWN},
    {GEN_TRIP_LABEL, ControlKind::Label, "Save/Reload Trip Data:", PX + 300, PY + 68, 170, 20, CS_NONE, OWN},
    {GEN_TRIP, ControlKind::CheckBox, "Enable", PX + 475, PY + 68, 90, 20, EDIT, OWN},
    {GEN_GEAR_LABEL, ControlKind::Label, "Gear Indicator:", PX + 300, PY + 108, 170, 20, CS_NONE, OWN},
    {GEN_STICK, ControlKind::RadioButton, "Stick", PX + 475, PY + 108, 56, 20, FIRST_RADIO, OWN},
    {GEN_AUTO, ControlKind::RadioButton, "Auto", PX + 533, PY + 108, 56, 20, CS_NONE, OWN},
    {GEN_TEMPERATURE_LABEL, ControlKind::Label, "Temperature Scales:", PX + 300, PY + 136, 170, 20, CS_GROUP, OWN},
    {GEN_CELSIUS, ControlKind::RadioButton, "\xB0" "C", PX + 475, PY + 136, 56, 20, FIRST_RADIO, OWN},
    {GEN_FAHRENHEIT, ControlKind::RadioButton, "\xB0" "F", PX + 533, PY + 136, 56, 20, CS_NONE, OWN},
    {GEN_SPEED_LABEL, ControlKind::Label, "Speedometer Scale:", PX + 300, PY + 164, 170, 20, CS_GROUP, OWN},
    {GEN_KPH, ControlKind::RadioButton, "KPH", PX + 475, PY + 164, 56, 20, FIRST_RADIO, OWN},
    {GEN_MPH, ControlKind::RadioButton, "MPH", PX + 533, PY + 164, 56, 20, CS_NONE, OWN},
    {GEN_MAX_SPEED_LABEL, ControlKind::Label, "Max Speedometer:", PX + 300, PY + 206, 170, 20, CS_GROUP, OWN},
    {GEN_MAX_SPEED, ControlKind::Edit, "", PX + 475, PY + 204, 80, 24, EDIT, OWN, Font::Default, 5},
    {GEN_MAX_TACHO_LABEL, ControlKind::Label, "Max Tachometer:", PX + 300, PY + 236, 170, 20, CS_NONE, OWN},
    {GEN_MAX_TACHO, ControlKind::Edit, "", PX + 475, PY + 234, 80, 24, EDIT, OWN, Font::Default, 5},
    {GEN_REDLINE_LABEL, ControlKind::Label, "Tachometer Redline:", PX + 300, PY + 266, 170, 20, CS_NONE, OWN},
    {GEN_REDLINE, ControlKind::Edit, "", PX + 475, PY + 264, 80, 24, EDIT, OWN, Font::Default, 5},
}};

constexpr const char* CHANNEL_NAMES[ADC_CHANNEL_COUNT] = {"Channel 0", "Channel 1", "Channel 2", "Channel 3",
                                                          "Channel 4", "Channel 5", "Channel 6", "Channel 7"};

// Column x positions and row spacing of the ADC page.
constexpr int ADC_LABEL_X = 10, ADC_DEVICE_X = 84, ADC_FILTER_X = 354, ADC_WB_X = 490, ADC_FUEL_X = 540;
constexpr int ADC_ROW_Y = 34, ADC_ROW_STEP = 40;

constexpr std::array<ControlDef, 4 + 5 * ADC_CHANNEL_COUNT> make_adc_controls()
{
    std::array<ControlDef, 4 + 5 * ADC_CHANNEL_COUNT> t{};
    t[0] = {ADC_HEADINGS, ControlKind::Label, "Channel", PX + ADC_LABEL_X, PY + 10, 70, 20, CS_NONE, OWN};
    t[1] = {ADC_HEADINGS + 1, ControlKind::Label, "Device", PX + ADC_DEVICE_X, PY + 10, 100, 20, CS_NONE, OWN};
    t[2] = {ADC_HEADINGS + 2, ControlKind::Label, "Smoothing", PX + ADC_FILTER_X, PY + 10, 100, 20, CS_NONE, OWN};
    t[3] = {ADC_HEADINGS + 3, ControlKind::Label, "Preferred", PX + ADC_WB_X, PY + 10, 90, 20, CS_NONE, OWN};
    size_t k = 4;
    for (int n = 0; n < ADC_CHANNEL_COUNT; ++n) {
        int y = PY + ADC_ROW_Y + ADC_ROW_STEP * n;
        t[k++] = {ADC_CHANNEL_LABEL + n, ControlKind::Label, CHANNEL_NAMES[n], PX + ADC_LABEL_X, y + 4, 76, 20,
                  CS_GROUP, OWN};
        t[k++] = {ADC_DEVICE + n, ControlKind::ComboBox, nullptr, PX + ADC_DEVICE_X, y, 262, 28, EDIT, OWN};
        t[k++] = {ADC_FILTER + n, ControlKind::ComboBox, nullptr, PX + ADC_FILTER_X, y, 126, 28, EDIT, OWN};
        t[k++] = {ADC_WB + n, ControlKind::CheckBox, "WB", PX + ADC_WB_X, y + 4, 46, 20, EDIT, OWN};
        t[k++] = {ADC_FUEL + n, ControlKind::CheckBox, "Fuel", PX + ADC_FUEL_X, y + 4, 54, 20, EDIT, OWN};
    }
    return t;
}

constexpr auto ADC_CONTROLS = make_adc_controls();

constexpr const char* RATE_ITEMS[] = {"  4 Times a Second", "  6 Times a Second", "  9 Times a Second",
                                      "17 Times a Second"};

// ---- The General Setup page as data ------------------------------------------------------------

enum class Rule : uint8_t {
    RadioPair,   // `first` when the row's radio is checked, else 1 - `first` (its mate follows it)
    Unsigned,    // the field as an unsigned number, as typed
    Limited,     // the field as a number, limited to min..max, rounded to `step`
    Check,       // 1 if checked
    Index,       // the chosen list entry
    Reversed,    // 100 - the trackbar's position
};

struct GeneralSetting {
    int control;
    Shared<int32_t> Settings::*setting;
    Rule rule;
    int32_t first = 0;           // RadioPair
    int32_t min = 0, max = 0;    // Limited
    int32_t step = 1;            // Limited
    bool filled = true;          // shown when the page opens (the hidden AutoUpdate pair is not)
    bool shown_elsewhere = false;// the analysis display shows it: a change marks the dialog changed
};

constexpr GeneralSetting GENERAL_SETTINGS[] = {
    {.control = GEN_BLM, .setting = &Settings::lrninp, .rule = Rule::RadioPair, .first = 0},
    {.control = GEN_MIN_CTS, .setting = &Settings::lrnlwr, .rule = Rule::Unsigned},
    {.control = GEN_MAX_CTS, .setting = &Settings::lrnupr, .rule = Rule::Unsigned},
    {.control = GEN_SMOOTHING, .setting = &Settings::smoothfac, .rule = Rule::Limited, .min = 0, .max = 20},
    // Never filled, so storing the page turns periodic saving off.
    {.control = GEN_AUTOUPDATE, .setting = &Settings::autovsave, .rule = Rule::Check, .filled = false},
    {.control = GEN_AUTOUPDATE_MINUTES, .setting = &Settings::autovtime, .rule = Rule::Unsigned, .filled = false},
    {.control = GEN_RATE, .setting = &Settings::updaterate, .rule = Rule::Index},
    {.control = GEN_PLAYBACK, .setting = &Settings::pbspd, .rule = Rule::Reversed},
    {.control = GEN_KNOCK, .setting = &Settings::knockalert, .rule = Rule::Check},
    {.control = GEN_ENTER, .setting = &Settings::enterpause, .rule = Rule::Check},
    {.control = GEN_TRIP, .setting = &Settings::savetrip, .rule = Rule::Check},
    {.control = GEN_STICK, .setting = &Settings::transtype, .rule = Rule::RadioPair, .first = 0},
    {.control = GEN_CELSIUS, .setting = &Settings::temperscale, .rule = Rule::RadioPair, .first = 1,
     .shown_elsewhere = true},
    {.control = GEN_KPH, .setting = &Settings::kphormph, .rule = Rule::RadioPair, .first = 1, .shown_elsewhere = true},
    {.control = GEN_MAX_SPEED, .setting = &Settings::mphrange, .rule = Rule::Limited, .min = 10, .max = 340, .step = 10},
    {.control = GEN_MAX_TACHO, .setting = &Settings::rpmrange, .rule = Rule::Limited, .min = 1000, .max = 8000,
     .step = 1000},
    {.control = GEN_REDLINE, .setting = &Settings::rdln, .rule = Rule::Limited, .min = 0, .max = 8000},
};

constexpr const char* CELSIUS = "\xB0" "C";
constexpr const char* FAHRENHEIT = "\xB0" "F";

ControlHost& host() { return *g_preferences.host; }

void enable_apply() { host().set_enabled(PREF_APPLY, true); }

std::string number_text(int32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%d", static_cast<int>(v));
    return buf;
}

// The index of the radio pair `id` belongs to, and whether it is the pair's first radio; -1 when
// it is no radio of the page.
int radio_pair(int id, bool& first)
{
    int pair = 0;
    for (const GeneralSetting& s : GENERAL_SETTINGS) {
        if (s.rule != Rule::RadioPair)
            continue;
        if (id == s.control || id == s.control + 1) {
            first = id == s.control;
            return pair;
        }
        ++pair;
    }
    return -1;
}

void show_general_page()
{
    ControlHost& h = host();
    Settings& st = g_settings;
    g_preferences.first_radio.clear();
    for (const GeneralSetting& s : GENERAL_SETTINGS) {
        int32_t v = st.*s.setting;
        if (s.rule == Rule::RadioPair)
            g_preferences.first_radio.push_back(v == s.first);
        if (!s.filled)
            continue;
        switch (s.rule) {
        case Rule::RadioPair:
            h.set_checked(v == s.first ? s.control : s.control + 1, true);
            break;
        case Rule::Unsigned:
        case Rule::Limited:
            h.set_text(s.control, number_text(v));
            break;
        case Rule::Check:
            h.set_checked(s.control, v == 1);
            break;
        case Rule::Index:
            h.set_items(s.control, std::vector<std::string>(std::begin(RATE_ITEMS), std::end(RATE_ITEMS)));
            h.set_value(s.control, v);
            break;
        case Rule::Reversed:
            h.set_range(s.control, 0, 100, 10);
            h.set_value(s.control, 100 - v);
            break;
        }
    }
    g_preferences.celsius_shown = st.temperscale == 1;
    const char* unit = g_preferences.celsius_shown ? CELSIUS : FAHRENHEIT;
    h.set_text(GEN_MIN_CTS_UNIT, unit);
    h.set_text(GEN_MAX_CTS_UNIT, unit);
    h.focus(GEN_BLM);
}

void store_general_page()
{
    ControlHost& h = host();
    Settings& st = g_settings;
    for (const GeneralSetting& s : GENERAL_SETTINGS) {
        int32_t v = 0;
        switch (s.rule) {
        case Rule::RadioPair:
            v = h.checked(s.control) ? s.first : 1 - s.first;
            break;
        case Rule::Unsigned:
            v = dialog_unsigned(h.text(s.control));
            break;
        case Rule::Limited:
            v = limit_and_round(dialog_integer(h.text(s.control)), s.min, s.max, s.step);
            break;
        case Rule::Check:
            v = h.checked(s.control) ? 1 : 0;
            break;
        case Rule::Index:
            v = h.value(s.control);
            break;
        case Rule::Reversed:
            v = 100 - h.value(s.control);
            break;
        }
        if (s.shown_elsewhere && v != st.*s.setting)
            g_preferences.changed = true;
        st.*s.setting = v;
    }
    st.frame_skip_code = frame_skip_code_for(st.updaterate);
}

// Checking the other scale converts both coolant limits shown.
void switch_temperature_scale(bool celsius)
{
    ControlHost& h = host();
    for (int field : {GEN_MIN_CTS, GEN_MAX_CTS}) {
        int32_t v = dialog_unsigned(h.text(field));
        h.set_text(field, number_text(celsius ? fahrenheit_to_celsius(v) : celsius_to_fahrenheit(v)));
    }
    h.set_text(GEN_MIN_CTS_UNIT, celsius ? CELSIUS : FAHRENHEIT);
    h.set_text(GEN_MAX_CTS_UNIT, celsius ? CELSIUS : FAHRENHEIT);
    g_preferences.celsius_shown = celsius;
}

void autoupdate_clicked()
{
    if (!host().checked(GEN_AUTOUPDATE) || g_settings.autovshow != 1)
        return;
    const std::string text =
        "The AutoUpdate option is ONLY to be used with a real time emulation update utility.  This is a tool "
        "such as the EmUtility from TunerPro.";
    bool skip = false;
    if (g_preferences.autoupdate_warning != nullptr)
        skip = g_preferences.autoupdate_warning(text);
    else
        ui().message_box(text, "Warning!", MB_OK | MB_ICONEXCLAMATION | MB_TOPMOST);
    if (skip)
        g_settings.autovshow = 0;
}

void general_command(int id, int event)
{
    bool first = false;
    int pair = radio_pair(id, first);
    if (pair >= 0) {
        if (event != CONTROL_CLICKED || g_preferences.first_radio[pair] == first)
            return;   // the choice in force: nothing changes
        g_preferences.first_radio[pair] = first;
        if (id == GEN_CELSIUS || id == GEN_FAHRENHEIT)
            switch_temperature_scale(id == GEN_CELSIUS);
        enable_apply();
        return;
    }
    switch (event) {
    case CONTROL_EDITED:
    case CONTROL_SELECTED:
    case CONTROL_VALUE:
        enable_apply();
        break;
    case CONTROL_CLICKED:
        if (id == GEN_AUTOUPDATE)
            autoupdate_clicked();
        enable_apply();
        break;
    default:
        break;
    }
}

// ---- The ADC Channels page ---------------------------------------------------------------------

// The channel the page would make preferred for a flag: the last one that has it.
int preferred_channel(Shared<int32_t> AdcChannelSettings::*flag)
{
    int found = -1;
    for (int n = 0; n < ADC_CHANNEL_COUNT; ++n)
        if (g_settings.ad[n].type != DEVICE_NONE && g_settings.ad[n].*flag == 1)
            found = n;
    return found;
}

void show_adc_page()
{
    ControlHost& h = host();
    auto& devices = g_preferences.devices;
    devices.clear();
    {
        std::lock_guard<std::mutex> lock(g_adc.lock);
        // The catalogue's filled entries come first; the rest are empty.
        for (const CatalogueEntry& e : g_adc.catalogue)
            if (e.kind != DEVICE_NONE || !e.name.empty())
                devices.push_back(e);
    }
    std::vector<std::string> names;
    for (const CatalogueEntry& e : devices)
        names.push_back(e.name);
    std::vector<std::string> filters;
    for (int i = 0; i < FILTER_ITEMS; ++i)
        filters.push_back(filter_item(i));

    int wb = preferred_channel(&AdcChannelSettings::wbpref);
    int fuel = preferred_channel(&AdcChannelSettings::fppref);
    for (int n = 0; n < ADC_CHANNEL_COUNT; ++n) {
        const AdcChannelSettings& cfg = g_settings.ad[n];
        h.set_items(ADC_DEVICE + n, names);
        h.set_value(ADC_DEVICE + n, device_index(devices, cfg.type, static_cast<uint32_t>(cfg.insta), cfg.index));
        h.set_items(ADC_FILTER + n, filters);
        h.set_value(ADC_FILTER + n, filter_index(cfg.filter));
        h.set_checked(ADC_WB + n, n == wb);
        h.set_checked(ADC_FUEL + n, n == fuel);
    }
}

void store_adc_page()
{
    ControlHost& h = host();
    const auto& devices = g_preferences.devices;
    for (int n = 0; n < ADC_CHANNEL_COUNT; ++n) {
        AdcChannelSettings& cfg = g_settings.ad[n];
        int i = h.value(ADC_DEVICE + n);
        CatalogueEntry e = i >= 0 && static_cast<size_t>(i) < devices.size() ? devices[static_cast<size_t>(i)]
                                                                               : CatalogueEntry{DEVICE_NONE, -1, 0, "None"};
        cfg.type = e.kind;
        // "None" has no place in a table; the file holds 0 for it.
        cfg.index = e.position < 0 ? 0 : e.position;
        cfg.insta = static_cast<int32_t>(e.id);
        cfg.name = e.name.substr(0, 48);
        int f = h.value(ADC_FILTER + n);
        cfg.filter = filter_for_index(f < 0 ? 0 : f >= FILTER_ITEMS ? FILTER_ITEMS - 1 : f);
        cfg.wbpref = h.checked(ADC_WB + n) ? 1 : 0;
        cfg.fppref = h.checked(ADC_FUEL + n) ? 1 : 0;
    }
}

void adc_command(int id, int event)
{
    bool changes = false;
    if (id >= ADC_DEVICE && id < ADC_WB) {
        changes = event == CONTROL_SELECTED;
    } else if (id >= ADC_WB && id < PREFERENCES_IDS_END && event == CONTROL_CLICKED) {
        // Each column of check boxes is one group: checking a box clears the others.
        int column = id < ADC_FUEL ? ADC_WB : ADC_FUEL;
        if (host().checked(id))
            for (int n = 0; n < ADC_CHANNEL_COUNT; ++n)
                if (column + n != id)
                    host().set_checked(column + n, false);
        changes = true;
    }
    if (changes) {
        g_preferences.changed = true;
        enable_apply();
    }
}

// ---- Pages and buttons --------------------------------------------------------------------------

std::span<const ControlDef> page_controls(int page)
{
    return page == PAGE_ADC ? std::span<const ControlDef>(ADC_CONTROLS) : std::span<const ControlDef>(GENERAL_CONTROLS);
}

void create_page(int page)
{
    g_preferences.page = page;
    host().create(page_controls(page), preferences_command);
    if (page == PAGE_ADC)
        show_adc_page();
    else
        show_general_page();
}

void store_page()
{
    if (g_preferences.page == PAGE_ADC)
        store_adc_page();
    else
        store_general_page();
}

void close_preferences()
{
    rebuild_channel_state();
    if (g_preferences.changed)
        g_ui_state.settings_changed = 1;
    ui().request_repaint();
    void (*end)() = g_preferences.end;
    g_preferences.host = nullptr;
    g_preferences.end = nullptr;
    g_ui_state.modal_dialog_open = 0;
    if (end != nullptr)
        end();
}

}  // namespace

void open_preferences(ControlHost& h, void (*end)())
{
    g_ui_state.modal_dialog_open = 1;
    g_preferences.host = &h;
    g_preferences.end = end;
    g_preferences.changed = false;
    h.create(FRAME_CONTROLS, preferences_command);
    h.set_items(PREF_TABS, std::vector<std::string>(std::begin(TAB_NAMES), std::end(TAB_NAMES)));
    h.set_value(PREF_TABS, PAGE_GENERAL);
    h.set_enabled(PREF_APPLY, false);
    create_page(PAGE_GENERAL);
}

void preferences_command(int id, int event, int value)
{
    if (g_preferences.host == nullptr)
        return;   // an event left over from a dialog that has closed
    ControlHost& h = host();
    switch (id) {
    case PREF_TABS:
        if (event == CONTROL_SELECTED && value != g_preferences.page && (value == PAGE_GENERAL || value == PAGE_ADC)) {
            store_page();
            h.destroy(page_controls(g_preferences.page));
            h.set_value(PREF_TABS, value);
            create_page(value);
        }
        return;
    case PREF_OK:
        store_page();
        save_config();
        close_preferences();
        return;
    case PREF_CANCEL:
        close_preferences();
        return;
    case PREF_APPLY:
        h.set_enabled(PREF_APPLY, false);
        store_page();
        save_config();
        rebuild_channel_state();
        ui().request_repaint();
        return;
    default:
        break;
    }
    if (id >= ADC_HEADINGS)
        adc_command(id, event);
    else
        general_command(id, event);
}

void reset_preferences_dialog()
{
    g_preferences.host = nullptr;
    g_preferences.page = PAGE_GENERAL;
    g_preferences.changed = false;
    g_preferences.celsius_shown = true;
    g_preferences.first_radio.clear();
    g_preferences.devices.clear();
    g_preferences.end = nullptr;
    g_preferences.autoupdate_warning = nullptr;
}
