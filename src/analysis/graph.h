// The log graph: channels of a data log as lines over time, in lanes with their own axes, markers
// and time stamps as labelled vertical lines, zoom, pan, fit-all and zoom to a span, a read-out of
// every shown channel at the pointer, and the Analysis table's selected row followed both ways.
//
// Everything the window shows is computed here into a GraphScene (lines, rules and texts in the
// plot's pixels) that the window only paints; the window is a GraphHost the desktop program
// attaches. The chosen channels and lanes are kept in a settings file of their own.
//
// Window thread only.
#pragma once

#include <string>
#include <vector>

#include "analysis/channels.h"
#include "draw/canvas.h"

// ---- The visible span -------------------------------------------------------------------------

// The span of log time shown over the plot's width, within the log's [start, end].
struct GraphView {
    double start = 0, end = 1;   // the log
    double t0 = 0, t1 = 1;       // shown
};

// The shortest span a zoom goes to: a few frames.
constexpr double GRAPH_MIN_SPAN = 0.5;

void view_fit(GraphView& v, double start, double end);
double view_time_at(const GraphView& v, double x, int width);
double view_x_of(const GraphView& v, double t, int width);
// Zooms by `factor` (below 1 in, above 1 out) keeping the time at plot column `x` where it is.
void view_zoom_at(GraphView& v, double x, int width, double factor);
// Moves the span by `dx` pixels (positive: the picture moves right, earlier time comes in).
void view_pan(GraphView& v, double dx, int width);
// Shows the span between plot columns `xa` and `xb`.
void view_zoom_to(GraphView& v, double xa, double xb, int width);
// Moves the span (keeping its length) so that `t` is in it, centred when it was outside.
void view_reveal(GraphView& v, double t);

// ---- The chosen channels ----------------------------------------------------------------------

// The settings file's name, in the user's configuration folder.
constexpr const char* GRAPH_SETTINGS_FILE = "graph.conf";

struct GraphPick {
    std::string name;   // a channel of the catalogue
    int lane = 0;       // 0 to 7; picks with the same lane share it
    bool operator==(const GraphPick&) const = default;
};

// Reads the settings file: lines "NAME LANE" (lane 1 to 8), '#' comments. Lines that do not read
// are skipped and at most 8 picks kept; a missing or damaged file gives none.
std::vector<GraphPick> read_graph_settings(const std::string& path);
// Writes the file whole (replacing it only once written); 0, or -1.
int write_graph_settings(const std::string& path, const std::vector<GraphPick>& picks);
// The picks shown when none are kept: engine speed, load, throttle, mixture, spark, knock retard,
// block learn and duty cycle, a lane each.
std::vector<GraphPick> default_graph_picks(const std::vector<ChannelInfo>& catalogue);
// `picks` without names the catalogue lacks, repeats and those past 8, lanes numbered 0, 1, ...
// in their order.
std::vector<GraphPick> valid_picks(const std::vector<GraphPick>& picks, const std::vector<ChannelInfo>& catalogue);

// ---- The picture ------------------------------------------------------------------------------

struct SceneLine {
    float x1, y1, x2, y2;
};

struct SceneText {
    int x, y;              // top of the text; x by `align`
    std::string text;      // Latin-1 (0xB0 the degree sign)
    Rgb colour;
    Align align = ALIGN_LEFT;
    bool boxed = false;    // on a dark box, over the traces
};

// A vertical line over every lane.
struct SceneRule {
    int x;
    Rgb colour;
    PenStyle style;
};

struct SceneLane {
    int top, bottom;          // pixels
    double lo, hi;            // values at the bottom and top
    std::vector<int> grid_y;  // the value ticks' rows
};

// A second log drawn over the first in the same lanes, dashed (analysis/graph_compare.h): its
// series (the same channels, by name) and the seconds added to its times to align it.
struct GraphOverlay {
    const ChannelSeries* series = nullptr;
    double shift = 0;
};

struct GraphScene {
    int width = 0, height = 0;
    int plot_left = 0, plot_right = 0, plot_top = 0, plot_bottom = 0;   // the lanes' columns and rows
    std::vector<SceneLane> lanes;
    std::vector<int> grid_x;                   // the time ticks' columns
    std::vector<Rgb> trace_colours;            // by pick
    std::vector<std::vector<SceneLine>> traces;
    std::vector<std::vector<SceneLine>> overlay_traces;   // by pick, with an overlay: drawn dashed
    std::vector<SceneRule> rules;              // events, the selected row, the pointer
    std::vector<SceneText> texts;
    std::vector<std::string> readout;          // the read-out: time, then one line per pick
    bool span = false;                         // a span being dragged out
    int span_a = 0, span_b = 0;
};

// Pixel metrics of the plot.
constexpr int GRAPH_LEFT = 64;          // value labels left of the lanes
constexpr int GRAPH_RIGHT = 10;
constexpr int GRAPH_TOP = 22;           // event labels above the lanes
constexpr int GRAPH_BOTTOM = 40;        // time labels and record clock times below
constexpr int GRAPH_LANE_GAP = 6;
constexpr int GRAPH_CHAR_WIDTH = 7;     // of the plot's fixed-pitch font
constexpr int GRAPH_LINE_HEIGHT = 14;
constexpr int GRAPH_DASH = 6;           // pixel columns of a compared log's dashes and gaps

