// The "1/4 Mile Graph" window: the quarter-mile figures of the run that starts at the Analysis
// table's top row, and RPM, speed, O2 and throttle against time with marker ticks, a cursor the
// user drags and a read-out of the row under it. The window follows the table: every scroll of
// the table (and of the window's own scroll bar, which moves the table) recomputes it.
//
// The drawing, the figures and the mouse logic are here; the window itself (a top-level window
// with its own canvas and scroll bar) is a QmileGraphHost that the desktop program attaches.
// Without one the figures are still computed, and nothing is drawn. Window thread only.
#pragma once

#include <string>

#include "analysis/qmile.h"
#include "analysis/view_table.h"
#include "draw/canvas.h"
#include "draw/controls.h"

// What the program's window does for the graph.
class QmileGraphHost {
public:
    virtual ~QmileGraphHost() = default;
    // Creates and shows the window at (x, y), or centred the first time (`placed` false). False
    // when it cannot be created; `error` then holds the system's error code.
    virtual bool open_window(bool placed, int x, int y, unsigned& error) = 0;
    // Takes the window down; it reports qmile_graph_closed as when the user closes it.
    virtual void close_window() = 0;
    // The window's 800 x 600 picture.
    virtual Canvas* graph_canvas() = 0;
    // The window's scroll bar: the table's range (as a ScrollInfo: last position max - page + 1),
    // page and position.
    virtual void set_scroll(long min, long max, long page, long pos) = 0;
    // The pointer over the plot: the horizontal-resize shape near the cursor line, else the arrow.
    virtual void set_resize_pointer(bool resize) = 0;
};

void attach_qmile_graph_host(QmileGraphHost* host);

constexpr int GRAPH_SCROLL = CONTROL_IDS_GRAPH;

// The read-out's places: RPM, speed, O2 (or wideband AFR), TPS, run time.
enum ReadoutPlace : int { READ_RPM, READ_SPEED, READ_O2, READ_TPS, READ_TIME, READ_PLACES };

// A run drawn dashed over the graph's (the runs list's ticked run, analysis/run_list.h): its row
// k rows after its launch read by `read_row` (false past its table's end), and the caption under
// the plot that names it.
struct QmileOverlay {
    bool (*read_row)(long k, char out[VIEW_ROW_BYTES + 1]) = nullptr;
    std::string caption;
};

struct QmileGraphState {
    bool open = false;
    long start_row = 0;              // the table's top row when last computed
    QmileResults results;
    int pixels_per_frame = 1;        // 1 before the first paint, then 3 or 2
    int cursor_x = 122;              // kept between 112 and 792
    bool dragging = false;
    bool inside = false;             // the pointer is over the plot
    int pointer_x = 0, pointer_y = 0;
    bool placed = false;             // the window's last screen position is known
    int window_x = 0, window_y = 0;
    std::string readout[READ_PLACES];   // what the read-out shows now (empty: nothing)
    QmileOverlay overlay;
    void (*on_compute)() = nullptr;     // the figures were computed again (the runs list follows)
};

extern QmileGraphState g_qmile_graph;

// Computes the figures for the run from the table's top row and shows them, opening the window
// when it is not open ("failed: GetLastError returned %u\n" when it cannot be; the figures are
// still computed).
void qmile_graph_show();
// Computes again from the table's top row and repaints; nothing while the window is closed.
void qmile_graph_recompute();
// Closes the window if it is open.
void qmile_graph_close();
// The window reports that it has gone (the user closed it, or close_window): its place is kept
// for the next opening.
void qmile_graph_closed(int x, int y);
// The table's scroll information copied to the window's scroll bar.
void qmile_graph_set_scroll(long min, long max, long page, long pos);

// The whole window drawn on its canvas.
void qmile_graph_paint();
// The window's mouse: moves (with the left button's state) and the left button. Its keys and
// wheel scroll the table (analysis_scroll).
void qmile_graph_mouse_move(int x, int y, bool left_down);
void qmile_graph_mouse_down(int x, int y);
void qmile_graph_mouse_up();
// The window's scroll bar.
void qmile_graph_command(int id, int event, int value);

void reset_qmile_graph();
