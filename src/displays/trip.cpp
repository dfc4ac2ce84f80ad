#include "displays/trip.h"

#include <chrono>
#include <cmath>
#include <string>
#include <thread>

#include "config/devices.h"
#include "config/settings.h"
#include "displays/status_panel.h"
#include "draw/canvas.h"
#include "platform/ui_services.h"
#include "stream/display_thread.h"

TripState g_trip;

namespace {

// Frames ignored after a (re)start, and frames until the window counts as filled.
constexpr int32_t SKIP_FRAMES = 6;
constexpr int32_t FILL_FRAMES = 75;

constexpr double GALLON_PER_COUNT = 0.00390630961;   // times F / 14400
constexpr double KM_PER_MILE = 1.609344;
constexpr double LITRES_PER_GALLON = 3.785;
constexpr double INSTANT_CAP = 99.9;

// ---- Block digits -------------------------------------------------------------------------
// One string per glyph row: '#' full block, '^' upper half, '_' lower half, '.' blank.

constexpr int BIG_ROWS = 7, BIG_WIDTH = 7;
constexpr const char* BIG_DIGITS[10][BIG_ROWS] = {
    {"#######", "##...##", "##...##", "##...##", "##...##", "##...##", "#######"},
    {"..###..", "...##..", "...##..", "...##..", "...##..", "...##..", "..####."},
    {"#######", ".....##", ".....##", "#######", "##.....", "##.....", "#######"},
    {"#######", ".....##", ".....##", ".######", ".....##", ".....##", "#######"},
    {"##.....", "##..##.", "##..##.", "#######", "....##.", "....##.", "....##."},
    {"#######", "##.....", "##.....", "#######", ".....##", ".....##", "#######"},
    {"#######", "##.....", "##.....", "#######", "##...##", "##...##", "#######"},
    {"#######", "^....##", ".....##", ".....##", ".....##", ".....##", ".....##"},
    {"#######", "##...##", "##...##", "#######", "##...##", "##...##", "#######"},
    {"#######", "##...##", "##...##", "#######", ".....##", ".....##", ".....##"},
};
constexpr const char* BIG_BLANK = ".......";
constexpr const char* BIG_POINT[BIG_ROWS] = {"....", "....", "....", "....", "....", "....", ".##."};

constexpr int SMALL_ROWS = 4;
constexpr const char* SMALL_DIGITS[10][SMALL_ROWS] = {
    {"____", "#..#", "#..#", "#__#"}, {".._.", "..#.", "..#.", "..#."}, {"____", "...#", "#^^^", "#___"},
    {"____", "...#", ".^^#", "___#"}, {"_...", "#.#.", "^^#^", "..#."}, {"____", "#...", "^^^#", "___#"},
    {"____", "#...", "#^^#", "#__#"}, {"____", "^..#", "...#", "...#"}, {"____", "#..#", "#^^#", "#__#"},
    {"____", "#..#", "^^^#", "...#"},
};
constexpr const char* SMALL_BLANK = "....";
constexpr const char* SMALL_POINT[SMALL_ROWS] = {"...", "...", "...", "_.."};

constexpr int GLYPH_LINE = 12;   // pixels per glyph row
constexpr int BLANK_DIGIT = 10;

// A glyph row in the OEM font's bytes.
std::string oem_row(const char* row)
{
    std::string s(row);
    for (char& c : s)
        c = c == '#' ? '\xDB' : c == '^' ? '\xDF' : c == '_' ? '\xDC' : ' ';
    return s;
}

void draw_glyph(Canvas* c, int x, int y, const char* const* rows, int count)
{
    for (int r = 0; r < count; ++r)
        c->text(x, y + r * GLYPH_LINE, oem_row(rows[r]), Font::Oem, TEXT, BACKGROUND);
}

void draw_digit(Canvas* c, bool big, int x, int y, int digit)
{
    if (big) {
        const char* blank[BIG_ROWS] = {BIG_BLANK, BIG_BLANK, BIG_BLANK, BIG_BLANK, BIG_BLANK, BIG_BLANK, BIG_BLANK};
        draw_glyph(c, x, y, digit == BLANK_DIGIT ? blank : BIG_DIGITS[digit], BIG_ROWS);
    } else {
        const char* blank[SMALL_ROWS] = {SMALL_BLANK, SMALL_BLANK, SMALL_BLANK, SMALL_BLANK};
        draw_glyph(c, x, y, digit == BLANK_DIGIT ? blank : SMALL_DIGITS[digit], SMALL_ROWS);
    }
}

void draw_point(Canvas* c, bool big, int x, int y)
{
    if (big)
        draw_glyph(c, x, y, BIG_POINT, BIG_ROWS);
    else
        draw_glyph(c, x, y, SMALL_POINT, SMALL_ROWS);
}

// Where a readout's glyphs go. Digit places run from the most significant.
struct ReadoutLayout {
    bool big;
    int digits;
    std::array<int, TRIP_MAX_DIGITS> x;   // glyph column of each place
    int point_x;                          // -1: no decimal point
    int y;
    int leading_blanks;                   // leading zero places drawn blank (each only after a blank)
};

constexpr std::array<ReadoutLayout, READOUT_COUNT> READOUTS = {{
    {true, 2, {187, 267}, -1, 122, 1},                  // instant
    {true, 3, {460, 540, 640}, 600, 122, 1},            // average
    {true, 4, {26, 106, 186, 266}, -1, 302, 1},         // RPM
    {true, 4, {440, 520, 600, 700}, 660, 302, 2},       // distance
    {false, 3, {116, 156, 212}, 196, 432, 1},           // WB AFR
    {false, 5, {480, 520, 560, 616, 656}, 600, 432, 2}, // fuel
}};

// Distance above 9999 tenths: whole units, no point, the last digit further left.
constexpr uint32_t DISTANCE_POINT_LIMIT = 9999;
constexpr int DISTANCE_WHOLE_LAST_X = 680;
// The point and the last digit's place, cleared when the distance changes between the two forms.
constexpr int DISTANCE_TAIL_LEFT = 656, DISTANCE_TAIL_RIGHT = 756;

// ---- Page layout ------------------------------------------------------------------------------

struct Label {
    int x, y;
    const char* miles;
    const char* metric;
};
constexpr Label LABELS[] = {
    {219, 218, " Instant MPG", "Instant Km/L"},
    {540, 218, " Average MPG", "Average Km/L"},
    {166, 398, "RPM", "RPM"},
    {570, 398, "Miles Traveled", "  Km Traveled "},
    {554, 492, "Gallons Consumed", " Litres Consumed"},
};
constexpr int WB_LABEL_X = 152, WB_LABEL_Y = 492;

// The manifold pressure bar for each sensor type: it stands in the free column between the
// economy and speed read-outs on the left and the distance and fuel on the right.
struct MapBar {
    int x, y, h;
    double min, max, step;
};
constexpr MapBar MAP_BARS[4] = {
    {},
    {400, 112, 340, 20, 100, 20},    // 1 bar: byte 38, 20 to 100 kPa as the gauge's MAP bar
    {400, 112, 340, 0, 200, 40},     // 2 bar: byte 45
    {400, 112, 340, 0, 300, 50},     // 3 bar: byte 45
};

constexpr Rgb PE_RED{232, 32, 32};

// ---- Figures ----------------------------------------------------------------------------------

// A non-negative real to a figure; what cannot be one (NaN, negative) is 0, the too-large the most.
uint32_t figure(double v)
{
    if (!(v > 0))
        return 0;
    if (v >= 4294967295.0)
        return UINT32_MAX;
    return static_cast<uint32_t>(v);
}

// The increment of a wrapping 8-bit counter.
uint32_t increment(uint32_t old_value, uint32_t new_value)
{
    return new_value >= old_value ? new_value - old_value : 256 - old_value + new_value;
}

int flow_constant(const FrameRecord& f)
{
    double c = f.u16(F_INJ_FLOW) / 188.798976;
    if (g_display.injection_type != 0)
        c = c * g_display.cylinders / 2;
    return static_cast<int>(c);
}

double map_kpa(uint8_t raw, int sensor)
{
    return sensor == 1 ? map_load_kpa(raw) : map_sensor_kpa(raw, sensor);
}

int sensor_index(int bar) { return bar == 2 || bar == 3 ? bar : 1; }

void compute_locked()
{
    TripState& t = g_trip;
    uint32_t dv = 0, df = 0;
    for (int i = 1; i < TRIP_WINDOW_SAMPLES; ++i) {
        dv += increment(t.window.vss[i - 1], t.window.vss[i]);
        df += increment(t.window.fuel[i - 1], t.window.fuel[i]);
    }
    double p = g_settings.bfrvssppm;
    double f = g_settings.bfrflwcnst;
    bool metric = g_settings.kphormph == 1;
    auto gallons = [f](double counts) { return counts * GALLON_PER_COUNT * f / 14400; };
    // Without either constant the frames carry no trip data: economy reads 0, and so do the
    // distance without pulses per mile and the fuel without a flow constant.
    bool have_constants = p > 0 && f > 0;

    double e = 0;
    if (have_constants) {
        e = df == 0 ? INSTANT_CAP : (dv / p) / gallons(df) + 0.5;
        if (e > INSTANT_CAP)
            e = INSTANT_CAP;
    }
    t.figures.instant = metric ? figure(e * KM_PER_MILE / LITRES_PER_GALLON) : figure(e);

    double miles = p > 0 ? g_settings.totalvss / p : 0;
    double g = 0;
    if (g_settings.totalpw > 0) {
        g = gallons(g_settings.totalpw);
        uint32_t average = have_constants ? figure(miles / g * 10 + 0.5) : 0;
        t.figures.average = metric ? figure(average * KM_PER_MILE / LITRES_PER_GALLON) : average;
    }
    uint32_t distance = figure(miles * 10 + 0.5);
    t.figures.distance = metric ? figure(distance * KM_PER_MILE) : distance;
    uint32_t fuel = figure(g * 100 + 0.5);
    t.figures.fuel = metric ? figure(fuel * LITRES_PER_GALLON) : fuel;
    t.figures.rpm = figure(g_display.engine_speed);
}

// ---- Drawing (the caller holds g_trip.lock) ------------------------------------------------------

void draw_readout(Canvas* c, TripReadout which, uint32_t value, bool full)
{
    ReadoutLayout l = READOUTS[which];
    auto& drawn = g_trip.drawn[which];
    if (which == READOUT_DISTANCE) {
        bool point = value <= DISTANCE_POINT_LIMIT;
        if (point != g_trip.distance_point) {
            g_trip.distance_point = point;
            c->fill(DISTANCE_TAIL_LEFT, l.y, DISTANCE_TAIL_RIGHT, l.y + BIG_ROWS * GLYPH_LINE, BACKGROUND);
            full = true;
        }
        if (!point) {
            value /= 10;
            l.point_x = -1;
            l.x[3] = DISTANCE_WHOLE_LAST_X;
        }
    }
    if (full) {
        drawn.fill(-1);
        if (l.point_x >= 0)
            draw_point(c, l.big, l.point_x, l.y);
    }
    // A figure too large for its places shows 9 in every place: it reads as "at least this much"
    // rather than as a smaller number that it is not.
    uint32_t largest = 9;
    for (int place = 1; place < l.digits; ++place)
        largest = largest * 10 + 9;
    int digits[TRIP_MAX_DIGITS];
    uint32_t rest = value < largest ? value : largest;
    for (int place = l.digits - 1; place >= 0; --place) {
        digits[place] = static_cast<int>(rest % 10);
        rest /= 10;
    }
    for (int place = 0; place < l.leading_blanks && digits[place] == 0; ++place)
        digits[place] = BLANK_DIGIT;
    for (int place = 0; place < l.digits; ++place) {
        if (digits[place] == drawn[place])
            continue;
        draw_digit(c, l.big, l.x[place], l.y, digits[place]);
        drawn[place] = digits[place];
    }
}

int map_level(const MapBar& b, double value)
{
    value = value < b.min ? b.min : value > b.max ? b.max : value;
    return b.h - static_cast<int>((value - b.min) / (b.max - b.min) * b.h + 0.5) - 1;
}

// Fills or empties the rows between the last level drawn and the current one.
void draw_map_level(Canvas* c)
{
    int sensor = sensor_index(g_trip.map_sensor_drawn);
    const MapBar& b = MAP_BARS[sensor];
    int level = map_level(b, map_kpa(g_trip.map_byte, sensor));
    int old = g_trip.map_level;
    if (level < old)
        c->fill(b.x - 1, b.y + level + 1, b.x + 11, b.y + old + 1, TEXT);
    else if (level > old)
        c->fill(b.x - 1, b.y + old + 1, b.x + 11, b.y + level + 1, BACKGROUND);
    g_trip.map_level = level;
}

void paint_map_bar(Canvas* c)
{
    int sensor = sensor_index(g_trip.map_sensor);
    const MapBar& b = MAP_BARS[sensor];
    if (sensor != g_trip.map_sensor_drawn)
        c->fill(b.x - 50, b.y - 10, b.x + 19, b.y + 392, BACKGROUND);
    g_trip.map_sensor_drawn = sensor;
    c->line(b.x - 3, b.y - 2, b.x + 11, b.y - 2, TEXT, 2);
    c->line(b.x + 11, b.y - 2, b.x + 11, b.y + b.h + 2, TEXT, 2);
    c->line(b.x + 11, b.y + b.h + 2, b.x - 2, b.y + b.h + 2, TEXT, 2);
    c->line(b.x - 2, b.y + b.h + 2, b.x - 2, b.y - 2, TEXT, 2);
    c->fill(b.x - 1, b.y, b.x + 11, b.y + b.h, BACKGROUND);
    int n = static_cast<int>((b.max - b.min) / b.step + 0.5);
    for (int i = 0; i <= n; ++i) {
        int t = static_cast<int>(i * b.h / static_cast<double>(n) + 0.5);
        c->line(b.x - 8, b.y + t, b.x - 2, b.y + t, TEXT, 1);
        c->text(b.x - 12, b.y + t - 8, format_text("%2d", static_cast<int>(b.max - i * b.step)), Font::Oem, TEXT,
                BACKGROUND, ALIGN_RIGHT);
    }
    c->text(b.x - 10, b.y + b.h + 8, "MAP", Font::Oem, TEXT, BACKGROUND);
    c->text(b.x - 8, b.y + b.h + 24, "KPa", Font::Oem, TEXT, BACKGROUND);
    g_trip.map_level = b.h - 1;   // empty: filled up from the bottom
    draw_map_level(c);
}

void draw_banner(Canvas* c)
{
    TripBanner want = trip_banner_state();
    if (want == g_trip.banner)
        return;
    c->fill(200, 512, 600, 550, BACKGROUND);
    if (want == BANNER_PE) {
        c->fill(225, 512, 575, 550, PE_RED);
        c->text(375, 527, "PE MODE", Font::Oem, BACKGROUND, PE_RED, ALIGN_LEFT, false);
    } else if (want == BANNER_LEAN_CRUISE) {
        c->fill(200, 520, 600, 540, TEXT);
        c->text(360, 526, "Lean Cruise", Font::Oem, BACKGROUND, TEXT, ALIGN_LEFT, false);
    }
    g_trip.banner = want;
}

// The read-outs in the order the page updates them.
void draw_readouts(Canvas* c, bool full)
{
    const TripFigures& f = g_trip.figures;
    draw_readout(c, READOUT_INSTANT, f.instant, full);
    draw_readout(c, READOUT_AVERAGE, f.average, full);
    draw_readout(c, READOUT_DISTANCE, f.distance, full);
    draw_readout(c, READOUT_FUEL, f.fuel, full);
    draw_readout(c, READOUT_RPM, f.rpm, full);
    draw_map_level(c);
    draw_banner(c);
    if (have_preferred_wb())
        draw_readout(c, READOUT_WB_AFR, f.wb_afr, full);
}

}  // namespace

