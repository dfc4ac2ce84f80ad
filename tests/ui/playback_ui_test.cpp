// Playback and the trip display in the window, offscreen: the realised control bar clicked and
// typed at, the keys its controls hand on, the block digits' pixels, and a whole playback of a
// simulated drive whose trip read-outs match glanzo-cli trip.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QProgressBar>
#include <QSlider>
#include <QTest>

#include <chrono>
#include <regex>
#include <thread>

#include "app/main_window.h"
#include "config/config.h"
#include "config/settings.h"
#include "datalog/datalog.h"
#include "datalog/playback.h"
#include "displays/display_routines.h"
#include "displays/trip.h"
#include "link/link_thread.h"
#include "stream/display_thread.h"
#include "support/block_glyphs.h"
#include "support/live.h"
#include "support/log_builder.h"
#include "support/scripted_ui.h"
#include "support/sim_process.h"
#include "ui/serve.h"

namespace {

class PlaybackWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        set_config_path(temp_dir() + "/playback_ui.cfg");
        std::remove(config_path().c_str());
    }
    void TearDown() override
    {
        attach_canvas(nullptr);
        reset_everything();
    }
};

TEST_F(PlaybackWindow, TheBarIsClickedAndTypedAtAndFollowsTheDisplays)
{
    ScopedScriptedUi scripted;
    g_settings.pbspd = 50;
    MainWindow w(false);
    w.show();
    w.play(write_temp_file("bar.dat", drive_log(200)));
    ASSERT_EQ(g_playback.playing, 1);
    EXPECT_FALSE(w.action(CMD_PLAYBACK)->isEnabled());
    EXPECT_FALSE(w.action(CMD_DATALOG)->isEnabled());
    EXPECT_TRUE(w.action(CMD_STOP_PLAYBACK)->isEnabled());

    QtControls& host = w.controls_host();
    auto* pause = qobject_cast<QAbstractButton*>(host.widget(PLAYBACK_PAUSE));
    auto* backup = qobject_cast<QAbstractButton*>(host.widget(PLAYBACK_BACKUP));
    auto* rate = qobject_cast<QSlider*>(host.widget(PLAYBACK_RATE));
    auto* progress = qobject_cast<QProgressBar*>(host.widget(PLAYBACK_PROGRESS));
    ASSERT_TRUE(pause && backup && rate && progress);
    EXPECT_EQ(pause->geometry(), QRect(710, 43, 70, 20));
    EXPECT_EQ(backup->geometry(), QRect(710, 71, 70, 20));
    EXPECT_EQ(rate->geometry(), QRect(635, 99, 150, 22));
    EXPECT_EQ(progress->geometry(), QRect(612, 17, 173, 9));
    EXPECT_EQ(progress->maximum(), static_cast<int>(drive_log(200).size() / 4709 + 5));
    EXPECT_EQ(rate->value(), 50);

    QTest::mouseClick(pause, Qt::LeftButton);
    EXPECT_EQ(g_playback.paused, 1);
    EXPECT_TRUE(pause->isChecked()) << "the button stays down";
    QTest::mouseClick(pause, Qt::LeftButton);
    EXPECT_EQ(g_playback.paused, 0);

    QTest::mouseClick(backup, Qt::LeftButton);
    EXPECT_EQ(g_playback.backup_seconds, 2);
    // A double-click as the window system delivers it: press, release, double-click, release.
    QPoint centre = backup->rect().center();
    QTest::mouseClick(backup, Qt::LeftButton, {}, centre);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, centre, backup->mapToGlobal(centre), Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(backup, &dbl);
    QTest::mouseRelease(backup, Qt::LeftButton, {}, centre);
    EXPECT_EQ(g_playback.backup_seconds, 2 + 2 + 6) << "a double-click: its first click, then six more";

    rate->setFocus();
    QTest::keyClick(rate, Qt::Key_Right);
    EXPECT_EQ(rate->value(), 51);
    EXPECT_EQ(g_settings.pbspd, 49) << "the trackbar is reversed";

    // The controls hand the display keys on to the window.
    QTest::keyClick(pause, Qt::Key_2);
    serve_until([] { return g_display.active_display == DISPLAY_TRIP; }, 2);
    EXPECT_EQ(g_display.active_display, DISPLAY_TRIP);
    EXPECT_NE(host.widget(PLAYBACK_PAUSE), nullptr);
    EXPECT_EQ(host.widget(PLAYBACK_BACKUP), nullptr) << "only Pause away from the gauges";
    EXPECT_EQ(host.widget(PLAYBACK_RATE), nullptr);
    ASSERT_NE(host.widget(TRIP_CLEAR), nullptr);
    EXPECT_EQ(host.widget(TRIP_CLEAR)->geometry(), QRect(705, 74, 80, 30));
    QTest::keyClick(host.widget(TRIP_CLEAR), Qt::Key_1);
    serve_until([] { return g_display.active_display == DISPLAY_GAUGES; }, 2);
    EXPECT_NE(host.widget(PLAYBACK_RATE), nullptr) << "back on the gauges the bar is whole again";
    EXPECT_EQ(host.widget(TRIP_CLEAR), nullptr);

    w.command(CMD_STOP_PLAYBACK);
    EXPECT_EQ(g_playback.playing, 0);
    EXPECT_EQ(host.widget(PLAYBACK_PAUSE), nullptr);
    EXPECT_EQ(host.widget(PLAYBACK_PROGRESS), nullptr);
    EXPECT_TRUE(w.action(CMD_PLAYBACK)->isEnabled());
    EXPECT_FALSE(w.action(CMD_STOP_PLAYBACK)->isEnabled());
}

