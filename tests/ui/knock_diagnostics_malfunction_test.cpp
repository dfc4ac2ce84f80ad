// The knock map, the diagnostics display and the malfunction codes window in the real window,
// offscreen: pixels where the pages put them, the buttons clicked as a user clicks them, the strip
// chart after it has moved on, and the tool window's open state through display switches.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <functional>
#include <memory>
#include <thread>

#include "app/main_window.h"
#include "app/malfunction_window.h"
#include "config/config.h"
#include "config/devices.h"
#include "config/settings.h"
#include "displays/diagnostics.h"
#include "displays/display_routines.h"
#include "displays/knock_map.h"
#include "displays/malfunction.h"
#include "stream/display_thread.h"
#include "support/live.h"
#include "support/scripted_ui.h"
#include "support/sim_process.h"
#include "ui/serve.h"

namespace {

const QColor BG(20, 20, 20);
const QColor WHITE(240, 240, 240);
const QColor RED(240, 10, 10);
const QColor LIVE_GREEN(33, 165, 33);
const QColor SET(255, 153, 0);

class PagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        set_config_path(temp_dir() + "/pages_test.cfg");
        std::remove(config_path().c_str());
    }
    void TearDown() override
    {
        attach_canvas(nullptr);
        reset_everything();
    }
    ScopedScriptedUi scripted;
};

FrameRecord knock_frame(int count, int retard)
{
    FrameRecord f{};
    f.b[F_KNOCK_COUNT] = static_cast<uint8_t>(count >> 8);
    f.b[F_KNOCK_COUNT + 1] = static_cast<uint8_t>(count);
    f.b[F_SPARK_RETARD] = static_cast<uint8_t>(retard);
    f.b[F_MAP_LOAD] = 128;   // 60 kPa: column 5
    return f;
}

TEST_F(PagesTest, KnockPageShowsTheLiveCellAndItsButtonsChooseWhatItShows)
{
    MainWindow w(false);
    w.show();
    w.command(CMD_SPK_KNOCK);
    ASSERT_EQ(static_cast<int>(g_display.active_display), DISPLAY_KNOCK);
    g_display.engine_speed = 3000;   // the 3200 row
    knock_map_update(knock_frame(0, 0), 0);
    g_display.engine_running = 1;
    knock_map_update(knock_frame(126, 100), 0);
    w.paint_window();
    QtCanvas& c = w.canvas();
    int left = 193 + 32 * 5, top = 121 + 13 * 13;
    EXPECT_EQ(c.pixel(left + 1, top + 1), LIVE_GREEN);
    EXPECT_EQ(c.pixel(left + 28, top + 14), LIVE_GREEN);
    EXPECT_EQ(c.pixel(left + 29, top + 1), BG) << "29 pixels wide";
    EXPECT_EQ(c.pixel(628, 200), WHITE) << "the map box's right side";
    EXPECT_EQ(c.pixel(300, 105), WHITE) << "the top edge under the Boost tab: Standard is chosen";

    auto* boost = qobject_cast<QPushButton*>(w.controls_host().widget(KNOCK_TAB_BOOST));
    ASSERT_NE(boost, nullptr);
    QTest::mouseClick(boost, Qt::LeftButton);
    EXPECT_EQ(static_cast<int>(g_knock.map_choice), KNOCK_BOOST);
    w.paint_window();
    EXPECT_EQ(c.pixel(300, 105), BG) << "open under the chosen Boost tab";
    EXPECT_EQ(c.pixel(207 + 32 * 1 + 1, 121 + 13 * 9 + 1), QColor(150, 106, 3)) << "filed in the other map";

    // The flat tab buttons cover the captions drawn under them, in the window's colours.
    QImage shown = w.grab().toImage();
    int menu = w.centralWidget()->y();
    EXPECT_EQ(shown.pixelColor(171, 83 + menu), BG);

    auto* counts = w.controls_host().widget(KNOCK_RADIO_COUNTS);
    QTest::mouseClick(counts, Qt::LeftButton, {}, QPoint(counts->width() - 8, counts->height() / 2));
    EXPECT_EQ(static_cast<int>(g_knock.table_choice), KNOCK_COUNTS);
    QTest::mouseClick(w.controls_host().widget(KNOCK_CLEAR), Qt::LeftButton);
    EXPECT_EQ(g_knock.total, 0);
    EXPECT_EQ(g_knock.standard[KNOCK_COUNTS][13][5], 0u);

    w.command(CMD_GLANZO);
    EXPECT_EQ(w.controls_host().widget(KNOCK_CLEAR), nullptr) << "the buttons go with the page";
}

