#include "analysis/qmile_graph.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "analysis/viewer.h"
#include "config/devices.h"
#include "config/settings.h"
#include "platform/ui_services.h"

QmileGraphState g_qmile_graph;

namespace {

QmileGraphHost* the_host = nullptr;

// ---- Layout (the window's client area is 800 x 600) ---------------------------------------

// The plot: series from x 111, values from y 504 up; the pointer counts as over it from x 110 to
// 794 and y 120 to 504.
constexpr int PLOT_LEFT = 110, PLOT_TOP = 120, PLOT_RIGHT = 794, PLOT_BOTTOM = 504;
constexpr int SERIES_X = 111, SERIES_BASE = 504, AXIS_BASE = 503;
constexpr int CURSOR_MIN = 112, CURSOR_MAX = 792, CURSOR_TOP = 121, CURSOR_BOTTOM = 503;
constexpr int CURSOR_GRAB = 4;   // pixels either side of the cursor line that grab it
constexpr int TICK = 4;
constexpr double GRID_STEP = 38.2;   // pixels between the O2, TPS and grid lines
constexpr int DASH_SEGMENTS = 3;     // a compared run's dashes and gaps, in segments
constexpr int COMPARED_X = 540;      // its caption, right of "Seconds"

constexpr Rgb GREY{180, 180, 180};
constexpr Rgb GRID{90, 90, 90};
constexpr Rgb TPS_COLOUR{240, 10, 240};
constexpr Rgb O2_COLOUR{210, 10, 10};
constexpr Rgb SPEED_COLOUR{10, 112, 10};
constexpr Rgb RPM_COLOUR{10, 10, 240};
constexpr Rgb MARKER_TICK{200, 153, 51};
constexpr Rgb TIME_TICK{51, 123, 51};

// The figures: label, its place, and the value's right edge.
struct Figure {
    const char* label;
    int label_x, label_y;
    double QmileResults::*value;
    const char* format;
    int value_x, value_y;
};
constexpr Figure FIGURES[] = {
    {"0-60 mph:", 171, 40, &QmileResults::zero_to_60_s, "%4.1f sec.", 299, 40},
    {"60 foot:", 171, 60, &QmileResults::ft60_s, "%4.1f sec.", 299, 60},
    {"330 foot:", 171, 80, &QmileResults::ft330_s, "%4.1f sec.", 299, 80},
    {"1/8 Mile:", 321, 40, &QmileResults::eighth_s, "%4.1f sec.", 441, 40},
    {nullptr, 0, 0, &QmileResults::eighth_mph, "%3.0f mph", 441, 60},
    {"1/4 Mile:", 471, 40, &QmileResults::quarter_s, "%4.1f sec.", 591, 40},
    {nullptr, 0, 0, &QmileResults::quarter_mph, "%3.0f mph", 591, 60},
};

// The read-out box and its places: the row's text at `offset`, `width` characters, right-aligned
// at x; the captions at x 710.
constexpr int READOUT_LEFT = 660, READOUT_TOP = 5, READOUT_RIGHT = 760, READOUT_BOTTOM = 109;
constexpr int CAPTION_X = 710, VALUE_X = 705, TIME_X = 734;
struct ReadoutPlace {
    int offset, width, x, y;
};
constexpr std::array<ReadoutPlace, READ_PLACES> READOUTS = {{
    {ROW_RPM, 4, VALUE_X, 10},
    {ROW_SPEED, 3, VALUE_X, 30},
    {ROW_O2, 4, VALUE_X, 50},   // the wideband AFR (ROW_WB) with a preferred wideband channel
    {ROW_TPS, 3, VALUE_X, 70},
    {ROW_RUNTIME + 1, 7, TIME_X, 90},
}};

// A row's values the plot takes.
struct RowValues {
    char status;
    int rpm, speed, tps, o2_mv;
    double afr;
};

RowValues row_values(const char* row)
{
    return {row[ROW_STATUS], std::atoi(row + ROW_RPM), std::atoi(row + ROW_SPEED), std::atoi(row + ROW_TPS),
            std::atoi(row + ROW_O2), std::atof(row + ROW_WB)};
}

bool kph_table() { return (g_viewer.table != nullptr ? g_viewer.table_kphormph : static_cast<int>(g_settings.kphormph)) == 1; }

Canvas* graph_canvas() { return g_qmile_graph.open && the_host != nullptr ? the_host->graph_canvas() : nullptr; }

int grid_y(int i) { return AXIS_BASE - static_cast<int>(GRID_STEP * i); }

// A value's y; above the plot's top (an engine past 8000 RPM) it stays at the top rather than
// run over the figures.
int plot_y(double v) { return std::max(CURSOR_TOP, SERIES_BASE - static_cast<int>(std::trunc(v + 0.5))); }

// ---- Drawing ----------------------------------------------------------------------------------

void draw_figures(Canvas* c)
{
    const QmileResults& r = g_qmile_graph.results;
    for (const Figure& f : FIGURES) {
        if (f.label != nullptr)
            c->text(f.label_x, f.label_y, f.label, Font::Default, TEXT, BACKGROUND);
        c->text(f.value_x, f.value_y, format_text(f.format, r.*f.value), Font::Default, TEXT, BACKGROUND, ALIGN_RIGHT);
    }
}

// An axis: labels right-aligned left of its ticks, in the series' colour.
void draw_axis_label(Canvas* c, int tick_x, int y, const std::string& label, Rgb colour)
{
    c->line(tick_x - TICK, y, tick_x, y, colour, 1);
    c->text(tick_x - TICK, y - 8, label, Font::Default, colour, BACKGROUND, ALIGN_RIGHT);
}

void draw_axes(Canvas* c, bool kph, bool wideband)
{
    for (int i = 0; i <= 16; ++i)
        draw_axis_label(c, 109, AXIS_BASE - 24 * i, format_text("%d.%d", i / 2, i % 2 * 5), RPM_COLOUR);
    int speed_labels = kph ? 11 : 7;
    int speed_step = kph ? 37 : 60;
    for (int i = 0; i < speed_labels; ++i)
        draw_axis_label(c, 81, AXIS_BASE - speed_step * i, format_text("%3d", 20 * i), SPEED_COLOUR);
    for (int i = 0; i <= 10; ++i) {
        std::string o2 = wideband ? format_text("%d", 10 + i) : i < 10 ? format_text(".%d", i) : std::string("1");
        draw_axis_label(c, 50, grid_y(i), o2, O2_COLOUR);
        draw_axis_label(c, 25, grid_y(i), format_text("%3d", 10 * i), TPS_COLOUR);
    }
}

void draw_time_scale(Canvas* c)
{
    int ppf = g_qmile_graph.pixels_per_frame;
    int marks = ppf == 3 ? 14 : 21;
    for (int i = 0; i < 11; ++i)
        c->line(SERIES_X, grid_y(i), PLOT_RIGHT - 1, grid_y(i), GRID, 1);
    for (int i = 0; i < marks; ++i) {
        int x = SERIES_X + FRAMES_PER_SECOND * ppf * i;
        c->line(x, 526, x, 530, TEXT, 1);
        c->text(x - 8, 530, format_text("%2d", i), Font::Default, TEXT, BACKGROUND);
        c->line(x, CURSOR_TOP, x, PLOT_BOTTOM, GRID, 1);
    }
}

// The four series from a start row (row k of the run read by `read_row(k, row)`), one segment
// per pair of rows, and the marker ticks. A run compared with this one is drawn `dashed` (three
// segments drawn, three left out) and without ticks.
template <class ReadRow>
void draw_series(Canvas* c, bool kph, bool wideband, ReadRow&& read_row, bool dashed)
{
    int ppf = g_qmile_graph.pixels_per_frame;
    char row[VIEW_ROW_BYTES + 1];
    struct Point {
        int x;
        int y[4];
    };
    auto point = [&](int x, const RowValues& v) {
        double speed = kph ? std::min(v.speed, 204) * 1.86 : std::min(v.speed, 127) * 3.0;
        double o2 = wideband ? (std::clamp(v.afr, 10.0, 20.0) - 10.0) * GRID_STEP : std::min(v.o2_mv, 1000) / 10.0 * 3.82;
        return Point{x, {plot_y(v.rpm / 20.8333333), plot_y(speed), plot_y(o2), plot_y(v.tps * 3.82)}};
    };
    constexpr Rgb COLOURS[4] = {RPM_COLOUR, SPEED_COLOUR, O2_COLOUR, TPS_COLOUR};
    bool have_previous = false;
    Point previous{};
    for (long k = 0;; ++k) {
        int x = SERIES_X + static_cast<int>(k) * ppf;
        if (!read_row(k, row))
            break;
        RowValues v = row_values(row);
        Point p = point(x, v);
        if (have_previous && (!dashed || (k - 1) / DASH_SEGMENTS % 2 == 0)) {
            for (int s = 0; s < 4; ++s)
                c->line(previous.x, previous.y[s], p.x, p.y[s], COLOURS[s], 1);
        }
        if (!dashed && (v.status == '1' || v.status == '2')) {
            Rgb tick = v.status == '1' ? MARKER_TICK : TIME_TICK;
            for (int dx = -1; dx <= 1; ++dx)
                c->line(x + dx, AXIS_BASE, x + dx, 485, tick, 1);
        }
        // The next segment would start at the plot's right edge.
        if (x >= 790 - ppf)
            break;
        previous = p;
        have_previous = true;
    }
}

void draw_cursor(Canvas* c) { c->xor_line(g_qmile_graph.cursor_x, CURSOR_TOP, g_qmile_graph.cursor_x, CURSOR_BOTTOM); }

// The values of the row under the cursor.
void draw_readout(Canvas* c)
{
    QmileGraphState& g = g_qmile_graph;
    for (std::string& s : g.readout)
        s.clear();
    long r = (g.cursor_x - SERIES_X) / g.pixels_per_frame + g.start_row;
    char row[VIEW_ROW_BYTES + 1];
    // Past the table's end the places stay blank: no values of another row are left standing.
    bool have_row = read_viewer_row(r, row);
    bool wideband = have_preferred_wb();
    for (int place = 0; place < READ_PLACES; ++place) {
        ReadoutPlace def = READOUTS[static_cast<size_t>(place)];
        if (place == READ_O2 && wideband)
            def.offset = ROW_WB;
        int w = c->text_width(std::string(static_cast<size_t>(def.width) + 1, '8'), Font::Default);
        c->fill(def.x - w, def.y, def.x, def.y + 16, BACKGROUND);
        if (!have_row)
            continue;
        g.readout[place].assign(row + def.offset, static_cast<size_t>(def.width));
        c->text(def.x, def.y, g.readout[place], Font::Default, TEXT, BACKGROUND, ALIGN_RIGHT);
    }
}

void move_cursor(int x)
{
    Canvas* c = graph_canvas();
    x = std::clamp(x, CURSOR_MIN, CURSOR_MAX);
    if (c != nullptr)
        draw_cursor(c);   // the old line inverted back
    g_qmile_graph.cursor_x = x;
    if (c != nullptr) {
        draw_cursor(c);
        draw_readout(c);
    }
}

bool over_plot(int x, int y) { return x >= PLOT_LEFT && x <= PLOT_RIGHT && y >= PLOT_TOP && y <= PLOT_BOTTOM; }

void compute()
{
    QmileGraphState& g = g_qmile_graph;
    g.start_row = g_viewer.top_row;
    g.results = g_viewer.table != nullptr ? compute_qmile(g_viewer.table, g.start_row, kph_table()) : QmileResults{};
    g.pixels_per_frame = g.results.quarter_s > 13.3 ? 2 : 3;
    if (g.on_compute != nullptr)
        g.on_compute();
}

}  // namespace

