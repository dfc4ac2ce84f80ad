// The trip computer: the figures, the counters and their wrap, the start-up refill, the totals kept
// across runs, the block-digit read-outs read back off the canvas, "Clear Data", and glanzo-cli
// trip over a recorded drive.
#include <gtest/gtest.h>

#include <string>

#include "config/config.h"
#include "config/devices.h"
#include "config/settings.h"
#include "displays/trip.h"
#include "draw/controls.h"
#include "draw/recording_canvas.h"
#include "stream/display_thread.h"
#include "support/block_glyphs.h"
#include "support/live.h"
#include "support/log_builder.h"
#include "support/scripted_ui.h"
#include "support/sim_process.h"

namespace {

class Trip : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        g_display.engine_running = 1;
        g_display.map_bar = 1;
        g_display.injection_type = 1;   // as drive_frame's ECM configuration says
        g_display.cylinders = 8;
    }
    void TearDown() override
    {
        attach_canvas(nullptr);
        reset_everything();
    }

    static void set_totals(double p, double f, double vss, double pw)
    {
        g_settings.bfrvssppm = static_cast<int32_t>(p);
        g_settings.bfrflwcnst = static_cast<int32_t>(f);
        g_settings.totalvss = vss;
        g_settings.totalpw = pw;
    }
    static FrameRecord counters(int vss, int fuel)
    {
        FrameRecord f = drive_frame(0);
        f.b[F_VSS_COUNTER] = static_cast<uint8_t>(vss);
        f.b[F_FUEL_COUNTER] = static_cast<uint8_t>(fuel);
        return f;
    }
};

TEST_F(Trip, FiguresForKnownTotalsInMilesAndInKilometres)
{
    // The window's counters never move: coasting on a fuel cut.
    set_totals(4000, 30, 40000, 96000);
    trip_compute();
    EXPECT_EQ(g_trip.figures.instant, 99u);
    EXPECT_EQ(g_trip.figures.average, 128u) << "12.8 MPG";
    EXPECT_EQ(g_trip.figures.distance, 100u) << "10.0 miles";
    EXPECT_EQ(g_trip.figures.fuel, 78u) << "0.78 gallons";

    g_settings.kphormph = 1;
    trip_compute();
    EXPECT_EQ(g_trip.figures.instant, 42u);
    EXPECT_EQ(g_trip.figures.average, 54u);
    EXPECT_EQ(g_trip.figures.distance, 160u);
    EXPECT_EQ(g_trip.figures.fuel, 295u);
}

TEST_F(Trip, WithoutTheSpeedOrFlowConstantNothingDividesByZeroAndEconomyReadsZero)
{
    g_trip.window.vss.back() = 100;   // the window has seen pulses and fuel
    g_trip.window.fuel.back() = 50;
    for (auto [p, f] : {std::pair{0, 30}, std::pair{4000, 0}, std::pair{0, 0}}) {
        set_totals(p, f, 40000, 96000);
        trip_compute();
        EXPECT_EQ(g_trip.figures.instant, 0u) << p << " " << f;
        EXPECT_EQ(g_trip.figures.average, 0u) << p << " " << f;
        EXPECT_EQ(g_trip.figures.distance, p == 0 ? 0u : 100u);
        EXPECT_EQ(g_trip.figures.fuel, f == 0 ? 0u : 78u);
    }
    // Totals that a damaged configuration might hold stay figures, never wrap.
    set_totals(1, 30, 1e300, -5);
    trip_compute();
    EXPECT_EQ(g_trip.figures.distance, UINT32_MAX);
    EXPECT_EQ(g_trip.figures.fuel, 0u);
}

