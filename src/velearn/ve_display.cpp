#include "velearn/ve_display.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "draw/canvas.h"
#include "platform/ui_services.h"
#include "stream/display_thread.h"
#include "velearn/ve_learn_state.h"

VeDisplayState g_ve_display;

namespace {

// ---- Page layout (table font: 8 pixels a character, 13 pixels a row) -------------------------

constexpr int TABLE_X = 160;         // header and rows start here
constexpr int HEADER_Y = 54;
constexpr int ROW_Y = 60;            // row r at ROW_Y + ROW_STEP x r
constexpr int ROW_STEP = 13;
constexpr int TITLE_Y = 32;
constexpr int CELL_X = 181;          // live cell: left = CELL_X + CELL_STEP x column
constexpr int CELL_STEP = 32;
constexpr int CELL_Y = 61;           // top = CELL_Y + ROW_STEP x row
constexpr int CELL_W = 29, CELL_H = 15;
constexpr int CELL_TEXT_DX = 3, CELL_TEXT_DY = -1;
constexpr int BLM_NOTICE_X = 160, BLM_NOTICE_Y = 537;
constexpr int OVERFLOW_X[3] = {674, 699, 699};
constexpr int OVERFLOW_Y[3] = {294, 314, 330};
constexpr int READOUT_X = 50, RPM_Y = 410, MAP_Y = 429;

// The frame around the table: a one-pixel line with cut corners, as a closed path.
constexpr int FRAME[][2] = {{152, 50}, {662, 50}, {664, 52}, {664, 536}, {662, 538},
                            {152, 538}, {150, 536}, {150, 52}, {152, 50}};

constexpr Rgb LEARNED_CELL{33, 165, 33};
constexpr Rgb UNLEARNED_CELL{150, 106, 3};

// Each title is padded to the same length so that it covers the one before.
struct Title {
    const char* text;
    int x;
};
constexpr std::array<Title, 3> TITLES = {{
    {" Original BIN Values in Percent   ", 271},
    {"New Learned BIN Values in Percent ", 266},
    {"    Corrections in Percent        ", 271},
}};

constexpr const char* BLM_NOTICE = "BLM not at 128 while in WB learn mode. Force open loop mode.";

// The buttons, as the page lists them.
constexpr std::array<ControlDef, 5> VE_CONTROLS = {{
    {VE_GROUP, ControlKind::GroupBox, "Display", 675, 80, 105, 120, CS_NONE, KeyRoute::Own},
    {VE_ORIGINAL, ControlKind::RadioButton, "Orig", 685, 100, 80, 30, CS_GROUP | CS_TEXT_LEFT, KeyRoute::DisplayKeys},
    {VE_LEARNED, ControlKind::RadioButton, "New", 685, 130, 80, 30, CS_TEXT_LEFT, KeyRoute::DisplayKeys},
    {VE_CORRECTIONS, ControlKind::RadioButton, "Corectns", 685, 160, 80, 30, CS_TEXT_LEFT, KeyRoute::DisplayKeys},
    {VE_CLEAR, ControlKind::PushButton, "Clear Data", 686, 220, 80, 30, CS_GROUP, KeyRoute::Own},
}};

// Writes one cell's four characters at `out` (five bytes with the terminator).
void cell_text(char* out, int choice, uint32_t cell)
{
    if (choice != VE_SHOW_CORRECTIONS) {
        std::snprintf(out, 5, "%3d ", static_cast<int>(cell * 0.390625 + 0.5));
        return;
    }
    if (cell == 0) {
        std::snprintf(out, 5, "  %c ", '.');
        return;
    }
    double c = static_cast<double>(cell);
    int percent = cell >= 128 ? static_cast<int>((c / 128 - 1) * 100) : static_cast<int>((1 - c / 128) * -100);
    std::snprintf(out, 5, "%3d ", percent);
}

int clamp_choice(int32_t choice) { return choice >= VE_SHOW_ORIGINAL && choice <= VE_SHOW_CORRECTIONS ? choice : 0; }

// What one paint shows, copied under the learner's lock.
struct Snapshot {
    VeTable table;
    char overflow[3][24];
};

void take_snapshot(int choice, Snapshot& s)
{
    VeLearnState& v = g_ve_learn;
    std::lock_guard<std::mutex> lock(v.tables_lock);
    s.table = choice == VE_SHOW_ORIGINAL ? v.original_ve : choice == VE_SHOW_LEARNED ? v.learned_ve : v.ve_corrections;
    std::memcpy(s.overflow, v.overflow, sizeof s.overflow);
}

void draw_table(Canvas* c)
{
    const int choice = clamp_choice(g_ve_display.table_choice);
    Snapshot snap;
    take_snapshot(choice, snap);
    const VeCell live = ve_live_cell(g_ve_learn.fine_row, g_ve_learn.fine_col);

    // Rows are built in a fixed buffer: "%4d   " and fourteen four-character cells.
    char line[8 + 4 * VE_COLS + 1];
    int n = std::snprintf(line, sizeof line, "RPM/MAP");
    for (int j = 1; j <= VE_COLS; ++j)
        n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), "%3d ", VE_MAP_AXIS[j - 1]);
    c->text(TABLE_X, HEADER_Y, line, Font::Table, TEXT, BACKGROUND);

    const Title& title = TITLES[choice];
    c->text(title.x, TITLE_Y, title.text, Font::Table, TEXT, BACKGROUND);

    for (int i = 1; i <= VE_ROWS; ++i) {
        n = std::snprintf(line, sizeof line, "%4d   ", VE_RPM_AXIS[i - 1]);
        for (int j = 1; j <= VE_COLS; ++j, n += 4)
            cell_text(line + n, choice, snap.table[i][j]);
        c->text(TABLE_X, ROW_Y + ROW_STEP * i, line, Font::Table, TEXT, BACKGROUND);
    }

    if (g_display.engine_running == 1) {
        int left = CELL_X + CELL_STEP * live.column, top = CELL_Y + ROW_STEP * live.row;
        Rgb shade = g_ve_learn.sample_taken == 1 ? LEARNED_CELL : UNLEARNED_CELL;
        c->fill(left, top, left + CELL_W, top + CELL_H, shade);
        char value[5];
        cell_text(value, choice, snap.table[live.row][live.column]);
        c->text(left + CELL_TEXT_DX, top + CELL_TEXT_DY, value, Font::Table, TEXT, shade, ALIGN_LEFT, false);
    }

    if (g_ve_learn.blm_not_128 == 1)
        c->text(BLM_NOTICE_X, BLM_NOTICE_Y, BLM_NOTICE, Font::Table, TEXT, BACKGROUND);
    if (snap.overflow[0][0] != '\0')
        for (int k = 0; k < 3; ++k)
            c->text(OVERFLOW_X[k], OVERFLOW_Y[k], snap.overflow[k], Font::Table, TEXT, BACKGROUND);

    std::snprintf(line, sizeof line, "rpm: %4d  ", static_cast<int>(g_display.engine_speed));
    c->text(READOUT_X, RPM_Y, line, Font::Table, TEXT, BACKGROUND);
    std::snprintf(line, sizeof line, "map: %4d  ", static_cast<int>(g_ve_learn.map_kpa));
    c->text(READOUT_X, MAP_Y, line, Font::Table, TEXT, BACKGROUND);
}

}  // namespace

