#include "displays/diagnostics.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "config/devices.h"
#include "config/settings.h"
#include "displays/status_panel.h"
#include "draw/canvas.h"
#include "stream/display_thread.h"

DiagnosticsState g_diagnostics;

namespace {

constexpr Rgb NB_RED{240, 10, 10};
constexpr Rgb WB_MAGENTA{240, 10, 240};

// ---- Page layout ------------------------------------------------------------------------------
// Boxes, labels and read-outs in the large font; the chart's axes, legends and captions in the
// small font, which is what fits their 19-pixel steps and the narrow margin left of the chart.

struct Box {
    int left, top, right, bottom;
};
constexpr Box BOXES[] = {
    {270, 50, 420, 96},    // engine speed
    {530, 50, 680, 96},    // road speed
    {270, 102, 490, 206},  // MAP
    {270, 214, 490, 318},  // TPS
    {530, 102, 750, 206},  // CTS
    {530, 214, 750, 318},  // IAT
    {10, 214, 230, 290},   // O2
};

struct Label {
    int x, y;
    const char* text;
};
constexpr Label LABELS[] = {
    {280, 60, "RPM:      "},
    {280, 112, "MAP: "}, {420, 112, "Cnt's"}, {420, 142, "KPa  "}, {420, 172, "Volts"},
    {280, 224, "TPS: "}, {420, 224, "Cnt's"}, {420, 254, "Volts"},
    {540, 112, "CTS: "}, {680, 112, "Cnt's"}, {680, 142, "\xB0" "C   "}, {680, 172, "\xB0" "F   "},
    {540, 224, "IAT: "}, {680, 224, "Cnt's"}, {680, 254, "\xB0" "C   "}, {680, 284, "\xB0" "F   "},
    {20, 224, "O2:  "}, {160, 224, "Cnt's"}, {160, 254, "mV   "},
};
constexpr int SPEED_LABEL_X = 540, SPEED_LABEL_Y = 60;

// The strip chart's frame, two pixels wide just outside the chart area, and its ticks.
constexpr Box CHART_FRAME = {87, 328, 773, 524};
constexpr int TICKS = 10;
constexpr int LEFT_TICK_X = 83, LEFT_TICK_END = 88;
constexpr int WB_TICK_X = 45, WB_TICK_END = 50;
constexpr int GRID_LEFT = 89, GRID_RIGHT = 772;   // lines end before their last point
constexpr int BOTTOM_TICK_X = 90, BOTTOM_TICK_STEP = 68, BOTTOM_TICK_TOP = 522, BOTTOM_TICK_END = 527;
constexpr int TIME_LABEL_X = 83, TIME_LABEL_Y = 532, SECONDS_X = 78;
constexpr int VALUE_LABEL_Y = 323;
constexpr int MV_AXIS_X = 83, MV_AXIS_X_WB = 38, AFR_AXIS_X = 83;
constexpr int LEGEND_Y = 305, NB_LEGEND_X = 153, WB_LEGEND_X = 218;

int tick_y(int top, int i) { return top + static_cast<int>(19.125 * i + 0.5); }

// ---- Read-outs --------------------------------------------------------------------------------

int o2_mv(int count) { return static_cast<int>(o2_millivolts(count)); }

// The value a group is drawn again for. The coolant group also follows its temperature code,
// which can change (when the ECM lets the conversion run again) while the count stands still.
double group_source(const DiagnosticsValues& v, DiagnosticsGroup g)
{
    switch (g) {
    case DIAG_RPM:
        return v.rpm;
    case DIAG_SPEED:
        return v.speed_count;
    case DIAG_MAP:
        return v.map_kpa;
    case DIAG_TPS:
        return v.tps_count;
    case DIAG_CTS:
        return v.cts_count * 1024.0 + v.cts_code;
    case DIAG_IAT:
        return v.iat_count;
    default:
        return v.o2_count;
    }
}

struct Readout {
    DiagnosticsGroup group;
    int x, y;            // right edge
    std::string (*text)(const DiagnosticsValues&);
    const char* label;   // the label at the left of the same line, or nullptr
    int label_x;
};

std::string int_text(int v) { return format_text("   %4d", v); }
std::string real_text(double v) { return format_text("   %4.1f", v); }
int iat_code(const DiagnosticsValues& v) { return sensor_temperature(v.iat_count, 1); }
const char* speed_label() { return g_settings.kphormph == 1 ? "KPH:" : "MPH:"; }

constexpr Readout READOUTS[] = {
    {DIAG_RPM, 410, 60, [](const DiagnosticsValues& v) { return int_text(v.rpm); }, "RPM:", 280},
    {DIAG_SPEED, 670, 60, [](const DiagnosticsValues& v) { return int_text(static_cast<int>(vehicle_speed(v.speed_count))); },
     "", SPEED_LABEL_X},
    {DIAG_MAP, 410, 112, [](const DiagnosticsValues& v) { return int_text(v.map_count); }, "MAP:", 280},
    {DIAG_MAP, 410, 142, [](const DiagnosticsValues& v) { return real_text(v.map_kpa); }, nullptr, 0},
    {DIAG_MAP, 410, 172, [](const DiagnosticsValues& v) { return real_text(sensor_volts(v.map_count)); }, nullptr, 0},
    {DIAG_TPS, 410, 224, [](const DiagnosticsValues& v) { return int_text(v.tps_count); }, "TPS:", 280},
    {DIAG_TPS, 410, 254, [](const DiagnosticsValues& v) { return real_text(sensor_volts(v.tps_count)); }, nullptr, 0},
    {DIAG_CTS, 670, 112, [](const DiagnosticsValues& v) { return int_text(v.cts_count); }, "CTS:", 540},
    {DIAG_CTS, 670, 142, [](const DiagnosticsValues& v) { return real_text(temperature_on_scale(v.cts_code, 1)); }, nullptr, 0},
    {DIAG_CTS, 670, 172, [](const DiagnosticsValues& v) { return real_text(temperature_on_scale(v.cts_code, 0)); }, nullptr, 0},
    {DIAG_IAT, 670, 224, [](const DiagnosticsValues& v) { return int_text(v.iat_count); }, "IAT:", 540},
    {DIAG_IAT, 670, 254, [](const DiagnosticsValues& v) { return real_text(temperature_on_scale(iat_code(v), 1)); }, nullptr, 0},
    {DIAG_IAT, 670, 284, [](const DiagnosticsValues& v) { return real_text(temperature_on_scale(iat_code(v), 0)); }, nullptr, 0},
    {DIAG_O2, 150, 224, [](const DiagnosticsValues& v) { return int_text(v.o2_count); }, "O2:", 20},
    {DIAG_O2, 150, 254, [](const DiagnosticsValues& v) { return int_text(o2_mv(v.o2_count)); }, nullptr, 0},
};
constexpr int LARGE_CELL_H = 28;
// Engine speed first clears two blanks' width left of its read-out.
constexpr int RPM_BLANKS_X = 370, RPM_BLANKS_Y = 60;

// ---- Drawing (the caller holds g_diagnostics.lock) --------------------------------------------

// A read-out right-aligned at its place. Where a label stands on the same line, the read-out's
// leading blanks would reach into the label in this font; its background then starts where the
// label's letters end, and the read-out is drawn over it.
void draw_readout(Canvas* c, const Readout& r, const DiagnosticsValues& v)
{
    std::string s = r.text(v);
    if (r.label == nullptr) {
        c->text(r.x, r.y, s, Font::Large, TEXT, BACKGROUND, ALIGN_RIGHT);
        return;
    }
    const char* label = r.group == DIAG_SPEED ? speed_label() : r.label;
    int field_left = r.label_x + c->text_width(label, Font::Large);
    c->fill(field_left, r.y, r.x, r.y + LARGE_CELL_H, BACKGROUND);
    c->text(r.x, r.y, s, Font::Large, TEXT, BACKGROUND, ALIGN_RIGHT, false);
}

void draw_values(Canvas* c, bool force)
{
    DiagnosticsState& d = g_diagnostics;
    const DiagnosticsValues& v = d.values;
    std::array<bool, DIAG_GROUPS> redraw{};
    for (int g = 0; g < DIAG_GROUPS; ++g) {
        double source = group_source(v, static_cast<DiagnosticsGroup>(g));
        redraw[g] = force || source != d.drawn[g];
        d.drawn[g] = source;
    }
    if (redraw[DIAG_RPM])
        c->text(RPM_BLANKS_X, RPM_BLANKS_Y, "  ", Font::Large, TEXT, BACKGROUND, ALIGN_RIGHT);
    for (const Readout& r : READOUTS)
        if (redraw[r.group])
            draw_readout(c, r, v);
}

// Moves the chart one step to the left and draws the newest piece of each trace.
void strip_step(Canvas* c)
{
    DiagnosticsState& d = g_diagnostics;
    c->scroll_left(STRIP_LEFT, STRIP_TOP, STRIP_RIGHT, STRIP_BOTTOM, STRIP_STEP, BACKGROUND);
    // The columns uncovered on the right get their piece of the grid back, so that the grid lines
    // run on unbroken.
    for (int i = 1; i < TICKS; ++i) {
        int y = tick_y(STRIP_TOP, i);
        c->fill(STRIP_RIGHT - STRIP_STEP, y, STRIP_RIGHT, y + 1, TEXT);
    }
    int nb = strip_y_nb(o2_mv(d.values.o2_count));
    c->line(STRIP_X, d.nb_y, STRIP_X + STRIP_STEP, nb, NB_RED);
    d.nb_y = nb;
    if (d.values.wideband) {
        int wb = strip_y_wb(d.values.wb_afr);
        c->line(STRIP_X, d.wb_y, STRIP_X + STRIP_STEP, wb, WB_MAGENTA);
        d.wb_y = wb;
    }
}

void small_text(Canvas* c, int x, int y, const std::string& s, Rgb fg, Align align = ALIGN_RIGHT)
{
    c->text(x, y, s, Font::Small, fg, BACKGROUND, align);
}

void paint_chart(Canvas* c, bool wideband)
{
    c->rectangle(CHART_FRAME.left, CHART_FRAME.top, CHART_FRAME.right, CHART_FRAME.bottom, TEXT, 2, BACKGROUND, false);
    for (int i = 0; i <= TICKS; ++i) {
        int y = tick_y(STRIP_TOP, i);
        c->line(LEFT_TICK_X, y, LEFT_TICK_END, y, TEXT);
        if (wideband)
            c->line(WB_TICK_X, y, WB_TICK_END, y, TEXT);
        if (i > 0 && i < TICKS)
            c->line(GRID_LEFT, y, GRID_RIGHT, y, TEXT);
        int x = BOTTOM_TICK_X + BOTTOM_TICK_STEP * i;
        c->line(x, BOTTOM_TICK_TOP, x, BOTTOM_TICK_END, TEXT);
        small_text(c, TIME_LABEL_X + BOTTOM_TICK_STEP * i, TIME_LABEL_Y, format_text("%2d", TICKS - i), TEXT, ALIGN_LEFT);

        int label_y = tick_y(VALUE_LABEL_Y, i);
        small_text(c, wideband ? MV_AXIS_X_WB : MV_AXIS_X, label_y, format_text("%4d", 1000 - 100 * i), NB_RED);
        if (wideband)
            small_text(c, AFR_AXIS_X, label_y, format_text("%4.1f", 20.0 - i), WB_MAGENTA);
    }
    small_text(c, SECONDS_X, TIME_LABEL_Y, "Seconds:", TEXT);
    small_text(c, NB_LEGEND_X, LEGEND_Y, "NB O2", NB_RED);
    if (wideband) {
        small_text(c, WB_LEGEND_X, LEGEND_Y, "WB O2", WB_MAGENTA);
        small_text(c, MV_AXIS_X_WB, LEGEND_Y, "mV", NB_RED);
        small_text(c, AFR_AXIS_X, LEGEND_Y, "AFR", WB_MAGENTA);
    } else {
        small_text(c, MV_AXIS_X, LEGEND_Y, "mV", NB_RED);
    }
}

}  // namespace

