// Data logs of a day at the drag strip: passes that wait at the line, launch, run on and brake
// to a stop, with a speed pulse counter that follows the speed, so that the quarter-mile figures
// of each launch row come out as a real car's would.
#pragma once

#include <string>
#include <vector>

#include "support/log_builder.h"

struct StripPass {
    int wait_frames = 40;              // standing at the line (throttle closed) before the launch
    double mph_per_frame = 0.9;        // acceleration while running
    double top_mph = 110;
    int tps = 95;                      // throttle % from the first moving frame
    int tps_delay = 0;                 // frames after the launch before the throttle opens that far
    int run_frames = 300;              // frames from the launch to lifting off
    double brake_mph_per_frame = 1.5;  // deceleration after lifting off, to a stop
    double ppm = 4004;                 // speed pulses per mile the ECM reports (0: none)
};

struct StripLog {
    Bytes bytes;
    // The table row of each pass's launch: its last standing frame, counted over the whole log.
    std::vector<long> launch_rows;
    long frames = 0;
};

// A recording: a time record, then the passes one after another, run time counting from
// `run_time_s` (17 frames a second). Appends to `log`, so that a second recording follows the
// first in the same file with its run time starting again.
void add_strip_recording(StripLog& log, const std::vector<StripPass>& passes, int run_time_s = 100);

// The log written under the test temp directory; returns its path.
std::string write_strip_log(const std::string& name, const StripLog& log);
