// The spark knock map: what a knock counter step files where, the 16-bit counter's wrap, the caps,
// the cell formulas at the edges of the axes, and the page drawn on a recording canvas.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "config/settings.h"
#include "displays/display_routines.h"
#include "displays/gauges.h"
#include "displays/knock_map.h"
#include "draw/recording_canvas.h"
#include "stream/display_thread.h"
#include "support/live.h"
#include "support/param_name.h"
#include "support/scripted_ui.h"

namespace {

constexpr Rgb LIVE_GREEN{33, 165, 33};
constexpr Rgb LIVE_AMBER{150, 106, 3};

// `n` empty cells as the table shows them.
std::string dots(int n)
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s += "  . ";
    return s;
}

class KnockMapTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        attach_canvas(&canvas);
        g_display.engine_speed = 3000;
        g_display.map_bar = 1;
    }
    void TearDown() override
    {
        attach_canvas(nullptr);
        attach_controls(nullptr);
        reset_everything();
    }

    // A frame with the knock counter, the spark retard byte and the 1-bar MAP byte.
    static FrameRecord frame(int count, int retard = 0, int map_load = 128)
    {
        FrameRecord f{};
        f.b[F_KNOCK_COUNT] = static_cast<uint8_t>(count >> 8);
        f.b[F_KNOCK_COUNT + 1] = static_cast<uint8_t>(count & 0xFF);
        f.b[F_SPARK_RETARD] = static_cast<uint8_t>(retard);
        f.b[F_MAP_LOAD] = static_cast<uint8_t>(map_load);
        return f;
    }
    // The counter as the ECM had it while the engine was not yet counted as running.
    static void start_at(int count)
    {
        g_display.engine_running = 0;
        knock_map_update(frame(count), 0);
        g_display.engine_running = 1;
    }
    static uint32_t std_cell(int table)
    {
        return g_knock.standard[table][g_knock.std_row][g_knock.std_col];
    }

    RecordingCanvas canvas;
    ScopedScriptedUi ui;
};

TEST_F(KnockMapTest, CounterStepsOf62AddNothingAnd63AddOneEvent)
{
    start_at(1000);
    knock_map_update(frame(1062), 0);
    EXPECT_EQ(std_cell(KNOCK_COUNTS), 0u) << "62 is less than one event";
    EXPECT_EQ(g_knock.total, 0);
    knock_map_update(frame(1125), 0);
    EXPECT_EQ(std_cell(KNOCK_COUNTS), 100u) << "63: one event, in hundredths";
    EXPECT_EQ(g_knock.total, 1);
    knock_map_update(frame(1255), 0);
    EXPECT_EQ(std_cell(KNOCK_COUNTS), 300u) << "130: two more";
    EXPECT_EQ(g_knock.total, 3);
    EXPECT_EQ(static_cast<int>(g_published_knock_count), 3) << "handed to the gauge display's KNK bar";
}

TEST_F(KnockMapTest, CounterThatWrapsJumpsOrStandsStillCountsAsTheEcmMeansIt)
{
    start_at(65530);
    knock_map_update(frame(10), 0);
    EXPECT_EQ(g_knock.total, 0) << "65530 to 10 is 15 steps (65535 - 65530 + 10)";
    EXPECT_EQ(g_knock.previous_count, 10);
    knock_map_update(frame(73), 0);
    EXPECT_EQ(g_knock.total, 1) << "the 15 did not carry over; the next 63 did count";

    start_at(65535);
    knock_map_update(frame(65535), 0);
    knock_map_update(frame(65535), 0);
    EXPECT_EQ(g_knock.total, 1) << "a counter stuck at 65535 adds nothing";

    // A wild jump: 700 events at once fill the cell to its cap rather than wrapping to a few.
    clear_knock_map();
    start_at(0);
    knock_map_update(frame(44100), 0);
    EXPECT_EQ(g_knock.total, 700);
    EXPECT_EQ(std_cell(KNOCK_COUNTS), KNOCK_CELL_MAX);

    // While the engine is not counted as running the counter is only followed.
    clear_knock_map();
    g_display.engine_running = 0;
    knock_map_update(frame(5000), 0);
    knock_map_update(frame(9000), 0);
    g_display.engine_running = 1;
    knock_map_update(frame(9000), 0);
    EXPECT_EQ(g_knock.total, 0);
    EXPECT_EQ(std_cell(KNOCK_COUNTS), 0u);
}

