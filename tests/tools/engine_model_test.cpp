// The simulated engine behaves like an engine: the figures the displays and tests rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine_model.h"
#include "stream/frame.h"

namespace {

TEST(EngineModel, WarmsUpCruisesCoastsAndRunsAQuarterMileWithKnock)
{
    EngineModel m;
    engine_model_init(m, 1);
    FrameRecord f;
    double first_cts = -1, last_cts = 0;
    int fuel_cut = 0, retard = 0, closed_loop_off_128 = 0, pe = 0;
    double launch_start = -1, sixty_at = -1, quarter_at = -1;
    double distance_ft = 0;
    uint32_t last_seq = 0;
    int max_rpm = 0;
    for (int i = 0; i < 17 * 200; ++i) {
        engine_model_step(m, f);
        double t = i / 17.0;
        int raw_cts = f.u8(F_CTS);
        if (first_cts < 0)
            first_cts = raw_cts * 0.75 - 40;
        last_cts = raw_cts * 0.75 - 40;
        fuel_cut += flag_condition(f, FLAG_FUEL_CUT);
        retard += f.u8(F_SPARK_RETARD) > 0;
        pe += flag(f, FLAG_PE);
        if (flag(f, FLAG_CLOSED_LOOP) && f.u8(F_BLM) > 132)
            ++closed_loop_off_128;
        max_rpm = std::max(max_rpm, engine_rpm(f));
        if (flag(f, FLAG_PE) && launch_start < 0) {
            launch_start = t;
            distance_ft = 0;
        }
        if (launch_start >= 0 && quarter_at < 0) {
            distance_ft += f.u8(F_SPEED) * 5280.0 / 3600 / 17;
            if (sixty_at < 0 && f.u8(F_SPEED) >= 60)
                sixty_at = t - launch_start;
            if (distance_ft >= 1320)
                quarter_at = t - launch_start;
        }
        uint32_t seq = static_cast<uint32_t>(f.b[90]) << 24 | f.b[91] << 16 | f.b[92] << 8 | f.b[93];
        if (i > 0) {
            EXPECT_EQ(seq, last_seq + 1);
        }
        last_seq = seq;
    }
    EXPECT_LT(first_cts, 30);
    EXPECT_GT(last_cts, 80) << "the engine warms up";
    EXPECT_GT(fuel_cut, 17) << "fuel cut while coasting";
    EXPECT_GT(retard, 0) << "knock at full load";
    EXPECT_GT(closed_loop_off_128, 17) << "block learn away from 128 in closed loop";
    EXPECT_GT(pe, 17);
    EXPECT_GT(max_rpm, 5000);
    EXPECT_GT(sixty_at, 3.5);
    EXPECT_LT(sixty_at, 8.0);
    EXPECT_GT(quarter_at, 11.0);
    EXPECT_LT(quarter_at, 17.0);
    EXPECT_EQ(pulses_per_mile(f.u16(F_SPEED_K)), 4004);
    EXPECT_EQ(cylinder_count(f), 8);
}

// Knock as an engine has it: the counter climbs in short bursts at high load, always with spark
// retard; with a 2-bar sensor the engine boosts at full throttle and knocks in boost; malfunction
// codes come and go in the first group, stay in the second, and one is stored in the third.
TEST(EngineModel, KnocksInBurstsUnderLoadAndBoostsWithATwoBarSensor)
{
    for (int bar : {1, 2, 3}) {
        EngineModel m;
        engine_model_init(m, 11, bar);
        FrameRecord f;
        int previous = -1, bursts = 0, knock_frames = 0, light_load_knock = 0, boost_frames = 0;
        int max_kpa = 0, boost_byte_mismatch = 0, groups_seen = 0;
        bool in_burst = false;
        for (int i = 0; i < 17 * 300; ++i) {
            engine_model_step(m, f);
            EXPECT_EQ(map_sensor_bar(f), bar);
            int count = f.u16(F_KNOCK_COUNT);
            bool knocked = previous >= 0 && count != previous;
            previous = count;
            if (knocked) {
                ++knock_frames;
                EXPECT_GT(f.u8(F_SPARK_RETARD), 0) << "the ECM pulls spark when it counts knock";
                if (map_load_kpa(f.u8(F_MAP_LOAD)) < 80)
                    ++light_load_knock;
            }
            bursts += knocked && !in_burst;
            in_burst = knocked;
            double kpa = map_sensor_kpa(f.u8(F_MAP_COUNT), bar);
            max_kpa = std::max(max_kpa, static_cast<int>(kpa));
            if (f.u8(F_BOOST_COUNT) != 0) {
                ++boost_frames;
                boost_byte_mismatch += std::abs(boost_kpa(f.u8(F_BOOST_COUNT), bar) - (kpa - 100.5)) > 3;
            }
            for (int g : {F_MALF_SET_1, F_MALF_SET_2, F_MALF_SET_3})
                if (f.b[g] | f.b[g + 1] | f.b[g + 2])
                    groups_seen |= 1 << (g == F_MALF_SET_1 ? 0 : g == F_MALF_SET_2 ? 1 : 2);
        }
        EXPECT_GE(bursts, 3) << bar << " bar";
        EXPECT_GT(knock_frames, bursts * 3) << "bursts, not single frames";
        EXPECT_EQ(light_load_knock, 0) << "knock only under load";
        EXPECT_EQ(groups_seen, 7) << "codes in all three groups";
        if (bar == 1) {
            EXPECT_EQ(boost_frames, 0);
            EXPECT_LT(max_kpa, 105);
        } else {
            EXPECT_GT(boost_frames, 17 * 5);
            EXPECT_GT(max_kpa, bar == 2 ? 160 : 220);
            EXPECT_EQ(boost_byte_mismatch, 0) << "the boost count follows the manifold pressure";
        }
    }
}

TEST(EngineModel, TheSameSeedGivesTheSameFrames)
{
    EngineModel a, b;
    engine_model_init(a, 7);
    engine_model_init(b, 7);
    FrameRecord fa, fb;
    for (int i = 0; i < 500; ++i) {
        engine_model_step(a, fa);
        engine_model_step(b, fb);
        ASSERT_EQ(0, std::memcmp(fa.b, fb.b, sizeof fa.b));
    }
}

}  // namespace
