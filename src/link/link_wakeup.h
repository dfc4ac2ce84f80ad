// The link thread's wake-up: the bottom of the link, so that the ring and the port can ask the
// thread to serve a request at once without knowing the thread itself.
#pragma once

#include "platform/wakeup.h"

// Signalled by every request to the link thread; the thread polls its fd together with the port.
extern Wakeup g_link_wakeup;

// Wakes the link thread at once to serve a request or the transmit slot.
void wake_link_thread();
