#include "app/display_table.h"

#include "analysis/viewer.h"
#include "app/flash_page.h"
#include "app/qmile_graph_window.h"
#include "datalog/playback.h"
#include "displays/diagnostics.h"
#include "displays/gauges.h"
#include "displays/knock_map.h"
#include "displays/trip.h"
#include "flash/flash_window.h"
#include "stream/display_thread.h"
#include "velearn/ve_display.h"

namespace {

// The gauge face, then everything that moves on it, then the playback bar's caption.
void paint_gauges()
{
    gauge_paint();
    gauge_redraw_dynamic();
    paint_playback_captions();
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
    {.id = DISPLAY_TRIP, .menu_command = CMD_TRIP, .quick_command = CMD_QUICK_TRIP, .key = '2',
     .title = "Trip Distance and Fuel Information", .title_x = 232, .status_panel = true,
     .create = create_trip_display, .destroy = destroy_trip_display, .paint = paint_trip_page},
    {.id = DISPLAY_GAUGES, .menu_command = CMD_GLANZO, .quick_command = CMD_QUICK_GZD, .key = '1',
     .title = "Corvathis J8 Glanzo Display", .title_x = 209, .status_panel = true, .keeps_playback_bar = true,
     .paint = paint_gauges},
    {.id = DISPLAY_VE_LEARN, .menu_command = CMD_VE_LEARN, .quick_command = CMD_QUICK_VE, .key = '3',
     .title = "Volumetric Efficiency Learn", .title_x = 268, .status_panel = true,
     .create = create_ve_display, .destroy = destroy_ve_display, .paint = paint_ve_page},
    {.id = DISPLAY_KNOCK, .menu_command = CMD_SPK_KNOCK, .quick_command = CMD_QUICK_SPK, .key = '4',
     .title = "Areas of Spark Knock", .title_x = 298, .status_panel = true,
     .create = create_knock_display, .destroy = destroy_knock_display, .paint = paint_knock_page},
    {.id = DISPLAY_ANALYSIS, .menu_command = CMD_ANALYSIS, .title = "Data Analysis", .title_x = 320, .page = true,
     .closes_link = true, .create = create_analysis, .destroy = destroy_analysis, .paint = paint_analysis_display},
    {.id = DISPLAY_FLASH, .menu_command = CMD_FLASH, .title = "ZOV J8 Flash Program", .title_x = 288, .page = true,
     .destroy_only_when_shown = true, .create = open_flash_page, .destroy = close_flash_window,
     .paint = paint_flash_window},
    {.id = DISPLAY_DIAGNOSTICS, .menu_command = CMD_DIAGNOSTIC, .quick_command = CMD_QUICK_DIAG, .key = '5',
     .title = "Sensor Diagnostics", .title_x = 300, .status_panel = true, .paint = paint_diagnostics},
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

const DisplayEntry* display_for_key(char key)
{
    for (const DisplayEntry& d : DISPLAYS)
        if (d.key != 0 && d.key == key)
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
