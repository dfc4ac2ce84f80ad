#include "displays/knock_map.h"

#include <algorithm>
#include <chrono>
#include <span>
#include <string>
#include <thread>

#include "config/settings.h"
#include "displays/status_panel.h"
#include "draw/canvas.h"
#include "platform/ui_services.h"
#include "stream/display_thread.h"

namespace {

// Counter steps per knock event the ECM reports.
constexpr uint32_t COUNTS_PER_EVENT = 63;
constexpr uint32_t COUNTER_WRAP = 65535;   // a counter that fell is taken to have passed this
constexpr int RPM_MIN = 400, RPM_MAX = 6375;

// ---- Page layout (table font: 8 pixels a character, rows 13 pixels apart) ------------------------

constexpr int TITLE_X = 270, TITLE_Y = 50;
constexpr const char* TITLES[KNOCK_TABLES] = {
    "Average Spark Retard in Degrees",
    " Peak Spark Retard in Degrees  ",
    " Total Spark Retard in Degrees ",
    "     Total Knock in Counts     ",
};

// Where a map's header and rows go and where its live cell sits.
struct MapLayout {
    const char* header;
    int header_x;
    int row_x;          // rows at (row_x, ROW_Y + ROW_STEP x row)
    int cell_left;      // live cell: left edge at cell_left + CELL_STEP x column
};
constexpr MapLayout LAYOUTS[2] = {
    {"RPM/MAP", 172, 180, 193},    // Standard
    {"RPM/MAP ", 178, 194, 207},   // Boost
};
constexpr int HEADER_Y = 110;
constexpr int ROW_Y = 120, ROW_STEP = 13;
constexpr int CELL_STEP = 32, CELL_TOP = 121, CELL_W = 29, CELL_H = 15;
constexpr int READOUT_X = 50, RPM_Y = 410, MAP_Y = 429;

constexpr Rgb LIVE_IN_MAP{33, 165, 33};     // the operating point lies in the map shown
constexpr Rgb LIVE_ELSEWHERE{150, 106, 3};  // it is filed in the other map

// The tab outline: one-pixel lines, corners cut.
struct Segment {
    int x1, y1, x2, y2;
};
constexpr Segment BOX_AND_TABS[] = {
    {626, 105, 628, 107}, {628, 107, 628, 422}, {628, 422, 626, 424}, {626, 424, 167, 424},
    {167, 424, 165, 422}, {165, 422, 165, 103},
    // Standard tab over x 165..255, Boost tab over 255..349.
    {165, 105, 165, 81}, {165, 81, 169, 77}, {169, 77, 251, 77}, {251, 77, 255, 81}, {255, 81, 255, 105},
    {255, 81, 259, 77}, {259, 77, 345, 77}, {345, 77, 349, 81}, {349, 81, 349, 105},
};
// The box's top edge, open under the chosen tab.
constexpr Segment TOP_EDGE_STANDARD[] = {{259, 105, 626, 105}};
constexpr Segment TOP_EDGE_BOOST[] = {{165, 105, 251, 105}, {349, 105, 626, 105}};
constexpr int STANDARD_CAPTION_X = 175, BOOST_CAPTION_X = 277, CAPTION_Y = 83;

constexpr std::array<ControlDef, 8> KNOCK_CONTROLS = {{
    {KNOCK_GROUP, ControlKind::GroupBox, "Display", 650, 80, 120, 150, CS_NONE, KeyRoute::Own},
    {KNOCK_RADIO_AVERAGE, ControlKind::RadioButton, "Average", 670, 100, 80, 30, CS_TEXT_LEFT | CS_GROUP,
     KeyRoute::DisplayKeys},
    {KNOCK_RADIO_PEAK, ControlKind::RadioButton, "Peak", 670, 130, 80, 30, CS_TEXT_LEFT, KeyRoute::DisplayKeys},
    {KNOCK_RADIO_TOTAL, ControlKind::RadioButton, "Total", 670, 160, 80, 30, CS_TEXT_LEFT, KeyRoute::DisplayKeys},
    {KNOCK_RADIO_COUNTS, ControlKind::RadioButton, "Counts", 670, 190, 80, 30, CS_TEXT_LEFT, KeyRoute::DisplayKeys},
    {KNOCK_CLEAR, ControlKind::PushButton, "Clear Data", 670, 250, 80, 30, CS_GROUP, KeyRoute::DisplayKeys},
    {KNOCK_TAB_STANDARD, ControlKind::PushButton, "Standard", 169, 81, 82, 20, CS_FLAT | CS_PUSH_LIKE | CS_GROUP,
     KeyRoute::DisplayKeys},
    {KNOCK_TAB_BOOST, ControlKind::PushButton, "Boost", 259, 81, 82, 20, CS_FLAT | CS_GROUP, KeyRoute::DisplayKeys},
}};

// ---- Maps ---------------------------------------------------------------------------------------

template <class Map>
void put_axes(Map& m, std::span<const int> rpm, std::span<const int> pressure)
{
    for (size_t c = 0; c < pressure.size(); ++c)
        m[0][c + 1] = static_cast<uint32_t>(pressure[c]);
    for (size_t r = 0; r < rpm.size(); ++r)
        m[r + 1][0] = static_cast<uint32_t>(rpm[r]);
}

template <class Map>
void clear_cells(Map& m)
{
    for (size_t r = 1; r < m.size(); ++r)
        std::fill(m[r].begin() + 1, m[r].end(), 0u);
}

void clear_locked()
{
    for (StandardKnockMap& m : g_knock.standard)
        clear_cells(m);
    for (BoostKnockMap& m : g_knock.boost)
        clear_cells(m);
    g_knock.total = 0;
    g_published_knock_count = 0;
}

uint32_t capped(uint32_t v) { return std::min(v, KNOCK_CELL_MAX); }

// Files one knock increment (hundredths of events) with the frame's retard in one map's cell.
template <class Map>
void file_knock(std::array<Map, KNOCK_TABLES>& maps, int row, int col, uint32_t hundredths, int retard_byte)
{
    uint32_t& counts = maps[KNOCK_COUNTS][row][col];
    counts = capped(counts + hundredths);
    int r = static_cast<int>(spark_retard_deg(retard_byte) * 100);
    if (r <= 0)
        return;
    uint32_t v = capped(static_cast<uint32_t>(r) + 50);
    uint32_t& average = maps[KNOCK_AVERAGE][row][col];
    average = average == 0 ? v : (average + v) / 2;
    uint32_t& peak = maps[KNOCK_PEAK][row][col];
    peak = std::max(peak, v);
    uint32_t& total = maps[KNOCK_TOTAL][row][col];
    total = capped(total + v);
}

// The increment of the ECM's knock counter since the last frame, in hundredths of events; the
// running total takes the whole events.
uint32_t take_knock(uint16_t count)
{
    uint16_t previous = g_knock.previous_count;
    uint32_t d = count >= previous ? count - previous : COUNTER_WRAP - previous + count;
    g_knock.previous_count = count;
    if (d == 0)
        return 0;
    uint32_t events = d / COUNTS_PER_EVENT;
    g_knock.total = static_cast<uint16_t>(g_knock.total + events);
    g_published_knock_count = g_knock.total;
    // Not cut to 16 bits: a wild jump of the counter fills the cell to its cap instead of
    // wrapping to a small count.
    return events * 100;
}

// ---- Drawing (the caller holds g_knock.lock) -------------------------------------------------------

std::string cell_text(uint32_t v) { return v == 0 ? std::string("  . ") : format_text("%3d ", static_cast<int>(v / 100)); }

template <class Map>
void draw_map(Canvas* c, const Map& m, const MapLayout& l, bool three_bar_labels)
{
    std::string header = l.header;
    for (size_t col = 1; col < m[0].size(); ++col) {
        int label = static_cast<int>(m[0][col]);
        header += format_text("%3d ", three_bar_labels ? label * 2 - 100 : label);
    }
    c->text(l.header_x, HEADER_Y, header, Font::Table, TEXT, BACKGROUND);
    for (size_t row = 1; row < m.size(); ++row) {
        std::string line = format_text("%4d  ", static_cast<int>(m[row][0]));
        for (size_t col = 1; col < m[row].size(); ++col)
            line += cell_text(m[row][col]);
        c->text(l.row_x, ROW_Y + ROW_STEP * static_cast<int>(row), line, Font::Table, TEXT, BACKGROUND);
    }
}

void draw_live_cell(Canvas* c, int choice, uint32_t value, int row, int col, bool in_map)
{
    int left = LAYOUTS[choice].cell_left + CELL_STEP * col;
    int top = CELL_TOP + ROW_STEP * row;
    c->fill(left, top, left + CELL_W, top + CELL_H, in_map ? LIVE_IN_MAP : LIVE_ELSEWHERE);
    c->text(left + 3, top - 1, cell_text(value), Font::Table, TEXT, BACKGROUND, ALIGN_LEFT, false);
}

void paint_locked(Canvas* c)
{
    const KnockMapState& k = g_knock;
    int table = std::clamp<int>(k.table_choice, 0, KNOCK_TABLES - 1);
    int choice = k.map_choice == KNOCK_BOOST ? KNOCK_BOOST : KNOCK_STANDARD;
    c->text(TITLE_X, TITLE_Y, TITLES[table], Font::Table, TEXT, BACKGROUND);
    if (choice == KNOCK_STANDARD)
        draw_map(c, k.standard[table], LAYOUTS[choice], false);
    else
        draw_map(c, k.boost[table], LAYOUTS[choice], g_display.map_bar == 3);
    c->text(READOUT_X, RPM_Y, format_text("rpm: %4d  ", static_cast<int>(g_display.engine_speed)), Font::Table, TEXT,
            BACKGROUND);
    c->text(READOUT_X, MAP_Y, format_text("map: %4d  ", k.display_pressure), Font::Table, TEXT, BACKGROUND);
    if (g_display.engine_running != 1)
        return;
    if (choice == KNOCK_STANDARD)
        draw_live_cell(c, choice, k.standard[table][k.std_row][k.std_col], k.std_row, k.std_col, k.boosting == 0);
    else
        draw_live_cell(c, choice, k.boost[table][k.boost_row][k.boost_col], k.boost_row, k.boost_col,
                       k.boosting == 1);
}

void put_all_axes(KnockMapState& k)
{
    for (StandardKnockMap& m : k.standard)
        put_axes(m, STD_RPM_AXIS, STD_MAP_AXIS);
    for (BoostKnockMap& m : k.boost)
        put_axes(m, BOOST_RPM_AXIS, BOOST_KPA_AXIS);
}

}  // namespace