inline constexpr Rgb GRAPH_BACKGROUND{16, 18, 22};
inline constexpr Rgb GRAPH_LANE{26, 29, 35};
inline constexpr Rgb GRAPH_GRID{52, 56, 66};
inline constexpr Rgb GRAPH_AXIS_TEXT{200, 204, 212};
inline constexpr Rgb GRAPH_MARKER{230, 170, 60};
inline constexpr Rgb GRAPH_TIME_STAMP{90, 170, 90};
inline constexpr Rgb GRAPH_RECORDING{120, 170, 240};
inline constexpr Rgb GRAPH_SELECTED{150, 150, 255};
inline constexpr Rgb GRAPH_POINTER{235, 235, 235};
inline constexpr Rgb GRAPH_MARKED{220, 90, 200};

// The scene of `series` for `picks` over `view` in a plot of width x height pixels; a read-out at
// the pointer (plot-widget column `pointer_x`, or -1) or else at `selected` (a sample, or -1).
// With an `overlay`, its traces too, the lanes' ranges taking in its values, and the read-out its
// values and their differences.
GraphScene build_graph_scene(const ChannelSeries& series, const std::vector<GraphPick>& picks, const GraphView& view,
                             int width, int height, int pointer_x, long selected,
                             const GraphOverlay* overlay = nullptr);
// The plot's width in pixel columns for a widget `width` wide.
inline int plot_columns(int width) { return width - GRAPH_LEFT - GRAPH_RIGHT; }

// A value as a read-out shows it: the channel's precision, "Y"/"N" for flags.
std::string channel_value_text(const ChannelInfo& channel, float value);
// Seconds of log as "m:ss", "h:mm:ss", or with tenths when `tenths`.
std::string log_time_text(double seconds, bool tenths);

// ---- The window -------------------------------------------------------------------------------

// What the program's window does for the graph.
class GraphHost {
public:
    virtual ~GraphHost() = default;
    virtual void open_window() = 0;     // shows it (and brings it up)
    virtual void close_window() = 0;    // takes it down; graph_closed follows
    virtual void repaint() = 0;         // the scene changed
    virtual void channels_changed() = 0;   // the catalogue or the picks changed
};

void attach_graph_host(GraphHost* host);

struct GraphState {
    bool open = false;
    std::vector<ChannelInfo> catalogue;   // of the settings the log was read with
    std::vector<GraphPick> picks;
    ChannelSeries series;                 // the picked channels of the log shown
    GraphView view;
    int width = 960, height = 600;        // the plot widget
    int pointer_x = -1;                   // the pointer over the plot, or -1
    // The left button: a drag pans, a drag with Shift (or the right button) marks a span to zoom
    // to, a press and release in place selects the row under it.
    bool pressed = false, spanning = false, moved = false;
    int press_x = 0, last_x = 0;
    long selected = -1;                   // the sample of the table's selected row
    bool follows_table = false;           // the log shown is the Analysis table's
    std::string settings_path;            // the settings file, or empty: picks not kept
    GraphOverlay overlay;                 // a log compared with this one (analysis/graph_compare.h)
    void (*on_series_changed)() = nullptr;   // the log or the picks changed (the compared log follows)
    std::vector<uint32_t> marked;         // samples marked from elsewhere (a cell table's cell)
};

extern GraphState g_graph;

// Reads `path` for the graph (the picks kept in the settings file, or `picks` when given) and
// shows it fit-all. 0, or -1 when the log cannot be opened.
int graph_load_log(const std::string& path, const std::vector<GraphPick>* picks = nullptr);
// Changes the picks: channels not yet read are computed (one more pass over the log); the picks
// are kept in the settings file.
void graph_set_picks(const std::vector<GraphPick>& picks);
// The scene for the window's current size, pointer and view.
GraphScene graph_scene();
// The math channels' definitions changed: the list offers the new ones and the picked ones are
// computed again.
void graph_math_channels_changed();
// Marks `samples` (in order) when the graph shows `log`; the view moves to the first.
void graph_mark_samples(const std::string& log, const std::vector<uint32_t>& samples);

// The Analysis display's "Graph" button: the window opened for the log its table shows, which
// then follows the table's selected row (and the table the rows clicked in the graph).
void graph_show_for_viewer();
// The table changed (its log, page or selected row).
void graph_viewer_changed();
void graph_close();
// The window reports that it has gone.
void graph_closed();

// The window's input, in the plot widget's pixels.
void graph_resize(int width, int height);
void graph_mouse_move(int x, bool left_down);
void graph_mouse_down(int x, bool span);
void graph_mouse_up(int x);
void graph_leave();
void graph_wheel(int x, int steps);   // positive steps zoom in
void graph_fit();
void graph_pan_pixels(int dx);

void reset_graph();