VeCell ve_live_cell(int fr, int fc)
{
    fr = fr < 0 ? 0 : fr;
    fc = fc < 0 ? 0 : fc;
    int column = fc < 52 ? static_cast<int>((fc + 2.5) / 5 + 1) : (fc + 5 - 50) / 10 + 11;
    int row = fr < 68 ? (fr + 2) / 4 + 1 : fr < 136 ? (fr + 4 - 72) / 8 + 18 : (fr + 8 - 144) / 16 + 26;
    // The fine grid ends at 100 kPa and 7968 RPM; anything past it is the last cell.
    return {row > VE_ROWS ? VE_ROWS : row, column > VE_COLS ? VE_COLS : column};
}

std::string ve_cell_text(int choice, uint32_t cell)
{
    char out[5];
    cell_text(out, clamp_choice(choice), cell);
    return out;
}

void create_ve_display()
{
    create_controls(VE_CONTROLS, ve_display_command);
    controls().set_checked(VE_ORIGINAL + clamp_choice(g_ve_display.table_choice), true);
}

void destroy_ve_display() { destroy_controls(VE_CONTROLS); }

void ve_display_command(int id, int event, int)
{
    if (event != CONTROL_CLICKED)
        return;
    switch (id) {
    case VE_ORIGINAL:
    case VE_LEARNED:
    case VE_CORRECTIONS:
        g_ve_display.table_choice = id - VE_ORIGINAL;
        ui().request_repaint();
        break;
    case VE_CLEAR:
        reset_ve_learn();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ui().request_repaint();
        controls().focus(0);
        break;
    default:
        break;
    }
}

void paint_ve_page()
{
    if (Canvas* c = canvas()) {
        for (size_t k = 1; k < std::size(FRAME); ++k)
            c->line(FRAME[k - 1][0], FRAME[k - 1][1], FRAME[k][0], FRAME[k][1], TEXT, 1);
    }
    paint_ve_display();
}

void paint_ve_display()
{
    std::lock_guard<std::mutex> lock(g_ve_display.paint_lock);
    recompute_learned_ve();
    if (Canvas* c = canvas())
        draw_table(c);
}

void reset_ve_display() { g_ve_display.table_choice = VE_SHOW_ORIGINAL; }
