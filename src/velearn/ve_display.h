// The VE learn display (display 3): one of the three 35 x 14 tables of the learner (the VE table
// read from the BIN, the learned table, the corrections) with the engine-speed axis down the left
// and the pressure axis across the top, the cell the engine is in marked, and "Clear Data".
//
// The page is painted on the window thread (frame and table) and, while it is shown, the table
// again from the display thread every (frame-skip code + 1) frames. Both paths recompute the
// learned table first and draw under `paint_lock`, so the two never interleave their rows.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "draw/controls.h"
#include "platform/shared_word.h"

// Which table the page shows.
enum VeTableChoice : int32_t { VE_SHOW_ORIGINAL = 0, VE_SHOW_LEARNED = 1, VE_SHOW_CORRECTIONS = 2 };

struct VeDisplayState {
    Shared<int32_t> table_choice{VE_SHOW_ORIGINAL};   // outlives the buttons
    std::mutex paint_lock;
};

extern VeDisplayState g_ve_display;

// The group box, the three table radios and "Clear Data", in the order they are created.
enum VeDisplayControl : int {
    VE_GROUP = CONTROL_IDS_VE,
    VE_ORIGINAL,
    VE_LEARNED,
    VE_CORRECTIONS,
    VE_CLEAR,
};

// A cell of the VE table: row 1..35 (engine speed), column 1..14 (pressure).
struct VeCell {
    int row, column;
};

// The table cell that a fine-grid row and column lie in, rounded to the table's spacing.
VeCell ve_live_cell(int fine_row, int fine_col);
// One cell as the page writes it: VE in whole percent, or the correction in percent ("  . " when
// the cell has none); always four characters.
std::string ve_cell_text(int choice, uint32_t cell);

void create_ve_display();
void destroy_ve_display();
void ve_display_command(int id, int event, int value);
// The window's paint: the frame around the table, then the table.
void paint_ve_page();
// The table, the live cell, the notices and the read-outs. Recomputes the learned table first,
// also when no canvas is attached.
void paint_ve_display();

void reset_ve_display();
