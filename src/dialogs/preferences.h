// The Preferences dialog: a tab control over two pages, "General Setup" (the program-wide
// settings) and "ADC Channels" (each channel's device, smoothing and preferred flags), with OK,
// Cancel and Apply.
//
// Everything the dialog does is here, on the window thread: which controls it has (tables, in
// the order the pages list them), what it shows, how it reacts, and what it stores. The window
// in app/ only realises the tables on a host of its own, hands the events to
// preferences_command and closes when told. A page's values are in force in memory once the page
// is stored (OK, Apply, or a change of tab); they reach the configuration file on OK and Apply.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "config/devices.h"
#include "config/dialog_rules.h"
#include "config/settings.h"
#include "draw/controls.h"

constexpr int PREFERENCES_IDS = CONTROL_IDS_DIALOGS + 700;

enum PreferencesControl : int {
    // The dialog's own controls.
    PREF_TABS = PREFERENCES_IDS,
    PREF_FRAME,
    PREF_OK,
    PREF_CANCEL,
    PREF_APPLY,

    // General Setup.
    GEN_VE_GROUP,
    GEN_BLM,
    GEN_WB,
    GEN_MIN_CTS_LABEL,
    GEN_MIN_CTS,
    GEN_MIN_CTS_UNIT,
    GEN_MAX_CTS_LABEL,
    GEN_MAX_CTS,
    GEN_MAX_CTS_UNIT,
    GEN_SMOOTHING_LABEL,
    GEN_SMOOTHING,
    GEN_AUTOUPDATE,
    GEN_AUTOUPDATE_MINUTES,
    GEN_RATE_GROUP,
    GEN_RATE,
    GEN_PLAYBACK_GROUP,
    GEN_PLAYBACK,
    GEN_SLOW,
    GEN_FAST,
    GEN_KNOCK_LABEL,
    GEN_KNOCK,
    GEN_ENTER_LABEL,
    GEN_ENTER,
    GEN_TRIP_LABEL,
    GEN_TRIP,
    GEN_GEAR_LABEL,
    GEN_STICK,
    GEN_AUTO,
    GEN_TEMPERATURE_LABEL,
    GEN_CELSIUS,
    GEN_FAHRENHEIT,
    GEN_SPEED_LABEL,
    GEN_KPH,
    GEN_MPH,
    GEN_MAX_SPEED_LABEL,
    GEN_MAX_SPEED,
    GEN_MAX_TACHO_LABEL,
    GEN_MAX_TACHO,
    GEN_REDLINE_LABEL,
    GEN_REDLINE,

    // ADC Channels: the headings, then per control kind one id per channel (id + channel).
    ADC_HEADINGS,
    ADC_CHANNEL_LABEL = ADC_HEADINGS + 4,
    ADC_DEVICE = ADC_CHANNEL_LABEL + ADC_CHANNEL_COUNT,
    ADC_FILTER = ADC_DEVICE + ADC_CHANNEL_COUNT,
    ADC_WB = ADC_FILTER + ADC_CHANNEL_COUNT,
    ADC_FUEL = ADC_WB + ADC_CHANNEL_COUNT,
    PREFERENCES_IDS_END = ADC_FUEL + ADC_CHANNEL_COUNT,
};
static_assert(PREFERENCES_IDS_END <= PREFERENCES_IDS + 100);

enum PreferencesPage : int { PAGE_GENERAL = 0, PAGE_ADC = 1 };

struct PreferencesDialog {
    ControlHost* host = nullptr;   // the dialog's controls; none while it is closed
    int page = PAGE_GENERAL;
    // A setting the analysis display shows has changed (temperature scale, speed unit, a
    // channel's device, smoothing or preference): the display rebuilds once the dialog closes.
    bool changed = false;
    bool celsius_shown = true;     // the scale the two CTS fields are in now
    std::vector<bool> first_radio; // per radio pair of the General Setup page: its first is checked
    std::vector<CatalogueEntry> devices;   // what the device lists of the ADC page hold
    void (*end)() = nullptr;       // closes the dialog's window
    // Shows the AutoUpdate warning; returns whether its "skip" box was checked. Unset: a plain
    // message box without the box.
    bool (*autoupdate_warning)(const std::string& text) = nullptr;
};

extern PreferencesDialog g_preferences;

// Opens the dialog on `host`: the frame, the General Setup page filled from the settings, Apply
// disabled, `modal_dialog_open` set. `end` is called when the dialog is to close.
void open_preferences(ControlHost& host, void (*end)());
// Every click, edit, move and choice of the dialog's controls; PREF_CANCEL also stands for the
// window being closed or Esc.
void preferences_command(int id, int event, int value);

void reset_preferences_dialog();