TEST_F(PlaybackWindow, AKeyAControlHandsOnReachesTheWindowOnce)
{
    ScopedScriptedUi scripted;
    MainWindow w(false);
    w.show();
    w.play(write_temp_file("keys.dat", drive_log(20)));
    ASSERT_EQ(start_logging(temp_dir() + "/keys_log.dat"), 0);
    int handed_on = 0;
    w.controls_host().set_key_target([&](char c) { handed_on += c == '\t'; });
    QWidget* pause = w.controls_host().widget(PLAYBACK_PAUSE);
    pause->setFocus();
    QTest::keyClick(pause, Qt::Key_Tab);
    serve_until([&] { return handed_on > 0; }, 1);
    EXPECT_EQ(handed_on, 1);
    EXPECT_EQ(g_link.marker_request, 0) << "the key did not also travel up to the window by itself";
    stop_logging();
}

// The trip page's big digits, read back from pixels: each 8 x 12 cell is a full, upper-half,
// lower-half or blank block.
std::string big_readout(const QImage& shot, int top, const std::vector<int>& columns, int y)
{
    std::string text;
    for (int x : columns) {
        std::string rows;
        for (int r = 0; r < 7; ++r) {
            for (int c = 0; c < 7; ++c) {
                auto lit = [&](int dy) { return shot.pixelColor(x + 8 * c + 4, top + y + 12 * r + dy).red() > 200; };
                bool upper = lit(3), lower = lit(9);
                rows += upper && lower ? '#' : upper ? '^' : lower ? '_' : '.';
            }
            rows += '|';
        }
        text += glyph_named(rows, true);
    }
    return text;
}

TEST_F(PlaybackWindow, BlockDigitsLightTheirCellsAtTheirPlaces)
{
    QtCanvas canvas;
    attach_canvas(&canvas);
    g_settings.bfrvssppm = 4000;
    g_settings.bfrflwcnst = 30;
    g_settings.totalvss = 1234.5 * 4000;
    paint_trip_page();
    QImage shot = canvas.snapshot();
    EXPECT_EQ(big_readout(shot, 0, {440, 520, 600, 680}, 302), "1234") << "whole miles above 999.9";
    // The "1"'s top row lights cells 2 to 4 only; the cell under it in the next glyph row is dark.
    EXPECT_EQ(canvas.pixel(440 + 2 * 8 + 4, 302 + 3), QColor(240, 240, 240));
    EXPECT_EQ(canvas.pixel(440 + 1 * 8 + 4, 302 + 3), QColor(20, 20, 20));
}

int json_field(const std::string& json, const std::string& name)
{
    std::smatch m;
    if (!std::regex_search(json, m, std::regex("\"" + name + "\":([0-9]+)")))
        return -1;
    return std::stoi(m[1]);
}

// A minute of ecm-sim's drive played back on the trip display at full speed: when it has ended,
// the read-outs on the screen are the figures glanzo-cli trip prints for the same log.
TEST_F(PlaybackWindow, AWholePlaybackShowsWhatGlanzoCliTripComputes)
{
    std::string log = temp_dir() + "/trip_e2e.dat";
    ASSERT_EQ(run_command(std::string(GLANZO_ECM_SIM) + " --write-log " + log + " --seconds 75"), 0);
    CliRun cli = run_cli("trip " + log);
    ASSERT_EQ(cli.exit_code, 0) << cli.err;

    ScopedScriptedUi scripted;
    g_settings.pbspd = 0;
    g_settings.frame_skip_code = 0;   // every frame redraws
    MainWindow w(false);
    w.show();
    install_display_routines();
    ASSERT_EQ(w.start(), 0);
    w.command(CMD_TRIP);
    w.play(log);
    ASSERT_TRUE(serve_until([] { return g_playback.end_of_file != 0; }, 60));
    serve_until([] { return false; }, 0.3);
    QImage shot = w.grab().toImage().convertToFormat(QImage::Format_RGB32);
    shot.save(QString::fromStdString(temp_dir() + "/trip_e2e.png"));
    int top = w.centralWidget()->y();

    auto number = [](const std::string& s) {
        std::string digits;
        for (char c : s)
            if (c != ' ')
                digits += c;
        return digits.empty() || digits.find('?') != std::string::npos ? -1 : std::stoi(digits);
    };
    EXPECT_EQ(number(big_readout(shot, top, {187, 267}, 122)), json_field(cli.out, "instant")) << cli.out;
    EXPECT_EQ(number(big_readout(shot, top, {460, 540, 640}, 122)), json_field(cli.out, "average")) << cli.out;
    EXPECT_EQ(number(big_readout(shot, top, {26, 106, 186, 266}, 302)), json_field(cli.out, "rpm")) << cli.out;
    EXPECT_EQ(number(big_readout(shot, top, {440, 520, 600, 700}, 302)), json_field(cli.out, "distance")) << cli.out;
    w.close();
}

}  // namespace
