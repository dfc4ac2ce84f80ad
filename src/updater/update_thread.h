// The thread that runs an update for the updater's window, so that the window stays responsive.
//
// Threading: the window thread starts the thread, may ask it to stop (g_update.stop_request) and
// joins it. The update thread runs the sequence (messages through the link thread, lines into
// the flash message sink), shows the error box of a failed run through ui(), then clears
// `running` and calls `on_finished`, which only hands work over to the window thread. One update
// runs at a time: a start while `running` is set is refused.
#pragma once

#include <cstdint>

#include "platform/shared_word.h"

struct UpdateThread {
    Shared<int32_t> running{0};
    Shared<void (*)(int rc)> on_finished{nullptr};   // rc: 0 after a successful update
};

extern UpdateThread g_update_thread;

// 0 when started; 1 when an update is already running (nothing is started); -1 when the thread
// cannot be created.
int start_update_thread();
// Waits for a started thread to end; returns at once when none was started.
void join_update_thread();
// Asks a running update to stop at its next safe point (see UpdateState).
void request_update_stop();
