// The trip display (display 1): instant and average fuel economy, distance and fuel used from the
// ECM's speed-pulse and fuel counters, with engine speed, the wideband AFR, a manifold pressure bar
// and the PE / lean cruise banner, drawn in block digits.
//
// trip_update runs on the display thread for every frame and keeps the window of samples and the
// totals ([TOTALVSS], [TOTALPW]) current whichever display is shown; it redraws the digits that
// changed while the trip display is shown. The page is painted, and "Clear Data" runs, on the
// window thread. Everything the two threads share besides single-word settings is under `lock`.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

#include "draw/controls.h"
#include "platform/shared_word.h"
#include "stream/frame.h"

constexpr int TRIP_WINDOW_SAMPLES = 68;

// The newest samples of the two free-running counters, oldest first.
struct TripWindow {
    std::array<uint32_t, TRIP_WINDOW_SAMPLES> vss{};    // frame byte 166
    std::array<uint32_t, TRIP_WINDOW_SAMPLES> fuel{};   // frame byte 241
};

// The figures the readouts show (units by [KPHORMPH]).
struct TripFigures {
    uint32_t instant = 0;    // whole MPG or km/L
    uint32_t average = 0;    // tenths of MPG or km/L
    uint32_t rpm = 0;
    uint32_t distance = 0;   // tenths of a mile or km
    uint32_t fuel = 0;       // hundredths of a gallon or litre
    uint32_t wb_afr = 0;     // tenths
};

enum TripBanner : int { BANNER_NONE = 0, BANNER_LEAN_CRUISE = 1, BANNER_PE = 2 };

enum TripReadout : int { READOUT_INSTANT, READOUT_AVERAGE, READOUT_RPM, READOUT_DISTANCE, READOUT_WB_AFR,
                         READOUT_FUEL, READOUT_COUNT };

constexpr int TRIP_MAX_DIGITS = 5;

struct TripState {
    std::mutex lock;
    TripWindow window;
    int32_t frame_count = 0;       // frames since the last (re)start
    bool started = false;          // the window has been filled since then
    int32_t redraw_count = 0;
    uint8_t byte3 = 0, byte13 = 0; // lean cruise (bit 2) and power enrichment (bit 7)
    uint8_t map_byte = 0;          // byte 38 (1 bar) or 45 (2 and 3 bar)
    int map_sensor = 1;            // the sensor type map_byte was taken for
    TripFigures figures;
    // Per readout the digit last drawn at each place (10: blank, -1: nothing drawn yet).
    std::array<std::array<int, TRIP_MAX_DIGITS>, READOUT_COUNT> drawn{};
    int banner = BANNER_NONE;
    bool distance_point = true;    // the distance shows its decimal point
    int map_level = -1;            // the MAP bar's last empty row as drawn
    int map_sensor_drawn = 0;      // the sensor type whose scale is on the page (0: none)
};

extern TripState g_trip;

// The "Clear Data" button.
enum TripControl : int { TRIP_CLEAR = CONTROL_IDS_TRIP };

// The per-frame routine; returns 0.
int trip_update(const FrameRecord& frame, int draw);
// The displayed figures from the window and the totals.
void trip_compute();
// "Clear Data": figures, totals, constants and the window back to 0.
void trip_clear();
// After an engine stop and around playback: the next 75 frames refill the window first.
void trip_restart();
// The page on the window thread: labels, the MAP bar, then every readout drawn in full.
void paint_trip_page();
void create_trip_display();
void destroy_trip_display();
void trip_display_command(int id, int event, int value);

// The banner the kept frame bytes ask for.
TripBanner trip_banner_state();

void reset_trip();
