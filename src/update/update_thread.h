// The thread that runs an update for the updater's window, so that the window stays responsive.
//
// Threading: the window thread starts the thread, may ask it to stop and joins it. The update
// thread runs the sequence (messages through the link thread, lines into the flash message
// sink), shows the error box of a failed run through ui(), then clears g_update.running and
// calls g_update.on_finished. One update runs at a time: a start while one runs is refused.
#pragma once

// 0 when started; 1 when an update is already running (nothing is started); -1 when the thread
// cannot be created.
int start_update_thread();
// Waits for a started thread to end; returns at once when none was started.
void join_update_thread();
// Asks a running update to stop at its next safe point (see UpdateState in update.h).
void request_update_stop();
