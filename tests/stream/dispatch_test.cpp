// The frame dispatch: what every good frame does, fed through the receive ring.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "config/settings.h"
#include "datalog/playback.h"
#include "ecm/protocol.h"
#include "link/link_thread.h"
#include "link/port.h"
#include "link/ring.h"
#include "stream/display_thread.h"
#include "stream/reader.h"
#include "support/live.h"
#include "support/scripted_ui.h"

namespace {

struct Call {
    FrameRoutine routine;
    int draw;
};
std::vector<Call> calls;
int trip_restarts = 0;

template <FrameRoutine R>
void record_call(const FrameRecord&, int draw)
{
    calls.push_back({R, draw});
}

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        calls.clear();
        trip_restarts = 0;
        g_frame_hooks.update[ROUTINE_GAUGE] = record_call<ROUTINE_GAUGE>;
        g_frame_hooks.update[ROUTINE_TRIP] = record_call<ROUTINE_TRIP>;
        g_frame_hooks.update[ROUTINE_VE_LEARN] = record_call<ROUTINE_VE_LEARN>;
        g_frame_hooks.update[ROUTINE_KNOCK_MAP] = record_call<ROUTINE_KNOCK_MAP>;
        g_frame_hooks.update[ROUTINE_DIAGNOSTICS] = record_call<ROUTINE_DIAGNOSTICS>;
        g_frame_hooks.trip_restart = [] { ++trip_restarts; };
    }
    void TearDown() override { reset_everything(); }

    // Feeds one frame through the ring and the dispatch.
    int feed(const FrameRecord& f)
    {
        for (uint8_t b : frame_bytes(f))
            ring_put(b);
        return decode_and_dispatch();
    }

    static FrameRecord engine_frame(bool running, int run_time, int retard = 0)
    {
        FrameRecord f = sample_frame(7);
        f.b[0] = 0;
        f.b[1] = running ? 0x80 : 0;
        f.b[F_RUN_TIME] = static_cast<uint8_t>(run_time >> 8);
        f.b[F_RUN_TIME + 1] = static_cast<uint8_t>(run_time);
        f.b[F_SPARK_RETARD] = static_cast<uint8_t>(retard);
        return f;
    }

    ScopedScriptedUi ui_;
};

TEST_F(Dispatch, CallsEveryRoutineWithOnlyTheActiveDisplayDrawing)
{
    const struct {
        int display;
        std::vector<FrameRoutine> order;
    } cases[] = {
        {DISPLAY_TRIP, {ROUTINE_TRIP, ROUTINE_GAUGE, ROUTINE_VE_LEARN, ROUTINE_KNOCK_MAP, ROUTINE_DIAGNOSTICS}},
        {DISPLAY_GAUGES, {ROUTINE_GAUGE, ROUTINE_TRIP, ROUTINE_VE_LEARN, ROUTINE_KNOCK_MAP, ROUTINE_DIAGNOSTICS}},
        {DISPLAY_VE_LEARN, {ROUTINE_VE_LEARN, ROUTINE_GAUGE, ROUTINE_TRIP, ROUTINE_KNOCK_MAP, ROUTINE_DIAGNOSTICS}},
        {DISPLAY_KNOCK, {ROUTINE_KNOCK_MAP, ROUTINE_GAUGE, ROUTINE_TRIP, ROUTINE_VE_LEARN, ROUTINE_DIAGNOSTICS}},
        {DISPLAY_DIAGNOSTICS, {ROUTINE_DIAGNOSTICS, ROUTINE_GAUGE, ROUTINE_TRIP, ROUTINE_VE_LEARN, ROUTINE_KNOCK_MAP}},
        {DISPLAY_ANALYSIS, {}},
        {DISPLAY_FLASH, {}},
    };
    for (const auto& c : cases) {
        calls.clear();
        g_display.active_display = c.display;
        ASSERT_EQ(feed(engine_frame(true, 100)), STREAM_OK);
        ASSERT_EQ(calls.size(), c.order.size()) << "display " << c.display;
        for (size_t i = 0; i < calls.size(); ++i) {
            EXPECT_EQ(calls[i].routine, c.order[i]) << "display " << c.display;
            EXPECT_EQ(calls[i].draw, i == 0 ? 1 : 0) << "display " << c.display;
        }
    }
}

TEST_F(Dispatch, TheEngineCountsAsRunningFromThe35thFrameWithTheRunningBit)
{
    for (int i = 1; i <= 34; ++i) {
        feed(engine_frame(true, 100));
        if (i == 10)
            feed(engine_frame(false, 100));   // neither counts nor resets while armed
        ASSERT_EQ(g_display.engine_running, 0) << "frame " << i;
    }
    EXPECT_EQ(g_display.engine_armed, 1);
    feed(engine_frame(true, 100));
    EXPECT_EQ(g_display.engine_running, 1);

    feed(engine_frame(true, 0));   // a run time of 0: the ECM restarted
    EXPECT_EQ(g_display.engine_running, 0);
    EXPECT_EQ(g_display.engine_armed, 0);
    EXPECT_EQ(trip_restarts, 1);
    feed(engine_frame(true, 0));
    EXPECT_EQ(trip_restarts, 1);
}