TEST_F(Trip, TheFirstFiveFramesAreIgnoredAndTotalsStartOnceTheWindowIsFilled)
{
    for (int n = 1; n <= 5; ++n)
        trip_update(counters(2 * n, n), 0);
    EXPECT_EQ(g_trip.window.vss.back(), 0u) << "nothing taken yet";
    EXPECT_EQ(g_settings.bfrvssppm, 0);

    for (int n = 6; n <= 74; ++n)
        trip_update(counters(2 * n, n), 0);
    EXPECT_EQ(g_trip.window.vss.back(), 148u);
    EXPECT_EQ(g_settings.bfrvssppm, 4004);
    EXPECT_EQ(g_settings.bfrflwcnst, 30);
    EXPECT_EQ(static_cast<double>(g_settings.totalvss), 0.0) << "still filling the window";

    trip_update(counters(150, 75), 0);
    EXPECT_TRUE(g_trip.started);
    EXPECT_EQ(static_cast<double>(g_settings.totalvss), 2.0);
    EXPECT_EQ(static_cast<double>(g_settings.totalpw), 1.0);

    // Nothing adds up while the engine is not running; after a restart the refill comes again.
    g_display.engine_running = 0;
    trip_update(counters(152, 76), 0);
    EXPECT_EQ(static_cast<double>(g_settings.totalvss), 2.0);
    g_display.engine_running = 1;
    trip_restart();
    for (int n = 1; n <= 74; ++n)
        trip_update(counters(152 + 2 * n, 76 + n), 0);
    EXPECT_EQ(static_cast<double>(g_settings.totalvss), 2.0);
}

TEST_F(Trip, ACounterThatWrapsAddsWhatItMovedOn)
{
    for (int n = 0; n < 75; ++n)
        trip_update(counters(250, 10), 0);
    trip_update(counters(4, 10), 0);
    EXPECT_EQ(static_cast<double>(g_settings.totalvss), 10.0) << "256 - 250 + 4";
}

TEST_F(Trip, TheFlowConstantUsesTheCylinderCountAsARealNumber)
{
    g_display.injection_type = 1;
    g_display.cylinders = 5;
    FrameRecord f = drive_frame(0);
    f.b[F_INJ_FLOW] = 1416 >> 8;
    f.b[F_INJ_FLOW + 1] = 1416 & 0xFF;
    for (int n = 0; n < 6; ++n)
        trip_update(f, 0);
    EXPECT_EQ(g_settings.bfrflwcnst, 18) << "1416 / 188.798976 x 5 / 2 = 18.75";
    g_display.injection_type = 0;
    trip_update(f, 0);
    EXPECT_EQ(g_settings.bfrflwcnst, 7) << "throttle body: 1416 / 188.798976";
}

TEST_F(Trip, TotalsAreKeptAcrossARunOnlyWithSaveTrip)
{
    set_config_path(temp_dir() + "/trip_test.cfg");
    for (int save : {1, 0}) {
        reset_settings();
        g_settings.savetrip = save;
        set_totals(4004, 30, 12345, 678);
        ASSERT_EQ(save_config(), 0);
        reset_settings();
        ASSERT_EQ(load_config(), 0);
        EXPECT_EQ(static_cast<double>(g_settings.totalvss), save ? 12345.0 : 0.0);
        EXPECT_EQ(static_cast<double>(g_settings.totalpw), save ? 678.0 : 0.0);
        EXPECT_EQ(g_settings.bfrvssppm, 4004);
    }
}

// ---- The page, read back off the canvas -------------------------------------------------------

// The glyph drawn at (x, y) in OEM text rows, named as block_glyphs.h names it.
char glyph_at(const RecordingCanvas& c, int x, int y, bool big)
{
    std::string rows;
    for (int r = 0; r < (big ? 7 : 4); ++r) {
        for (char ch : c.text_at(x, y + 12 * r))
            rows += ch == '\xDB' ? '#' : ch == '\xDF' ? '^' : ch == '\xDC' ? '_' : ch == ' ' ? '.' : '?';
        rows += '|';
    }
    return glyph_named(rows, big);
}

