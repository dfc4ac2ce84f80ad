// The Analysis display (display 5): a data log read offline as a table, one row per good frame and
// 26 to a page, rows that came with a marker or time record highlighted. The user pages and
// scrolls with keys, wheel and scroll bar, jumps to the next marker, selects a row, graphs a run
// from the top row (analysis/qmile_graph.h, told through the viewer's listeners) and exports a log
// (analysis/export.h).
//
// The table is built once per log into a temporary file of fixed-width rows (analysis/view_table.h)
// in the configuration file's folder, unlinked as soon as it is open: nothing is left behind
// however the program ends, and paging, marker search, selection and the graph read it at an
// offset, never scanning the log again. The selection lives in the file: the selected row's
// status character is '9' while it is selected.
//
// Everything here runs on the window thread. While the display is shown the run mode is
// RUN_ANALYSIS, so the display thread takes no frames; the builders use the byte source
// themselves.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "analysis/view_table.h"
#include "draw/controls.h"

// A scroll bar's information as the table keeps it: range `min` to `max` in rows, `page` rows
// shown; the bar accepts positions from `min` to `max - page + 1`.
struct ScrollInfo {
    long min = 0;
    long max = -1;
    long page = VIEW_PAGE_ROWS;
    long pos = 0;

    long last_position() const { return max - page + 1 > min ? max - page + 1 : min; }
    bool can_scroll() const { return max - min + 1 > page; }
};

struct ViewerState {
    bool created = false;            // the display is shown
    int32_t previous_run_mode = 0;   // restored when it goes

    FILE* table = nullptr;           // the view table file, or none (closing it deletes it)
    std::string log_path;            // the log the table was built from
    long table_size = 0;             // bytes; rows = table_size / VIEW_ROW_BYTES
    long row_count = 0;              // rows the last build wrote
    int table_kphormph = 0;          // the units the rows were built in
    int table_temperscale = 0;
    long top_row = 0;                // the row on the first line
    long selected_row = -1;
    char saved_status = 0;           // the selected row's status before it became '9'
    long saved_offset = -1;          // that row's byte offset, or -1
    ScrollInfo scroll;

    bool mouse_down = false;         // a press on the table is remembered
    int down_x = 0, down_y = 0;
    bool double_click = false;       // the release after a double-click is ignored

    // Called after the table, its top row or its selection changed (for windows that follow it).
    void (*on_change)() = nullptr;
    // The runs list (analysis/run_list.h): told when a table has been built or closed, and asked
    // which rows start a run, to mark them in the margin.
    void (*on_table_built)() = nullptr;
    bool (*starts_run)(long row) = nullptr;
};

extern ViewerState g_viewer;

// What the viewer announces to the windows that follow its table (the quarter-mile graph, the log
// graph); they read g_viewer and act. The viewer itself knows none of them.
enum ViewerEvent : int {
    VIEWER_SCROLLED,       // the scroll information (g_viewer.scroll) was shown anew
    VIEWER_ROWS_MOVED,     // the top row or the selection moved: what is computed from them again
    VIEWER_REBUILDING,     // the table is about to be rebuilt: windows over its rows close...
    VIEWER_REBUILT,        // ... and once it is rebuilt, those that were open show again
    VIEWER_LOG_OPENING,    // another log is about to be opened
    VIEWER_LOG_OPENED,     // ... and its table is built (g_settings.analysis names it)
    VIEWER_CLOSING,        // the display goes: every window over the table closes
    VIEWER_QMILE_ASKED,    // "1/4 Mile": graph the run from the top row
    VIEWER_GRAPH_ASKED,    // the log graph button
    VIEWER_RESET,          // back to program start (tests)
};
using ViewerListener = void (*)(ViewerEvent event);
constexpr int VIEWER_LISTENERS = 4;
// Adds a listener (a window's module does so once, when the program loads); one already there is
// not added twice. Returns false when every place is taken.
bool add_viewer_listener(ViewerListener listener);

// The controls, in the order they are created.
enum AnalysisControl : int {
    ANALYSIS_VIEW_LOG = CONTROL_IDS_ANALYSIS,
    ANALYSIS_DUMP_LOG,
    ANALYSIS_SINGLE_HEADER,
    ANALYSIS_CREATE_CSV,
    ANALYSIS_QMILE,
    ANALYSIS_FIND_MARK,
    ANALYSIS_SCROLL,
    ANALYSIS_PROGRESS,   // shown while a table is built or a log exported
    ANALYSIS_GRAPH,      // the log graph of the table's log (analysis/graph.h)
    ANALYSIS_CELLS,      // the cell tables of the table's log (analysis/cells_host.h)
};

// What "Cells" does: set by the cell tables, which sit above the page and reach down to it.
void set_cells_button_action(void (*action)());

// The display switch: create (run mode to analysis, controls), destroy (controls, graph window and
// table gone, run mode restored; nothing when the display is not shown), and the page's paint
// (which first rebuilds the table when g_ui_state.settings_changed asks for it).
void create_analysis_display();
void destroy_analysis_display();
void paint_analysis_display();
// Clicks of the buttons and boxes and actions of the scroll bar.
void analysis_command(int id, int event, int value);

// Input the main window routes here while the display is shown: keys and the wheel as scroll codes
// (ControlEvent; `position` is the proposed position of a thumb track), and the left button on the
// page.
void analysis_scroll(int code, int position);
void analysis_mouse_down(int x, int y);
void analysis_mouse_up(int x, int y);
void analysis_double_click(int x, int y);

// The buttons' actions ("View Log" is the file dialog and then analysis_open_log).
void analysis_view_log();
void analysis_dump_log();
void analysis_find_mark();
void analysis_quarter_mile();

// Opens `path` as View Log does once it is chosen: the table built into a new temporary file,
// the first page shown. Returns 0, or -1 when the log or the temporary file cannot be opened (the
// message has been shown).
int analysis_open_log(const std::string& path);

// The table for windows that follow it: the row count (rows in the file), one row (109 bytes
// with CR LF and a terminating zero; false when it cannot be read), the selection of a row (its
// page redrawn) and a redraw of the rows.
long viewer_rows();
bool read_viewer_row(long row, char out[VIEW_ROW_BYTES + 1]);
void select_viewer_row(long row);
void redraw_viewer_rows();

void reset_viewer();
