// The User Device dialog without a window: what typing and leaving a field do, Apply, Delete, the
// warning for a modified record, and what closing rebuilds.
#include <gtest/gtest.h>

#include <cstdio>

#include "config/config.h"
#include "config/devices.h"
#include "config/settings.h"
#include "dialogs/preferences.h"
#include "dialogs/user_devices.h"
#include "support/live.h"
#include "support/log_builder.h"
#include "support/scripted_ui.h"

namespace {

int ended = 0;
void count_end() { ++ended; }

class UserDevicesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        set_config_path(temp_dir() + "/user_devices_test.cfg");
        std::remove(config_path().c_str());
        ended = 0;
    }
    void TearDown() override { reset_everything(); }

    void open() { open_user_devices(rec, count_end); }
    // Types a device into the record shown.
    void type_device(const char* name, const char* unit, const char* vj, const char* uj, const char* vk, const char* uk,
                     const char* precision)
    {
        rec.edit(UD_NAME, name);
        rec.edit(UD_UNIT, unit);
        rec.edit(UD_VOLT_J, vj);
        rec.edit(UD_VALUE_J, uj);
        rec.edit(UD_VOLT_K, vk);
        rec.edit(UD_VALUE_K, uk);
        rec.edit(UD_PRECISION, precision);
    }

    RecordingControls rec;
    ScopedScriptedUi ui;
};

TEST_F(UserDevicesTest, TypingKeepsOnlyWhatANumberFieldTakes)
{
    bool removed = false;
    EXPECT_EQ(filter_number_field("-12.5", true, removed), "-12.5");
    EXPECT_FALSE(removed);
    EXPECT_EQ(filter_number_field("1-2.5.3a", true, removed), "12.53");
    EXPECT_TRUE(removed);
    EXPECT_EQ(filter_number_field("-3", false, removed), "3");
    EXPECT_TRUE(removed);
}

TEST_F(UserDevicesTest, LeavingAFieldBringsItIntoItsLimitsAndRoundsItToWhatItShows)
{
    struct Case {
        const char* typed;
        const NumberFieldRule* rule;
        const char* shown;
        bool corrected;
    };
    const Case cases[] = {
        {"", &VOLT_RULE, "0.000", true},
        {"-", &VOLT_RULE, "0.000", true},
        {"-1", &VOLT_RULE, "0.000", true},
        {"7", &VOLT_RULE, "5.000", true},
        {"1.2345", &VOLT_RULE, "1.235", false},
        {".5", &VOLT_RULE, "0.500", false},
        {"12", &VALUE_RULE, "12.0000", false},
        {"-1.5", &VALUE_RULE, "-1.5000", false},
        {"-1234", &VALUE_RULE, "-999.9999", true},
        {"99999", &VALUE_RULE, "9999.9999", true},
    };
    for (const Case& c : cases) {
        bool corrected = false;
        double v = field_value(c.typed, *c.rule, corrected);
        EXPECT_EQ(field_text(v, *c.rule), c.shown) << c.typed;
        EXPECT_EQ(corrected, c.corrected) << c.typed;
    }
    bool corrected = false;
    EXPECT_EQ(field_stored(field_value("4.095", VOLT_RULE, corrected), VOLT_RULE), 4095) << "not 4094";
    EXPECT_EQ(field_stored(field_value("-999.9999", VALUE_RULE, corrected), VALUE_RULE), -9999999);
}

TEST_F(UserDevicesTest, AFreeRecordOpensReadyForANewDevice)
{
    open();
    EXPECT_EQ(static_cast<int>(g_ui_state.modal_dialog_open), 1);
    auto items = rec.get(UD_LIST).items;
    ASSERT_EQ(items.size(), 16u);
    EXPECT_EQ(items[15], "-Available Device Entry-");
    EXPECT_EQ(rec.value(UD_LIST), 0);
    EXPECT_EQ(rec.text(UD_NAME), "Put New Device Name Here");
    EXPECT_EQ(rec.text(UD_UNIT), "NEW");
    EXPECT_EQ(rec.text(UD_VOLT_J), "0.000");
    EXPECT_EQ(rec.text(UD_VOLT_K), "5.000");
    EXPECT_EQ(rec.text(UD_VALUE_J), "0.0000");
    EXPECT_EQ(rec.text(UD_VALUE_K), "100.0000");
    EXPECT_EQ(rec.text(UD_PRECISION), "4");
    EXPECT_EQ(rec.text(UD_LABEL_J), "Volts for NEW of  ");
    EXPECT_EQ(rec.focused(), UD_NAME);
    EXPECT_FALSE(rec.get(UD_APPLY).enabled);
    EXPECT_EQ(rec.get(UD_NAME).def.limit, 48);
    EXPECT_EQ(rec.get(UD_UNIT).def.limit, 4);
    EXPECT_EQ(rec.get(UD_VALUE_K).def.limit, 9);
}