void attach_qmile_graph_host(QmileGraphHost* host) { the_host = host; }

void qmile_graph_show()
{
    QmileGraphState& g = g_qmile_graph;
    if (!g.open && the_host != nullptr) {
        unsigned error = 0;
        if (the_host->open_window(g.placed, g.window_x, g.window_y, error)) {
            g.open = true;
            const ScrollInfo& s = g_viewer.scroll;
            the_host->set_scroll(s.min, s.max, s.page, s.pos);
        } else {
            ui().message_box(format_text("failed: GetLastError returned %u\n", error), "Error", MB_OK);
        }
    }
    compute();
    qmile_graph_paint();
}

void qmile_graph_recompute()
{
    if (!g_qmile_graph.open)
        return;
    compute();
    qmile_graph_paint();
}

void qmile_graph_close()
{
    if (!g_qmile_graph.open)
        return;
    if (the_host != nullptr)
        the_host->close_window();
    g_qmile_graph.open = false;
}

void qmile_graph_closed(int x, int y)
{
    QmileGraphState& g = g_qmile_graph;
    g.open = false;
    g.placed = true;
    g.window_x = x;
    g.window_y = y;
    g.dragging = false;
    g.inside = false;
}

void qmile_graph_set_scroll(long min, long max, long page, long pos)
{
    if (g_qmile_graph.open && the_host != nullptr)
        the_host->set_scroll(min, max, page, pos);
}

