// Playback driven pass by pass through the display thread's loop: pacing, pause, back-up and where
// it lands, the progress bar, the control bar, the end of the file and files that are no logs.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "config/config.h"
#include "config/settings.h"
#include "datalog/playback.h"
#include "displays/gauges.h"
#include "displays/status_panel.h"
#include "displays/trip.h"
#include "draw/controls.h"
#include "draw/recording_canvas.h"
#include "link/port.h"
#include "stream/display_thread.h"
#include "stream/reader.h"
#include "support/live.h"
#include "support/log_builder.h"
#include "support/param_name.h"
#include "support/scripted_ui.h"

namespace {

std::vector<int> paces;
std::vector<uint32_t> shown;     // frame numbers the gauge display was given
std::vector<uint32_t> counted;   // frame numbers the trip computer was given

void count_pace(int ms) { paces.push_back(ms); }
void record_shown(const FrameRecord& f, int) { shown.push_back(drive_frame_number(f)); }
void record_counted(const FrameRecord& f, int) { counted.push_back(drive_frame_number(f)); }

class Playback : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        set_config_path(temp_dir() + "/playback_test.cfg");
        attach_controls(&rec);
        paces.clear();
        shown.clear();
        counted.clear();
        g_display.pace_sleep = count_pace;
        g_frame_hooks.update[ROUTINE_GAUGE] = record_shown;
        g_frame_hooks.update[ROUTINE_TRIP] = record_counted;
        g_frame_hooks.trip_restart = trip_restart;
    }
    void TearDown() override
    {
        stop_playback();
        reset_everything();
    }

    // Starts playback of a drive of `frames` frames.
    void play_drive(int frames)
    {
        path = write_temp_file("drive.dat", drive_log(frames));
        ASSERT_EQ(start_playback_file(path), 0);
    }
    // Runs `n` passes of the display thread.
    static void passes(int n)
    {
        for (int i = 0; i < n; ++i)
            display_pass();
    }

    ScopedScriptedUi scripted;
    RecordingControls rec;
    std::string path;
};

TEST_F(Playback, EachFrameWaitsTheRatePlusSevenMillisecondsAndRateZeroDoesNotWait)
{
    play_drive(40);
    g_settings.pbspd = 50;
    passes(3);
    EXPECT_EQ(paces, (std::vector<int>{57, 57, 57}));
    EXPECT_EQ(shown, (std::vector<uint32_t>{0, 1, 2}));

    g_settings.pbspd = 0;
    passes(3);
    EXPECT_EQ(paces.size(), 3u) << "no wait at the trackbar's right end";
    EXPECT_EQ(shown.size(), 6u);

    // The trackbar is reversed: its right end is rate 0.
    rec.move(PLAYBACK_RATE, 70);
    EXPECT_EQ(g_settings.pbspd, 30);
}

TEST_F(Playback, BackUpStepsTwoSecondsOfStreamAndReplaysOnlyToTheGaugesUntilCaughtUp)
{
    play_drive(200);
    passes(100);   // frames 0..99 shown
    rec.click(PLAYBACK_BACKUP);
    EXPECT_EQ(shown.size(), 100u) << "nothing moves until the display thread's next pass";

    passes(1);     // seeks 2 x 17 frames back from after frame 99, shows 66, then 67
    ASSERT_GE(shown.size(), 102u);
    EXPECT_EQ(shown[100], 66u);
    EXPECT_EQ(shown[101], 67u);
    EXPECT_EQ(g_playback.pending_backup, 1);
    EXPECT_EQ(g_playback.backup_target_seconds, 100 + 99 / 17);
    EXPECT_EQ(g_playback.backup_target_index, 99 % 17);

    passes(40);
    // The replayed frames 66..99 reached the trip computer only once; counting resumes at 100.
    ASSERT_GT(counted.size(), 100u);
    for (size_t i = 0; i < counted.size(); ++i)
        ASSERT_EQ(counted[i], i) << "frame " << counted[i] << " counted twice or out of order";
    EXPECT_EQ(counted.back() + 1, shown.back() + 1);
    EXPECT_EQ(g_playback.pending_backup, 0);
}

