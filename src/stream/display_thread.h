// The display thread and the frame dispatch.
//
// Threading design:
// - The display thread reads frames (live from the receive ring, or from the playback file),
//   keeps the ECM streaming with a request once a second, asks for a log flush once a minute,
//   and hands every good frame to the per-frame routines of the displays and learners.
// - The window thread writes `display_hold`, `active_display`, the run mode and the playback
//   controls; its one-second timer raises `one_second_counter`. The display thread only reads them.
// - Everything the dispatch derives from a frame is written by the display thread and read by
//   the window thread (status panel) as single words.
#pragma once

#include <array>
#include <cstdint>

#include "platform/shared_word.h"
#include "stream/frame.h"

enum DisplayId : int32_t {
    DISPLAY_TRIP = 1,
    DISPLAY_GAUGES = 2,
    DISPLAY_VE_LEARN = 3,
    DISPLAY_KNOCK = 4,
    DISPLAY_ANALYSIS = 5,
    DISPLAY_FLASH = 6,
    DISPLAY_DIAGNOSTICS = 7,
};

// The per-frame routines that the dispatch calls for every frame, the active display's with
// draw = 1 and the others with 0.
enum FrameRoutine : int {
    ROUTINE_GAUGE,
    ROUTINE_TRIP,
    ROUTINE_VE_LEARN,
    ROUTINE_KNOCK_MAP,
    ROUTINE_DIAGNOSTICS,
    ROUTINE_COUNT
};

using FrameUpdate = void (*)(const FrameRecord& frame, int draw);
using FrameWatch = void (*)(const FrameRecord& frame);

// What the displays, learners and tool windows plug into the dispatch; an unset entry is skipped.
struct FrameHooks {
    Shared<FrameUpdate> update[ROUTINE_COUNT];
    Shared<void (*)()> advance_activity_wheel{nullptr};
    Shared<FrameWatch> malfunction_window_update{nullptr};   // set while the window is open
    Shared<void (*)(int bank)> bank_select_refill{nullptr};  // set while the window is open
    Shared<void (*)()> autosave_ve_learn{nullptr};
    Shared<void (*)()> trip_restart{nullptr};
};

extern FrameHooks g_frame_hooks;

// The order of the calls for each active display (1 to 7); displays 5 and 6 call none.
struct DispatchOrder {
    int count;
    std::array<FrameRoutine, ROUTINE_COUNT> routines;
};
extern const std::array<DispatchOrder, 8> DISPATCH_ORDER;

struct DisplayState {
    Shared<int32_t> display_hold{0};
    Shared<int32_t> hold_seen{0};        // the display thread has stopped at the hold (hold_display)
    Shared<int32_t> active_display{DISPLAY_GAUGES};
    Shared<int32_t> one_second_counter{0};

    // Derived from the last good frame.
    Shared<int32_t> run_hours{0}, run_minutes{0}, run_seconds{0};
    Shared<int32_t> frame_index{0};
    Shared<int32_t> prom_id{0};
    Shared<int32_t> engine_speed{0};
    Shared<int32_t> cylinders{0};
    Shared<int32_t> injection_type{0};   // 1 multi-port, 0 throttle body
    Shared<int32_t> map_bar{1};
    Shared<int32_t> firmware_minor{0};
    Shared<int32_t> sibling_firmware{0};
    Shared<int32_t> bank{0};
    Shared<int32_t> bank_valid{0};

    // Engine-running detection.
    Shared<int32_t> engine_armed{0};
    Shared<int32_t> engine_frame_count{0};
    Shared<int32_t> engine_running{0};

    Shared<int32_t> ve_save_time{0};     // one-second counter value of the next periodic VE save
    // Set while the frame a back-up shows is dispatched: the gauges draw it whatever their
    // frame-skip counter says (a replayed frame reaches only them and the diagnostics, which draw
    // every frame). Display thread.
    Shared<int32_t> draw_now{0};
    Shared<int32_t> last_bank_shown{-1}; // bank the bank select window last showed

    // The display thread's own bookkeeping.
    int32_t last_stream_request = -1;
    int32_t last_flush = -1;
    int32_t previous_seconds = -1;

    Shared<int32_t> stop{0};
    Shared<int64_t> frames_dispatched{0};
    // The wait between played-back frames; tests count them instead of sleeping.
    Shared<void (*)(int ms)> pace_sleep{nullptr};
};

extern DisplayState g_display;

// Reads one frame and, when it is good, runs the whole dispatch. Returns the reader's status.
int decode_and_dispatch();
// Clears the detection and the pending back-up (playback stop).
void reset_engine_detection();

// Sets the hold and returns once the display thread acknowledges it: the pass it was in has ended
// and it takes no frame until the hold is cleared (display_hold = 0). At once when the thread is
// not running. A pass that is itself waiting for the window thread (a message box it shows) cannot
// acknowledge; the wait gives up after HOLD_WAIT_MS rather than wait for itself.
void hold_display();
constexpr int HOLD_WAIT_MS = 500;

// One pass of the display thread's loop (tests drive it pass by pass).
void display_pass();
void display_thread_main();
int start_display_thread();   // 0, or -1 when the thread cannot be created
void stop_display_thread();

// Back to program-start state (tests).
void reset_display();

// Live decoding waits until more than this many bytes wait in the ring.
constexpr int LIVE_DECODE_THRESHOLD = 360;
