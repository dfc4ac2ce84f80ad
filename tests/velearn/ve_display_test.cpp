// The VE learn display on a recording canvas: the cell the engine is in, the three tables as
// text, the notices, the redraw rate, and the buttons.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "config/settings.h"
#include "displays/display_routines.h"
#include "draw/recording_canvas.h"
#include "stream/display_thread.h"
#include "support/live.h"
#include "support/param_name.h"
#include "support/scripted_ui.h"
#include "velearn/ve_display.h"
#include "velearn/ve_learn_state.h"

namespace {

constexpr Rgb LEARNED{33, 165, 33};
constexpr Rgb NOT_LEARNED{150, 106, 3};

std::string row_y_text(const RecordingCanvas& c, int row) { return c.text_at(160, 60 + 13 * row); }

// A frame at an engine speed byte (RPM / 25) and a MAP byte (kPa = byte x 0.3125 + 20).
FrameRecord frame_at(int speed_byte, int map_byte)
{
    FrameRecord f{};
    f.b[F_RPM_25] = static_cast<uint8_t>(speed_byte);
    f.b[F_MAP_LOAD] = static_cast<uint8_t>(map_byte);
    return f;
}

class VeDisplayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        install_display_routines();
        attach_canvas(&canvas);
        g_settings.frame_skip_code = 0;
    }
    void TearDown() override
    {
        attach_canvas(nullptr);
        reset_everything();
    }
    // The fills of the live cell's size.
    std::vector<RecordingCanvas::Shape> cell_fills() const
    {
        std::vector<RecordingCanvas::Shape> out;
        for (const auto& s : canvas.shapes())
            if (s.kind == 'f' && s.c - s.a == 29 && s.d - s.b == 15)
                out.push_back(s);
        return out;
    }

    RecordingCanvas canvas;
    ScopedScriptedUi ui;
};

struct CellCase {
    const char* name;
    int fine_row, fine_col;
    int row, column;
};

class LiveCell : public ::testing::TestWithParam<CellCase> {};

TEST_P(LiveCell, RoundsToTheSpacingOfTheTable)
{
    VeCell c = ve_live_cell(GetParam().fine_row, GetParam().fine_col);
    EXPECT_EQ(c.row, GetParam().row);
    EXPECT_EQ(c.column, GetParam().column);
}

INSTANTIATE_TEST_SUITE_P(
    Cells, LiveCell,
    ::testing::Values(CellCase{"the grid's corner is the first cell", 0, 0, 1, 1},
                      CellCase{"72 kPa lies in the 70 kPa column", 0, 52, 1, 11},
                      CellCase{"75 kPa lies in the 80 kPa column", 0, 55, 1, 12},
                      CellCase{"100 kPa is the last column", 0, 80, 1, 14},
                      CellCase{"2025 rpm lies in the 2000 rpm row", 65, 0, 17, 1},
                      CellCase{"2050 rpm already lies in the 2200 rpm row", 66, 0, 18, 1},
                      CellCase{"3600 rpm is its own row", 128, 0, 25, 1},
                      CellCase{"6000 rpm from the high range is row 31", 224, 0, 31, 1},
                      CellCase{"the top of the high range is the 8000 rpm row", 287, 0, 35, 1}),
    NameFromSentence());

TEST_F(VeDisplayTest, CellsShowWholePercentOrTheCorrectionWithADotForNone)
{
    EXPECT_EQ(ve_cell_text(VE_SHOW_ORIGINAL, 100), " 39 ");
    EXPECT_EQ(ve_cell_text(VE_SHOW_LEARNED, 255), "100 ");
    EXPECT_EQ(ve_cell_text(VE_SHOW_ORIGINAL, 0), "  0 ");
    EXPECT_EQ(ve_cell_text(VE_SHOW_CORRECTIONS, 0), "  . ");
    EXPECT_EQ(ve_cell_text(VE_SHOW_CORRECTIONS, 128), "  0 ");
    EXPECT_EQ(ve_cell_text(VE_SHOW_CORRECTIONS, 144), " 12 ");
    EXPECT_EQ(ve_cell_text(VE_SHOW_CORRECTIONS, 112), "-12 ");
    EXPECT_EQ(ve_cell_text(VE_SHOW_CORRECTIONS, 113), "-11 ");
}

