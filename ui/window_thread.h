// Work handed to the window thread from the link and display threads.
//
// Work items go through a locked queue and the window thread is only nudged to drain it, so every
// hand-over is ordered by that lock (and visible as such to the race checker) rather than by the
// toolkit's own event queue.
#pragma once

#include <functional>

// Runs `work` on the window thread when its event loop next turns.
void post_to_window_thread(std::function<void()> work);
// Runs what is queued now (on the window thread), e.g. before the objects the work refers to go.
void run_posted_work();
// Runs `work` on the window thread and waits until it has run. `skip` (checked on the window
// thread, may be empty) lets the work be dropped, e.g. once the program is closing.
void call_on_window_thread(const std::function<void()>& work, const std::function<bool()>& skip = {});
