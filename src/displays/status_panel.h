// The status panel in the top-left corner of displays 1 to 4 and 7: run time, the open file, the
// ECM's identification, the port, logging, playback and VE learning; the activity wheel that turns
// while frames arrive; and, on the gauge display, the ECM firmware line.
#pragma once

#include <cstdint>

#include "platform/shared_word.h"

struct StatusPanelState {
    Shared<int32_t> spoke{0};          // current spoke of the activity wheel
    Shared<int32_t> wheel_frames{0};   // frames since the wheel last moved
    Shared<int32_t> firmware_checked{0};
};

extern StatusPanelState g_status_panel;

constexpr int WHEEL_X = 740;
constexpr int WHEEL_Y = 40;
constexpr int WHEEL_SPOKES = 12;

void paint_status_panel();
void refresh_status_values();
void refresh_logging_state();
// The "Port:" field; reads the port's name, so it runs on the window thread.
void refresh_port_state();
void advance_activity_wheel();
// The firmware line under the gauges; the first time the engine runs with the sibling firmware it
// says so once.
void draw_firmware_line();

void reset_status_panel();
