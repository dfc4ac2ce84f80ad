// The status panel and the gauge display drawn on a recording canvas: what is written where.
#include <gtest/gtest.h>

#include <algorithm>

#include "config/settings.h"
#include "datalog/datalog.h"
#include "datalog/playback.h"
#include "displays/display_routines.h"
#include "displays/gauges.h"
#include "displays/status_panel.h"
#include "draw/recording_canvas.h"
#include "stream/display_thread.h"
#include "support/live.h"
#include "support/param_name.h"
#include "support/scripted_ui.h"

namespace {

constexpr Rgb HIGHLIGHT{210, 63, 10};
constexpr Rgb GREEN{10, 160, 5};
constexpr Rgb LAMP_OFF{0, 0, 0};

class DisplaysTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        reset_display_routines();
        attach_canvas(&canvas);
    }
    void TearDown() override
    {
        attach_canvas(nullptr);
        reset_everything();
        reset_display_routines();
    }

    // A frame of zeros but for the bytes a test sets.
    static FrameRecord blank_frame() { return FrameRecord{}; }
    static void set_flag(FrameRecord& f, FlagId id) { f.b[FLAGS[id].offset] |= static_cast<uint8_t>(1 << FLAGS[id].bit); }

    int count_text(const std::string& s) const
    {
        auto t = canvas.texts();
        return static_cast<int>(std::count_if(t.begin(), t.end(), [&](const auto& x) { return x.s == s; }));
    }
    std::vector<RecordingCanvas::Shape> fills_at(int x, int y) const
    {
        std::vector<RecordingCanvas::Shape> out;
        for (const auto& s : canvas.shapes())
            if (s.kind == 'f' && s.a == x && s.b == y)
                out.push_back(s);
        return out;
    }

    RecordingCanvas canvas;
    ScopedScriptedUi ui;
};

TEST_F(DisplaysTest, StatusPanelWritesItsValuesRightAlignedBesideTheLabels)
{
    g_display.run_hours = 1;
    g_display.run_minutes = 2;
    g_display.run_seconds = 5;
    g_display.prom_id = 4242;
    g_display.injection_type = 0;
    g_display.cylinders = 6;
    g_display.map_bar = 2;
    g_display.bank_valid = 0;
    paint_status_panel();

    EXPECT_EQ(canvas.text_at(10, 10), "RunTime: ");
    EXPECT_EQ(canvas.text_at(140, 10), "  01:02:05");
    EXPECT_EQ(canvas.text_at(140, 48), "      4242");
    EXPECT_EQ(canvas.text_at(140, 66), "   TBI,  6");
    EXPECT_EQ(canvas.text_at(144, 84), "2-Bar ");
    EXPECT_EQ(canvas.text_at(140, 102), "      none") << "a non-flash ECM has no bank";
    EXPECT_EQ(canvas.text_at(10, 29), std::string(40, ' ')) << "no log and no playback: the file line is blank";
    EXPECT_EQ(canvas.text_at(140, 142), " OFF   ");
    EXPECT_EQ(canvas.text_at(140, 160), " OFF   ");
    EXPECT_EQ(canvas.text_at(140, 178), " OFF   ");
    EXPECT_EQ(canvas.text_at(10, 196), "") << "LearnFrom only while learning";

    g_display.bank_valid = 1;
    g_display.bank = 3;
    g_datalog.logging_on = 1;
    g_datalog.logging_paused = 1;
    refresh_status_values();
    EXPECT_EQ(canvas.text_at(140, 102), "         3");
    auto texts = canvas.texts();
    auto paused = std::find_if(texts.rbegin(), texts.rend(), [](const auto& t) { return t.y == 142; });
    ASSERT_NE(paused, texts.rend());
    EXPECT_EQ(paused->s, "  Pause");
    EXPECT_EQ(paused->fg, HIGHLIGHT);
}

// Names on the file line against a panel 134 pixels wide (this canvas: 8 pixels a character).
struct ShownName {
    const char* name;
    const char* shown;
};

class StatusPanelNames : public DisplaysTest, public ::testing::WithParamInterface<ShownName> {};

TEST_P(StatusPanelNames, KeepWithinThePanelWithTheirStartAndExtension)
{
    g_playback.playing = 1;
    g_settings.playname = GetParam().name;
    paint_status_panel();
    std::string line = canvas.text_at(10, 29);
    EXPECT_LE(canvas.text_width(line, Font::Default), 134);
    EXPECT_EQ(line.substr(0, line.find_last_not_of(' ') + 1), GetParam().shown);
    g_playback.playing = 0;
}