TEST_F(Playback, ClicksAddUpBeforeOneSeekAndADoubleClickAddsSixMore)
{
    play_drive(400);
    passes(300);
    rec.click(PLAYBACK_BACKUP);
    rec.click(PLAYBACK_BACKUP);
    rec.click(PLAYBACK_BACKUP);
    passes(1);
    EXPECT_EQ(shown[300], 300u - 6 * 17) << "three clicks: six seconds in one seek";

    passes(150);   // caught up again
    size_t before = shown.size();
    uint32_t last = shown.back();
    rec.double_click(PLAYBACK_BACKUP);   // the click of its first press, then the double-click
    passes(1);
    EXPECT_EQ(shown[before], last + 1 - 8 * 17);
}

TEST_F(Playback, BackUpPastTheStartPlaysFromTheBeginning)
{
    play_drive(60);
    passes(10);
    playback_back_up(6);
    passes(1);
    EXPECT_EQ(shown[10], 0u);
}

TEST_F(Playback, PauseHoldsTheFrameAndABackUpWhilePausedShowsOneFrame)
{
    play_drive(200);
    passes(60);
    rec.click(PLAYBACK_PAUSE);
    EXPECT_TRUE(rec.checked(PLAYBACK_PAUSE));
    EXPECT_EQ(g_playback.paused, 1);
    passes(20);
    EXPECT_EQ(shown.size(), 60u);

    rec.click(PLAYBACK_BACKUP);
    passes(5);
    ASSERT_EQ(shown.size(), 61u);
    EXPECT_EQ(shown[60], 60u - 34);
    EXPECT_EQ(g_playback.paused, 1);

    rec.click(PLAYBACK_PAUSE);
    passes(1);
    EXPECT_EQ(shown.back(), 60u - 33);
}

TEST_F(Playback, ABackUpOnTheLastFrameOfASecondAimsAtTheFirstOfTheNext)
{
    play_drive(100);
    passes(17 * 3);   // the last frame shown has index 16
    ASSERT_EQ(g_display.frame_index, 16);
    playback_back_up(2);
    passes(1);
    EXPECT_EQ(g_playback.backup_target_seconds, 100 + 3);
    EXPECT_EQ(g_playback.backup_target_index, 0);
}

TEST_F(Playback, EveryBackUpWhilePausedIsDrawnWhateverTheFrameSkipCountSays)
{
    RecordingCanvas canvas;
    attach_canvas(&canvas);
    g_frame_hooks.update[ROUTINE_GAUGE] = gauge_update;
    g_settings.frame_skip_code = 3;   // four times a second: a redraw every fourth frame
    play_drive(300);
    passes(171);                      // frames 0..170 shown
    rec.click(PLAYBACK_PAUSE);
    // Each click steps back two seconds (34 frames) from after the frame shown and shows the one
    // frame there, whose run time (100 s + frame / 17) the status panel gives as the gauges redraw.
    for (int shown_frame : {137, 104, 71, 38}) {
        canvas.clear();
        rec.click(PLAYBACK_BACKUP);
        passes(3);
        EXPECT_EQ(canvas.text_at(140, 10), format_text("  00:01:%02d", 40 + shown_frame / 17))
            << "the back-up to frame " << shown_frame << " is on the screen";
    }
    attach_canvas(nullptr);
}

TEST_F(Playback, ABackUpIntoTheEngineOffStartOfALogCountsNoFrameTwice)
{
    // The engine is off for the log's first two seconds: the first replayed frame ends the
    // pending back-up, while the frames up to where it was pressed were all counted already.
    Bytes log = time_record(3, 7, 2013, 13, 5, 0);
    for (uint32_t n = 0; n < 300; ++n) {
        FrameRecord f = drive_frame(n);
        if (n < 34)
            f.b[1] = 0;
        append(log, frame_bytes(f));
    }
    path = write_temp_file("cold_start.dat", log);
    ASSERT_EQ(start_playback_file(path), 0);
    passes(150);   // frames 0..149
    playback_back_up(10);
    passes(200);   // from the start again: the first pass shows frames 0 and 1, then up to 200
    ASSERT_EQ(shown.back(), 200u);
    // The trip computer (and with it [TOTALVSS] and [TOTALPW]) had every frame once, in order.
    ASSERT_EQ(counted.size(), 201u);
    for (size_t i = 0; i < counted.size(); ++i)
        ASSERT_EQ(counted[i], i) << "frame " << counted[i] << " counted twice or out of order";
    EXPECT_EQ(rec.get(PLAYBACK_PROGRESS).steps, 201 / 17) << "the progress bar stepped once a second";
    EXPECT_EQ(g_playback.pending_backup, 0);

    // A second back-up that lands inside the running part behaves the same way.
    playback_back_up(4);
    passes(100);
    for (size_t i = 0; i < counted.size(); ++i)
        ASSERT_EQ(counted[i], i) << "frame " << counted[i] << " counted twice or out of order";
    EXPECT_EQ(counted.back(), shown.back());
}