void qmile_graph_paint()
{
    Canvas* c = graph_canvas();
    if (c == nullptr)
        return;
    const bool kph = kph_table();
    const bool wideband = have_preferred_wb();
    c->fill(0, 0, 800, 600, BACKGROUND);
    c->text(331, 6, "Performance", Font::Title, TEXT, BACKGROUND);
    // The log's name, as the Analysis page shows it: clear of the title.
    c->text(20, 8, g_settings.analysisname.substr(0, 30), Font::Table, TEXT, BACKGROUND);
    draw_figures(c);
    c->text(424, 552, "Seconds", Font::Default, TEXT, BACKGROUND);
    c->text(16, 552, "RunTime:", Font::Default, TEXT, BACKGROUND);
    c->text(82, 552, g_qmile_graph.results.start_run_time, Font::Default, TEXT, BACKGROUND);
    c->rectangle(PLOT_LEFT, PLOT_TOP, PLOT_RIGHT, 506, GREY, 2, BACKGROUND, false);
    c->rectangle(109, 506, 795, 525, GREY, 1, BACKGROUND, false);

    c->text(20, 30, "TPS%", Font::Default, TPS_COLOUR, BACKGROUND);
    c->text(20, 50, wideband ? "O2 WB AFR" : "O2 NB V", Font::Default, O2_COLOUR, BACKGROUND);
    c->text(20, 70, kph ? "KPH" : "MPH", Font::Default, SPEED_COLOUR, BACKGROUND);
    c->text(20, 90, "RPM x1000", Font::Default, RPM_COLOUR, BACKGROUND);
    draw_axes(c, kph, wideband);
    draw_time_scale(c);
    long start = g_qmile_graph.start_row;
    draw_series(c, kph, wideband, [start](long k, char* row) { return read_viewer_row(start + k, row); }, false);
    if (const QmileOverlay& o = g_qmile_graph.overlay; o.read_row != nullptr) {
        draw_series(c, kph, wideband, o.read_row, true);
        c->text(COMPARED_X, 552, o.caption, Font::Default, TEXT, BACKGROUND);
    }
    draw_cursor(c);

    c->rectangle(READOUT_LEFT, READOUT_TOP, READOUT_RIGHT, READOUT_BOTTOM, GREY, 1, BACKGROUND, false);
    c->text(CAPTION_X, 10, "RPM", Font::Default, TEXT, BACKGROUND);
    c->text(CAPTION_X, 30, kph ? "KPH" : "MPH", Font::Default, TEXT, BACKGROUND);
    c->text(CAPTION_X, 50, wideband ? "AFR" : "mV O2", Font::Default, TEXT, BACKGROUND);
    c->text(CAPTION_X, 70, "% TPS", Font::Default, TEXT, BACKGROUND);
    draw_readout(c);
}