TEST_F(KnockMapTest, RetardIsFiledAsAverageLargestAndTotalAndCellsStopAt25500)
{
    start_at(0);
    knock_map_update(frame(63, 0), 0);
    EXPECT_EQ(std_cell(KNOCK_COUNTS), 100u);
    EXPECT_EQ(std_cell(KNOCK_AVERAGE), 0u) << "no retard: the counts only";
    EXPECT_EQ(std_cell(KNOCK_PEAK), 0u);
    EXPECT_EQ(std_cell(KNOCK_TOTAL), 0u);

    knock_map_update(frame(126, 100), 0);   // 17.578125 degrees
    EXPECT_EQ(std_cell(KNOCK_AVERAGE), 1807u) << "1757 hundredths plus 50";
    EXPECT_EQ(std_cell(KNOCK_PEAK), 1807u);
    EXPECT_EQ(std_cell(KNOCK_TOTAL), 1807u);

    knock_map_update(frame(189, 20), 0);    // 3.515625 degrees: 351 + 50
    EXPECT_EQ(std_cell(KNOCK_AVERAGE), (1807u + 401u) / 2);
    EXPECT_EQ(std_cell(KNOCK_PEAK), 1807u);
    EXPECT_EQ(std_cell(KNOCK_TOTAL), 2208u);

    g_knock.table_choice = KNOCK_AVERAGE;
    paint_knock_display();
    int row = g_knock.std_row, col = g_knock.std_col;
    std::string line = canvas.text_at(180, 120 + 13 * row);
    EXPECT_EQ(line.substr(6 + 4 * (col - 1), 4), " 11 ") << "1104 shown in whole degrees";

    for (int n = 4; n < 400; ++n)
        knock_map_update(frame(63 * n, 255), 0);
    EXPECT_EQ(std_cell(KNOCK_COUNTS), KNOCK_CELL_MAX);
    EXPECT_EQ(std_cell(KNOCK_TOTAL), KNOCK_CELL_MAX);
    canvas.clear();
    g_knock.table_choice = KNOCK_COUNTS;
    paint_knock_display();
    EXPECT_EQ(canvas.text_at(180, 120 + 13 * row).substr(6 + 4 * (col - 1), 4), "255 ");
}

struct CellCase {
    const char* name;
    int rpm, map, boost, bar;
    KnockCells want;
};

class KnockCellTest : public ::testing::TestWithParam<CellCase> {};

TEST_P(KnockCellTest, OperatingPointFallsInItsCell)
{
    const CellCase& c = GetParam();
    KnockCells k = knock_cells(c.rpm, c.map, c.boost, c.bar);
    EXPECT_EQ(k.std_row, c.want.std_row);
    EXPECT_EQ(k.std_col, c.want.std_col);
    EXPECT_EQ(k.boost_row, c.want.boost_row);
    EXPECT_EQ(k.boost_col, c.want.boost_col);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, KnockCellTest,
    ::testing::Values(CellCase{"6400 rpm in the last rows", 6400, 100, 0, 1, {21, 12, 17, 1}},
                      CellCase{"350 rpm counts as 400", 350, 20, 0, 1, {1, 1, 2, 1}},
                      CellCase{"2575 rpm rounds into the 2800 row", 2575, 71, 0, 1, {12, 6, 7, 1}},
                      CellCase{"2475 rpm stays in the 2400 row", 2475, 72, 0, 1, {11, 6, 7, 1}},
                      CellCase{"73 kPa goes to the 75 column", 3000, 73, 0, 1, {13, 7, 9, 1}},
                      CellCase{"boost 50 with 2 bar is the 150 column", 3000, 100, 50, 2, {13, 12, 9, 6}},
                      CellCase{"boost 100 with 2 bar is the last column", 3000, 100, 100, 2, {13, 12, 9, 11}},
                      CellCase{"boost 200 with 3 bar is the last column", 3000, 100, 200, 3, {13, 12, 9, 11}},
                      CellCase{"boost 0 is the first column", 3000, 100, 0, 3, {13, 12, 9, 1}}),
    NameFromSentence());