class TripPage : public Trip {
protected:
    void SetUp() override
    {
        Trip::SetUp();
        attach_canvas(&canvas);
        g_settings.frame_skip_code = 0;
    }
    // The distance read-out as it stands on the canvas, e.g. " 99.9" or "1000".
    std::string distance() const
    {
        std::string s;
        for (int x : {440, 520, 600})
            s += glyph_at(canvas, x, 302, true);
        if (glyph_at(canvas, 660, 302, true) == '.')
            s += '.';
        s += glyph_at(canvas, g_trip.distance_point ? 700 : 680, 302, true);
        return s;
    }
    std::string fuel() const
    {
        std::string s;
        for (int x : {480, 520, 560, 600, 616, 656})
            s += glyph_at(canvas, x, 432, false);
        return s;
    }
    RecordingCanvas canvas;
};

TEST_F(TripPage, DistanceShowsTenthsUpTo999Point9AndWholeUnitsFrom1000)
{
    set_totals(4000, 30, 999.9 * 4000, 0);
    paint_trip_page();
    EXPECT_EQ(distance(), "999.9");
    EXPECT_EQ(glyph_at(canvas, 187, 122, true), '9') << "coasting: 99 MPG";
    EXPECT_EQ(glyph_at(canvas, 460, 122, true), ' ') << "the average's hundreds are blank";
    EXPECT_EQ(glyph_at(canvas, 540, 122, true), '0');

    set_totals(4000, 30, 1000.0 * 4000, 0);
    trip_compute();
    canvas.clear();
    paint_trip_page();
    EXPECT_EQ(distance(), "1000") << "no point, the last digit at 680";

    // Falling back below: the point returns on the next redraw.
    set_totals(4000, 30, 12.3 * 4000, 0);
    for (int n = 0; n < 80; ++n)
        trip_update(drive_frame(0), 1);
    EXPECT_EQ(distance(), " 12.3");
}

TEST_F(TripPage, AFigureTooLargeForItsPlacesShowsNineInEveryPlace)
{
    // 12345 miles at 150 MPG: neither fits its read-out.
    double miles = 12345, gallons = miles / 150;
    set_totals(4000, 30, miles * 4000, gallons / (0.00390630961 * 30 / 14400));
    paint_trip_page();
    EXPECT_EQ(distance(), "9999");
    std::string average;
    for (int x : {460, 540, 600, 640})
        average += glyph_at(canvas, x, 122, true);
    EXPECT_EQ(average, "99.9");
    EXPECT_EQ(fuel(), " 82.30") << "a figure that fits is left as it is";

    // Back within range, every place shows its own digit again.
    set_totals(4000, 30, 9876.0 * 4000, 9876.0 / 54.3 / (0.00390630961 * 30 / 14400));
    trip_compute();
    canvas.clear();
    paint_trip_page();
    EXPECT_EQ(distance(), "9876");
    average.clear();
    for (int x : {460, 540, 600, 640})
        average += glyph_at(canvas, x, 122, true);
    EXPECT_EQ(average, "54.3");
}

TEST_F(TripPage, LeadingZerosAreBlankAndOnlyChangedDigitsAreDrawnAgain)
{
    set_totals(4000, 30, 0, 0.05 / (0.00390630961 * 30 / 14400));
    paint_trip_page();
    EXPECT_EQ(fuel(), "  0.05");
    EXPECT_EQ(distance(), "  0.0");

    // A frame that changes only the engine speed redraws only the RPM's changed places.
    for (int n = 0; n < 75; ++n)
        trip_update(drive_frame(0), 0);
    g_display.engine_speed = 1975;
    trip_compute();
    canvas.clear();
    paint_trip_page();
    g_display.engine_speed = 1978;
    canvas.clear();
    trip_update(drive_frame(0), 1);
    int rpm_texts = 0, other_digit_texts = 0;
    for (const auto& t : canvas.texts()) {
        if (t.font != Font::Oem || t.y < 302 || t.y >= 302 + 84)
            continue;
        (t.x == 266 ? rpm_texts : other_digit_texts) += 1;
    }
    EXPECT_EQ(rpm_texts, 7) << "the units place's seven rows";
    EXPECT_EQ(other_digit_texts, 0);
}

