// The tick counter that every reply time-out is measured in: raised by one every 100 ms by a
// thread of its own while the Flash window is open (or for the whole run of the updater).
#pragma once

#include <cstdint>

#include "platform/shared_word.h"

extern Shared<int32_t> g_ticks;

// Sets the counter to 0 and starts raising it; stop ends the thread. Both are idempotent.
void start_tick_timer();
void stop_tick_timer();
