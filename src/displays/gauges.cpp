#include "displays/gauges.h"

#include <cmath>
#include <cstdio>
#include <mutex>
#include <string>

#include "config/devices.h"
#include "config/settings.h"
#include "displays/knock_map.h"
#include "displays/status_panel.h"
#include "platform/ui_services.h"
#include "stream/display_thread.h"

GaugeState g_gauges;

namespace {

// The window thread's full paint and the display thread's redraw both move the needles and bar
// tops; one at a time, so that neither draws from a position the other has just replaced.
std::mutex redraw_lock;

// Colours of the face and the colour classes of bars and lamps.
constexpr Rgb FACE{180, 180, 180};
constexpr Rgb OUTLINE{100, 100, 100};
constexpr Rgb RIM{10, 10, 10};
constexpr Rgb SCALE_ARC{30, 80, 150};
constexpr Rgb NEEDLE{210, 63, 10};
constexpr Rgb ORANGE_RED{210, 63, 10};
constexpr Rgb RED{245, 20, 20};
constexpr Rgb BLUE{20, 10, 225};
constexpr Rgb YELLOW{255, 255, 30};
constexpr Rgb ORANGE{255, 153, 0};
constexpr Rgb GREEN{10, 160, 5};
constexpr Rgb LAMP_OFF{0, 0, 0};
constexpr Rgb SERVICE_OFF{80, 10, 10};
constexpr Rgb DARK_TEXT{10, 10, 10};

constexpr int FACE_RADIUS = 76;
constexpr int BOOST_BAR = 17;   // the "BST" row

double ign(const FrameRecord& f) { return tenth_volts(f.u8(F_IGN_VOLTS)); }
double pump(const FrameRecord& f) { return tenth_volts(f.u8(F_PUMP_VOLTS)); }
double cts_c(const FrameRecord& f) { return temperature_on_scale(f.u8(F_CTS), 1); }
double iat_c(const FrameRecord& f) { return temperature_on_scale(f.u8(F_IAT), 1); }
double cts_f(const FrameRecord& f) { return temperature_on_scale(f.u8(F_CTS), 0); }
double iat_f(const FrameRecord& f) { return temperature_on_scale(f.u8(F_IAT), 0); }
double oil_c(const FrameRecord& f) { return temperature_on_scale(f.u8(F_OIL_TEMP), 1); }
double oil_f(const FrameRecord& f) { return temperature_on_scale(f.u8(F_OIL_TEMP), 0); }
double spark(const FrameRecord& f) { return spark_advance_deg(f.u8(F_SPARK_ADVANCE)); }
double knock(const FrameRecord&) { return g_published_knock_count; }
double retard(const FrameRecord& f) { return spark_retard_deg(f.u8(F_SPARK_RETARD)); }
double tps(const FrameRecord& f) { return tps_percent(f.u8(F_TPS)); }
double map_load(const FrameRecord& f) { return map_load_kpa(f.u8(F_MAP_LOAD)); }
double iac(const FrameRecord& f) { return f.u8(F_IAC); }
double spw(const FrameRecord& f) { return pulse_ms(f.u16(F_SYNC_PW)); }
double apw(const FrameRecord& f) { return pulse_ms(f.u16(F_ASYNC_PW)); }
double duty(const FrameRecord& f) { return injector_duty_cycle(f); }
double boost(const FrameRecord& f) { return boost_psi(f.u8(F_BOOST_COUNT), map_sensor_bar(f)); }
double o2(const FrameRecord& f) { return o2_millivolts(f.u8(F_O2)); }

}  // namespace

