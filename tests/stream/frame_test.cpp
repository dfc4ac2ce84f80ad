#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "config/devices.h"
#include "config/settings.h"
#include "stream/frame.h"

namespace {

FrameRecord blank()
{
    FrameRecord f;
    std::memset(f.b, 0, sizeof f.b);
    return f;
}

void put16(FrameRecord& f, int offset, int v)
{
    f.b[offset] = static_cast<uint8_t>(v >> 8);
    f.b[offset + 1] = static_cast<uint8_t>(v & 0xFF);
}

FrameRecord with_period(int cylinders, int period)
{
    FrameRecord f = blank();
    f.b[F_ECM_CONFIG] = static_cast<uint8_t>(cylinders);
    put16(f, F_REF_PERIOD, period);
    return f;
}

TEST(EngineRpm, FollowsTheReferencePeriodByCylinderCount)
{
    EXPECT_EQ(engine_rpm(with_period(8, 0)), 0);
    EXPECT_EQ(engine_rpm(with_period(8, 384)), 2560);
    EXPECT_EQ(engine_rpm(with_period(8, 327)), 3006) << "integer division";
    EXPECT_EQ(engine_rpm(with_period(4, 63421)), 31);
    EXPECT_EQ(engine_rpm(with_period(4, 63422)), 0) << "below the floor of 31";
    EXPECT_EQ(engine_rpm(with_period(6, 512)), 2560);
    EXPECT_EQ(engine_rpm(with_period(5, 1000)), 1572);
    EXPECT_EQ(engine_rpm(with_period(7, 1000)), 1123);
    EXPECT_EQ(engine_rpm(with_period(8, 99)), 9929);
    EXPECT_EQ(engine_rpm(with_period(8, 98)), 0) << "10031 rpm is noise";
    EXPECT_EQ(engine_rpm(with_period(3, 1000)), 0);
    EXPECT_EQ(engine_rpm(with_period(9, 1000)), 0);
    FrameRecord upper_bits = with_period(8, 384);
    upper_bits.b[F_ECM_CONFIG] |= 0xD0;   // MAP sensor and injection bits do not change the count
    EXPECT_EQ(engine_rpm(upper_bits), 2560);
}

TEST(EngineRpm, UsesTheStepFieldsWhenByte31IsSet)
{
    FrameRecord f = with_period(3, 1000);   // the period is ignored
    f.b[F_RPM_12_5] = 8;
    EXPECT_EQ(engine_rpm(f), 100);
    f.b[F_RPM_12_5] = 7;
    EXPECT_EQ(engine_rpm(f), 87) << "truncated";
    f.b[F_RPM_12_5_ABOVE_400] = 1;
    EXPECT_EQ(engine_rpm(f), 412);
    f.b[F_RPM_12_5_ABOVE_400] = 255;
    f.b[F_RPM_25] = 254;
    EXPECT_EQ(engine_rpm(f), 6350);
    f.b[F_RPM_25] = 255;
    f.b[F_RPM_31_25] = 200;
    EXPECT_EQ(engine_rpm(f), 6250);
    f.b[F_RPM_31_25] = 3;
    EXPECT_EQ(engine_rpm(f), 93);
}

TEST(InjectorDutyCycle, CoversAsynchronousThrottleBodyAndMultiPortFuelling)
{
    FrameRecord f = with_period(8, 384);              // 2560 rpm: 23.4375 ms a revolution
    put16(f, F_SYNC_PW, 328);                         // 328 / 65.536 ms
    const double pulse = 328 / 65.536;
    f.b[F_ECM_CONFIG] |= 0x10;                        // multi-port
    EXPECT_NEAR(injector_duty_cycle(f), pulse / 23.4375 * 100, 1e-9);
    f.b[F_FIRMWARE] = 0x80;                           // sequential: one pulse per two revolutions
    EXPECT_NEAR(injector_duty_cycle(f), pulse / 46.875 * 100, 1e-9);
    f.b[F_ECM_CONFIG] &= static_cast<uint8_t>(~0x10); // throttle body, 8 cylinders: 2 per revolution
    EXPECT_NEAR(injector_duty_cycle(f), pulse / 11.71875 * 100, 1e-9);
    f.b[F_ECM_CONFIG] = 0x06;                         // 6 cylinders: 1.5 injections a revolution
    put16(f, F_REF_PERIOD, 512);
    EXPECT_NEAR(injector_duty_cycle(f), pulse / (23.4375 / 1.5) * 100, 1e-9);
    f.b[F_ECM_CONFIG] = 0x05;                         // 5 cylinders, 1000: 1572 rpm, 1.25 a revolution
    put16(f, F_REF_PERIOD, 1000);
    EXPECT_NEAR(injector_duty_cycle(f), pulse / (60000.0 / 1572 / 1.25) * 100, 1e-9);
    f.b[F_ECM_CONFIG] = 0x02;                         // 2 cylinders at 1250 rpm: one every two turns
    f.b[F_RPM_12_5] = 100;
    EXPECT_NEAR(injector_duty_cycle(f), pulse / 96.0 * 100, 1e-9);
    f.b[F_RPM_12_5] = 0;

    f.b[14] = 0x10;                                   // asynchronous: 12.5 ms period
    put16(f, F_ASYNC_PW, 262);
    EXPECT_NEAR(injector_duty_cycle(f), 262 / 65.536 / 12.5 * 100, 1e-9);
    put16(f, F_ASYNC_PW, 65535);
    EXPECT_EQ(injector_duty_cycle(f), 255.0) << "capped";
}

TEST(InjectorDutyCycle, IsZeroAtRestAndNeverUndefined)
{
    FrameRecord f = with_period(8, 0);
    put16(f, F_SYNC_PW, 5000);
    f.b[F_ECM_CONFIG] |= 0x10;
    EXPECT_EQ(injector_duty_cycle(f), 0.0);
    FrameRecord tbi = with_period(2, 0);   // no period at all, no speed: not a number
    put16(tbi, F_SYNC_PW, 0);
    double d = injector_duty_cycle(tbi);
    EXPECT_FALSE(std::isnan(d));
    EXPECT_LE(d, 255.0);
    tbi.b[F_ECM_CONFIG] = 0;               // no cylinders, but a speed from the step fields
    tbi.b[F_RPM_12_5] = 100;
    put16(tbi, F_SYNC_PW, 5000);
    EXPECT_EQ(injector_duty_cycle(tbi), 0.0);
}

TEST(SensorTemperature, ReadsTheThreeTablesWithTheSecondCoolantRangeOffset)
{
    EXPECT_EQ(sensor_temperature(0, 0), 255);
    EXPECT_EQ(sensor_temperature(22, 0), 255);
    EXPECT_EQ(sensor_temperature(23, 0), 254);
    EXPECT_EQ(sensor_temperature(120, 0), 161);
    EXPECT_EQ(sensor_temperature(128, 0), 156);
    EXPECT_EQ(sensor_temperature(120, 1), 124);
    EXPECT_EQ(sensor_temperature(128, 1), 119);
    EXPECT_EQ(sensor_temperature(110, 2), 84) << "row 2 is indexed with the count plus 10";
    EXPECT_EQ(sensor_temperature(118, 2), 81);
    EXPECT_EQ(sensor_temperature(250, 2), 0) << "index capped at 255";
    EXPECT_EQ(sensor_temperature(255, 1), 0);
    for (const auto& row : SENSOR_TABLES) {
        EXPECT_EQ(row[0], 255);
        EXPECT_EQ(row[255], 0);
        EXPECT_NE(row[254], 0);
        for (int i = 1; i < 256; ++i)
            EXPECT_LE(row[i], row[i - 1]);
    }
}

TEST(Conversions, FollowTheTemperatureAndSpeedSettings)
{
    reset_settings();
    g_settings.temperscale = 1;
    EXPECT_DOUBLE_EQ(temperature(100), 35.0);
    g_settings.temperscale = 0;
    EXPECT_DOUBLE_EQ(temperature(100), 95.0);
    g_settings.temperscale = 2;
    EXPECT_DOUBLE_EQ(temperature(100), 0.0);
    g_settings.kphormph = 0;
    EXPECT_DOUBLE_EQ(vehicle_speed(60), 60.0);
    g_settings.kphormph = 1;
    EXPECT_DOUBLE_EQ(vehicle_speed(60), 96.56064);
    reset_settings();
}

TEST(Conversions, PressuresDependOnTheMapSensorType)
{
    FrameRecord f = blank();
    EXPECT_EQ(map_sensor_bar(f), 1);
    f.b[F_ECM_CONFIG] = 0x40;
    EXPECT_EQ(map_sensor_bar(f), 3);
    f.b[F_ECM_CONFIG] = 0xC0;
    EXPECT_EQ(map_sensor_bar(f), 2) << "bit 7 wins over bit 6";

    EXPECT_DOUBLE_EQ(map_load_kpa(255), 99.6875);
    EXPECT_DOUBLE_EQ(map_sensor_kpa(100, 1), 47.315);
    EXPECT_DOUBLE_EQ(map_sensor_kpa(100, 2), 85.05);
    EXPECT_DOUBLE_EQ(map_sensor_kpa(100, 3), 124.45);
    EXPECT_DOUBLE_EQ(boost_kpa(200, 1), 0.0);
    EXPECT_DOUBLE_EQ(boost_kpa(100, 2), 62.5);
    EXPECT_NEAR(boost_psi(100, 3), 123.35 * 0.145037738, 1e-12);
    EXPECT_DOUBLE_EQ(baro_kpa(100), 47.315);
    EXPECT_DOUBLE_EQ(vacuum(64), 60.0);
}

TEST(Conversions, ScaleTheSingleFields)
{
    EXPECT_DOUBLE_EQ(adc_volts(1023), 5.004);
    EXPECT_NEAR(adc_volts(1) - adc_volts(0), 0.004887585532746823, 1e-15);
    EXPECT_DOUBLE_EQ(sensor_volts(255), 5.0);
    EXPECT_DOUBLE_EQ(spark_advance_deg(256 / 2), 45.0);
    EXPECT_DOUBLE_EQ(spark_retard_deg(256), 45.0);
    EXPECT_DOUBLE_EQ(tps_percent(256), 100.0);
    EXPECT_DOUBLE_EQ(dtps_percent(100, 36), 25.0);
    EXPECT_DOUBLE_EQ(dtps_percent(36, 100), 0.0);
    EXPECT_DOUBLE_EQ(pulse_ms(65536 / 2), 500.0);
    EXPECT_DOUBLE_EQ(o2_millivolts(100), 442.0);
    EXPECT_DOUBLE_EQ(afr(147), 14.7);
    EXPECT_EQ(pulses_per_mile(230), 4004);
    EXPECT_EQ(pulses_per_mile(0), 0);
}

TEST(Conversions, RunTimeSplitsIntoHoursMinutesSeconds)
{
    RunTime t = split_run_time(3725);
    EXPECT_EQ(t.hours, 1);
    EXPECT_EQ(t.minutes, 2);
    EXPECT_EQ(t.seconds, 5);
    FrameRecord f = blank();
    put16(f, F_RUN_TIME, 3725);
    EXPECT_EQ(run_time_seconds(f), 3725);
}

TEST(Conversions, GearTextFollowsTheTransmissionType)
{
    FrameRecord f = blank();
    char g[4];
    gear_text(f, 1, g);
    EXPECT_STREQ(g, "1/2");
    f.b[213] = 0x02;
    gear_text(f, 1, g);
    EXPECT_STREQ(g, "3");
    f.b[213] = 0x06;
    gear_text(f, 1, g);
    EXPECT_STREQ(g, "OD");
    f.b[15] = 0x10;
    gear_text(f, 1, g);
    EXPECT_STREQ(g, "P/N");
    f.b[F_GEAR] = 4;
    gear_text(f, 0, g);
    EXPECT_STREQ(g, "4");
    f.b[F_GEAR] = 200;
    gear_text(f, 0, g);
    EXPECT_STREQ(g, "9");
}

TEST(Flags, TheFuelCutLampIsLitWhenFuelIsNotEnabled)
{
    FrameRecord f = blank();
    EXPECT_TRUE(flag_condition(f, FLAG_FUEL_CUT));
    f.b[6] = 0x80;
    EXPECT_FALSE(flag_condition(f, FLAG_FUEL_CUT));
    f.b[14] = 0x80;
    EXPECT_TRUE(flag_condition(f, FLAG_CLOSED_LOOP));
    EXPECT_STREQ(FLAGS[FLAG_CLOSED_LOOP].lamp, "ClsdLp");
    EXPECT_STREQ(FLAGS[FLAG_CLOSED_LOOP].column, "Cl");
}

}  // namespace
