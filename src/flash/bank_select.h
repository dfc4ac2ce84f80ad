// The bank select window: the ECM's eight calibration banks as a row of cells, the one the ECM
// reports active (frame byte 256) filled, and a click on a cell that asks the ECM to switch to that
// bank (TxMsBank through the ECM command dispatcher) while the stream keeps running.
//
// The window draws into a canvas of its own. Threading: painting, the mouse and the bank request
// run on the window thread; the frame dispatch refills the cells on the display thread when the
// active bank changes. `lock` keeps the canvas from going while the display thread draws into it.
#pragma once

#include <mutex>

#include "draw/canvas.h"

constexpr int BANK_CELLS = 8;
// The window's client area.
constexpr int BANK_SELECT_W = 440;
constexpr int BANK_SELECT_H = 82;

struct BankSelectState {
    std::mutex lock;            // guards canvas
    Canvas* canvas = nullptr;   // the open window's picture; nullptr while it is closed
    int hover = -1;             // the cell with the hover outline, -1 for none (window thread)
    int down_x = -1, down_y = -1;   // the last left-button press
};

extern BankSelectState g_bank_select;

// The cell under mouse x: 0 to 7 on the row, 8 and above right of it, -1 left of it.
int bank_cell_at(int x);

// The window opens on `c`: [ACTVFBNK] becomes 1 and the frame dispatch starts refilling the cells.
// Returns whether a remembered position ([XPOSFBNK], [YPOSFBNK]) should be used.
bool bank_select_opened(Canvas* c);
// The window goes, at the remembered position (x, y) of its left and top edges: the dispatch stops
// drawing into it. [ACTVFBNK] stays as it is unless the user closed it (`by_user`), then it is 0.
void bank_select_closed(int x, int y, bool by_user);

// The whole picture: every cell's digit, frame and fill for the active bank.
void bank_select_paint();
// Fills the cells again for `bank` (the frame dispatch, on the display thread).
void bank_select_refill(int bank);

void bank_select_mouse_move(int x);
void bank_select_mouse_leave();
void bank_select_button_down(int x, int y);
// Selects the bank under both the press and the release, if they are the same cell; returns the
// bank asked for, or -1.
int bank_select_button_up(int x);

void reset_bank_select();
