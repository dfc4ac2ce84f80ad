#include "displays/display_routines.h"

#include "displays/gauges.h"
#include "displays/status_panel.h"
#include "stream/display_thread.h"

void install_display_routines()
{
    g_frame_hooks.update[ROUTINE_GAUGE] = gauge_update;
    g_frame_hooks.advance_activity_wheel = advance_activity_wheel;
}

void reset_display_routines()
{
    reset_gauges();
    reset_status_panel();
}