TEST_F(UserDevicesTest, FieldsRejectWhatTheyCannotHoldWithABeep)
{
    open();
    rec.edit(UD_VOLT_J, "1a.5");
    EXPECT_EQ(rec.text(UD_VOLT_J), "1.5");
    EXPECT_EQ(ui.beeps, 1);
    EXPECT_TRUE(rec.get(UD_APPLY).enabled) << "any edit enables Apply";

    rec.edit(UD_VOLT_K, "7");
    rec.focus(UD_VALUE_K);
    rec.leave(UD_VOLT_K);
    EXPECT_EQ(rec.text(UD_VOLT_K), "5.000");
    EXPECT_EQ(ui.beeps, 2);
    EXPECT_EQ(rec.focused(), UD_VOLT_K) << "back to the field that was corrected";

    rec.edit(UD_VALUE_J, "3");
    rec.focus(UD_VOLT_K);
    rec.leave(UD_VALUE_J);
    EXPECT_EQ(rec.text(UD_VALUE_J), "3.0000");
    EXPECT_EQ(ui.beeps, 2) << "nothing to correct";
    EXPECT_EQ(rec.focused(), UD_VOLT_K);

    rec.edit(UD_PRECISION, "9");
    rec.leave(UD_PRECISION);
    EXPECT_EQ(rec.text(UD_PRECISION), "4");
    EXPECT_EQ(ui.beeps, 3);

    rec.edit(UD_UNIT, "psi");
    EXPECT_EQ(rec.text(UD_LABEL_K), "Volts for psi of  ") << "the labels follow the unit";

    rec.edit(UD_NAME, std::string(60, 'n'));
    EXPECT_EQ(rec.text(UD_NAME).size(), 48u);
}

TEST_F(UserDevicesTest, ApplyStoresTheRecordAndClosingBindsItsChannelsToIt)
{
    g_settings.ad[2].type = DEVICE_USER;
    g_settings.ad[2].index = 3;
    g_settings.ad[2].insta = 3;
    g_settings.ad[2].fppref = 1;
    open();
    rec.select(UD_LIST, 3);
    // Entered the wrong way round: the line still rises with the voltage.
    type_device("  Fuel Pressure  ", "psi", "4.5", "0", "0.5", "100", "2");
    rec.click(UD_APPLY);
    const UserDeviceSettings& d = g_settings.ud[3];
    EXPECT_EQ(static_cast<int>(d.active), 1);
    EXPECT_EQ(d.name, "Fuel Pressure") << "kept as the file will hold it";
    EXPECT_EQ(d.unit, "psi");
    EXPECT_EQ(static_cast<int>(d.volt_j), 4500);
    EXPECT_EQ(static_cast<int>(d.unit_j), 0);
    EXPECT_EQ(static_cast<int>(d.volt_k), 500);
    EXPECT_EQ(static_cast<int>(d.unit_k), 1000000);
    EXPECT_EQ(static_cast<int>(d.preci), 2);
    EXPECT_EQ(rec.get(UD_LIST).items[3], "Fuel Pressure");
    EXPECT_EQ(rec.value(UD_LIST), 3);
    EXPECT_FALSE(rec.get(UD_APPLY).enabled);
    EXPECT_EQ(rec.text(UD_VOLT_J), "4.500");

    rec.click(UD_CLOSE);
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(static_cast<int>(g_ui_state.modal_dialog_open), 0);
    EXPECT_EQ(static_cast<int>(g_ui_state.settings_changed), 1);
    EXPECT_EQ(g_settings.ad[2].name, "Fuel Pressure") << "the channel takes the device's name";
    EXPECT_EQ(g_adc.catalogue[22].name, "Fuel Pressure");
    EXPECT_EQ(g_adc.fp_channel, 2);
    EXPECT_STREQ(g_adc.channels[2].label, " psi_2");

    convert_channels(adc_counts(frame_with_adc(2, 512)), 0);   // 2.5064 V: (2506.4 - 500) x 250 = 50.16 psi
    EXPECT_NEAR(static_cast<double>(g_adc.current_fuel_pressure), 50.16, 0.01);
    EXPECT_STREQ(g_adc.channels[2].text, "  50.16");

    std::string cfg = read_file(config_path());
    EXPECT_NE(cfg.find("[UD3NAME] Fuel Pressure\r\n"), std::string::npos);
    EXPECT_NE(cfg.find("[UD3VOLTJ] 4500\r\n"), std::string::npos);
    EXPECT_NE(cfg.find("[AD2NAME] Fuel Pressure\r\n"), std::string::npos);

    open();
    EXPECT_EQ(rec.value(UD_LIST), 3) << "the dialog opens on the record last edited";
    EXPECT_EQ(rec.text(UD_NAME), "Fuel Pressure");
    rec.click(UD_CLOSE);
}

