#include "stream/display_thread.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>

#include "config/devices.h"
#include "config/settings.h"
#include "ecm/protocol.h"
#include "link/link_thread.h"
#include "link/ring.h"
#include "platform/sleep.h"
#include "platform/ui_services.h"
#include "stream/playback_source.h"
#include "stream/reader.h"

FrameHooks g_frame_hooks;
DisplayState g_display;

const std::array<DispatchOrder, 8> DISPATCH_ORDER = {{
    {0, {}},
    {5, {ROUTINE_TRIP, ROUTINE_GAUGE, ROUTINE_VE_LEARN, ROUTINE_KNOCK_MAP, ROUTINE_DIAGNOSTICS}},
    {5, {ROUTINE_GAUGE, ROUTINE_TRIP, ROUTINE_VE_LEARN, ROUTINE_KNOCK_MAP, ROUTINE_DIAGNOSTICS}},
    {5, {ROUTINE_VE_LEARN, ROUTINE_GAUGE, ROUTINE_TRIP, ROUTINE_KNOCK_MAP, ROUTINE_DIAGNOSTICS}},
    {5, {ROUTINE_KNOCK_MAP, ROUTINE_GAUGE, ROUTINE_TRIP, ROUTINE_VE_LEARN, ROUTINE_DIAGNOSTICS}},
    {0, {}},   // analysis
    {0, {}},   // flash
    {5, {ROUTINE_DIAGNOSTICS, ROUTINE_GAUGE, ROUTINE_TRIP, ROUTINE_VE_LEARN, ROUTINE_KNOCK_MAP}},
}};

