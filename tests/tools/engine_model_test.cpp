// The simulated engine behaves like an engine: the figures the displays and tests rely on.
#include <gtest/gtest.h>

#include <algorithm>
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