TripBanner trip_banner_state()
{
    if (g_trip.byte13 & 0x80)
        return BANNER_PE;
    if (g_trip.byte3 & 0x04)
        return BANNER_LEAN_CRUISE;
    return BANNER_NONE;
}

int trip_update(const FrameRecord& f, int draw)
{
    bool redraw = false;
    {
        std::lock_guard<std::mutex> lock(g_trip.lock);
        TripState& t = g_trip;
        // The counters stop where their tests no longer change: they never wrap.
        if (t.frame_count < FILL_FRAMES)
            ++t.frame_count;
        if (t.frame_count < SKIP_FRAMES)
            return 0;
        for (int i = 1; i < TRIP_WINDOW_SAMPLES; ++i) {
            t.window.vss[i - 1] = t.window.vss[i];
            t.window.fuel[i - 1] = t.window.fuel[i];
        }
        t.window.vss.back() = f.u8(F_VSS_COUNTER);
        t.window.fuel.back() = f.u8(F_FUEL_COUNTER);
        g_settings.bfrflwcnst = flow_constant(f);
        g_settings.bfrvssppm = pulses_per_mile(f.u16(F_SPEED_K));
        t.byte3 = f.b[3];
        t.byte13 = f.b[13];
        t.map_sensor = g_display.map_bar;
        t.map_byte = f.b[t.map_sensor == 1 ? F_MAP_LOAD : F_MAP_COUNT];

        if (!t.started) {
            if (t.frame_count < FILL_FRAMES)
                return 0;
            t.started = true;
        }
        if (g_display.engine_running == 1) {
            int last = TRIP_WINDOW_SAMPLES - 1;
            g_settings.totalvss = g_settings.totalvss + increment(t.window.vss[last - 1], t.window.vss[last]);
            g_settings.totalpw = g_settings.totalpw + increment(t.window.fuel[last - 1], t.window.fuel[last]);
        }
        if (t.redraw_count <= g_settings.frame_skip_code)
            ++t.redraw_count;
        if (t.redraw_count > g_settings.frame_skip_code && draw == 1) {
            t.redraw_count = 0;
            t.figures.wb_afr = figure(std::trunc(g_adc.current_wb_afr * 10));
            redraw = true;
        }
    }
    Canvas* c = canvas();
    if (!redraw || c == nullptr)
        return 0;
    refresh_status_values();
    std::lock_guard<std::mutex> lock(g_trip.lock);
    compute_locked();
    if (sensor_index(g_display.map_bar) != g_trip.map_sensor_drawn) {
        // Another sensor needs another scale: the whole page again.
        ui().request_repaint();
        return 0;
    }
    draw_readouts(c, false);
    return 0;
}