void qmile_graph_mouse_move(int x, int y, bool left_down)
{
    QmileGraphState& g = g_qmile_graph;
    g.pointer_x = x;
    g.pointer_y = y;
    if (!left_down)
        g.dragging = false;
    g.inside = over_plot(x, y);
    if (the_host != nullptr)
        the_host->set_resize_pointer(g.inside && (g.dragging || std::abs(x - g.cursor_x) <= CURSOR_GRAB));
    if (g.inside && g.dragging)
        move_cursor(x);
}

void qmile_graph_mouse_down(int x, int y)
{
    g_qmile_graph.dragging = true;
    if (over_plot(x, y))
        move_cursor(x);
}

void qmile_graph_mouse_up() { g_qmile_graph.dragging = false; }

void qmile_graph_command(int id, int event, int value)
{
    if (id == GRAPH_SCROLL)
        analysis_scroll(event, value);
}

void reset_qmile_graph()
{
    g_qmile_graph = QmileGraphState{};
}

namespace {

bool reopen_after_rebuild = false;

// The window follows the viewer's table: its scroll bar, its top row and selection, its rebuilds.
void follow_viewer(ViewerEvent event)
{
    switch (event) {
    case VIEWER_SCROLLED: {
        const ScrollInfo& s = g_viewer.scroll;
        qmile_graph_set_scroll(s.min, s.max, s.page, s.pos);
        break;
    }
    case VIEWER_ROWS_MOVED:
        qmile_graph_recompute();
        break;
    case VIEWER_REBUILDING:
        reopen_after_rebuild = g_qmile_graph.open;
        qmile_graph_close();
        break;
    case VIEWER_REBUILT:
        if (reopen_after_rebuild)
            qmile_graph_show();
        reopen_after_rebuild = false;
        break;
    case VIEWER_LOG_OPENING:
    case VIEWER_CLOSING:
        qmile_graph_close();
        break;
    case VIEWER_QMILE_ASKED:
        qmile_graph_show();
        break;
    case VIEWER_RESET:
        reset_qmile_graph();
        break;
    default:
        break;
    }
}

[[maybe_unused]] const bool following_viewer = add_viewer_listener(follow_viewer);

}  // namespace