TEST_F(UserDevicesTest, TwoEqualVoltagesMakeAStep)
{
    open();
    type_device("Switch", "on", "2.5", "0", "2.5", "1", "0");
    rec.click(UD_APPLY);
    rec.click(UD_CLOSE);
    g_settings.ad[0].type = DEVICE_USER;
    g_settings.ad[0].index = 0;
    g_settings.ad[0].fppref = 1;
    rebuild_channel_state();
    convert_channels(adc_counts(frame_with_adc(0, 300)), 0);
    EXPECT_EQ(static_cast<double>(g_adc.current_fuel_pressure), 0.0);
    convert_channels(adc_counts(frame_with_adc(0, 600)), 0);
    EXPECT_EQ(static_cast<double>(g_adc.current_fuel_pressure), 1.0);
}

TEST_F(UserDevicesTest, LeavingAModifiedRecordAsksWhetherToKeepTheChanges)
{
    open();
    type_device("Boost", "bar", "0", "-1", "5", "3", "2");
    ui.answers.push_back(ID_NO);
    rec.select(UD_LIST, 1);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].caption, "Warning!");
    EXPECT_EQ(ui.shown[0].text, "This device entry has been modified.\n\nDo you want to save the changes?");
    EXPECT_EQ(static_cast<int>(g_settings.ud[0].active), 0) << "No: nothing kept";
    EXPECT_EQ(rec.text(UD_NAME), "Put New Device Name Here") << "record 1 is shown";

    rec.edit(UD_NAME, "EGT");
    ui.answers.push_back(ID_YES);
    rec.click(UD_CLOSE);
    EXPECT_EQ(static_cast<int>(g_settings.ud[1].active), 1) << "Yes: applied to the record being left";
    EXPECT_EQ(g_settings.ud[1].name, "EGT");
    EXPECT_EQ(ended, 1);

    open();
    rec.select(UD_LIST, 2);
    EXPECT_EQ(ui.shown.size(), 2u) << "an unmodified record is left without asking";
    rec.click(UD_CLOSE);
    EXPECT_EQ(static_cast<int>(g_ui_state.settings_changed), 1) << "from the first opening";
}

TEST_F(UserDevicesTest, DeletingADeviceAChannelUsesFreesTheChannelWhenTheDialogCloses)
{
    UserDeviceSettings& d = g_settings.ud[5];
    d.active = 1;
    d.name = "Wideband Two";
    d.unit = "AFR";
    AdcChannelSettings& ch = g_settings.ad[4];
    ch.type = DEVICE_USER;
    ch.index = 5;
    ch.insta = 5;
    ch.filter = 40;
    ch.wbpref = 1;
    ch.name = "Wideband Two";
    build_device_catalogue();
    rebuild_channel_state();
    ASSERT_EQ(g_adc.wb_channel, 4);

    open();
    rec.select(UD_LIST, 5);
    rec.edit(UD_NAME, "half typed");
    rec.click(UD_DELETE);
    EXPECT_EQ(rec.text(UD_NAME), "Put New Device Name Here");
    EXPECT_EQ(rec.get(UD_LIST).items[5], "-Available Device Entry-");
    EXPECT_FALSE(rec.get(UD_APPLY).enabled);
    EXPECT_EQ(static_cast<int>(ch.type), DEVICE_USER) << "the channel waits for the dialog to close";
    rec.click(UD_CLOSE);
    EXPECT_TRUE(ui.shown.empty()) << "a deleted record is not modified";

    EXPECT_EQ(static_cast<int>(d.active), 0);
    EXPECT_EQ(static_cast<int>(d.volt_k), 5000);
    EXPECT_EQ(static_cast<int>(ch.type), DEVICE_NONE);
    EXPECT_EQ(ch.name, "None");
    EXPECT_EQ(static_cast<int>(ch.filter), 100);
    EXPECT_EQ(static_cast<int>(ch.wbpref), 0);
    EXPECT_EQ(g_adc.wb_channel, -1);
    EXPECT_FALSE(g_adc.channels[4].active);
    EXPECT_EQ(g_adc.catalogue[22].kind, DEVICE_NONE) << "gone from the catalogue";
    EXPECT_EQ(static_cast<int>(g_ui_state.settings_changed), 1);

    // What was written reads back the same.
    reset_settings();
    ASSERT_EQ(load_config(), 0);
    EXPECT_EQ(g_settings.ud[5].name, "-Available Device Entry-");
    EXPECT_EQ(static_cast<int>(g_settings.ad[4].type), DEVICE_NONE);
}

}  // namespace