constexpr std::array<BarGauge, BAR_COUNT> BAR_GAUGES = {{
    {"IGN", nullptr, ign, " %4.1f V ", true, 0, 20, 5, 40, ORANGE, TEMP_ANY, 0, -6},
    {" PMP", nullptr, pump, " %4.1f V ", true, 0, 20, 5, 53, ORANGE, TEMP_ANY, 1, 0},
    {"CTS", nullptr, cts_c, " %2d \xB0" "C ", false, -20, 120, 20, 109, ORANGE_RED, TEMP_CELSIUS_ONLY, 0, 4},
    {"  IAT", nullptr, iat_c, " %2d \xB0" "C ", false, -20, 120, 20, 122, ORANGE_RED, TEMP_CELSIUS_ONLY, 1, 6},
    {"CTS", nullptr, cts_f, " %3d \xB0" "F ", false, -5, 245, 50, 109, ORANGE_RED, TEMP_FAHRENHEIT_ONLY, 0, 4},
    {"  IAT", nullptr, iat_f, " %3d \xB0" "F ", false, -5, 245, 50, 122, ORANGE_RED, TEMP_FAHRENHEIT_ONLY, 1, 6},
    {" OIL", "\xB0" "C", oil_c, " %2d ", false, 0, 150, 25, 176, ORANGE_RED, TEMP_CELSIUS_ONLY, 0, 4},
    {" OIL", "\xB0" "F", oil_f, " %3d ", false, 25, 305, 70, 176, ORANGE_RED, TEMP_FAHRENHEIT_ONLY, 0, 4},
    {"  SA", "Deg", spark, " %2d ", false, 0, 60, 10, 224, BLUE, TEMP_ANY, 0, 2},
    {"KNK  ", "Cnt", knock, "  %4d  ", false, 0, 1024, 256, 286, RED, TEMP_ANY, 0, 0},
    {"SaRt ", "Deg", retard, " %3d ", false, 0, 20, 5, 331, RED, TEMP_ANY, 0, 0},
    {"TPS", " %", tps, " %3d ", false, 0, 100, 20, 387, BLUE, TEMP_ANY, 0, 0},
    {"MAP", "KPa", map_load, " %3d ", false, 20, 100, 20, 443, BLUE, TEMP_ANY, 0, 0},
    {" IAC", "Stps", iac, " %3d ", false, 0, 200, 50, 499, ORANGE, TEMP_ANY, 0, 0},
    {"sPW", "mS", spw, " %4.1f ", true, 0, 15, 5, 549, GREEN, TEMP_ANY, 0, -2},
    {"aPW", "mS", apw, " %4.1f ", true, 0, 15, 5, 600, GREEN, TEMP_ANY, 0, -2},
    {" DC", " %", duty, " %3d ", false, 0, 100, 20, 656, GREEN, TEMP_ANY, 0, 0},
    {"BST", "PSI", boost, " %2d ", false, 0, 15, 5, 706, RED, TEMP_ANY, 0, 0},
    {" O2", "mV", o2, " %4d ", false, 0, 1000, 250, 768, ORANGE, TEMP_ANY, 0, 0},
}};
static_assert(std::string_view(BAR_GAUGES[BOOST_BAR].name) == "BST");

const std::array<Lamp, LAMP_COUNT> LAMPS = {{
    {"Running", 1, 0x80, false, 220, 40, GREEN},   {"ClsdThrt", 3, 0x08, false, 220, 58, GREEN},
    {"Idle", 2, 0x80, false, 220, 76, GREEN},      {"Valet", 252, 0x80, false, 220, 94, GREEN},
    {"ClsdLp", 14, 0x80, false, 296, 40, GREEN},   {"BLM Ln", 14, 0x02, false, 296, 58, GREEN},
    {"LeanCr", 3, 0x04, false, 296, 76, GREEN},    {"CCP", 6, 0x01, false, 296, 94, GREEN},
    {"AE", 13, 0x40, false, 372, 40, GREEN},       {"DE", 13, 0x10, false, 372, 58, GREEN},
    {"DFCO", 8, 0x08, false, 372, 76, GREEN},      {"EGR", 180, 0x80, false, 372, 94, GREEN},
    {"PE", 13, 0x80, false, 448, 40, YELLOW},      {"Async", 13, 0x20, false, 448, 58, GREEN},
    {"Launch", 6, 0x04, false, 448, 76, GREEN},    {"S/F", 54, 0x80, false, 448, 94, GREEN},
    {"TCC", 5, 0x80, false, 524, 40, GREEN},       {"Shift", 5, 0x10, false, 524, 58, GREEN},
    {"N2O", 6, 0x08, false, 524, 76, GREEN},       {"AIR Pt", 149, 0x10, false, 524, 94, GREEN},
    {"FuelCut", 6, 0x80, true, 600, 40, GREEN},    {"A/C Rq", 15, 0x08, false, 600, 58, ORANGE},
    {"A/C Cmd", 5, 0x08, false, 600, 76, BLUE},    {"AIR Cv", 149, 0x20, false, 600, 94, GREEN},
    {"Fan1", 140, 0x01, false, 676, 40, GREEN},    {"Fan2", 140, 0x02, false, 676, 58, GREEN},
    {"A/C On", 213, 0x80, false, 676, 76, GREEN},
}};