TEST_F(Playback, OnceTheHoldIsAcknowledgedTheDisplayThreadTakesNoFrameUntilItIsLifted)
{
    hold_display();   // no display thread: nothing to wait for
    EXPECT_EQ(g_display.display_hold, 1);
    g_display.display_hold = 0;

    play_drive(20000);
    g_display.pace_sleep = [](int) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
    ASSERT_EQ(start_display_thread(), 0);
    ASSERT_TRUE(wait_until([] { return g_display.frames_dispatched > 50; }, 5));
    for (int round = 0; round < 5; ++round) {
        hold_display();
        int64_t held_at = g_display.frames_dispatched;
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_EQ(g_display.frames_dispatched, held_at) << "round " << round;
        g_display.display_hold = 0;
        EXPECT_TRUE(wait_until([&] { return g_display.frames_dispatched > held_at; }, 5)) << "round " << round;
    }
    stop_display_thread();
}

TEST_F(Playback, TheProgressBarStepsOncePerSecondOfStreamAndNotDuringAReplay)
{
    play_drive(200);
    long size = static_cast<long>(drive_log(200).size());
    EXPECT_EQ(rec.get(PLAYBACK_PROGRESS).max, static_cast<int>(size / 4709 + 5));
    passes(17 * 3 + 5);
    EXPECT_EQ(rec.get(PLAYBACK_PROGRESS).steps, 3);
    playback_back_up(2);
    passes(30);   // 34 frames replayed (one pass shows two), none counted
    EXPECT_EQ(rec.get(PLAYBACK_PROGRESS).steps, 3);
}

TEST_F(Playback, TheBarHasEveryControlOnTheGaugesAndOnlyPauseElsewhere)
{
    g_settings.pbspd = 35;
    play_drive(20);
    EXPECT_EQ(rec.ids(), (std::vector<int>{PLAYBACK_PROGRESS, PLAYBACK_PAUSE, PLAYBACK_BACKUP, PLAYBACK_RATE}));
    EXPECT_EQ(rec.value(PLAYBACK_RATE), 65);
    EXPECT_EQ(rec.focused(), PLAYBACK_RATE) << "the trackbar takes the focus last";

    destroy_playback_bar();
    g_display.active_display = DISPLAY_TRIP;
    create_playback_bar();
    EXPECT_EQ(rec.ids(), (std::vector<int>{PLAYBACK_PROGRESS, PLAYBACK_PAUSE}));
    g_display.active_display = DISPLAY_GAUGES;
    create_playback_bar();
    EXPECT_EQ(rec.ids(), (std::vector<int>{PLAYBACK_PROGRESS, PLAYBACK_PAUSE, PLAYBACK_BACKUP, PLAYBACK_RATE}));

    g_settings.pbspd = 80;
    playback_rate_changed();
    EXPECT_EQ(rec.value(PLAYBACK_RATE), 20);

    stop_playback();
    EXPECT_TRUE(rec.ids().empty()) << "stopping takes the bar and the progress bar down";
}