TEST_F(KnockMapTest, BoostMapTakesTheFrameOnlyWithABoostSensorInBoost)
{
    // 2-bar: byte 45 = 184 reads 149.77 kPa: boost 50, column 6 (150 kPa); the read-out says 150.
    g_display.map_bar = 2;
    start_at(0);
    FrameRecord f = frame(63, 10);
    f.b[F_MAP_COUNT] = 184;
    f.b[F_BOOST_COUNT] = 80;
    knock_map_update(f, 0);
    EXPECT_EQ(g_knock.boosting, 1);
    EXPECT_EQ(g_knock.boost_kpa, 50);
    EXPECT_EQ(g_knock.boost_col, 6);
    EXPECT_EQ(g_knock.display_pressure, 150);
    EXPECT_EQ(g_knock.boost[KNOCK_COUNTS][g_knock.boost_row][6], 100u);
    EXPECT_EQ(std_cell(KNOCK_COUNTS), 0u);

    f = frame(126, 10);
    f.b[F_MAP_COUNT] = 184;
    f.b[F_BOOST_COUNT] = 0;
    knock_map_update(f, 0);
    EXPECT_EQ(g_knock.boosting, 0) << "boost byte 0: the Standard map";
    EXPECT_EQ(std_cell(KNOCK_COUNTS), 100u);

    g_display.map_bar = 1;
    f = frame(189, 10);
    f.b[F_MAP_COUNT] = 255;
    f.b[F_BOOST_COUNT] = 200;
    knock_map_update(f, 0);
    EXPECT_EQ(g_knock.boosting, 0) << "a 1-bar sensor never boosts";
    EXPECT_EQ(g_knock.boost_kpa, 0);
    EXPECT_EQ(std_cell(KNOCK_COUNTS), 200u);

    // 3-bar beyond its range: boost held at 200.
    g_display.map_bar = 3;
    f = frame(189, 10);
    f.b[F_MAP_COUNT] = 255;   // 315.6 kPa
    knock_map_update(f, 0);
    EXPECT_EQ(g_knock.boost_kpa, 200);
    EXPECT_EQ(g_knock.display_pressure, 316);
}

TEST_F(KnockMapTest, PageShowsEachTableOfEitherMapWithItsAxes)
{
    const char* titles[] = {"Average Spark Retard in Degrees", " Peak Spark Retard in Degrees  ",
                            " Total Spark Retard in Degrees ", "     Total Knock in Counts     "};
    start_at(0);
    knock_map_update(frame(63, 100), 0);   // 3000 rpm at 60 kPa: the 3200 row, column 5
    for (int table = 0; table < KNOCK_TABLES; ++table) {
        canvas.clear();
        g_knock.table_choice = table;
        g_knock.map_choice = KNOCK_STANDARD;
        paint_knock_display();
        EXPECT_EQ(canvas.text_at(270, 50), titles[table]);
        EXPECT_EQ(canvas.text_at(172, 110), "RPM/MAP 20  30  40  50  60  70  75  80  85  90  95 100 ");
        EXPECT_EQ(canvas.text_at(180, 133), " 400  " + dots(12));
        std::string filled = table == KNOCK_COUNTS ? "  1 " : " 18 ";
        EXPECT_EQ(canvas.text_at(180, 120 + 13 * 13), "3200  " + dots(4) + filled + dots(7)) << table;
        EXPECT_EQ(canvas.text_at(180, 120 + 13 * 21).substr(0, 6), "6375  ");

        canvas.clear();
        g_knock.map_choice = KNOCK_BOOST;
        paint_knock_display();
        EXPECT_EQ(canvas.text_at(178, 110), "RPM/MAP 100 110 120 130 140 150 160 170 180 190 200 ");
        EXPECT_EQ(canvas.text_at(194, 133), "   0  " + dots(11));
        EXPECT_EQ(canvas.text_at(194, 120 + 13 * 17).substr(0, 6), "6375  ");
    }
    g_display.map_bar = 3;
    canvas.clear();
    paint_knock_display();
    EXPECT_EQ(canvas.text_at(178, 110), "RPM/MAP 100 120 140 160 180 200 220 240 260 280 300 ") << "3 bar: x 2 - 100";
    EXPECT_EQ(canvas.text_at(50, 410), "rpm: 3000  ");
    EXPECT_EQ(canvas.text_at(50, 429), "map:   60  ");
}