const Lamp SERVICE_LAMP = {"SES", 11, 0x01, false, 394, 266, RED};

namespace {

// Dial angle (45 at zero, 315 at full scale) to a point at `radius` from the centre.
void dial_point(int cx, int cy, double angle, double radius, double& x, double& y)
{
    double theta = (360.0 - angle) * M_PI / 180.0;
    x = cx + radius * std::sin(theta);
    y = cy + radius * std::cos(theta);
}

// The same direction as an angle counter-clockwise from three o'clock.
double screen_angle(double dial_angle)
{
    double theta = (360.0 - dial_angle) * M_PI / 180.0;
    return std::atan2(-std::cos(theta), std::sin(theta)) * 180.0 / M_PI;
}

double bar_max(int i) { return i == BOOST_BAR ? static_cast<double>(g_gauges.boost_max) : BAR_GAUGES[i].max; }
double bar_step(int i) { return i == BOOST_BAR ? bar_max(i) / 3 : BAR_GAUGES[i].step; }

std::string bar_text(int i)
{
    const BarGauge& b = BAR_GAUGES[i];
    double v = g_gauges.bar_value[i];
    return b.real ? format_text(b.format, v) : format_text(b.format, static_cast<int>(std::lround(v)));
}

std::string gear_text()
{
    if (g_settings.transtype == 1) {
        if (g_gauges.park_neutral != 0)
            return " P/N ";
        if (g_gauges.overdrive != 0)
            return " OD ";
        return g_gauges.third != 0 ? "   3   " : " 1/2 ";
    }
    int gear = g_gauges.gear_byte;
    return format_text("  %1d  ", gear > 9 ? 9 : gear);
}

bool lamp_lit(const FrameRecord& f, const Lamp& l) { return ((f.u8(l.byte) & l.mask) != 0) != l.inverted; }

void draw_bar(Canvas* c, int i)
{
    const BarGauge& b = BAR_GAUGES[i];
    double min = b.min, max = bar_max(i);
    double v = g_gauges.bar_value[i];
    v = v < min ? min : v > max ? max : v;
    int h = static_cast<int>((v - min) / (max - min) * BAR_HEIGHT + 0.5);
    int top = 170 - h, old = g_gauges.bar_top[i];
    // The bar fills the inside of its frame, x - 1 to x + 8; rows from the new top down to the old.
    if (top < old)
        c->fill(b.x - 1, BAR_Y + top, b.x + 9, BAR_Y + old, b.colour);
    else if (top > old)
        c->fill(b.x - 1, BAR_Y + old, b.x + 9, BAR_Y + top, FACE);
    g_gauges.bar_top[i] = top;
    c->text(b.x + b.text_dx, b.row == 0 ? 299 : 315, bar_text(i), Font::Default, TEXT, BACKGROUND);
}

void draw_needle(Canvas* c, int cx, Shared<int32_t>& tip_x, Shared<int32_t>& tip_y, double v, double full)
{
    c->line(cx, DIAL_Y, tip_x, tip_y, FACE, 3);
    int x, y;
    needle_tip(cx, DIAL_Y, v, full, x, y);
    c->line(cx, DIAL_Y, x, y, NEEDLE, 3);
    tip_x = x;
    tip_y = y;
}

// Text centred at cx, counting every character as 5 pixels wide.
void centred_on_face(Canvas* c, int cx, const std::string& s)
{
    c->text(cx - static_cast<int>(s.size()) * 5 / 2, 248, s, Font::Default, DARK_TEXT, FACE);
}

void paint_dial(Canvas* c, int cx, double full, double redline, bool tacho)
{
    c->ellipse(cx - FACE_RADIUS, DIAL_Y - FACE_RADIUS, cx + FACE_RADIUS, DIAL_Y + FACE_RADIUS, RIM, 2, FACE);
    c->arc(cx, DIAL_Y, FACE_RADIUS - 4, screen_angle(45), -270, SCALE_ARC, 4);
    if (tacho && redline < full) {
        double a = redline / full * 270 + 45;
        c->arc(cx, DIAL_Y, FACE_RADIUS - 4, screen_angle(a), -(315 - a), NEEDLE, 4);
    }
    auto tick = [&](double v, double r1, double r2, int width, Rgb colour) {
        double x1, y1, x2, y2, a = v / full * 270 + 45;
        dial_point(cx, DIAL_Y, a, r1, x1, y1);
        dial_point(cx, DIAL_Y, a, r2, x2, y2);
        c->line(static_cast<int>(x1), static_cast<int>(y1), static_cast<int>(x2), static_cast<int>(y2), colour, width);
    };
    auto label = [&](double v, double radius, const std::string& s) {
        double x, y;
        dial_point(cx, DIAL_Y, v / full * 270 + 45, radius, x, y);
        c->text(static_cast<int>(x), static_cast<int>(y) - 6, s, Font::Default, TEXT, BACKGROUND, ALIGN_CENTRE, false);
    };
    if (!tacho) {
        double major = full <= 180 ? 10 : 20;
        for (double v = 0; v <= full + 1e-9; v += major) {
            tick(v, 66, 76, 2, RIM);
            label(v, 91, format_text("%d", static_cast<int>(v)));
            if (v + major / 2 < full)
                tick(v + major / 2, 70, 76, 2, RIM);
        }
        c->text(cx, 232, g_settings.kphormph == 1 ? "KPH" : "MPH", Font::Default, DARK_TEXT, FACE, ALIGN_CENTRE, false);
    } else {
        for (double v = 0; v <= full + 1e-9; v += 100)
            tick(v, 73, 76, 1, RIM);
        for (double v = 0; v <= full + 1e-9; v += 1000) {
            tick(v, 66, 76, 2, RIM);
            label(v, 90, format_text("%d", static_cast<int>(v / 1000)));
            if (v + 500 < full)
                tick(v + 500, 70, 76, 2, RIM);
        }
        c->text(cx, 232, "RPM", Font::Default, DARK_TEXT, FACE, ALIGN_CENTRE, false);
    }
}

void paint_bar(Canvas* c, int i)
{
    const BarGauge& b = BAR_GAUGES[i];
    c->rectangle(b.x - 3, BAR_Y - 2, b.x + 11, BAR_Y + 173, OUTLINE, 2, FACE);
    if (b.row == 0) {
        double max = bar_max(i), step = bar_step(i);
        int n = static_cast<int>((max - b.min) / step + 0.5);
        for (int k = 0; k <= n; ++k) {
            int t = static_cast<int>(k * 171.0 / n + 0.5);
            c->line(b.x - 8, BAR_Y + t, b.x - 2, BAR_Y + t, OUTLINE, 1);
            c->text(b.x - 12, BAR_Y + t - 8, format_text(" %2d", static_cast<int>(max - k * step)), Font::Default, TEXT,
                    BACKGROUND, ALIGN_RIGHT);
        }
    }
    c->text(b.row == 0 ? b.x - 10 : b.x - 16, BAR_Y + (b.row == 0 ? 179 : 193), b.name, Font::Default, TEXT, BACKGROUND);
    if (b.unit)
        c->text(b.x - 6, BAR_Y - 26, b.unit, Font::Default, TEXT, BACKGROUND);
    g_gauges.bar_top[i] = 170;   // the face is empty: the bar is drawn up from the bottom
    draw_bar(c, i);
}

}  // namespace

