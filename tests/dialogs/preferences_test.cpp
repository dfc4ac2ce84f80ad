// The Preferences dialog without a window: its pages on a recording host, what each kind of
// control stores, the temperature scale switch, OK / Cancel / Apply, and the channels the ADC
// page binds as the gauges and the trip display then read them.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "config/config.h"
#include "config/devices.h"
#include "config/settings.h"
#include "dialogs/preferences.h"
#include "displays/gauges.h"
#include "displays/trip.h"
#include "draw/recording_canvas.h"
#include "support/live.h"
#include "support/log_builder.h"
#include "support/param_name.h"
#include "support/scripted_ui.h"

namespace {

int ended = 0;
void count_end() { ++ended; }

class PreferencesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        set_config_path(temp_dir() + "/preferences_test.cfg");
        std::remove(config_path().c_str());
        ended = 0;
    }
    void TearDown() override { reset_everything(); }

    void open() { open_preferences(rec, count_end); }
    bool file_has(const std::string& line) const { return read_file(config_path()).find(line + "\r\n") != std::string::npos; }

    RecordingControls rec;
    ScopedScriptedUi ui;
};

TEST_F(PreferencesTest, OpeningShowsTheGeneralSetupPageAsTheSettingsStand)
{
    g_settings.knockalert = 0;
    g_settings.savetrip = 1;
    g_settings.transtype = 1;
    g_settings.kphormph = 1;
    g_settings.pbspd = 30;
    g_settings.updaterate = 2;
    open();
    EXPECT_EQ(static_cast<int>(g_ui_state.modal_dialog_open), 1);
    EXPECT_EQ(rec.get(PREF_TABS).items, (std::vector<std::string>{"General Setup", "ADC Channels"}));
    EXPECT_FALSE(rec.get(PREF_APPLY).enabled);
    EXPECT_EQ(rec.focused(), GEN_BLM);

    EXPECT_TRUE(rec.checked(GEN_BLM));
    EXPECT_EQ(rec.text(GEN_MIN_CTS), "75");
    EXPECT_EQ(rec.text(GEN_MAX_CTS), "110");
    EXPECT_EQ(rec.text(GEN_MIN_CTS_UNIT), "\xB0" "C");
    EXPECT_EQ(rec.text(GEN_SMOOTHING), "5");
    EXPECT_FALSE(rec.get(GEN_AUTOUPDATE).visible);
    EXPECT_FALSE(rec.get(GEN_AUTOUPDATE_MINUTES).visible);
    EXPECT_EQ(rec.text(GEN_AUTOUPDATE_MINUTES), "") << "the hidden pair is never filled";
    EXPECT_EQ(rec.get(GEN_RATE).items,
              (std::vector<std::string>{"  4 Times a Second", "  6 Times a Second", "  9 Times a Second", "17 Times a Second"}));
    EXPECT_EQ(rec.value(GEN_RATE), 2);
    EXPECT_EQ(rec.get(GEN_PLAYBACK).max, 100);
    EXPECT_EQ(rec.get(GEN_PLAYBACK).page, 10) << "a tick every 10";
    EXPECT_EQ(rec.value(GEN_PLAYBACK), 70);
    EXPECT_FALSE(rec.checked(GEN_KNOCK));
    EXPECT_FALSE(rec.checked(GEN_ENTER));
    EXPECT_TRUE(rec.checked(GEN_TRIP));
    EXPECT_TRUE(rec.checked(GEN_AUTO));
    EXPECT_TRUE(rec.checked(GEN_CELSIUS));
    EXPECT_TRUE(rec.checked(GEN_KPH));
    EXPECT_EQ(rec.text(GEN_MAX_SPEED), "120");
    EXPECT_EQ(rec.text(GEN_MAX_TACHO), "7000");
    EXPECT_EQ(rec.text(GEN_REDLINE), "5800");

    rec.click(PREF_CANCEL);
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(static_cast<int>(g_ui_state.modal_dialog_open), 0);
    EXPECT_EQ(static_cast<int>(g_ui_state.settings_changed), 0) << "nothing that the analysis shows changed";
}

struct TypedCase {
    const char* name;
    int control;
    const char* typed;
    Shared<int32_t> Settings::*setting;
    int32_t stored;
};

class TypedNumber : public PreferencesTest, public ::testing::WithParamInterface<TypedCase> {};

