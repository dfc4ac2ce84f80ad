#include "flash/bank_select.h"

#include "config/settings.h"
#include "ecm/protocol.h"
#include "stream/display_thread.h"

BankSelectState g_bank_select;

namespace {

// Cell i's 45 x 45 box has its top-left corner at (CELL_X + i * CELL_PITCH, CELL_Y) and its frame
// one pixel outside it; its digit stands below it. The hover outline of cell c runs from
// (OUTLINE_X + c * CELL_PITCH, OUTLINE_TOP) to (OUTLINE_RIGHT + c * CELL_PITCH, OUTLINE_BOTTOM),
// right and bottom edges exclusive.
constexpr int CELL_X = 25, CELL_Y = 10, CELL_SIZE = 45, CELL_PITCH = 50;
constexpr int LABEL_X = 43, LABEL_Y = 58;
constexpr int OUTLINE_X = 23, OUTLINE_RIGHT = 71, OUTLINE_TOP = 4, OUTLINE_BOTTOM = 75;
// Presses and releases outside these x count for no cell.
constexpr int ROW_LEFT = 22, ROW_RIGHT = 425;

constexpr Rgb FRAME{100, 100, 100};
constexpr Rgb ACTIVE_FILL{255, 153, 0};
constexpr Rgb OTHER_FILL{0, 0, 0};
constexpr Rgb HOVER{15, 15, 15};

bool is_cell(int cell) { return cell >= 0 && cell < BANK_CELLS; }

// The caller holds g_bank_select.lock.
void fill_cells(Canvas* c, int bank)
{
    for (int i = 0; i < BANK_CELLS; ++i) {
        int x = CELL_X + i * CELL_PITCH;
        c->fill(x, CELL_Y, x + CELL_SIZE, CELL_Y + CELL_SIZE, i == bank ? ACTIVE_FILL : OTHER_FILL);
    }
}

void outline(int cell, Rgb colour, PenStyle style)
{
    std::lock_guard<std::mutex> guard(g_bank_select.lock);
    Canvas* c = g_bank_select.canvas;
    if (c == nullptr)
        return;
    int l = OUTLINE_X + cell * CELL_PITCH, r = OUTLINE_RIGHT + cell * CELL_PITCH - 1;
    int t = OUTLINE_TOP, b = OUTLINE_BOTTOM - 1;
    c->line(l, t, r, t, colour, 1, style);
    c->line(r, t, r, b, colour, 1, style);
    c->line(r, b, l, b, colour, 1, style);
    c->line(l, b, l, t, colour, 1, style);
}

// The window's background is the page colour, so an outline is erased in it.
void erase_outline(int cell) { outline(cell, BACKGROUND, PEN_SOLID); }

}  // namespace

int bank_cell_at(int x) { return x >= ROW_LEFT ? (x - ROW_LEFT) / CELL_PITCH : -1; }

bool bank_select_opened(Canvas* c)
{
    {
        std::lock_guard<std::mutex> guard(g_bank_select.lock);
        g_bank_select.canvas = c;
    }
    g_bank_select.hover = -1;
    g_settings.actvfbnk = 1;
    g_display.last_bank_shown = -1;
    g_frame_hooks.bank_select_refill = bank_select_refill;
    return g_settings.xposfbnk != -1;
}

void bank_select_closed(int x, int y, bool by_user)
{
    g_frame_hooks.bank_select_refill = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_bank_select.lock);
        g_bank_select.canvas = nullptr;
    }
    g_bank_select.hover = -1;
    g_settings.xposfbnk = x;
    g_settings.yposfbnk = y;
    if (by_user)
        g_settings.actvfbnk = 0;
}

void bank_select_paint()
{
    std::lock_guard<std::mutex> guard(g_bank_select.lock);
    Canvas* c = g_bank_select.canvas;
    if (c == nullptr)
        return;
    c->fill(0, 0, BANK_SELECT_W, BANK_SELECT_H, BACKGROUND);
    for (int i = 0; i < BANK_CELLS; ++i) {
        int x = CELL_X + i * CELL_PITCH;
        c->text(LABEL_X + i * CELL_PITCH, LABEL_Y, std::string(1, static_cast<char>('0' + i)), Font::Table, TEXT,
                BACKGROUND);
        c->rectangle(x - 1, CELL_Y - 1, x + CELL_SIZE + 1, CELL_Y + CELL_SIZE + 1, FRAME, 1, OTHER_FILL, false);
    }
    fill_cells(c, g_display.bank);
}

void bank_select_refill(int bank)
{
    std::lock_guard<std::mutex> guard(g_bank_select.lock);
    if (Canvas* c = g_bank_select.canvas)
        fill_cells(c, bank);
}

void bank_select_mouse_move(int x)
{
    BankSelectState& s = g_bank_select;
    int cell = bank_cell_at(x);
    if (cell == s.hover)
        return;
    if (!is_cell(cell)) {
        if (s.hover >= 0) {
            erase_outline(s.hover);
            s.hover = -1;
        }
        return;
    }
    outline(cell, HOVER, PEN_DOT);
    if (s.hover >= 0)
        erase_outline(s.hover);
    s.hover = cell;
}

void bank_select_mouse_leave()
{
    if (g_bank_select.hover >= 0)
        erase_outline(g_bank_select.hover);
    g_bank_select.hover = -1;
}

void bank_select_button_down(int x, int y)
{
    g_bank_select.down_x = x;
    g_bank_select.down_y = y;
}

int bank_select_button_up(int x)
{
    int down = g_bank_select.down_x;
    if (down < ROW_LEFT || down > ROW_RIGHT || x < ROW_LEFT || x > ROW_RIGHT)
        return -1;
    int cell = bank_cell_at(x);
    if (cell != bank_cell_at(down) || !is_cell(cell))
        return -1;
    // No answer is awaited: the fill moves when the stream reports the new bank. A request that
    // cannot be handed to the link is dropped.
    ecm_command(ECM_BANK, cell);
    return cell;
}

void reset_bank_select()
{
    g_frame_hooks.bank_select_refill = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_bank_select.lock);
        g_bank_select.canvas = nullptr;
    }
    g_bank_select.hover = -1;
    g_bank_select.down_x = -1;
    g_bank_select.down_y = -1;
}