TEST_F(Dispatch, ALongRunTimeDoesNotArmTheDetection)
{
    feed(engine_frame(true, 16 * 3600));
    EXPECT_EQ(g_display.engine_armed, 0);
    feed(engine_frame(true, 16 * 3600 - 1));
    EXPECT_EQ(g_display.engine_armed, 1);
}

TEST_F(Dispatch, TheKnockAlertBeepsOnlyOnceTheEngineRunsAndWhenEnabled)
{
    g_settings.knockalert = 1;
    for (int i = 0; i < 35; ++i)
        feed(engine_frame(true, 100, 5));
    EXPECT_EQ(ui_.beeps, 1) << "only the 35th frame found the engine running";
    feed(engine_frame(true, 100, 5));
    EXPECT_EQ(ui_.beeps, 2);
    feed(engine_frame(true, 100, 0));
    EXPECT_EQ(ui_.beeps, 2);
    g_settings.knockalert = 0;
    feed(engine_frame(true, 100, 5));
    EXPECT_EQ(ui_.beeps, 2);
}

TEST_F(Dispatch, FramesAreIndexedWithinTheirSecondAndTheEcmStateIsKept)
{
    FrameRecord f = engine_frame(true, 3725);
    f.b[F_ECM_CONFIG] = 0x40 | 0x10 | 6;
    f.b[F_FIRMWARE] = 0x12;
    f.b[F_BANK] = 0x85;
    feed(f);
    feed(f);
    feed(f);
    EXPECT_EQ(g_display.frame_index, 2);
    EXPECT_EQ(g_display.run_hours, 1);
    EXPECT_EQ(g_display.run_minutes, 2);
    EXPECT_EQ(g_display.run_seconds, 5);
    EXPECT_EQ(g_display.map_bar, 3);
    EXPECT_EQ(g_display.cylinders, 6);
    EXPECT_EQ(g_display.injection_type, 1);
    EXPECT_EQ(g_display.firmware_minor, 2);
    EXPECT_EQ(g_display.sibling_firmware, 1);
    EXPECT_EQ(g_display.bank, 5);
    EXPECT_EQ(g_display.bank_valid, 1);
    feed(engine_frame(true, 3726));
    EXPECT_EQ(g_display.frame_index, 0);
}

TEST_F(Dispatch, WhileABackUpIsPendingOnlyTheActiveGaugesRedrawAndNothingIsCountedTwice)
{
    g_playback.playing = 1;
    g_playback.pending_backup = 1;
    g_playback.backup_target_seconds = 101;
    g_playback.backup_target_index = 1;
    for (int i = 0; i < 35; ++i)
        feed(engine_frame(true, 100));   // running, so the pending flag is not cleared by detection
    calls.clear();
    feed(engine_frame(true, 101));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].routine, ROUTINE_GAUGE);
    EXPECT_EQ(g_playback.progress_count, 0);
    EXPECT_EQ(g_playback.pending_backup, 1);
    feed(engine_frame(true, 101));   // index 1 of second 101: caught up
    EXPECT_EQ(g_playback.pending_backup, 0);
    calls.clear();
    feed(engine_frame(true, 101));
    EXPECT_EQ(calls.size(), 5u);
    EXPECT_EQ(g_playback.progress_count, 1);
}

TEST_F(Dispatch, TheDisplayThreadAsksForTheStreamAtOnceAndReadsNothingInFlashMode)
{
    g_port.link_running = 1;   // no link thread: the message stays in the slot to be looked at
    set_run_mode(RUN_FLASH);
    Bytes third = frame_bytes(engine_frame(true, 5));
    for (int i = 0; i < 2; ++i)
        for (uint8_t b : frame_bytes(engine_frame(true, 5)))
            ring_put(b);
    for (int i = 0; i < 100; ++i)
        ring_put(third[i]);
    start_display_thread();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(ring_count(), 2 * 277 + 100) << "no frame is read in flash mode";
    EXPECT_EQ(g_link.tx_len, 0) << "and no stream request is sent";
    set_run_mode(RUN_LIVE);
    ASSERT_TRUE(wait_until([] { return g_link.tx_len.load_acquire() == 5; }, 1));
    const uint8_t start[5] = {0x52, 0x58, 0x66, 0xBB, 0xD8};
    EXPECT_EQ(0, std::memcmp(g_link.tx_buf, start, 5));
    // Live frames are read as soon as a whole one waits; the start of the third waits for more.
    bool read = wait_until([] { return g_display.frames_dispatched == 2; }, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stop_display_thread();
    ASSERT_TRUE(read);
    EXPECT_EQ(ring_count(), 100);
}

TEST_F(Dispatch, ALogFlushIsAskedForOnceTheCounterPassesAMinute)
{
    g_link.logging_on = 1;
    g_display.one_second_counter = 59;
    start_display_thread();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(g_link.flush_request, 0);
    g_display.one_second_counter = 60;
    EXPECT_TRUE(wait_until([] { return g_link.flush_request == 1; }, 1));
    stop_display_thread();
}

}  // namespace
