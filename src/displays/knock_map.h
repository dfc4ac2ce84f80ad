// The spark knock map (display 4): where in the engine's operating range the ECM's knock counter
// advanced, and how much spark it took out there.
//
// knock_map_update runs on the display thread for every frame, whichever display is shown: it
// files each advance of the knock counter in the cell of the operating point (engine speed by
// manifold pressure, or by boost pressure while the engine is in boost) of the Standard or the
// Boost map, with the spark retard of the frame; while the display is shown it repaints the map
// at the display's refresh rate. The window thread paints the page, and clears the maps from the
// "Clear Data" button. The maps and the knock state are under `lock`; the two choices are single
// words that only the window thread writes.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

#include "draw/controls.h"
#include "platform/shared_word.h"
#include "stream/frame.h"

// Row 0 holds the pressure axis, column 0 the engine speed axis; cells are rows and columns 1 on.
constexpr int KNOCK_STD_ROWS = 22, KNOCK_STD_COLS = 13;
constexpr int KNOCK_BOOST_ROWS = 18, KNOCK_BOOST_COLS = 12;

using StandardKnockMap = std::array<std::array<uint32_t, KNOCK_STD_COLS>, KNOCK_STD_ROWS>;
using BoostKnockMap = std::array<std::array<uint32_t, KNOCK_BOOST_COLS>, KNOCK_BOOST_ROWS>;

// What a map instance collects. Retard values are hundredths of a degree plus 50, counts
// hundredths of a knock event; every cell stops at KNOCK_CELL_MAX and 0 means no data.
enum KnockTable : int { KNOCK_AVERAGE, KNOCK_PEAK, KNOCK_TOTAL, KNOCK_COUNTS, KNOCK_TABLES };
enum KnockMapChoice : int { KNOCK_STANDARD, KNOCK_BOOST };

constexpr uint32_t KNOCK_CELL_MAX = 25500;

// The axes' labels: engine speed and pressure in kPa.
inline constexpr std::array<int, KNOCK_STD_ROWS - 1> STD_RPM_AXIS = {
    400, 600, 800, 1000, 1200, 1400, 1600, 1800, 2000, 2200, 2400, 2800, 3200, 3600, 4000, 4400, 4800, 5200,
    5600, 6000, 6375};
inline constexpr std::array<int, KNOCK_STD_COLS - 1> STD_MAP_AXIS = {20, 30, 40, 50, 60, 70, 75, 80, 85, 90, 95, 100};
inline constexpr std::array<int, KNOCK_BOOST_ROWS - 1> BOOST_RPM_AXIS = {
    0, 400, 800, 1200, 1600, 2000, 2400, 2800, 3200, 3600, 4000, 4400, 4800, 5200, 5600, 6000, 6375};
inline constexpr std::array<int, KNOCK_BOOST_COLS - 1> BOOST_KPA_AXIS = {100, 110, 120, 130, 140, 150,
                                                                          160, 170, 180, 190, 200};

struct KnockMapState {
    KnockMapState();   // the maps empty, with their axes

    std::mutex lock;
    std::array<StandardKnockMap, KNOCK_TABLES> standard{};
    std::array<BoostKnockMap, KNOCK_TABLES> boost{};
    uint16_t previous_count = 0;   // the ECM's knock counter in the last frame
    uint16_t total = 0;            // knock events since the last "Clear Data"
    int std_row = 1, std_col = 1;
    int boost_row = 1, boost_col = 1;
    int boosting = 0;              // the last frame was filed in the Boost map
    int map_kpa = 0;               // 1-bar scale, whole kPa, at most 100
    int display_pressure = 0;      // what the "map:" read-out shows
    int boost_kpa = 0;             // whole kPa above 100
    int redraw_count = 0;
    Shared<int32_t> table_choice{KNOCK_AVERAGE};
    Shared<int32_t> map_choice{KNOCK_STANDARD};
};

extern KnockMapState g_knock;
// The knock count this map publishes for the gauge display's "KNK" bar (written here, on the
// display thread; read by the gauges).
extern Shared<int32_t> g_published_knock_count;

enum KnockControl : int {
    KNOCK_GROUP = CONTROL_IDS_KNOCK,
    KNOCK_RADIO_AVERAGE,
    KNOCK_RADIO_PEAK,
    KNOCK_RADIO_TOTAL,
    KNOCK_RADIO_COUNTS,
    KNOCK_CLEAR,
    KNOCK_TAB_STANDARD,
    KNOCK_TAB_BOOST,
};

// The per-frame routine; returns 0.
int knock_map_update(const FrameRecord& frame, int draw);
// "Clear Data": every cell of the eight maps and the running total back to 0.
void clear_knock_map();
// The title, the chosen map, the read-outs and the live cell.
void paint_knock_display();
// The outline of the map box with its two tabs.
void paint_knock_tabs();
void create_knock_display();
void destroy_knock_display();
void knock_display_command(int id, int event, int value);

// The cells of the operating point (engine speed in rpm, the 1-bar MAP in whole kPa, the boost in
// whole kPa above 100) for a MAP sensor of `bar` bars.
struct KnockCells {
    int std_row, std_col, boost_row, boost_col;
};
KnockCells knock_cells(int rpm, int map_kpa, int boost_kpa, int bar);

void reset_knock_map();