void needle_tip(int cx, int cy, double v, double full, int& x, int& y)
{
    double a = (v < full ? v : full) / full * 270 + 45;
    double fx, fy;
    dial_point(cx, cy, a, NEEDLE_LENGTH, fx, fy);
    x = static_cast<int>(fx);
    y = static_cast<int>(fy);
}

bool bar_shown(const BarGauge& bar)
{
    switch (bar.selector) {
    case TEMP_CELSIUS_ONLY:
        return g_settings.temperscale == 1;
    case TEMP_FAHRENHEIT_ONLY:
        return g_settings.temperscale == 0;
    default:
        return true;
    }
}

void gauge_update(const FrameRecord& f, int active)
{
    g_gauges.speed = static_cast<int32_t>(vehicle_speed(f.u8(F_SPEED)));
    g_gauges.rpm = engine_rpm(f);
    g_gauges.integrator = f.u8(F_INTEGRATOR);
    g_gauges.blm = f.u8(F_BLM);
    g_gauges.commanded_afr = f.u8(F_AFR);
    g_gauges.gear_byte = f.u8(F_GEAR);
    g_gauges.park_neutral = flag(f, FLAG_PARK_NEUTRAL);
    g_gauges.overdrive = flag(f, FLAG_OVERDRIVE);
    g_gauges.third = flag(f, FLAG_THIRD_GEAR);

    int bar = map_sensor_bar(f);
    double boost_max = bar == 3 ? 30 : 15;
    bool scale_changed = boost_max != g_gauges.boost_max;
    g_gauges.boost_max = boost_max;
    for (int i = 0; i < BAR_COUNT; ++i)
        g_gauges.bar_value[i] = BAR_GAUGES[i].value(f);
    for (int i = 0; i < LAMP_COUNT; ++i)
        g_gauges.lamp_state[i] = lamp_lit(f, LAMPS[i]);
    g_gauges.lamp_state[LAMP_COUNT] = lamp_lit(f, SERVICE_LAMP);
    if (scale_changed && active)
        ui().request_repaint();

    int32_t count = g_gauges.frame_count + 1;
    if ((count > g_settings.frame_skip_code || g_display.draw_now != 0) && active == 1) {
        g_gauges.frame_count = 0;
        refresh_status_values();
        gauge_redraw_dynamic();
    } else {
        g_gauges.frame_count = count;
    }
}

