// Small logs for cell table tests: drive frames whose INT, IAC and BLM bytes (printed as they
// are) and closed-loop flag a test chooses.
#pragma once

#include <string>
#include <vector>

#include "support/log_builder.h"

// X is the integrator byte (INT), Y the idle air byte (IAC), Z the block learn byte (BLM). Values
// 85 and 170 are avoided: next to each other they could read as a frame start.
struct CellSample {
    int x, y, z;
    bool closed_loop = false;
};

inline std::string cells_log(const std::string& name, const std::vector<CellSample>& samples)
{
    Bytes log = time_record(3, 7, 2013, 13, 5, 0);
    for (size_t n = 0; n < samples.size(); ++n) {
        FrameRecord f = drive_frame(static_cast<uint32_t>(n));
        f.b[F_INTEGRATOR] = static_cast<uint8_t>(samples[n].x);
        f.b[F_IAC] = static_cast<uint8_t>(samples[n].y);
        f.b[F_BLM] = static_cast<uint8_t>(samples[n].z);
        const FlagInfo& cl = FLAGS[FLAG_CLOSED_LOOP];
        f.b[cl.offset] = static_cast<uint8_t>(samples[n].closed_loop ? f.b[cl.offset] | 1 << cl.bit
                                                                     : f.b[cl.offset] & ~(1 << cl.bit));
        append(log, frame_bytes(f));
    }
    return write_temp_file(name, log);
}
