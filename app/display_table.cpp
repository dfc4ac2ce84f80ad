#include "app/display_table.h"

#include "analysis/viewer.h"
#include "app/flash_page.h"
#include "app/qmile_graph_window.h"
#include "displays/diagnostics.h"
#include "displays/gauges.h"
#include "displays/knock_map.h"
#include "displays/trip.h"
#include "flash/flash_window.h"
#include "stream/display_thread.h"
#include "velearn/ve_display.h"

namespace {

// The gauge face, then everything that moves on it.
void paint_gauges()
{
    gauge_paint();
    gauge_redraw_dynamic();
}

// The tab outline first, then the map.
void paint_knock_page()
{
    paint_knock_tabs();
    paint_knock_display();
}

// The Analysis page with its graph window beside it.
void create_analysis()
{
    attach_qmile_graph_window();
    create_analysis_display();
}

void destroy_analysis()
{
    destroy_analysis_display();
    detach_qmile_graph_window();
}

constexpr DisplayInput DISPLAY_INPUTS[] = {
    {DISPLAY_ANALYSIS, analysis_scroll, analysis_mouse_down, analysis_mouse_up, analysis_double_click},
};

}  // namespace

const std::array<DisplayEntry, DISPLAY_COUNT> DISPLAYS = {{
    {DISPLAY_TRIP, CMD_TRIP, CMD_QUICK_TRIP, '2', "Trip Distance and Fuel Information", 232, true, true,
     create_trip_display, destroy_trip_display, paint_trip_page},
    {DISPLAY_GAUGES, CMD_GLANZO, CMD_QUICK_GZD, '1', "Corvathis J8 Glanzo Display", 209, true, true, nullptr, nullptr,
     paint_gauges},
    {DISPLAY_VE_LEARN, CMD_VE_LEARN, CMD_QUICK_VE, '3', "Volumetric Efficiency Learn", 268, true, true, create_ve_display,
     destroy_ve_display, paint_ve_page},
    {DISPLAY_KNOCK, CMD_SPK_KNOCK, CMD_QUICK_SPK, '4', "Areas of Spark Knock", 298, true, true, create_knock_display,
     destroy_knock_display, paint_knock_page},
    {DISPLAY_ANALYSIS, CMD_ANALYSIS, 0, 0, "Data Analysis", 320, false, false, create_analysis, destroy_analysis,
     paint_analysis_display},
    {DISPLAY_FLASH, CMD_FLASH, 0, 0, "ZOV J8 Flash Program", 288, false, false, open_flash_page, close_flash_window,
     paint_flash_window},
    {DISPLAY_DIAGNOSTICS, CMD_DIAGNOSTIC, CMD_QUICK_DIAG, '5', "Sensor Diagnostics", 300, true, true, nullptr, nullptr,
     paint_diagnostics},
}};

const DisplayEntry* display_for_command(int command)
{
    for (const DisplayEntry& d : DISPLAYS)
        if (d.menu_command == command || (d.quick_command != 0 && d.quick_command == command))
            return &d;
    return nullptr;
}

const DisplayEntry* display_entry(int id)
{
    for (const DisplayEntry& d : DISPLAYS)
        if (d.id == id)
            return &d;
    return nullptr;
}

const DisplayInput* display_input(int id)
{
    for (const DisplayInput& d : DISPLAY_INPUTS)
        if (d.id == id)
            return &d;
    return nullptr;
}
