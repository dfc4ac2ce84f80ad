// The gauge display (display 2): speedometer and tachometer, nineteen bar gauges, the indicator
// lamps and the service lamp, gear, integrator, block learn and air/fuel read-outs.
//
// gauge_update runs on the display thread for every frame and keeps the values current; it
// redraws what changed at the display's refresh rate while the display is shown. gauge_paint draws
// the whole face on the window thread. The values are single words.
#pragma once

#include <array>
#include <cstdint>

#include "draw/canvas.h"
#include "platform/shared_word.h"
#include "stream/frame.h"

enum TempSelector : uint8_t { TEMP_ANY, TEMP_CELSIUS_ONLY, TEMP_FAHRENHEIT_ONLY };

struct BarGauge {
    const char* name;       // under the bar
    const char* unit;       // above it, or nullptr
    double (*value)(const FrameRecord&);
    const char* format;
    bool real;              // printed as a real number, else rounded to an integer
    double min, max, step;  // scale (the boost bar's follows the MAP sensor)
    int x;                  // all bars start at y = 340
    Rgb colour;
    TempSelector selector;
    int row;                // 0 first of a pair (has the scale), 1 second (label lower, no scale)
    int text_dx;            // where the value text sits, from x
};

struct Lamp {
    const char* name;
    int byte;
    uint8_t mask;
    bool inverted;
    int x, y;
    Rgb lit;
};

constexpr int BAR_COUNT = 19;
constexpr int LAMP_COUNT = 27;
extern const std::array<BarGauge, BAR_COUNT> BAR_GAUGES;
extern const std::array<Lamp, LAMP_COUNT> LAMPS;
extern const Lamp SERVICE_LAMP;

constexpr int BAR_Y = 340;
constexpr int BAR_HEIGHT = 171;
constexpr int SPEEDO_X = 280, TACHO_X = 520, DIAL_Y = 210;
constexpr double NEEDLE_LENGTH = 63.08;

struct GaugeState {
    Shared<int32_t> speed{0}, rpm{0};
    Shared<int32_t> integrator{0}, blm{0}, commanded_afr{0};
    Shared<int32_t> gear_byte{0}, park_neutral{0}, overdrive{0}, third{0};
    Shared<double> bar_value[BAR_COUNT];
    Shared<int32_t> bar_top[BAR_COUNT];          // top row last drawn (170 = empty)
    Shared<double> boost_max{15};                // the boost bar's scale
    Shared<int32_t> lamp_state[LAMP_COUNT + 1];  // the last is the service lamp
    Shared<int32_t> lamp_drawn[LAMP_COUNT + 1];  // -1 forces a redraw
    Shared<int32_t> speed_tip_x{0}, speed_tip_y{0}, rpm_tip_x{0}, rpm_tip_y{0};
    Shared<int32_t> frame_count{0};
};

extern GaugeState g_gauges;

// Needle tip for value `v` of a dial with full scale `full`.
void needle_tip(int cx, int cy, double v, double full, int& x, int& y);
// Whether a bar row is drawn with the current temperature scale.
bool bar_shown(const BarGauge& bar);

void gauge_update(const FrameRecord& frame, int active);
void gauge_paint();
void gauge_redraw_dynamic();
void reset_gauges();
