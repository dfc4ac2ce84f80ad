#include <gtest/gtest.h>

#include <cstring>

#include "config/devices.h"
#include "config/settings.h"

namespace {

AdcCounts with_counts(std::initializer_list<std::pair<int, int>> counts)
{
    AdcCounts c{};
    for (auto [channel, count] : counts)
        c[channel] = count;
    return c;
}

void bind(int channel, int kind, int position, int filter = 100, int wb = 0, int fp = 0)
{
    AdcChannelSettings& c = g_settings.ad[channel];
    c.type = kind;
    c.index = position;
    c.filter = filter;
    c.wbpref = wb;
    c.fppref = fp;
    c.name = "device";
}

double volts(int count) { return count * 5.0 / 1023 + 0.004; }

class Devices : public ::testing::Test {
protected:
    void SetUp() override { reset_settings(); }
    void TearDown() override
    {
        reset_settings();
        build_device_catalogue();
        rebuild_channel_state();
    }
};

TEST_F(Devices, BuiltInWidebandsFollowTheirLinesFormulaAndTables)
{
    EXPECT_NEAR(wideband_afr(WB_DEVICES[1], volts(512)), 15.0129, 1e-4) << "TT-1: 2 x 2.5064 + 10";
    EXPECT_DOUBLE_EQ(wideband_afr(WB_DEVICES[2], 2.5), 14.7) << "DIY at 2.5 V";
    EXPECT_DOUBLE_EQ(wideband_afr(WB_DEVICES[2], 0.99), 0.0);
    EXPECT_DOUBLE_EQ(wideband_afr(WB_DEVICES[2], 3.0), 25.5);
    EXPECT_DOUBLE_EQ(wideband_afr(WB_DEVICES[12], volts(0)), 0.0) << "0.004 V is below WB0's 0.4 V";
    EXPECT_DOUBLE_EQ(wideband_afr(WB_DEVICES[12], volts(1023)), 25.5) << "above its upper limit";
    EXPECT_DOUBLE_EQ(wideband_afr(WB_DEVICES[0], 2.0), 0.0) << "the empty row";
    // Bands: WB0 row 1 (0.4 V) holds up to the midpoint 0.43, row 2 (0.46 V) from there.
    EXPECT_DOUBLE_EQ(wideband_afr(WB_DEVICES[12], 0.4299), 10.0);
    EXPECT_NEAR(wideband_afr(WB_DEVICES[12], 0.4301), 10.1, 1e-9);
    EXPECT_NEAR(wideband_afr(WB_DEVICES[12], 3.14), 20.0, 1e-9) << "the last row reaches the upper limit";
    // WB0a: its own AFR column (row 1 is 9.6), and row 80 at 2.93 V.
    EXPECT_DOUBLE_EQ(wideband_afr(WB_DEVICES[14], 0.4), 9.6);
    EXPECT_NEAR(wideband_afr(WB_DEVICES[14], 2.93), 17.2, 1e-9) << "row 80 of the a column";
    EXPECT_NEAR(wideband_afr(WB_DEVICES[12], 2.93), 18.0, 1e-9) << "WB0 has 2.92, 2.92, 2.94: row 81's band";
    EXPECT_DOUBLE_EQ(wideband_afr(WB_DEVICES[3], 0.79), 0.0) << "FJO below 0.8 V";
}

TEST_F(Devices, PressureSendersKeepTheirLimits)
{
    EXPECT_DOUBLE_EQ(pressure_psi(PRESSURE_DEVICES[1], 0.3), 0.0);
    EXPECT_DOUBLE_EQ(pressure_psi(PRESSURE_DEVICES[1], 4.9), 15.0);
    EXPECT_DOUBLE_EQ(pressure_psi(PRESSURE_DEVICES[1], 2.5), 7.5);
    EXPECT_DOUBLE_EQ(pressure_psi(PRESSURE_DEVICES[3], 5.004), 99.9) << "100 psi sender held at 99.9";
    EXPECT_DOUBLE_EQ(pressure_psi(PRESSURE_DEVICES[5], volts(1023)), 30.0) << "0-5 V never above 30";
    EXPECT_NEAR(pressure_psi(PRESSURE_DEVICES[4], 3.0), (3.0 - 1.004) * 24.908668, 1e-12);
    EXPECT_DOUBLE_EQ(pressure_psi(PRESSURE_DEVICES[6], 0.5), 0.0);
}

TEST_F(Devices, UserDevicesRiseFromTheSmallerValueWhicheverWayTheyWereEntered)
{
    UserDeviceSettings& d = g_settings.ud[3];
    d.active = 1;
    d.volt_j = 0;
    d.volt_k = 5000;
    d.unit_j = 1000000;   // 100.0 at 0 V
    d.unit_k = 0;         // 0.0 at 5 V
    EXPECT_DOUBLE_EQ(user_device_value(3, 0.0), 0.0);
    EXPECT_DOUBLE_EQ(user_device_value(3, 5.0), 100.0);
    EXPECT_DOUBLE_EQ(user_device_value(3, 2.5), 50.0);
    EXPECT_DOUBLE_EQ(user_device_value(3, 5.004), 100.0) << "held within the two values";
    d.volt_k = 0;   // equal voltages: a step
    EXPECT_DOUBLE_EQ(user_device_value(3, 0.0), 100.0);
    d.volt_j = 2000;
    d.volt_k = 2000;
    EXPECT_DOUBLE_EQ(user_device_value(3, 1.999), 0.0);
    EXPECT_DOUBLE_EQ(user_device_value(3, 2.0), 100.0);
}

TEST_F(Devices, ChannelsSmoothLabelAndFeedThePreferredValues)
{
    g_settings.ud[5].active = 1;
    g_settings.ud[5].unit = "psi";
    g_settings.ud[5].width = 3;
    g_settings.ud[5].preci = 2;
    bind(0, DEVICE_WIDEBAND, 1, 100, 1, 0);
    bind(1, DEVICE_PRESSURE, 2, 50, 0, 1);
    bind(3, DEVICE_USER, 5);
    build_device_catalogue();
    rebuild_channel_state();
    EXPECT_STREQ(g_adc.channels[0].label, "WB_0");
    EXPECT_STREQ(g_adc.channels[1].label, "PSI_1");
    EXPECT_STREQ(g_adc.channels[3].label, " psi_3");
    EXPECT_FALSE(g_adc.channels[2].active);
    EXPECT_EQ(g_adc.wb_channel, 0);
    EXPECT_EQ(g_adc.fp_channel, 1);

    AdcCounts f = with_counts({{0, 512}, {1, 1023}, {3, 1023}});
    convert_channels(f, 0);
    EXPECT_NEAR(g_adc.current_wb_afr, 15.0129, 1e-4);
    EXPECT_DOUBLE_EQ(g_adc.current_fuel_pressure, 15.0) << "filter 50: half of the new 30 psi";
    EXPECT_STREQ(g_adc.channels[3].text, "") << "only the preferred channels while live";
    convert_channels(f, 1);
    EXPECT_DOUBLE_EQ(g_adc.current_fuel_pressure, 22.5);
    EXPECT_STREQ(g_adc.channels[1].text, "22.5");
    EXPECT_STREQ(g_adc.channels[0].text, "15.0");
    EXPECT_STREQ(g_adc.channels[3].text, "100.00") << "width 3 + precision 2 + 1, two decimals";
    EXPECT_EQ(g_adc.channels[3].width, 6);

    g_settings.ad[1].filter = 0;   // behaves as 1
    rebuild_channel_state();
    convert_channels(f, 1);
    EXPECT_DOUBLE_EQ(g_adc.current_fuel_pressure, 0.3);
}

TEST_F(Devices, TheCatalogueListsNoneBuiltInsAndActiveUserDevices)
{
    g_settings.ud[7].active = 1;
    g_settings.ud[7].name = "Oil pressure";
    build_device_catalogue();
    EXPECT_EQ(g_adc.catalogue[0].name, "None");
    EXPECT_EQ(g_adc.catalogue[1].name, "TT-1 WB      (0V=10:1 - 5V=20:1)");
    EXPECT_EQ(g_adc.catalogue[2].kind, DEVICE_WIDEBAND);
    EXPECT_EQ(g_adc.catalogue[2].position, 2);
    EXPECT_EQ(g_adc.catalogue[2].id, 1u) << "DIY shares TT-1's identifier";
    EXPECT_EQ(g_adc.catalogue[16].kind, DEVICE_PRESSURE);
    EXPECT_EQ(g_adc.catalogue[22].name, "Oil pressure");
    EXPECT_EQ(g_adc.catalogue[22].position, 7);
    EXPECT_EQ(g_adc.catalogue[23].kind, DEVICE_NONE);
}

TEST_F(Devices, AChannelWhoseUserDeviceWasDeletedGoesBackToNone)
{
    g_settings.ud[2].active = 1;
    g_settings.ud[2].name = "EGT";
    bind(4, DEVICE_USER, 2, 70, 1, 0);
    rebuild_channel_state();
    ASSERT_EQ(g_adc.wb_channel, 4);
    g_settings.ud[2].active = 0;
    revalidate_user_channels();
    EXPECT_EQ(g_settings.ad[4].type, DEVICE_NONE);
    EXPECT_EQ(g_settings.ad[4].name, "None");
    EXPECT_EQ(g_settings.ad[4].filter, 100);
    EXPECT_EQ(g_settings.ad[4].wbpref, 0);
    EXPECT_EQ(g_adc.wb_channel, -1);
}

TEST_F(Devices, OutOfRangeConfigurationNeverReachesOutsideTheTables)
{
    bind(0, DEVICE_USER, 100, 100, 1, 0);
    bind(1, DEVICE_WIDEBAND, 99);
    bind(2, DEVICE_PRESSURE, 42);
    rebuild_channel_state();
    convert_channels(with_counts({{0, 700}, {1, 700}, {2, 700}}), 1);
    EXPECT_DOUBLE_EQ(g_adc.current_wb_afr, 0.0);
    EXPECT_STREQ(g_adc.channels[1].text, " 0.0");
}

}  // namespace