void gauge_redraw_dynamic()
{
    Canvas* c = canvas();
    if (c == nullptr)
        return;
    std::lock_guard<std::mutex> redraw(redraw_lock);
    draw_needle(c, SPEEDO_X, g_gauges.speed_tip_x, g_gauges.speed_tip_y, g_gauges.speed, g_settings.mphrange);
    draw_needle(c, TACHO_X, g_gauges.rpm_tip_x, g_gauges.rpm_tip_y, g_gauges.rpm, g_settings.rpmrange);
    centred_on_face(c, 280, format_text(" %3d   ", static_cast<int>(g_gauges.speed)));
    centred_on_face(c, 518, format_text("  %4d   ", static_cast<int>(g_gauges.rpm)));

    for (int i = 0; i < BAR_COUNT; ++i)
        if (bar_shown(BAR_GAUGES[i]))
            draw_bar(c, i);

    for (int i = 0; i <= LAMP_COUNT; ++i) {
        int32_t state = g_gauges.lamp_state[i];
        if (state == g_gauges.lamp_drawn[i])
            continue;
        const Lamp& l = i < LAMP_COUNT ? LAMPS[i] : SERVICE_LAMP;
        int w = i < LAMP_COUNT ? 13 : 25, h = i < LAMP_COUNT ? 9 : 17;
        Rgb off = i < LAMP_COUNT ? LAMP_OFF : SERVICE_OFF;
        c->fill(l.x, l.y, l.x + w, l.y + h, state ? l.lit : off);
        g_gauges.lamp_drawn[i] = state;
    }

    c->text(405, 145, gear_text(), Font::Large, TEXT, BACKGROUND, ALIGN_CENTRE);
    c->text(770, 145, format_text("  %3d", static_cast<int>(g_gauges.integrator)), Font::Large, TEXT, BACKGROUND, ALIGN_RIGHT);
    c->text(770, 175, format_text("  %3d", static_cast<int>(g_gauges.blm)), Font::Large, TEXT, BACKGROUND, ALIGN_RIGHT);
    c->text(770, 205, format_text("  %4.1f", g_gauges.commanded_afr / 10.0), Font::Large, TEXT, BACKGROUND, ALIGN_RIGHT);
    if (have_preferred_wb())
        c->text(770, 235, format_text("  %3.1f", static_cast<double>(g_adc.current_wb_afr)), Font::Large, TEXT, BACKGROUND,
                ALIGN_RIGHT);
    bool fuel;
    {
        std::lock_guard<std::mutex> lock(g_adc.lock);
        fuel = g_adc.fp_channel >= 0;
    }
    if (fuel)
        c->text(135, 235, format_text("  %3.1f", static_cast<double>(g_adc.current_fuel_pressure)), Font::Large, TEXT,
                BACKGROUND, ALIGN_RIGHT);
}