void trip_compute()
{
    std::lock_guard<std::mutex> lock(g_trip.lock);
    compute_locked();
}

void trip_clear()
{
    {
        std::lock_guard<std::mutex> lock(g_trip.lock);
        TripState& t = g_trip;
        t.figures = TripFigures{};
        t.byte3 = 0;
        t.byte13 = 0;
        g_settings.totalvss = 0.0;
        g_settings.totalpw = 0.0;
        g_settings.bfrvssppm = 0;
        g_settings.bfrflwcnst = 0;
        t.window = TripWindow{};
        t.redraw_count = g_settings.frame_skip_code;
        t.started = false;
        t.frame_count = 0;
        t.distance_point = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ui().request_repaint();
    controls().focus(0);
}

void trip_restart()
{
    std::lock_guard<std::mutex> lock(g_trip.lock);
    g_trip.redraw_count = g_settings.frame_skip_code;
    g_trip.started = false;
    g_trip.frame_count = 0;
}

void paint_trip_page()
{
    Canvas* c = canvas();
    if (c == nullptr)
        return;
    std::lock_guard<std::mutex> lock(g_trip.lock);
    bool metric = g_settings.kphormph == 1;
    for (const Label& l : LABELS)
        c->text(l.x, l.y, metric ? l.metric : l.miles, Font::Oem, TEXT, BACKGROUND);
    if (have_preferred_wb())
        c->text(WB_LABEL_X, WB_LABEL_Y, "WB AFR", Font::Oem, TEXT, BACKGROUND);
    // The window was cleared: nothing of the page's own is on it.
    g_trip.map_sensor_drawn = 0;
    g_trip.banner = BANNER_NONE;
    paint_map_bar(c);
    compute_locked();
    draw_readouts(c, true);
}

namespace {

constexpr std::array<ControlDef, 1> TRIP_CONTROLS = {{
    {TRIP_CLEAR, ControlKind::PushButton, "Clear Data", 705, 74, 80, 30, CS_GROUP, KeyRoute::DisplayKeys},
}};

}  // namespace

void create_trip_display() { create_controls(TRIP_CONTROLS, trip_display_command); }

void destroy_trip_display() { destroy_controls(TRIP_CONTROLS); }

void trip_display_command(int id, int event, int)
{
    if (id == TRIP_CLEAR && event == CONTROL_CLICKED)
        trip_clear();
}

void reset_trip()
{
    std::lock_guard<std::mutex> lock(g_trip.lock);
    TripState& t = g_trip;
    t.window = TripWindow{};
    t.frame_count = 0;
    t.started = false;
    t.redraw_count = 0;
    t.byte3 = 0;
    t.byte13 = 0;
    t.map_byte = 0;
    t.map_sensor = 1;
    t.figures = TripFigures{};
    for (auto& d : t.drawn)
        d.fill(-1);
    t.banner = BANNER_NONE;
    t.distance_point = true;
    t.map_level = -1;
    t.map_sensor_drawn = 0;
}