TEST_F(VeDisplayTest, EachTableIsWrittenRowByRowUnderItsTitleAndTheAxes)
{
    for (int i = 1; i <= VE_ROWS; ++i)
        for (int j = 1; j <= VE_COLS; ++j)
            g_ve_learn.original_ve[i][j] = 100;
    reset_ve_learn();
    g_ve_learn.original_ve[1][14] = 255;

    paint_ve_page();
    EXPECT_EQ(canvas.text_at(160, 54), "RPM/MAP 20  25  30  35  40  45  50  55  60  65  70  80  90 100 ");
    EXPECT_EQ(canvas.text_at(271, 32), " Original BIN Values in Percent   ");
    EXPECT_EQ(row_y_text(canvas, 1), " 400    39  39  39  39  39  39  39  39  39  39  39  39  39 100 ");
    EXPECT_EQ(row_y_text(canvas, 35), "8000    39  39  39  39  39  39  39  39  39  39  39  39  39  39 ");
    auto lines = canvas.shapes();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const auto& s) { return s.kind == 'l'; }), 8)
        << "the frame with its cut corners";

    // Before any learn run the learned table is the original and no cell has a correction.
    canvas.clear();
    g_ve_display.table_choice = VE_SHOW_LEARNED;
    paint_ve_display();
    EXPECT_EQ(canvas.text_at(266, 32), "New Learned BIN Values in Percent ");
    EXPECT_EQ(row_y_text(canvas, 2), " 500    39  39  39  39  39  39  39  39  39  39  39  39  39  39 ");

    canvas.clear();
    g_ve_display.table_choice = VE_SHOW_CORRECTIONS;
    paint_ve_display();
    EXPECT_EQ(canvas.text_at(271, 32), "    Corrections in Percent        ");
    EXPECT_EQ(row_y_text(canvas, 17), "2000     .   .   .   .   .   .   .   .   .   .   .   .   .   . ");
    EXPECT_TRUE(canvas.shapes().empty()) << "only the window's paint draws the frame";
}

TEST_F(VeDisplayTest, LiveCellFollowsTheFrameAndShowsWhetherItWasLearned)
{
    for (int i = 1; i <= VE_ROWS; ++i)
        for (int j = 1; j <= VE_COLS; ++j)
            g_ve_learn.original_ve[i][j] = static_cast<uint32_t>(i + j);
    reset_ve_learn();
    g_display.active_display = DISPLAY_VE_LEARN;

    ve_learn_update(frame_at(80, 80), 1);   // 2000 rpm, 45 kPa
    EXPECT_TRUE(cell_fills().empty()) << "no live cell while the engine is not running";
    EXPECT_EQ(canvas.text_at(50, 429), "map:   45  ");

    g_display.engine_running = 1;
    g_display.engine_speed = 2000;
    canvas.clear();
    ve_learn_update(frame_at(80, 80), 1);
    auto fills = cell_fills();
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].a, 181 + 32 * 6);   // column 6: 45 kPa
    EXPECT_EQ(fills[0].b, 61 + 13 * 17);   // row 17: 2000 rpm
    EXPECT_EQ(fills[0].colour, NOT_LEARNED) << "no learn run: the frame was not learned";
    EXPECT_EQ(canvas.text_at(181 + 32 * 6 + 3, 60 + 13 * 17), ve_cell_text(VE_SHOW_ORIGINAL, 23));
    EXPECT_EQ(canvas.text_at(50, 410), "rpm: 2000  ");

    // Learning takes the next frame; the cell moves with the engine.
    g_ve_learn.active = 1;
    g_ve_learn.previous_map = 72;
    FrameRecord learnable = frame_at(240, 166);   // 6000 rpm, 72 kPa
    learnable.b[F_CTS] = 173;                     // warm
    learnable.b[F_RPM_31_25] = 192;
    learnable.b[F_BLM] = 128;
    learnable.b[F_INTEGRATOR] = 128;
    learnable.b[FLAGS[FLAG_BLM_LEARN].offset] |= static_cast<uint8_t>(1 << FLAGS[FLAG_BLM_LEARN].bit);
    canvas.clear();
    ve_learn_update(learnable, 1);
    fills = cell_fills();
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].a, 181 + 32 * 11);
    EXPECT_EQ(fills[0].b, 61 + 13 * 31);
    EXPECT_EQ(fills[0].colour, LEARNED);
}

TEST_F(VeDisplayTest, RedrawsOnEveryFrameSkipCodePlusOneFramesAndOnlyWhileShown)
{
    auto header_draws = [this] {
        auto t = canvas.texts();
        return std::count_if(t.begin(), t.end(), [](const auto& x) { return x.x == 160 && x.y == 54; });
    };
    g_settings.frame_skip_code = 3;
    for (int i = 0; i < 12; ++i)
        ve_learn_update(frame_at(80, 80), 1);
    EXPECT_EQ(header_draws(), 3) << "4 times a second: every 4th frame";
    for (int i = 0; i < 12; ++i)
        ve_learn_update(frame_at(80, 80), 0);
    EXPECT_EQ(header_draws(), 3) << "not shown, not drawn";
}