namespace {

std::thread display_thread;

// The hold's acknowledgement: the display thread sets hold_seen under this lock and notifies.
std::mutex hold_lock;
std::condition_variable hold_acknowledged;

constexpr int ENGINE_RUNNING_FRAMES = 34;   // further frames with the running bit after arming
constexpr int ARM_HOURS_BELOW = 16;
// Live, the thread waits for bytes instead of polling the ring every millisecond; it still looks
// at the one-second counter and the run mode at least this often.
constexpr int LIVE_IDLE_WAIT_MS = 20;

void call_update(FrameRoutine r, const FrameRecord& f, int draw)
{
    if (FrameUpdate u = g_frame_hooks.update[r])
        u(f, draw);
}

void track_engine(const FrameRecord& f, int run_time, int hours)
{
    bool running_bit = flag(f, FLAG_RUNNING);
    if (g_display.engine_running == 0 && running_bit) {
        if (g_display.engine_armed != 0) {
            g_display.engine_frame_count = g_display.engine_frame_count + 1;
            if (g_display.engine_frame_count >= ENGINE_RUNNING_FRAMES)
                g_display.engine_running = 1;
        } else if (hours < ARM_HOURS_BELOW) {
            g_display.engine_armed = 1;
        }
        return;
    }
    if (g_display.engine_running == 0) {
        g_playback.pending_backup = 0;
        return;
    }
    if (!running_bit || flag(f, FLAG_ENGINE_STOP) || run_time == 0) {
        g_display.engine_armed = 0;
        g_display.engine_frame_count = 0;
        g_display.engine_running = 0;
        if (void (*restart)() = g_frame_hooks.trip_restart)
            restart();
    }
}

// Whether the frame just read from the playback file was read once before: a replay after a
// back-up, counted when it was first read. A frame further on than any before ends a pending
// back-up, as the replay has then caught up. Live frames are never replays.
bool replayed_frame()
{
    FILE* file = g_stream.playback.file;
    if (g_stream.run_mode != RUN_PLAYBACK || file == nullptr)
        return false;
    int64_t end = ftello(file);
    if (end <= g_playback.read_up_to)
        return true;
    g_playback.read_up_to = end;
    g_playback.pending_backup = 0;
    return false;
}

void dispatch(const FrameRecord& f)
{
    int r = run_time_seconds(f);
    RunTime t = split_run_time(r);
    track_engine(f, r, t.hours);

    g_display.frame_index = t.seconds != g_display.previous_seconds ? 0 : g_display.frame_index + 1;
    g_display.previous_seconds = t.seconds;
    g_display.run_hours = t.hours;
    g_display.run_minutes = t.minutes;
    g_display.run_seconds = t.seconds;

    g_display.prom_id = f.u16(F_PROM_ID);
    g_display.engine_speed = engine_rpm(f);
    g_display.cylinders = cylinder_count(f);
    g_display.injection_type = multi_port_injection(f) ? 1 : 0;
    g_display.map_bar = map_sensor_bar(f);
    g_display.firmware_minor = f.u8(F_FIRMWARE) & 0x0F;
    g_display.sibling_firmware = flag(f, FLAG_SIBLING_FIRMWARE) ? 1 : 0;
    g_display.bank_valid = flag(f, FLAG_BANK_VALID) ? 1 : 0;
    g_display.bank = f.u8(F_BANK) & 0x07;

    convert_channels(adc_counts(f), 0);

    if (f.u8(F_SPARK_RETARD) != 0 && g_display.engine_running != 0 && g_settings.knockalert == 1)
        ui().beep();

    if (void (*wheel)() = g_frame_hooks.advance_activity_wheel)
        wheel();

    int active = g_display.active_display;
    // Nothing is counted twice however the pending back-up ends: an engine that is off ends it
    // while the replay may still be short of where the back-up was pressed.
    bool replayed = replayed_frame();
    if (g_playback.pending_backup == 0 && !replayed) {
        if (g_playback.playing != 0) {
            g_playback.progress_count = g_playback.progress_count + 1;
            if (g_playback.progress_count >= 17) {
                if (void (*step)() = g_playback.on_progress_step)
                    step();
                g_playback.progress_count = 0;
            }
        }
        if (active >= 1 && active <= 7) {
            const DispatchOrder& order = DISPATCH_ORDER[active];
            for (int i = 0; i < order.count; ++i)
                call_update(order.routines[i], f, i == 0 ? 1 : 0);
        }
    } else {
        // Replaying what was already shown: only redraw, count nothing twice.
        if (r >= g_playback.backup_target_seconds && g_display.frame_index >= g_playback.backup_target_index)
            g_playback.pending_backup = 0;
        if (active == DISPLAY_GAUGES)
            call_update(ROUTINE_GAUGE, f, 1);
        else if (active == DISPLAY_DIAGNOSTICS)
            call_update(ROUTINE_DIAGNOSTICS, f, 1);
    }

    if (FrameWatch malf = g_frame_hooks.malfunction_window_update)
        malf(f);
    if (void (*refill)(int) = g_frame_hooks.bank_select_refill) {
        int32_t bank = g_display.bank;
        if (bank != g_display.last_bank_shown) {
            refill(bank);
            g_display.last_bank_shown = bank;
        }
    }
    g_display.frames_dispatched = g_display.frames_dispatched + 1;
}

// Aims a back-up at the frame shown last (the first of the next second after a second's last
// frame), unless one is under way, and steps the file back.
void back_up(int seconds)
{
    if (g_playback.pending_backup == 0) {
        int32_t target = g_display.run_hours * 3600 + g_display.run_minutes * 60 + g_display.run_seconds;
        int32_t index = g_display.frame_index;
        if (index >= FRAMES_PER_SECOND - 1) {
            ++target;
            index = 0;
        }
        g_playback.backup_target_seconds = target;
        g_playback.backup_target_index = index;
        g_playback.pending_backup = 1;
    }
    FILE* f = g_stream.playback.file;
    if (f == nullptr)
        return;
    long n = static_cast<long>(seconds) * STREAM_SECOND_BYTES;
    if (std::ftell(f) - n < 0)
        std::fseek(f, 0, SEEK_SET);
    else
        std::fseek(f, -n, SEEK_CUR);
}

// The wait after a played-back frame. Frames are paced against a running deadline rather than by
// a plain sleep each, so that the time the frame took and a late wake-up do not add up: a frame
// takes its [PBSPD] + 7 ms however busy the machine is. After a pause or a stall the deadline
// starts afresh instead of rushing to catch up.
void pace(int ms)
{
    if (void (*sleep)(int) = g_display.pace_sleep) {
        sleep(ms);
        return;
    }
    static std::chrono::steady_clock::time_point due;   // the display thread's own
    auto now = std::chrono::steady_clock::now();
    auto period = std::chrono::milliseconds(ms);
    if (due + period < now)
        due = now;
    due += period;
    std::this_thread::sleep_until(due);
}

void playback_pass()
{
    {
        // Stopping playback takes this lock before the file goes; the sleeps are outside it.
        std::lock_guard<std::mutex> lock(g_playback.file_lock);
        if (g_stream.run_mode != RUN_PLAYBACK || g_stream.playback.file == nullptr)
            return;
        // Back-up and pause do nothing once the file has ended: the reader waits there.
        if (int16_t backup = g_playback.backup_seconds.exchange(0); backup != 0 && g_playback.end_of_file == 0) {
            back_up(backup);
            // The one frame at the new place is drawn even when the frame-skip count would pass
            // it over: while paused it is all the user gets to see of the back-up.
            g_display.draw_now = 1;
            decode_and_dispatch();
            g_display.draw_now = 0;
        }
        if (g_playback.paused == 0)
            decode_and_dispatch();
    }
    if (g_playback.paused != 0)
        sleep_ms(1);
    else if (int32_t delay = g_settings.pbspd; delay > 0)
        pace(delay + 7);
}

void live_pass()
{
    int32_t now = g_display.one_second_counter;
    if (now > g_display.last_stream_request) {
        ecm_command(ECM_STREAM, STREAM_START);
        g_display.last_stream_request = now;
    }
    if (now > g_display.last_flush + 60 && g_link.logging_on != 0 && g_link.logging_paused == 0) {
        request_log_flush();
        g_display.last_flush = now;
    }
    // A frame is decoded as soon as all of it waits at the head of the ring, so that what the
    // displays show is not a frame period behind; otherwise once more than the threshold waits.
    int32_t waiting = ring_count();
    bool whole_frame = waiting >= FRAME_BYTES && ring_peek() == SYNC_1;
    if (waiting > LIVE_DECODE_THRESHOLD || whole_frame)
        decode_and_dispatch();
    else
        ring_wait(waiting >= FRAME_BYTES ? LIVE_DECODE_THRESHOLD : FRAME_BYTES - 1, LIVE_IDLE_WAIT_MS);
}

}  // namespace