KnockMapState::KnockMapState() { put_all_axes(*this); }

KnockMapState g_knock;
Shared<int32_t> g_published_knock_count{0};

KnockCells knock_cells(int rpm, int map_kpa, int boost_kpa, int bar)
{
    double i = std::clamp(rpm, RPM_MIN, RPM_MAX) / 25;
    double map = map_kpa;
    KnockCells k{};
    k.std_col = static_cast<int>(map >= 72 ? (map - 20 + 2.5 - 55.5) / 5 + 7 : (map - 20 + 5) / 10 + 1);
    k.std_row = static_cast<int>(i >= 104 ? (i - 16 + 8 - 96) / 16 + 12 : (i - 16 + 4) / 8 + 1);
    double boost = boost_kpa;
    k.boost_col = bar == 2 ? static_cast<int>((boost + 5) / 10 + 1) : bar == 3 ? static_cast<int>((boost / 2 + 5) / 10 + 1) : 1;
    k.boost_row = static_cast<int>((i + 8) / 16 + 1);
    // The formulas stay inside the maps for every input; the bounds guard the cells all the same.
    k.std_col = std::clamp(k.std_col, 1, KNOCK_STD_COLS - 1);
    k.std_row = std::clamp(k.std_row, 1, KNOCK_STD_ROWS - 1);
    k.boost_col = std::clamp(k.boost_col, 1, KNOCK_BOOST_COLS - 1);
    k.boost_row = std::clamp(k.boost_row, 1, KNOCK_BOOST_ROWS - 1);
    return k;
}