void gauge_paint()
{
    Canvas* c = canvas();
    if (c == nullptr)
        return;
    std::lock_guard<std::mutex> redraw(redraw_lock);
    paint_dial(c, SPEEDO_X, g_settings.mphrange, 0, false);
    paint_dial(c, TACHO_X, g_settings.rpmrange, g_settings.rdln, true);
    for (int i = 0; i < BAR_COUNT; ++i)
        if (bar_shown(BAR_GAUGES[i]))
            paint_bar(c, i);
    for (int i = 0; i <= LAMP_COUNT; ++i) {
        const Lamp& l = i < LAMP_COUNT ? LAMPS[i] : SERVICE_LAMP;
        if (i < LAMP_COUNT) {
            c->rectangle(l.x - 1, l.y - 1, l.x + 13, l.y + 9, OUTLINE, 1, BACKGROUND, false);
            c->text(l.x - 4, l.y - 4, l.name, Font::Default, TEXT, BACKGROUND, ALIGN_RIGHT);
        } else {
            c->rectangle(l.x - 1, l.y - 1, l.x + 25, l.y + 17, OUTLINE, 1, BACKGROUND, false);
            c->text(l.x + 25, l.y - 20, l.name, Font::Default, TEXT, BACKGROUND, ALIGN_RIGHT);
        }
        g_gauges.lamp_drawn[i] = -1;
    }
    c->text(387, 127, "Gear", Font::Default, TEXT, BACKGROUND);
    c->text(640, 145, "INT:  ", Font::Large, TEXT, BACKGROUND);
    c->text(640, 175, "BLM:  ", Font::Large, TEXT, BACKGROUND);
    c->text(640, 205, "cAFR: ", Font::Large, TEXT, BACKGROUND);
    std::lock_guard<std::mutex> lock(g_adc.lock);
    if (g_adc.wb_channel >= 0) {
        c->text(640, 235, "WB:   ", Font::Large, TEXT, BACKGROUND);
        c->text(640, 265, format_text("%s  Ch: %d  ", g_adc.wb_name.c_str(), g_adc.wb_channel), Font::Default, TEXT, BACKGROUND);
    }
    if (g_adc.fp_channel >= 0) {
        c->text(20, 235, "Fuel:   ", Font::Large, TEXT, BACKGROUND);
        c->text(20, 265, format_text("%s  Ch: %d  ", g_adc.fp_name.c_str(), g_adc.fp_channel), Font::Default, TEXT, BACKGROUND);
    }
}

void reset_gauges()
{
    for (int i = 0; i < BAR_COUNT; ++i) {
        g_gauges.bar_value[i] = 0.0;
        g_gauges.bar_top[i] = 170;
    }
    for (int i = 0; i <= LAMP_COUNT; ++i) {
        g_gauges.lamp_state[i] = 0;
        g_gauges.lamp_drawn[i] = -1;
    }
    g_gauges.boost_max = 15.0;
    g_gauges.frame_count = 0;
    g_gauges.speed = 0;
    g_gauges.rpm = 0;
    int x, y;
    needle_tip(SPEEDO_X, DIAL_Y, 0, 1, x, y);
    g_gauges.speed_tip_x = x;
    g_gauges.speed_tip_y = y;
    needle_tip(TACHO_X, DIAL_Y, 0, 1, x, y);
    g_gauges.rpm_tip_x = x;
    g_gauges.rpm_tip_y = y;
}