TEST_F(Playback, StartAndStopSwitchTheSourceThePortTheKeysAndRestartTheTrip)
{
    g_trip.frame_count = 50;
    g_trip.started = true;
    play_drive(20);
    EXPECT_EQ(get_run_mode(), RUN_PLAYBACK);
    EXPECT_EQ(g_port.requested, PORT_CLOSE);
    EXPECT_EQ(g_settings.play, path);
    EXPECT_EQ(g_settings.playname, "drive.dat");
    EXPECT_EQ(g_settings.playpath, temp_dir() + "/");
    EXPECT_NE(read_file(config_path()).find("[PLAYNAME] drive.dat"), std::string::npos);
    EXPECT_EQ(g_trip.frame_count, 0);
    EXPECT_FALSE(g_trip.started);

    passes(10);   // (at the file's end a pass would wait there until playback stops)
    EXPECT_EQ(start_playback_file(path), 1) << "a second start while playing does nothing";
    EXPECT_EQ(stop_playback(), 0);
    EXPECT_EQ(get_run_mode(), RUN_LIVE);
    EXPECT_EQ(g_playback.playing, 0);
    EXPECT_EQ(g_playback.file, nullptr);
    EXPECT_EQ(g_trip.frame_count, 0);
    EXPECT_EQ(g_port.requested, PORT_REOPEN) << "the closed port is opened again";
    EXPECT_EQ(stop_playback(), 1);
}

TEST_F(Playback, FilesThatCannotBePlayedGetTheMessageAndChangeNothing)
{
    std::string folder = temp_dir() + "/a_folder.dat";
    mkdir(folder.c_str(), 0755);
    for (const std::string& p : {folder, temp_dir() + "/no_such.dat"}) {
        scripted.shown.clear();
        EXPECT_EQ(start_playback_file(p), -1) << p;
        ASSERT_EQ(scripted.shown.size(), 1u);
        EXPECT_EQ(scripted.shown[0].text, "Can not open Playback Data File");
        EXPECT_EQ(scripted.shown[0].caption, "File Open Error");
        EXPECT_EQ(g_playback.playing, 0);
        EXPECT_EQ(get_run_mode(), RUN_LIVE);
    }
    rmdir(folder.c_str());
}

// Logs that are no logs play to their end on the display thread, which then waits there until
// playback is stopped; the status panel says EOF.
struct OddLog {
    const char* name;
    Bytes bytes;
    int good_frames;
};

class OddLogs : public Playback, public ::testing::WithParamInterface<OddLog> {};

TEST_P(OddLogs, PlayToTheEndWithoutHarmAndShowEof)
{
    RecordingCanvas canvas;
    attach_canvas(&canvas);
    path = write_temp_file("odd.dat", GetParam().bytes);
    ASSERT_EQ(start_playback_file(path), 0);
    g_settings.pbspd = 0;
    ASSERT_EQ(start_display_thread(), 0);
    unlink(path.c_str());   // the open file plays on
    EXPECT_TRUE(wait_until([] { return g_playback.end_of_file != 0; }, 10));
    playback_back_up(2);    // nothing to do at the end
    paint_status_panel();
    EXPECT_EQ(canvas.text_at(140, 160), " EOF   ");
    stop_playback();
    stop_display_thread();
    EXPECT_EQ(static_cast<int>(shown.size()), GetParam().good_frames);
    attach_canvas(nullptr);
}

Bytes random_bytes(size_t n)
{
    Bytes b(n);
    uint32_t x = 12345;
    for (auto& v : b) {
        x = x * 1103515245u + 12345u;
        v = static_cast<uint8_t>(x >> 16);
    }
    return b;
}

Bytes cut(Bytes b, size_t n)
{
    b.resize(n);
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Playback, OddLogs,
    ::testing::Values(OddLog{"an empty file", {}, 0}, OddLog{"only a recording header", time_record(3, 7, 2013, 1, 2, 3), 0},
                      OddLog{"random bytes", random_bytes(50000), 0},
                      OddLog{"a calibration image", Bytes(32768, 0xFF), 0},
                      OddLog{"cut inside the third frame", cut(drive_log(5), 27 + 2 * 277 + 100), 2},
                      OddLog{"cut inside a time record", [] {
                                 Bytes b = drive_log(3);
                                 append(b, cut(time_record(3, 7, 2013, 1, 2, 3), 12));
                                 return b;
                             }(),
                             3}),
    NameFromSentence());

}  // namespace