TEST_F(PagesTest, StripChartTraceMovesLeftFourPixelsAStepAndTheGridStaysWhole)
{
    MainWindow w(false);
    w.show();
    w.command(CMD_DIAGNOSTIC);
    w.paint_window();
    QtCanvas& c = w.canvas();
    FrameRecord f{};
    f.b[F_O2] = 178;   // 786 mV: y 371
    diagnostics_update(f, 1);
    // The first piece climbs from the middle (y 425) to 371 between x 763 and 767.
    int red = 0;
    for (int y = 371; y <= 425; ++y)
        for (int x = 763; x <= 767; ++x)
            red += c.pixel(x, y) == RED;
    EXPECT_GE(red, 425 - 371) << "a steep piece: a pixel on every row";
    QImage before = c.snapshot().copy(763, 331, 5, 190);
    diagnostics_update(f, 1);
    EXPECT_EQ(c.snapshot().copy(759, 331, 5, 190), before) << "moved 4 pixels left as it was";
    for (int x = 764; x <= 766; ++x)
        EXPECT_EQ(c.pixel(x, 371), RED) << x << ": the new piece runs level";
    EXPECT_EQ(c.pixel(765, 425), BG);
    for (int step = 0; step < 10; ++step)
        diagnostics_update(f, 1);
    int grid_y = 330 + 19;   // the first grid line
    for (int x = 700; x < 771; ++x)
        ASSERT_EQ(c.pixel(x, grid_y), WHITE) << x;
    EXPECT_EQ(c.pixel(92 - 4, 400), WHITE) << "the frame is not moved";
    EXPECT_EQ(c.pixel(771, 400), WHITE);
}

TEST_F(PagesTest, MalfunctionWindowFillsBoxesAndIsRememberedOpenUntilTheUserClosesIt)
{
    MainWindow w(false);
    w.show();
    w.command(CMD_MALF_CODES);
    ASSERT_TRUE(malfunction_window_is_open());
    MalfunctionWindow* m = malfunction_window();
    EXPECT_EQ(m->windowTitle(), "Malfunction Codes");
    EXPECT_EQ(static_cast<int>(g_settings.actvmalf), 1);
    FrameWatch hook = g_frame_hooks.malfunction_window_update;
    ASSERT_NE(hook, nullptr);

    FrameRecord f{};
    f.b[18] = 0x80;    // "DRP    12", first group
    f.b[226] = 0x01;   // "OIL HI 62", third group
    hook(f);
    serve_for(0.05);
    EXPECT_EQ(m->canvas().pixel(81, 11), SET);
    EXPECT_EQ(m->canvas().pixel(101, 11), QColor(0, 0, 0));
    EXPECT_EQ(m->canvas().pixel(132, 333), SET);
    EXPECT_EQ(m->canvas().pixel(133, 333), QColor(100, 100, 100)) << "the frame just outside the box";
    QImage shown = m->grab().toImage();
    EXPECT_EQ(shown.pixelColor(81, 11), SET) << "the window shows its canvas";

    // A second choice of the menu item keeps the one window.
    w.command(CMD_MALF_CODES);
    EXPECT_EQ(malfunction_window(), m);

    // Keys typed in it go on to the main window.
    QTest::keyClick(m, Qt::Key_4);
    EXPECT_EQ(static_cast<int>(g_display.active_display), DISPLAY_KNOCK);

    // Analysis takes it down but it is still remembered; the next display brings it back.
    w.command(CMD_ANALYSIS);
    serve_for(0.05);
    EXPECT_FALSE(malfunction_window_is_open());
    EXPECT_EQ(g_frame_hooks.malfunction_window_update.operator FrameWatch(), nullptr);
    EXPECT_EQ(static_cast<int>(g_settings.actvmalf), 1);
    w.command(CMD_GLANZO);
    ASSERT_TRUE(malfunction_window_is_open());
    serve_for(0.05);
    EXPECT_EQ(malfunction_window()->canvas().pixel(81, 11), SET) << "the states outlive the window";

    QTest::keyClick(malfunction_window(), Qt::Key_Escape);
    serve_for(0.05);
    EXPECT_FALSE(malfunction_window_is_open());
    EXPECT_EQ(static_cast<int>(g_settings.actvmalf), 0) << "closed by the user";
    w.command(CMD_TRIP);
    EXPECT_FALSE(malfunction_window_is_open()) << "not brought back";
}

