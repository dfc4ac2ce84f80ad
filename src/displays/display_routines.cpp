#include "displays/display_routines.h"

#include "analysis/viewer.h"
#include "displays/diagnostics.h"
#include "displays/gauges.h"
#include "displays/knock_map.h"
#include "displays/malfunction.h"
#include "displays/status_panel.h"
#include "displays/trip.h"
#include "draw/canvas.h"
#include "flash/bank_select.h"
#include "flash/flash_window.h"
#include "stream/display_thread.h"
#include "velearn/ve_display.h"
#include "velearn/ve_learn_state.h"

namespace {

// The display thread's redraw of the VE page: the status values, then the table.
void ve_display_frame_repaint()
{
    if (canvas() != nullptr)
        refresh_status_values();
    paint_ve_display();
}

}  // namespace

void install_display_routines()
{
    g_frame_hooks.update[ROUTINE_GAUGE] = gauge_update;
    g_frame_hooks.update[ROUTINE_TRIP] = [](const FrameRecord& f, int draw) { trip_update(f, draw); };
    g_frame_hooks.trip_restart = trip_restart;
    g_frame_hooks.advance_activity_wheel = advance_activity_wheel;
    g_frame_hooks.update[ROUTINE_VE_LEARN] = ve_learn_update;
    g_frame_hooks.autosave_ve_learn = autosave_ve_learn;
    g_frame_hooks.update[ROUTINE_KNOCK_MAP] = [](const FrameRecord& f, int draw) { knock_map_update(f, draw); };
    g_frame_hooks.update[ROUTINE_DIAGNOSTICS] = diagnostics_update;
    g_ve_learn.repaint_display = ve_display_frame_repaint;
}

void reset_display_routines()
{
    reset_gauges();
    reset_status_panel();
    reset_trip();
    reset_ve_learn_state();
    reset_knock_map();
    reset_diagnostics();
    reset_malfunction();
    reset_ve_display();
    reset_flash_window();
    reset_bank_select();
    reset_viewer();
}