TEST_F(KnockMapTest, LiveCellIsGreenInTheMapShownAndAmberInTheOther)
{
    auto live_fill = [&](int left, int top) -> std::optional<Rgb> {
        for (const auto& s : canvas.shapes())
            if (s.kind == 'f' && s.a == left && s.b == top && s.c == left + 29 && s.d == top + 15)
                return s.colour;
        return std::nullopt;
    };
    start_at(0);
    knock_map_update(frame(0), 0);   // 3000 rpm at 60 kPa: row 13, column 5; boost row 9
    paint_knock_display();
    EXPECT_EQ(live_fill(193 + 32 * 5, 121 + 13 * 13), LIVE_GREEN);
    auto texts = canvas.texts();
    EXPECT_EQ(texts.back().x, 193 + 32 * 5 + 3);
    EXPECT_EQ(texts.back().y, 121 + 13 * 13 - 1);
    EXPECT_EQ(texts.back().s, "  . ");

    canvas.clear();
    g_knock.map_choice = KNOCK_BOOST;
    paint_knock_display();
    EXPECT_EQ(live_fill(207 + 32 * 1, 121 + 13 * 9), LIVE_AMBER) << "filed in Standard, Boost shown";

    g_display.map_bar = 2;
    FrameRecord f = frame(0);
    f.b[F_MAP_COUNT] = 184;
    f.b[F_BOOST_COUNT] = 1;
    knock_map_update(f, 0);
    canvas.clear();
    paint_knock_display();
    EXPECT_EQ(live_fill(207 + 32 * 6, 121 + 13 * 9), LIVE_GREEN);

    g_display.engine_running = 0;
    canvas.clear();
    paint_knock_display();
    for (const auto& s : canvas.shapes())
        EXPECT_NE(s.kind, 'f') << "no live cell while the engine is not running";
}

TEST_F(KnockMapTest, MapIsRepaintedOnlyWhileShownAtTheRefreshRate)
{
    g_settings.frame_skip_code = 3;
    start_at(0);
    canvas.clear();
    for (int i = 0; i < 8; ++i)
        knock_map_update(frame(0), 0);
    EXPECT_TRUE(canvas.texts().empty()) << "not shown: nothing drawn";
    for (int i = 0; i < 8; ++i)
        knock_map_update(frame(0), 1);
    int titles = 0;
    for (const auto& t : canvas.texts())
        titles += t.x == 270 && t.y == 50;
    EXPECT_EQ(titles, 2) << "every fourth frame";
}

TEST_F(KnockMapTest, ButtonsChooseTheTableAndTheMapAndClearEverything)
{
    RecordingControls rec;
    attach_controls(&rec);
    g_knock.table_choice = KNOCK_TOTAL;
    create_knock_display();
    std::vector<int> ids = rec.ids();
    ASSERT_EQ(ids.size(), 8u);
    EXPECT_TRUE(rec.get(KNOCK_RADIO_TOTAL).checked) << "the current table's radio";

    rec.click(KNOCK_RADIO_PEAK);
    EXPECT_EQ(static_cast<int>(g_knock.table_choice), KNOCK_PEAK);
    rec.click(KNOCK_TAB_BOOST);
    EXPECT_EQ(static_cast<int>(g_knock.map_choice), KNOCK_BOOST);
    EXPECT_EQ(ui.repaints, 2);

    start_at(0);
    knock_map_update(frame(630, 50), 0);
    ASSERT_EQ(g_knock.total, 10);
    rec.focus(KNOCK_CLEAR);
    rec.click(KNOCK_CLEAR);
    EXPECT_EQ(g_knock.total, 0);
    EXPECT_EQ(static_cast<int>(g_published_knock_count), 0);
    EXPECT_EQ(std_cell(KNOCK_COUNTS), 0u);
    EXPECT_EQ(g_knock.standard[KNOCK_AVERAGE][0][12], 100u) << "the axes stay";
    EXPECT_EQ(g_knock.standard[KNOCK_AVERAGE][21][0], 6375u);
    EXPECT_EQ(rec.focused(), 0) << "the focus back to the main window";
    EXPECT_EQ(ui.repaints, 3);

    destroy_knock_display();
    EXPECT_TRUE(rec.ids().empty());
}

}  // namespace