TEST_F(PagesTest, MalfunctionWindowRememberedOffEveryScreenComesUpOnOne)
{
    g_settings.actvmalf = 1;
    g_settings.xposmalf = 1280;
    g_settings.yposmalf = 1024;
    QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    {
        MainWindow w(false);
        w.show();
        w.switch_display(CMD_GLANZO);   // as at start-up: a window left open comes back
        ASSERT_TRUE(malfunction_window_is_open());
        MalfunctionWindow* m = malfunction_window();
        serve_for(0.05);
        EXPECT_TRUE(area.contains(m->frameGeometry().topLeft())) << m->x() << "," << m->y();
        EXPECT_LE(m->x() + MALF_WINDOW_W, area.right() + 1);
        m->move(area.left() + 10, area.top() + 20);
        serve_for(0.05);
    }
    EXPECT_EQ(static_cast<int>(g_settings.actvmalf), 1) << "left open at exit: opened again next time";
    EXPECT_EQ(static_cast<int>(g_settings.xposmalf), area.left() + 10);
    EXPECT_EQ(static_cast<int>(g_settings.yposmalf), area.top() + 20);
    EXPECT_EQ(g_malfunction.canvas, nullptr) << "frames no longer draw into a window that is gone";
}

// Live on ecm-sim: the display thread draws the knock map, the diagnostics and the malfunction
// boxes while the window thread switches displays and opens and closes the tool window.
TEST_F(PagesTest, LiveFramesDrawThePagesAndTheToolWindowWhileTheUserSwitches)
{
    SimProcess sim({"--map-sensor", "2"});
    g_settings.port = sim.device();
    g_settings.frame_skip_code = 0;
    build_device_catalogue();
    rebuild_channel_state();
    auto window = std::make_unique<MainWindow>(false);
    MainWindow& w = *window;
    w.show();
    install_display_routines();
    ASSERT_EQ(w.start(), 0);
    ASSERT_TRUE(serve_until([] { return g_display.frames_dispatched > 10; }, 10)) << "no frames from ecm-sim";
    for (int round = 0; round < 3; ++round) {
        w.command(CMD_SPK_KNOCK);
        w.command(CMD_MALF_CODES);
        serve_for(0.3);
        w.command(CMD_DIAGNOSTIC);
        serve_for(0.3);
        close_malfunction_window();
        serve_for(0.1);
    }
    w.command(CMD_MALF_CODES);
    int64_t seen = g_display.frames_dispatched;
    ASSERT_TRUE(serve_until([&] { return g_display.frames_dispatched > seen + 5; }, 5));
    {
        std::lock_guard<std::mutex> lock(g_malfunction.lock);
        for (int state : g_malfunction.state)
            EXPECT_NE(state, -1) << "every box has been filled from a frame";
    }
    EXPECT_EQ(static_cast<int>(g_display.map_bar), 2);
    w.close();
    window.reset();
    EXPECT_EQ(g_malfunction.canvas, nullptr) << "the tool window went with the main window";
    EXPECT_EQ(static_cast<int>(g_settings.actvmalf), 1) << "and opens again at the next start";
}

}  // namespace
