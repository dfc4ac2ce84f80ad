#include "link/link_wakeup.h"

Wakeup g_link_wakeup;

void wake_link_thread() { g_link_wakeup.signal(); }
