// The sensor diagnostics display (display 7): the ECM's raw sensor counts beside what they convert
// to, engine and road speed, and a ten-second strip chart of the narrow-band O2 sensor and, when a
// preferred wideband channel exists, the wideband air/fuel ratio.
//
// diagnostics_update runs on the display thread for every frame and keeps the values current;
// while the display is shown it draws the values that changed and moves the strip chart on by one
// step on every frame (17 steps, 68 pixels, a second). The window thread paints the page. The
// values and what was last drawn are under `lock`.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

#include "stream/frame.h"

// The read-outs, each drawn again when its source changes.
enum DiagnosticsGroup : int { DIAG_RPM, DIAG_SPEED, DIAG_MAP, DIAG_TPS, DIAG_CTS, DIAG_IAT, DIAG_O2, DIAG_GROUPS };

// What the last frame gave.
struct DiagnosticsValues {
    int rpm = 0;
    int speed_count = 0;
    int map_count = 0;
    double map_kpa = 0;
    int tps_count = 0;
    int cts_count = 0;
    int cts_code = 0;      // kept while the ECM suppresses the coolant conversion
    int iat_count = 0;
    int o2_count = 0;
    double wb_afr = 0;
    bool wideband = false; // a preferred wideband channel exists
};

// The strip chart's area, its newest column, and where a trace starts before anything is drawn.
constexpr int STRIP_LEFT = 92, STRIP_TOP = 330, STRIP_RIGHT = 771, STRIP_BOTTOM = 522;
constexpr int STRIP_X = 763;
constexpr int STRIP_STEP = 4;
constexpr int STRIP_START_Y = 425;

struct DiagnosticsState {
    std::mutex lock;
    DiagnosticsValues values;
    // The source of each group as last drawn; -1 draws it whatever the frame says.
    std::array<double, DIAG_GROUPS> drawn{-1, -1, -1, -1, -1, -1, -1};
    int nb_y = STRIP_START_Y;   // the end of each trace as last drawn
    int wb_y = STRIP_START_Y;
};

extern DiagnosticsState g_diagnostics;

// The per-frame routine; `active` is 1 while the display is shown.
void diagnostics_update(const FrameRecord& frame, int active);
// The boxes, labels, axes and legends, then every value.
void paint_diagnostics();

// Where each trace is drawn in the strip chart, for the O2 sensor's millivolts and the wideband AFR.
int strip_y_nb(int millivolts);
int strip_y_wb(double afr);

void reset_diagnostics();