INSTANTIATE_TEST_SUITE_P(
    Status, StatusPanelNames,
    ::testing::Values(ShownName{"drive.dat", "drive.dat"}, ShownName{"0123456789abcdef", "0123456789abcdef"},
                      ShownName{"2026-12-08_drag_strip_run3.dat", "2026-12...n3.dat"},
                      ShownName{"a_name_without_an_extension_at_all", "a_name_withou..."},
                      ShownName{"run.extension_far_too_long_to_show", "run.e..._to_show"}),
    NameFromSentence());

TEST_F(DisplaysTest, WrongFirmwareIsToldOnceAndOnlyOnTheGaugeDisplay)
{
    g_display.engine_running = 1;
    g_display.sibling_firmware = 1;
    g_display.firmware_minor = 3;
    g_display.active_display = DISPLAY_TRIP;
    draw_firmware_line();
    EXPECT_TRUE(ui.shown.empty());

    g_display.active_display = DISPLAY_GAUGES;
    draw_firmware_line();
    draw_firmware_line();
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].caption, "Wrong GZD");
    EXPECT_EQ(ui.shown[0].text, "This is not the correct GZD for the ZOV VRT-5 system");
    EXPECT_EQ(canvas.text_at(280, 534), "ZOV VRT-5, ECM Firmware Version: 1.3");

    g_display.engine_running = 0;
    draw_firmware_line();
    EXPECT_EQ(canvas.text_at(280, 534), std::string(40, ' ')) << "no engine: the line is cleared";
}

TEST_F(DisplaysTest, GaugeReadoutsShowTheFrameInTheirFormats)
{
    g_settings.frame_skip_code = 0;
    FrameRecord f = blank_frame();
    f.b[F_SPEED] = 57;
    f.b[F_RPM_12_5] = 100;   // 1250 RPM
    f.b[F_INTEGRATOR] = 130;
    f.b[F_BLM] = 125;
    f.b[F_AFR] = 147;
    f.b[F_GEAR] = 12;        // a manual box shows at most 9
    gauge_update(f, 1);

    EXPECT_TRUE(canvas.has_text("  57   "));
    EXPECT_TRUE(canvas.has_text("  1250   "));
    EXPECT_EQ(canvas.text_at(770, 145), "  130");
    EXPECT_EQ(canvas.text_at(770, 175), "  125");
    EXPECT_EQ(canvas.text_at(770, 205), "  14.7");
    EXPECT_EQ(canvas.text_at(405, 145), "  9  ");

    g_settings.transtype = 1;
    set_flag(f, FLAG_PARK_NEUTRAL);
    gauge_update(f, 1);
    EXPECT_EQ(canvas.text_at(405, 145), " P/N ");

    canvas.clear();
    gauge_update(f, 0);
    EXPECT_TRUE(canvas.texts().empty()) << "another display is shown: values only";
}

TEST_F(DisplaysTest, DutyCycleBarCountsThrottleBodyInjectionsAsARealQuotient)
{
    g_settings.frame_skip_code = 0;
    FrameRecord f = blank_frame();
    f.b[F_SYNC_PW] = 328 >> 8;   // 5.0 ms
    f.b[F_SYNC_PW + 1] = 328 & 0xFF;
    f.b[F_REF_PERIOD] = 512 >> 8;
    f.b[F_REF_PERIOD + 1] = 512 & 0xFF;
    f.b[F_ECM_CONFIG] = 6;       // throttle body, 6 cylinders, 2560 rpm: 1.5 injections a turn
    gauge_update(f, 1);
    EXPECT_EQ(canvas.text_at(656, 299), "  32 ");
    f.b[F_ECM_CONFIG] = 5;       // 5 cylinders at 1572 rpm: 1.25 injections a turn
    f.b[F_REF_PERIOD] = 1000 >> 8;
    f.b[F_REF_PERIOD + 1] = 1000 & 0xFF;
    gauge_update(f, 1);
    EXPECT_EQ(canvas.text_at(656, 299), "  16 ");
}

TEST_F(DisplaysTest, DynamicRedrawRunsOnEveryFrameOrEveryFourth)
{
    FrameRecord f = blank_frame();
    f.b[F_RPM_12_5] = 100;
    for (int code : {0, 3}) {
        canvas.clear();
        g_settings.frame_skip_code = code;
        g_gauges.frame_count = 0;
        for (int i = 0; i < 8; ++i)
            gauge_update(f, 1);
        EXPECT_EQ(count_text("  1250   "), code == 0 ? 8 : 2) << "frame-skip code " << code;
    }
}