int strip_y_nb(int millivolts)
{
    millivolts = std::min(millivolts, 1000);
    return STRIP_BOTTOM - 1 - static_cast<int>(millivolts / 10.0 * 1.9125 + 0.5);
}

int strip_y_wb(double afr)
{
    afr = std::clamp(afr, 10.0, 20.0);
    return STRIP_BOTTOM - 1 - static_cast<int>((afr - 10) * 19.125 + 0.5);
}

void diagnostics_update(const FrameRecord& f, int active)
{
    bool wideband = have_preferred_wb();
    Canvas* c = active == 1 ? canvas() : nullptr;
    if (c != nullptr)
        refresh_status_values();
    std::lock_guard<std::mutex> lock(g_diagnostics.lock);
    DiagnosticsValues& v = g_diagnostics.values;
    v.rpm = g_display.engine_speed;
    v.speed_count = f.u8(F_SPEED);
    v.map_count = f.u8(F_MAP_COUNT);
    v.map_kpa = map_sensor_kpa(v.map_count, g_display.map_bar);
    v.tps_count = f.u8(F_TPS_COUNT);
    v.cts_count = f.u8(F_CTS_COUNT);
    if (!flag(f, FLAG_CTS_SUPPRESSED))
        v.cts_code = sensor_temperature(v.cts_count, flag(f, FLAG_CTS_RANGE) ? 0 : 2);
    v.iat_count = f.u8(F_IAT_COUNT);
    v.o2_count = f.u8(F_O2);
    v.wb_afr = g_adc.current_wb_afr;
    v.wideband = wideband;
    if (c == nullptr)
        return;
    draw_values(c, false);
    strip_step(c);
}

void paint_diagnostics()
{
    Canvas* c = canvas();
    if (c == nullptr)
        return;
    bool wideband = have_preferred_wb();
    std::lock_guard<std::mutex> lock(g_diagnostics.lock);
    for (const Box& b : BOXES)
        c->rectangle(b.left, b.top, b.right, b.bottom, TEXT, 1, BACKGROUND, false);
    paint_chart(c, wideband);
    for (const Label& l : LABELS)
        c->text(l.x, l.y, l.text, Font::Large, TEXT, BACKGROUND);
    c->text(SPEED_LABEL_X, SPEED_LABEL_Y, g_settings.kphormph == 1 ? "KPH:      " : "MPH:      ", Font::Large, TEXT,
            BACKGROUND);
    draw_values(c, true);
}

void reset_diagnostics()
{
    std::lock_guard<std::mutex> lock(g_diagnostics.lock);
    DiagnosticsState& d = g_diagnostics;
    d.values = DiagnosticsValues{};
    d.drawn.fill(-1);
    d.nb_y = STRIP_START_Y;
    d.wb_y = STRIP_START_Y;
}
