// The malfunction codes window: the ECM's 22 malfunction codes, each with one box for each of the
// three groups of malfunction flags that every frame carries (bytes 18-20, 21-23 and 224-226, with
// the same bit for the same code). A box is filled while its flag is set.
//
// Threading: while the window is open, the display thread runs malfunction_window_update for every
// frame and fills the boxes whose state changed straight into the window's canvas; the window
// thread attaches and detaches that canvas and paints the whole window. Both hold `lock` while they
// read or write the states and draw, so the window cannot go while a frame draws into it.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <span>

#include "draw/canvas.h"
#include "stream/frame.h"

struct MalfunctionCode {
    const char* label;   // mnemonic padded to 7 characters, then the two-digit code
    int byte;            // in the first group (bytes 18 to 20)
    uint8_t mask;
};

constexpr int MALF_CODES = 22;
constexpr int MALF_GROUPS = 3;
constexpr int MALF_INDICATORS = MALF_CODES * MALF_GROUPS;

// Bits 0x40 and 0x20 of byte 19 are not shown.
inline constexpr std::array<MalfunctionCode, MALF_CODES> MALFUNCTION_CODES = {{
    {"DRP    12", 18, 0x80}, {"O2     13", 18, 0x40}, {"CTS HI 14", 18, 0x20}, {"CTS LO 15", 18, 0x10},
    {"TPS HI 21", 18, 0x08}, {"TPS LO 22", 18, 0x04}, {"IAT LO 23", 18, 0x02}, {"VSS    24", 18, 0x01},
    {"IAT HI 25", 19, 0x80}, {"MAP HI 33", 19, 0x10}, {"MAP LO 34", 19, 0x08}, {"CYLSEL 41", 19, 0x02},
    {"EST    42", 19, 0x01}, {"ESC    43", 20, 0x80}, {"O2 LN  44", 20, 0x40}, {"O2 RH  45", 20, 0x20},
    {"VATs   46", 19, 0x04}, {"PROM   51", 20, 0x10}, {"OIL LO 52", 20, 0x08}, {"OVR VT 53", 20, 0x04},
    {"FP RLY 54", 20, 0x02}, {"OIL HI 62", 20, 0x01},
}};

// Each group's column: its boxes' left edge and how far its bytes lie from the first group's.
struct MalfunctionGroup {
    int x;
    int byte_offset;
};
inline constexpr std::array<MalfunctionGroup, MALF_GROUPS> MALFUNCTION_GROUPS = {{{80, 0}, {100, 3}, {120, 206}}};

// One box: row by row, within a row from left to right.
struct MalfunctionIndicator {
    const char* label;   // the code's label in the first column, empty in the others
    int byte;
    uint8_t mask;
    int invert;          // 0 for every indicator
    int x, y;
};

constexpr std::array<MalfunctionIndicator, MALF_INDICATORS> make_malfunction_indicators()
{
    std::array<MalfunctionIndicator, MALF_INDICATORS> out{};
    for (int r = 0; r < MALF_CODES; ++r)
        for (int g = 0; g < MALF_GROUPS; ++g) {
            const MalfunctionCode& c = MALFUNCTION_CODES[r];
            out[r * MALF_GROUPS + g] = {g == 0 ? c.label : "", c.byte + MALFUNCTION_GROUPS[g].byte_offset, c.mask, 0,
                                        MALFUNCTION_GROUPS[g].x, 10 + 15 * r};
        }
    return out;
}
inline constexpr std::array<MalfunctionIndicator, MALF_INDICATORS> MALFUNCTION_INDICATORS =
    make_malfunction_indicators();

// A box: filled from (x, y) to (x + 13, y + 9), right and bottom edges excluded; its frame runs
// one pixel outside it on every side.
constexpr int MALF_BOX_W = 13, MALF_BOX_H = 9;
constexpr int MALF_LABEL_X = 10;

// The window's outer size, as its position is kept; and the client area the boxes are laid out in.
constexpr int MALF_WINDOW_W = 150, MALF_WINDOW_H = 374;
constexpr int MALF_CLIENT_W = 144, MALF_CLIENT_H = 345;

struct MalfunctionState {
    MalfunctionState() { state.fill(-1); }

    std::mutex lock;
    Canvas* canvas = nullptr;   // the open window's; none while it is closed
    // Per indicator: -1 before the first frame, then 0 or 1. Kept across closing and reopening.
    std::array<int, MALF_INDICATORS> state;
};

extern MalfunctionState g_malfunction;

// The frame update while the window is open: stores each flag and fills the boxes that changed.
void malfunction_window_update(const FrameRecord& frame);
// The whole window: frames, labels and boxes.
void paint_malfunction_window();
// The window's canvas (nullptr when it closes); waits for a frame that is drawing to finish.
void attach_malfunction_canvas(Canvas* c);

// The window opens: its frames come in and [ACTVMALF] becomes 1.
void malfunction_window_opened();
// The window goes at its left and top edges `x`, `y`, which are kept in [XPOSMALF] and
// [YPOSMALF]; when the user closed it, [ACTVMALF] becomes 0 (a display switch that takes it down
// leaves it as it is, so that it comes back).
void malfunction_window_closed(int x, int y, bool by_user);

// Screen areas a window may be placed on, in desktop coordinates.
struct ScreenArea {
    int left, top, width, height;
};
struct WindowPlace {
    bool move;   // false: the window system chooses
    int x, y;
};
// Where a window of w x h whose remembered left edge is `x` (-1: none) and top edge `y` comes up:
// there when it lies wholly on one of the screens; otherwise moved the least way onto the screen it
// overlaps most (the first when it overlaps none), so that it can be reached.
WindowPlace reachable_place(int x, int y, int w, int h, std::span<const ScreenArea> screens);

void reset_malfunction();