int decode_and_dispatch()
{
    if (g_settings.autovsave == 1 && g_display.one_second_counter >= g_display.ve_save_time) {
        g_display.ve_save_time = g_display.one_second_counter + g_settings.autovtime * 60;
        if (void (*save)() = g_frame_hooks.autosave_ve_learn)
            save();
    }
    static FrameRecord frame;   // the display thread's own; no allocation per frame
    RecordText time, marker;
    int status = read_frame(frame, time, marker);
    if (status == STREAM_OK)
        dispatch(frame);
    return status;
}

void reset_engine_detection()
{
    g_display.engine_armed = 0;
    g_display.engine_frame_count = 0;
    g_display.engine_running = 0;
    g_playback.pending_backup = 0;
}

void display_pass()
{
    if (g_display.display_hold.load_acquire() != 0) {
        if (g_display.hold_seen == 0) {
            {
                std::lock_guard<std::mutex> lock(hold_lock);
                g_display.hold_seen = 1;
            }
            hold_acknowledged.notify_all();
        }
        sleep_ms(1);
        return;
    }
    switch (g_stream.run_mode) {
    case RUN_ANALYSIS:
    case RUN_FLASH:
        sleep_ms(60);
        break;
    case RUN_PLAYBACK:
        playback_pass();
        break;
    default:
        live_pass();
        break;
    }
}

void hold_display()
{
    {
        std::lock_guard<std::mutex> lock(hold_lock);
        g_display.hold_seen = 0;
    }
    g_display.display_hold.store_release(1);
    if (!display_thread.joinable())
        return;
    std::unique_lock<std::mutex> lock(hold_lock);
    hold_acknowledged.wait_for(lock, std::chrono::milliseconds(HOLD_WAIT_MS), [] { return g_display.hold_seen != 0; });
}

void display_thread_main()
{
    while (g_display.stop == 0)
        display_pass();
}

int start_display_thread()
{
    g_display.stop = 0;
    // A thread that cannot be created is reported, not thrown through the caller.
    try {
        display_thread = std::thread(display_thread_main);
    } catch (const std::system_error&) {
        return -1;
    }
    return 0;
}

void stop_display_thread()
{
    g_display.stop = 1;
    g_stream.stop_waiting = 1;
    if (display_thread.joinable())
        display_thread.join();
    g_stream.stop_waiting = 0;
}

void reset_display()
{
    g_display.display_hold = 0;
    g_display.hold_seen = 0;
    g_display.active_display = DISPLAY_GAUGES;
    g_display.one_second_counter = 0;
    reset_engine_detection();
    g_display.run_hours = 0;
    g_display.run_minutes = 0;
    g_display.run_seconds = 0;
    g_display.prom_id = 0;
    g_display.engine_speed = 0;
    g_display.cylinders = 0;
    g_display.injection_type = 0;
    g_display.map_bar = 1;
    g_display.firmware_minor = 0;
    g_display.sibling_firmware = 0;
    g_display.bank = 0;
    g_display.bank_valid = 0;
    g_display.frame_index = 0;
    g_display.last_stream_request = -1;
    g_display.last_flush = -1;
    g_display.previous_seconds = -1;
    g_display.ve_save_time = 0;
    g_display.draw_now = 0;
    g_display.last_bank_shown = -1;
    g_display.stop = 0;
    g_display.frames_dispatched = 0;
    g_display.pace_sleep = nullptr;
    for (auto& u : g_frame_hooks.update)
        u = nullptr;
    g_frame_hooks.advance_activity_wheel = nullptr;
    g_frame_hooks.malfunction_window_update = nullptr;
    g_frame_hooks.bank_select_refill = nullptr;
    g_frame_hooks.autosave_ve_learn = nullptr;
    g_frame_hooks.trip_restart = nullptr;
}