TEST_F(TripPage, TheWidebandReadoutAppearsOnlyWithAPreferredChannel)
{
    set_totals(4000, 30, 0, 0);
    paint_trip_page();
    EXPECT_FALSE(canvas.has_text("WB AFR"));
    EXPECT_EQ(canvas.text_at(116, 432), "");

    g_settings.ad[0].type = DEVICE_WIDEBAND;
    g_settings.ad[0].insta = static_cast<int32_t>(WB_DEVICES[1].id);
    g_settings.ad[0].index = 1;
    g_settings.ad[0].wbpref = 1;
    build_device_catalogue();
    rebuild_channel_state();
    ASSERT_TRUE(have_preferred_wb());
    g_adc.current_wb_afr = 14.67;
    for (int n = 0; n < 76; ++n)
        trip_update(drive_frame(0), 1);
    canvas.clear();
    paint_trip_page();
    EXPECT_TRUE(canvas.has_text("WB AFR"));
    std::string afr;
    for (int x : {116, 156, 196, 212})
        afr += glyph_at(canvas, x, 432, false);
    EXPECT_EQ(afr, "14.6");
}

TEST_F(TripPage, TheBannerFollowsPowerEnrichmentAndLeanCruise)
{
    FrameRecord f = drive_frame(0);
    for (int n = 0; n < 6; ++n)
        trip_update(f, 0);
    EXPECT_EQ(trip_banner_state(), BANNER_NONE);
    f.b[3] = 0x04;
    trip_update(f, 0);
    EXPECT_EQ(trip_banner_state(), BANNER_LEAN_CRUISE);
    f.b[13] = 0x80;
    trip_update(f, 0);
    EXPECT_EQ(trip_banner_state(), BANNER_PE) << "PE wins over lean cruise";
    paint_trip_page();
    EXPECT_TRUE(canvas.has_text("PE MODE"));
}

TEST_F(TripPage, ClearDataEmptiesTheTotalsAndConstantsAndGivesTheFocusBack)
{
    ScopedScriptedUi ui;
    RecordingControls rec;
    attach_controls(&rec);
    create_trip_display();
    ASSERT_TRUE(rec.exists(TRIP_CLEAR));
    set_totals(4004, 30, 5000, 600);
    g_trip.window.vss.fill(7);
    rec.focus(TRIP_CLEAR);
    rec.click(TRIP_CLEAR);
    EXPECT_EQ(static_cast<double>(g_settings.totalvss), 0.0);
    EXPECT_EQ(static_cast<double>(g_settings.totalpw), 0.0);
    EXPECT_EQ(g_settings.bfrvssppm, 0);
    EXPECT_EQ(g_settings.bfrflwcnst, 0);
    EXPECT_EQ(g_trip.window.vss.back(), 0u);
    EXPECT_FALSE(g_trip.started);
    EXPECT_EQ(ui.repaints, 1);
    EXPECT_EQ(rec.focused(), 0);
    destroy_trip_display();
    EXPECT_FALSE(rec.exists(TRIP_CLEAR));
}

TEST(TripCli, ReplaysADriveAndPrintsTheFiguresAndTotals)
{
    // 200 frames of a running engine: the running flag holds from the 35th frame on and totals
    // from the 75th (frame 74): 126 frames of 2 pulses and 1 fuel count each.
    std::string log = write_temp_file("trip_drive.dat", drive_log(200));
    CliRun r = run_cli("trip " + log);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "{\"instant\":61,\"average\":614,\"distance\":1,\"fuel\":0,\"rpm\":" +
                         std::to_string(engine_rpm(drive_frame(0))) +
                         ",\"banner\":\"none\",\"total_vss\":252,\"total_pw\":126,\"pulses_per_mile\":4004,"
                         "\"flow_constant\":30}\n");

    EXPECT_NE(run_cli("trip").exit_code, 0);
    CliRun missing = run_cli("trip " + temp_dir() + "/no_such.dat");
    EXPECT_NE(missing.exit_code, 0);
    EXPECT_NE(missing.err.find("cannot open"), std::string::npos);
}

}  // namespace