int knock_map_update(const FrameRecord& f, int draw)
{
    bool repaint = false;
    {
        std::lock_guard<std::mutex> lock(g_knock.lock);
        KnockMapState& k = g_knock;
        int bar = g_display.map_bar;
        bool boost_sensor = bar == 2 || bar == 3;
        k.map_kpa = std::min(static_cast<int>(map_load_kpa(f.u8(F_MAP_LOAD)) + 0.5), 100);
        k.display_pressure = k.map_kpa;
        k.boost_kpa = 0;
        if (boost_sensor) {
            double p = map_sensor_kpa(f.u8(F_MAP_COUNT), bar);
            k.boost_kpa = static_cast<int>(std::min(p - 100 + 0.5, bar == 2 ? 100.0 : 200.0));
            if (k.boost_kpa < 1)
                k.boost_kpa = 0;
            else
                k.display_pressure = static_cast<int>(p + 0.5);
        }
        auto count = static_cast<uint16_t>(f.u16(F_KNOCK_COUNT));
        if (g_display.engine_running == 0) {
            k.previous_count = count;
        } else {
            KnockCells cells = knock_cells(g_display.engine_speed, k.map_kpa, k.boost_kpa, bar);
            k.std_row = cells.std_row;
            k.std_col = cells.std_col;
            k.boost_row = cells.boost_row;
            k.boost_col = cells.boost_col;
            uint32_t hundredths = take_knock(count);
            k.boosting = boost_sensor && f.u8(F_BOOST_COUNT) != 0 ? 1 : 0;
            if (hundredths != 0) {
                if (k.boosting)
                    file_knock(k.boost, k.boost_row, k.boost_col, hundredths, f.u8(F_SPARK_RETARD));
                else
                    file_knock(k.standard, k.std_row, k.std_col, hundredths, f.u8(F_SPARK_RETARD));
            }
        }
        // The counter stops once past the skip code: the test no longer changes.
        if (k.redraw_count <= g_settings.frame_skip_code)
            ++k.redraw_count;
        if (k.redraw_count > g_settings.frame_skip_code && draw == 1) {
            k.redraw_count = 0;
            repaint = true;
        }
    }
    if (repaint && canvas() != nullptr) {
        refresh_status_values();
        paint_knock_display();
    }
    return 0;
}