TEST_P(TypedNumber, IsStoredByTheRuleOfItsField)
{
    const TypedCase& c = GetParam();
    open();
    rec.edit(c.control, c.typed);
    EXPECT_TRUE(rec.get(PREF_APPLY).enabled);
    rec.click(PREF_OK);
    EXPECT_EQ(static_cast<int32_t>(g_settings.*c.setting), c.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, TypedNumber,
    ::testing::Values(
        TypedCase{"max speedometer 345 stores 340", GEN_MAX_SPEED, "345", &Settings::mphrange, 340},
        TypedCase{"max speedometer 124 stores 120", GEN_MAX_SPEED, "124", &Settings::mphrange, 120},
        TypedCase{"max speedometer 125 stores 130", GEN_MAX_SPEED, "125", &Settings::mphrange, 130},
        TypedCase{"max speedometer of letters stores the least", GEN_MAX_SPEED, "fast", &Settings::mphrange, 10},
        TypedCase{"an empty max speedometer stores the least", GEN_MAX_SPEED, "", &Settings::mphrange, 10},
        TypedCase{"a negative max speedometer stores the least", GEN_MAX_SPEED, "-200", &Settings::mphrange, 10},
        TypedCase{"max tachometer 500 stores 1000", GEN_MAX_TACHO, "500", &Settings::rpmrange, 1000},
        TypedCase{"max tachometer 6400 stores 6000", GEN_MAX_TACHO, "6400", &Settings::rpmrange, 6000},
        TypedCase{"max tachometer 6500 rounds up to 7000", GEN_MAX_TACHO, "6500", &Settings::rpmrange, 7000},
        TypedCase{"a max tachometer too long for any number stores the most", GEN_MAX_TACHO, "99999999999999",
                  &Settings::rpmrange, 8000},
        TypedCase{"a redline past 8000 stores 8000", GEN_REDLINE, "9000", &Settings::rdln, 8000},
        TypedCase{"a negative redline stores 0", GEN_REDLINE, "-5", &Settings::rdln, 0},
        TypedCase{"a smoothing factor of 25 stores 20", GEN_SMOOTHING, "25", &Settings::smoothfac, 20},
        TypedCase{"a coolant limit past the files range is written as its largest", GEN_MIN_CTS, "500", &Settings::lrnlwr, 220},
        TypedCase{"a signed coolant limit reads as no number", GEN_MIN_CTS, "-5", &Settings::lrnlwr, 0},
        TypedCase{"a coolant limit is read up to the first other character", GEN_MAX_CTS, "95x", &Settings::lrnupr, 95}),
    NameFromSentence());

TEST_F(PreferencesTest, CoolantLimitsAreKeptAsTypedUntilTheFileIsWritten)
{
    open();
    rec.edit(GEN_MIN_CTS, "500");
    rec.click(PREF_APPLY);
    EXPECT_TRUE(file_has("[LRNLWR] 220")) << "the writer limits what it writes, in memory too";
    EXPECT_EQ(static_cast<int>(g_settings.lrnlwr), 220);

    rec.edit(GEN_MIN_CTS, "300");
    rec.select(PREF_TABS, PAGE_ADC);
    EXPECT_EQ(static_cast<int>(g_settings.lrnlwr), 300) << "stored by the tab change as typed";
}

TEST_F(PreferencesTest, SwitchingTheScaleConvertsBothCoolantLimitsAndBack)
{
    g_settings.lrnlwr = 80;
    open();
    rec.click(GEN_CELSIUS);
    EXPECT_FALSE(rec.get(PREF_APPLY).enabled) << "the scale in force: nothing changes";
    rec.click(GEN_FAHRENHEIT);
    EXPECT_EQ(rec.text(GEN_MIN_CTS), "176");
    EXPECT_EQ(rec.text(GEN_MAX_CTS), "230");
    EXPECT_EQ(rec.text(GEN_MAX_CTS_UNIT), "\xB0" "F");
    EXPECT_TRUE(rec.get(PREF_APPLY).enabled);
    rec.click(GEN_FAHRENHEIT);
    EXPECT_EQ(rec.text(GEN_MIN_CTS), "176") << "clicked again: no second conversion";
    rec.click(GEN_CELSIUS);
    EXPECT_EQ(rec.text(GEN_MIN_CTS), "80");
    EXPECT_EQ(rec.text(GEN_MAX_CTS), "110");
    EXPECT_EQ(rec.text(GEN_MIN_CTS_UNIT), "\xB0" "C");

    rec.click(GEN_FAHRENHEIT);
    rec.edit(GEN_MIN_CTS, "10");   // below freezing: no negative limit
    rec.click(GEN_CELSIUS);
    EXPECT_EQ(rec.text(GEN_MIN_CTS), "0");
    rec.click(GEN_FAHRENHEIT);
    rec.click(PREF_OK);
    EXPECT_EQ(static_cast<int>(g_settings.temperscale), 0);
    EXPECT_EQ(static_cast<int>(g_settings.lrnlwr), 32);
    EXPECT_EQ(static_cast<int>(g_settings.lrnupr), 220) << "230 F is past what the file holds";
    EXPECT_EQ(static_cast<int>(g_ui_state.settings_changed), 1) << "the analysis shows temperatures";
}

TEST_F(PreferencesTest, EveryKindOfControlEnablesApplyAndStores)
{
    g_settings.autovsave = 1;   // however it got there, storing the page turns it off
    open();
    struct Step {
        const char* what;
        std::function<void()> act;
    };
    const Step steps[] = {
        {"a trackbar move", [&] { rec.move(GEN_PLAYBACK, 100); }},
        {"a list choice", [&] { rec.select(GEN_RATE, 3); }},
        {"an Enable box", [&] { rec.click(GEN_ENTER); }},
        {"a radio that changes the choice", [&] { rec.click(GEN_WB); }},
        {"another radio pair", [&] { rec.click(GEN_AUTO); }},
        {"the speed unit", [&] { rec.click(GEN_KPH); }},
    };
    for (const Step& s : steps) {
        rec.set_enabled(PREF_APPLY, false);
        s.act();
        EXPECT_TRUE(rec.get(PREF_APPLY).enabled) << s.what;
    }
    rec.click(PREF_APPLY);
    EXPECT_EQ(ended, 0) << "Apply keeps the dialog open";
    EXPECT_FALSE(rec.get(PREF_APPLY).enabled);
    EXPECT_EQ(static_cast<int>(g_settings.pbspd), 0) << "the right end is the fastest playback";
    EXPECT_EQ(static_cast<int>(g_settings.updaterate), 3);
    EXPECT_EQ(static_cast<int>(g_settings.frame_skip_code), 0) << "17 times a second: every frame";
    EXPECT_EQ(static_cast<int>(g_settings.enterpause), 1);
    EXPECT_EQ(static_cast<int>(g_settings.lrninp), 1);
    EXPECT_EQ(static_cast<int>(g_settings.transtype), 1);
    EXPECT_EQ(static_cast<int>(g_settings.kphormph), 1);
    EXPECT_EQ(static_cast<int>(g_settings.autovsave), 0);
    EXPECT_TRUE(file_has("[PBSPD] 0"));
    EXPECT_TRUE(file_has("[UPDATERATE] 3"));
    EXPECT_TRUE(file_has("[AUTOVSAVE] 0"));
    EXPECT_TRUE(file_has("[AUTOVTIME] 1")) << "stored as 0, written within its range";
    EXPECT_TRUE(file_has("[KPHORMPH] 1"));

    rec.click(PREF_CANCEL);
    EXPECT_EQ(static_cast<int>(g_ui_state.settings_changed), 1) << "the speed unit changed";

    // The file written reads back to the same settings.
    reset_settings();
    ASSERT_EQ(load_config(), 0);
    EXPECT_EQ(static_cast<int>(g_settings.updaterate), 3);
    EXPECT_EQ(static_cast<int>(g_settings.frame_skip_code), 0);
    EXPECT_EQ(static_cast<int>(g_settings.enterpause), 1);
}

TEST_F(PreferencesTest, CancelKeepsWhatATabChangeStoredButWritesNothing)
{
    open();
    rec.edit(GEN_MAX_SPEED, "200");
    rec.click(PREF_CANCEL);
    EXPECT_EQ(static_cast<int>(g_settings.mphrange), 120) << "never stored";

    open();
    rec.edit(GEN_MAX_SPEED, "200");
    rec.select(PREF_TABS, PAGE_ADC);
    EXPECT_FALSE(rec.exists(GEN_MAX_SPEED)) << "the General Setup page is gone";
    EXPECT_TRUE(rec.exists(ADC_DEVICE + 7));
    rec.click(PREF_CANCEL);
    EXPECT_EQ(static_cast<int>(g_settings.mphrange), 200) << "in force since the tab change";
    EXPECT_EQ(read_file(config_path()), "") << "not written";
    EXPECT_EQ(static_cast<int>(g_settings.autovtime), 0) << "the hidden interval field is empty";
}

TEST_F(PreferencesTest, TheHiddenAutoUpdateBoxWarnsUntilTheWarningIsTurnedOff)
{
    static int warnings = 0;
    warnings = 0;
    open();
    g_preferences.autoupdate_warning = [](const std::string& text) {
        ++warnings;
        EXPECT_EQ(text.rfind("The AutoUpdate option is ONLY to be used", 0), 0u);
        return true;
    };
    rec.click(GEN_AUTOUPDATE);
    EXPECT_EQ(warnings, 1);
    EXPECT_EQ(static_cast<int>(g_settings.autovshow), 0) << "its box said skip";
    rec.click(GEN_AUTOUPDATE);   // unchecked
    rec.click(GEN_AUTOUPDATE);
    EXPECT_EQ(warnings, 1);
    rec.click(PREF_OK);
}

TEST_F(PreferencesTest, SmoothingListsRunFromSlowToFastAndOpenOnTheChannelsFilter)
{
    EXPECT_EQ(filter_item(0), "   100 %  (slow)");
    EXPECT_EQ(filter_item(3), "    70 %");
    EXPECT_EQ(filter_item(10), "     0 %    (fast)");
    EXPECT_EQ(filter_index(100), 10) << "filter 100 is no smoothing";
    EXPECT_EQ(filter_index(0), 0);
    EXPECT_EQ(filter_index(30), 3);
    EXPECT_EQ(filter_index(47), 5) << "a hand-written filter opens on the nearer entry";
}

TEST_F(PreferencesTest, AdcPageOpensOnEachChannelsDeviceAndStoresTheRowsAsChosen)
{
    g_settings.ud[4].active = 1;
    g_settings.ud[4].name = "Oil Press";
    build_device_catalogue();
    auto bind = [](int n, int kind, int id, int index, const char* name) {
        g_settings.ad[n].type = kind;
        g_settings.ad[n].insta = id;
        g_settings.ad[n].index = index;
        g_settings.ad[n].name = name;
    };
    bind(0, DEVICE_WIDEBAND, 1, 2, "DIY-WB Non-Linear");   // shares its identifier with TT-1
    bind(1, DEVICE_PRESSURE, 2, 3, "AutoMeter 100 psi (0.5 - 4.5V)  ");
    bind(2, DEVICE_USER, 4, 4, "Oil Press");
    bind(3, DEVICE_USER, 9, 9, "Gone");                    // a device no longer there
    g_settings.ad[1].filter = 30;
    g_settings.ad[0].wbpref = 1;

    open();
    rec.select(PREF_TABS, PAGE_ADC);
    EXPECT_EQ(rec.value(PREF_TABS), PAGE_ADC);
    std::vector<std::string> items = rec.get(ADC_DEVICE).items;
    ASSERT_EQ(items.size(), 23u) << "None, 15 wideband, 6 pressure, one user device";
    EXPECT_EQ(items[0], "None");
    EXPECT_EQ(items[2], "DIY-WB Non-Linear");
    EXPECT_EQ(items[22], "Oil Press");
    EXPECT_EQ(rec.value(ADC_DEVICE + 0), 2) << "DIY, not TT-1";
    EXPECT_EQ(rec.value(ADC_DEVICE + 1), 18);
    EXPECT_EQ(rec.value(ADC_DEVICE + 2), 22);
    EXPECT_EQ(rec.value(ADC_DEVICE + 3), 0);
    EXPECT_EQ(rec.value(ADC_FILTER + 1), 3);
    EXPECT_EQ(rec.value(ADC_FILTER + 0), 10);
    EXPECT_EQ(rec.get(ADC_FILTER).items.size(), 11u);
    EXPECT_TRUE(rec.checked(ADC_WB + 0));
    EXPECT_FALSE(rec.get(PREF_APPLY).enabled);

    // The WB boxes are one group across the rows; unchecking leaves none.
    rec.click(ADC_WB + 5);
    EXPECT_FALSE(rec.checked(ADC_WB + 0));
    EXPECT_TRUE(rec.checked(ADC_WB + 5));
    EXPECT_TRUE(rec.get(PREF_APPLY).enabled);
    rec.click(ADC_WB + 5);
    EXPECT_FALSE(rec.checked(ADC_WB + 5));
    rec.click(ADC_WB + 1);
    rec.click(ADC_FUEL + 2);
    rec.click(ADC_FUEL + 6);
    EXPECT_FALSE(rec.checked(ADC_FUEL + 2));

    rec.select(ADC_DEVICE + 5, 12);   // "   WB0   "
    rec.select(ADC_FILTER + 5, 8);    // 20 % smoothing
    rec.select(ADC_DEVICE + 6, 16);   // AutoMeter 15 psi
    rec.click(PREF_OK);

    EXPECT_EQ(static_cast<int>(g_settings.ad[5].type), DEVICE_WIDEBAND);
    EXPECT_EQ(static_cast<int>(g_settings.ad[5].index), 12);
    EXPECT_EQ(static_cast<int>(g_settings.ad[5].insta), 7);
    EXPECT_EQ(g_settings.ad[5].name, "   WB0   ");
    EXPECT_EQ(static_cast<int>(g_settings.ad[5].filter), 80);
    EXPECT_EQ(static_cast<int>(g_settings.ad[0].index), 2) << "unchanged rows keep their device";
    EXPECT_EQ(static_cast<int>(g_settings.ad[0].wbpref), 0);
    EXPECT_EQ(static_cast<int>(g_settings.ad[1].wbpref), 1);
    EXPECT_EQ(static_cast<int>(g_settings.ad[1].filter), 30);
    EXPECT_EQ(static_cast<int>(g_settings.ad[3].type), DEVICE_NONE);
    EXPECT_EQ(g_settings.ad[3].name, "None");
    EXPECT_EQ(static_cast<int>(g_settings.ad[6].fppref), 1);
    EXPECT_EQ(static_cast<int>(g_ui_state.settings_changed), 1);
    EXPECT_TRUE(file_has("[AD5INSTA] 7"));
    EXPECT_TRUE(file_has("[AD3INDEX] 0"));
    EXPECT_TRUE(file_has("[AD5NAME]    WB0   "));

    // The channel state was rebuilt as the dialog closed.
    EXPECT_EQ(g_adc.wb_channel, 1);
    EXPECT_EQ(g_adc.fp_channel, 6);
    EXPECT_STREQ(g_adc.channels[5].label, "WB_5");
}

TEST_F(PreferencesTest, ThePreferredWidebandChannelChosenHereIsWhatTheGaugesAndTheTripRead)
{
    RecordingCanvas canvas;
    attach_canvas(&canvas);
    open();
    rec.select(PREF_TABS, PAGE_ADC);
    rec.select(ADC_DEVICE + 3, 1);   // TT-1: AFR = 2 V + 10
    rec.click(ADC_WB + 3);
    rec.click(PREF_OK);

    convert_channels(adc_counts(frame_with_adc(3, 512)), 0);   // 2.5064 V
    EXPECT_NEAR(static_cast<double>(g_adc.current_wb_afr), 15.013, 0.001);
    gauge_redraw_dynamic();
    EXPECT_EQ(canvas.text_at(770, 235), "  15.0");
    paint_trip_page();
    EXPECT_TRUE(canvas.has_text("WB AFR")) << "the trip display shows the wideband reading";
    attach_canvas(nullptr);
}

TEST_F(PreferencesTest, DialogHelpersReadNumbersAsTheFieldsHoldThem)
{
    EXPECT_EQ(dialog_unsigned("  42"), 42);
    EXPECT_EQ(dialog_unsigned("-42"), 0);
    EXPECT_EQ(dialog_unsigned("4294967296"), 2147483647);
    EXPECT_EQ(dialog_integer("-42"), -42);
    EXPECT_EQ(dialog_integer("x1"), 0);
    EXPECT_EQ(limit_and_round(335, 10, 340, 10), 340);
    EXPECT_EQ(limit_and_round(7499, 1000, 8000, 1000), 7000);
    EXPECT_EQ(celsius_to_fahrenheit(110), 230);
    EXPECT_EQ(fahrenheit_to_celsius(176), 80);
}

}  // namespace
