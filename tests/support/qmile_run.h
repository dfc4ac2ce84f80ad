// A drag-strip run as a data log, and the figures glanzo-cli qmile prints for it: what the tests of
// the Analysis display and the quarter-mile graph window compare the window with.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "analysis/qmile.h"
#include "support/log_builder.h"
#include "support/sim_process.h"

inline void put16(FrameRecord& f, int offset, int v)
{
    f.b[offset] = static_cast<uint8_t>(v >> 8);
    f.b[offset + 1] = static_cast<uint8_t>(v);
}

// `frames` frames of a run from a standstill at 0:01:00: 10 speed pulses a frame at 4004 pulses a
// mile (13.19 feet), the speed rising 2 mph a frame to 120, the engine 30 RPM a frame; frame n
// carries n in its IAC column, and a marker comes with frame 40.
inline Bytes quarter_mile_run(int frames)
{
    Bytes log;
    for (int n = 0; n < frames; ++n) {
        FrameRecord f{};
        put16(f, F_RUN_TIME, 60 + n / 17);
        f.b[F_IAC] = static_cast<uint8_t>(n);
        f.b[F_VSS_COUNTER] = static_cast<uint8_t>(10 * n);
        f.b[F_SPEED] = static_cast<uint8_t>(std::min(2 * n, 120));
        put16(f, F_SPEED_K, 230);
        f.b[F_ECM_CONFIG] = 0x18;
        put16(f, F_REF_PERIOD, 983040 / (1000 + 30 * n));
        f.b[F_TPS] = static_cast<uint8_t>(100 + n % 100);
        f.b[F_O2] = static_cast<uint8_t>(50 + n % 150);
        Bytes bytes = frame_bytes(f);
        if (n == 40)
            bytes = insert_at(bytes, 80, marker_record(0, 3, 7, 2013, 14, 5, 9));
        append(log, bytes);
    }
    return log;
}

// Expects `r` to be the figures that glanzo-cli qmile prints for `log` from `start_row`.
inline void expect_cli_figures(const std::string& log, long start_row, const QmileResults& r)
{
    std::string out = log + ".json";
    ASSERT_EQ(run_command(std::string(GLANZO_CLI) + " qmile " + log + " --start-row " + std::to_string(start_row) +
                          " > " + out),
              0);
    std::string json = read_file(out);
    auto field = [&](const char* name) {
        size_t at = json.find(std::string("\"") + name + "\":");
        return at == std::string::npos ? -1.0 : std::strtod(json.c_str() + at + std::strlen(name) + 3, nullptr);
    };
    EXPECT_GT(r.quarter_s, 0.0) << json;
    EXPECT_EQ(r.zero_to_60_s, field("zero_to_60_s"));
    EXPECT_EQ(r.ft60_s, field("ft60_s"));
    EXPECT_EQ(r.ft330_s, field("ft330_s"));
    EXPECT_EQ(r.eighth_s, field("eighth_s"));
    EXPECT_EQ(r.eighth_mph, field("eighth_mph"));
    EXPECT_EQ(r.quarter_s, field("quarter_s"));
    EXPECT_EQ(r.quarter_mph, field("quarter_mph"));
}