void clear_knock_map()
{
    std::lock_guard<std::mutex> lock(g_knock.lock);
    clear_locked();
}

void paint_knock_display()
{
    Canvas* c = canvas();
    if (c == nullptr)
        return;
    std::lock_guard<std::mutex> lock(g_knock.lock);
    paint_locked(c);
}

void paint_knock_tabs()
{
    Canvas* c = canvas();
    if (c == nullptr)
        return;
    auto draw = [c](std::span<const Segment> segments) {
        for (const Segment& s : segments)
            c->line(s.x1, s.y1, s.x2, s.y2, TEXT, 1);
    };
    draw(BOX_AND_TABS);
    if (g_knock.map_choice == KNOCK_BOOST)
        draw(TOP_EDGE_BOOST);
    else
        draw(TOP_EDGE_STANDARD);
    c->text(STANDARD_CAPTION_X, CAPTION_Y, "Standard", Font::Default, TEXT, BACKGROUND);
    c->text(BOOST_CAPTION_X, CAPTION_Y, "Boost", Font::Default, TEXT, BACKGROUND);
}

void create_knock_display()
{
    create_controls(KNOCK_CONTROLS, knock_display_command);
    controls().set_checked(KNOCK_RADIO_AVERAGE + std::clamp<int>(g_knock.table_choice, 0, KNOCK_TABLES - 1), true);
}

void destroy_knock_display() { destroy_controls(KNOCK_CONTROLS); }

void knock_display_command(int id, int event, int)
{
    if (event != CONTROL_CLICKED)
        return;
    switch (id) {
    case KNOCK_RADIO_AVERAGE:
    case KNOCK_RADIO_PEAK:
    case KNOCK_RADIO_TOTAL:
    case KNOCK_RADIO_COUNTS:
        g_knock.table_choice = id - KNOCK_RADIO_AVERAGE;
        break;
    case KNOCK_TAB_STANDARD:
        g_knock.map_choice = KNOCK_STANDARD;
        break;
    case KNOCK_TAB_BOOST:
        g_knock.map_choice = KNOCK_BOOST;
        break;
    case KNOCK_CLEAR:
        clear_knock_map();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ui().request_repaint();
        controls().focus(0);
        return;
    default:
        return;
    }
    ui().request_repaint();
}

void reset_knock_map()
{
    std::lock_guard<std::mutex> lock(g_knock.lock);
    KnockMapState& k = g_knock;
    put_all_axes(k);
    clear_locked();
    k.previous_count = 0;
    k.std_row = k.std_col = k.boost_row = k.boost_col = 1;
    k.boosting = 0;
    k.map_kpa = k.display_pressure = k.boost_kpa = 0;
    k.redraw_count = 0;
    k.table_choice = KNOCK_AVERAGE;
    k.map_choice = KNOCK_STANDARD;
}