TEST_F(DisplaysTest, TemperatureScaleDrawsEitherTheCelsiusOrTheFahrenheitBars)
{
    g_settings.temperscale = 1;
    gauge_paint();
    EXPECT_TRUE(canvas.has_text(" 120")) << "CTS in Celsius tops at 120";
    EXPECT_TRUE(canvas.has_text(" 125")) << "oil in Celsius: 0..150 in steps of 25";
    EXPECT_FALSE(canvas.has_text(" 245"));
    EXPECT_FALSE(canvas.has_text(" 305"));
    EXPECT_EQ(count_text("CTS"), 1);

    canvas.clear();
    g_settings.temperscale = 0;
    gauge_paint();
    EXPECT_TRUE(canvas.has_text(" 245"));
    EXPECT_TRUE(canvas.has_text(" 305"));
    EXPECT_FALSE(canvas.has_text(" 120"));
    EXPECT_FALSE(canvas.has_text(" 125"));
    EXPECT_EQ(count_text("CTS"), 1);
    EXPECT_EQ(count_text("  IAT"), 1);
}

TEST_F(DisplaysTest, BoostBarFollowsTheMapSensorAndRepaintsWhenItsScaleChanges)
{
    g_settings.frame_skip_code = 0;
    FrameRecord f = blank_frame();
    f.b[F_BOOST_COUNT] = 100;
    gauge_update(f, 1);
    EXPECT_EQ(static_cast<double>(g_gauges.bar_value[17]), 0.0) << "a 1-bar sensor reads no boost";
    EXPECT_EQ(ui.repaints, 0);

    set_flag(f, FLAG_MAP_2_BAR);
    gauge_update(f, 1);
    EXPECT_NEAR(g_gauges.bar_value[17], 100 * 0.625 * 0.145037738, 1e-9);
    EXPECT_EQ(ui.repaints, 0) << "a 2-bar sensor keeps the 0..15 scale";

    f = blank_frame();
    f.b[F_BOOST_COUNT] = 100;
    set_flag(f, FLAG_MAP_3_BAR);
    gauge_update(f, 1);
    EXPECT_EQ(static_cast<double>(g_gauges.boost_max), 30.0);
    EXPECT_EQ(ui.repaints, 1);
    canvas.clear();
    gauge_paint();
    EXPECT_TRUE(canvas.has_text(" 30"));
    EXPECT_TRUE(canvas.has_text(" 20"));
}

TEST_F(DisplaysTest, LampsAreFilledOnlyWhenTheirStateChanges)
{
    g_settings.frame_skip_code = 0;
    FrameRecord f = blank_frame();
    gauge_update(f, 1);
    auto fuel_cut = fills_at(600, 40);
    ASSERT_EQ(fuel_cut.size(), 1u);
    EXPECT_EQ(fuel_cut[0].colour, GREEN) << "FuelCut is lit while its bit is clear";
    ASSERT_EQ(fills_at(220, 40).size(), 1u);
    EXPECT_EQ(fills_at(220, 40)[0].colour, LAMP_OFF);

    gauge_update(f, 1);
    EXPECT_EQ(fills_at(600, 40).size(), 1u) << "unchanged: not filled again";

    f.b[6] = 0x80;
    f.b[1] = 0x80;
    gauge_update(f, 1);
    EXPECT_EQ(fills_at(600, 40).back().colour, LAMP_OFF);
    EXPECT_EQ(fills_at(220, 40).back().colour, GREEN);

    gauge_paint();
    gauge_update(f, 1);
    EXPECT_EQ(fills_at(600, 40).size(), 3u) << "a full paint fills every lamp again";
}

TEST_F(DisplaysTest, SpeedBeyondTheDialPinsTheNeedleButShowsTheTrueNumber)
{
    g_settings.frame_skip_code = 0;
    g_settings.mphrange = 120;
    FrameRecord f = blank_frame();
    f.b[F_SPEED] = 150;
    gauge_update(f, 1);
    int x, y;
    needle_tip(SPEEDO_X, DIAL_Y, 120, 120, x, y);
    EXPECT_EQ(static_cast<int>(g_gauges.speed_tip_x), x);
    EXPECT_EQ(static_cast<int>(g_gauges.speed_tip_y), y);
    EXPECT_EQ(x, 324) << "full scale is at the lower right";
    EXPECT_EQ(y, 254);
    EXPECT_TRUE(canvas.has_text(" 150   "));
}

}  // namespace