// The display thread learns and redraws while the window thread paints the page and clears the
// data: each sees whole tables (the sanitizer builds check the sharing).
TEST_F(VeDisplayTest, WindowAndDisplayThreadPaintTheTableAtOnce)
{
    g_ve_learn.active = 1;
    g_display.engine_running = 1;
    g_ve_learn.previous_map = 45;
    std::atomic<bool> done{false};
    std::thread display([&] {
        FrameRecord f = frame_at(80, 80);
        f.b[F_CTS] = 173;
        f.b[F_BLM] = 140;
        f.b[F_INTEGRATOR] = 128;
        f.b[FLAGS[FLAG_BLM_LEARN].offset] |= static_cast<uint8_t>(1 << FLAGS[FLAG_BLM_LEARN].bit);
        for (int i = 0; i < 400; ++i)
            ve_learn_update(f, 1);
        done = true;
    });
    int paints = 0;
    while (!done) {
        g_ve_display.table_choice = paints % 3;
        paint_ve_page();
        if (++paints % 10 == 0)
            ve_display_command(VE_CLEAR, CONTROL_CLICKED, 0);
    }
    display.join();
    EXPECT_GT(paints, 0);
    for (const auto& t : canvas.texts()) {
        if (t.x == 160 && t.y > 60 && t.y < 60 + 13 * 36) {
            ASSERT_EQ(t.s.size(), 63u) << "a whole row";
        }
    }
}

TEST_F(VeDisplayTest, NoticesForBlmInWidebandModeAndForAnOverflowingCell)
{
    paint_ve_display();
    EXPECT_EQ(canvas.text_at(160, 537), "");
    EXPECT_EQ(canvas.text_at(674, 294), "");

    // An original cell of 240 with the largest correction overflows.
    g_ve_learn.original_ve[17][6] = 240;
    reset_ve_learn();
    g_ve_learn.blm_not_128 = 1;
    for (int r = 60; r <= 68; ++r)
        for (int c = 23; c <= 27; ++c) {
            g_ve_learn.sample_value[r][c] = 160;
            g_ve_learn.sample_count[r][c] = 20;
        }
    g_settings.lrninp = 1;
    paint_ve_display();
    EXPECT_EQ(canvas.text_at(160, 537), "BLM not at 128 while in WB learn mode. Force open loop mode.");
    EXPECT_EQ(canvas.text_at(674, 294), "Overflow on VE:");
    EXPECT_EQ(canvas.text_at(699, 314), "2000 RPM   ");
    EXPECT_EQ(canvas.text_at(699, 330), "45 KPa   ");
}

TEST_F(VeDisplayTest, RadiosChooseTheTableAndClearDataStartsTheLearnedTableAgain)
{
    RecordingControls rec;
    attach_controls(&rec);
    g_ve_display.table_choice = VE_SHOW_CORRECTIONS;
    create_ve_display();
    EXPECT_EQ(rec.ids(), (std::vector<int>{VE_GROUP, VE_ORIGINAL, VE_LEARNED, VE_CORRECTIONS, VE_CLEAR}));
    EXPECT_TRUE(rec.checked(VE_CORRECTIONS)) << "the table shown before is checked";
    EXPECT_EQ(rec.get(VE_LEARNED).def.keys, KeyRoute::DisplayKeys);

    int repaints = ui.repaints;
    rec.click(VE_LEARNED);
    EXPECT_EQ(static_cast<int>(g_ve_display.table_choice), VE_SHOW_LEARNED);
    EXPECT_GT(ui.repaints, repaints);

    g_ve_learn.original_ve[5][5] = 90;
    g_ve_learn.learned_ve[5][5] = 99;
    g_ve_learn.ve_corrections[5][5] = 140;
    g_ve_learn.sample_count[10][10] = 3;
    g_ve_learn.blm_not_128 = 1;
    rec.focus(VE_CLEAR);
    rec.click(VE_CLEAR);
    EXPECT_EQ(g_ve_learn.learned_ve[5][5], 90u);
    EXPECT_EQ(g_ve_learn.ve_corrections[5][5], 0u);
    EXPECT_EQ(g_ve_learn.sample_count[10][10], 0u);
    EXPECT_EQ(static_cast<int>(g_ve_learn.blm_not_128), 0);
    EXPECT_EQ(rec.focused(), 0) << "the keys go back to the main window";

    destroy_ve_display();
    EXPECT_TRUE(rec.ids().empty());
    EXPECT_EQ(static_cast<int>(g_ve_display.table_choice), VE_SHOW_LEARNED) << "the choice outlives the buttons";
    attach_controls(nullptr);
}

}  // namespace
