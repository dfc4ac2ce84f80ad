#include "analysis/graph.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "analysis/math_channels.h"
#include "analysis/viewer.h"
#include "config/devices.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/ui_services.h"

GraphState g_graph;

namespace {

GraphHost* g_host = nullptr;

// One colour a lane's trace, bright on the dark lanes and told apart from each other.
constexpr std::array<Rgb, GRAPH_MAX_CHANNELS> TRACE_COLOURS = {{
    {255, 99, 99},    // red
    {80, 200, 255},   // sky
    {120, 230, 110},  // green
    {255, 200, 60},   // amber
    {220, 120, 255},  // violet
    {255, 150, 200},  // pink
    {90, 230, 210},   // teal
    {240, 240, 160},  // pale yellow
}};

// Time ticks: steps in seconds, the first that leaves this many pixels between ticks is taken.
constexpr double TIME_STEPS[] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 14400};
constexpr int TIME_TICK_PIXELS = 90;
// Rules of time stamps closer than this to the previous drawn one are left out (a long log at
// fit-all would be striped with them); markers are always drawn.
constexpr int RULE_SPACING = 40;
// The read-out box: this far right of the pointer, or left of it near the plot's right edge.
constexpr int READOUT_OFFSET = 8;

// Lines of the settings file longer than this are not settings.
constexpr size_t SETTINGS_LINE_MAX = 256;
constexpr long SETTINGS_FILE_MAX = 64 * 1024;

// A "nice" step (1, 2 or 5 times a power of ten) at least `raw`.
double nice_step(double raw)
{
    if (!(raw > 0) || !std::isfinite(raw))
        return 1;
    double p = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * p >= raw)
            return m * p;
    return 10 * p;
}

std::string number_text(double v, int precision)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*f", precision, v);
    if (std::strcmp(buf, "-0") == 0 || std::strncmp(buf, "-0.", 3) == 0) {
        bool zero = true;
        for (const char* p = buf + 1; *p; ++p)
            if (*p != '0' && *p != '.')
                zero = false;
        if (zero)
            return buf + 1;
    }
    return buf;
}

// The value range of a lane: every finite value of its channels, a little room above and below.
void lane_range(const ChannelSeries& s, const std::vector<int>& channels, double& lo, double& hi)
{
    lo = INFINITY;
    hi = -INFINITY;
    bool flags_only = true;
    for (int c : channels) {
        for (float v : s.values[static_cast<size_t>(c)]) {
            if (std::isfinite(v)) {
                lo = std::min(lo, static_cast<double>(v));
                hi = std::max(hi, static_cast<double>(v));
            }
        }
        flags_only = flags_only && s.channels[static_cast<size_t>(c)].flag;
    }
    if (flags_only) {
        lo = 0;
        hi = 1;
    }
    if (!std::isfinite(lo) || !std::isfinite(hi)) {
        lo = 0;
        hi = 1;
    }
    if (hi - lo < 1e-9) {
        lo -= 1;
        hi += 1;
    }
    double pad = (hi - lo) * 0.08;
    lo -= pad;
    hi += pad;
}

// The row of `value` in a lane, kept inside it (a value out of every range stays on its edge).
float lane_y(const SceneLane& lane, double value)
{
    double f = (value - lane.lo) / (lane.hi - lane.lo);
    double y = lane.bottom - f * (lane.bottom - lane.top);
    if (!(y >= lane.top))
        y = lane.top;
    if (y > lane.bottom)
        y = lane.bottom;
    return static_cast<float>(y);
}

// The lines of channel `c` of `series` in `lane` over `view`: every pixel column's lowest to
// highest value joined to the column before, or sample to sample when they are further apart
// than a pixel (deep zoom).
void trace_lines(const ChannelSeries& series, int c, const SceneLane& lane, const GraphView& view, int plot_left,
                 int columns, std::vector<SceneLine>& out)
{
    std::vector<ColumnSpan> cols;
    const double span = view.t1 - view.t0;
    reduce_columns(series, c, view.t0, view.t1, columns, cols);
    const std::vector<float>& v = series.values[static_cast<size_t>(c)];
    auto x_of = [&](long i) {
        return static_cast<float>(plot_left + view_x_of(view, series.time[static_cast<size_t>(i)], columns));
    };
    bool sparse = span * FRAMES_PER_SECOND < columns;
    if (sparse) {
        long i0 = series.first_at_or_after(view.t0), i1 = series.first_at_or_after(view.t1);
        // One sample either side of the span, so lines run to the plot's edges.
        long a = std::max(0L, i0 - 1), b = std::min(series.samples() - 1, i1);
        for (long i = a + 1; i <= b; ++i) {
            float va = v[static_cast<size_t>(i - 1)], vb = v[static_cast<size_t>(i)];
            if (series.break_before(i) || !std::isfinite(va) || !std::isfinite(vb))
                continue;
            out.push_back({x_of(i - 1), lane_y(lane, va), x_of(i), lane_y(lane, vb)});
        }
        // A lone sample (with breaks both sides) still shows as a dot.
        for (long i = i0; i < i1; ++i) {
            bool alone_left = i == 0 || series.break_before(i);
            bool alone_right = i + 1 >= series.samples() || series.break_before(i + 1);
            if (alone_left && alone_right && std::isfinite(v[static_cast<size_t>(i)])) {
                float x = x_of(i), y = lane_y(lane, v[static_cast<size_t>(i)]);
                out.push_back({x - 1, y, x + 1, y});
            }
        }
        return;
    }
    int previous = -1;
    for (int x = 0; x < columns; ++x) {
        const ColumnSpan& col = cols[static_cast<size_t>(x)];
        if (!col.any)
            continue;
        float px = static_cast<float>(plot_left + x);
        float ylo = lane_y(lane, col.lo), yhi = lane_y(lane, col.hi);
        if (col.joined && previous >= 0)
            out.push_back({static_cast<float>(plot_left + previous), lane_y(lane, cols[static_cast<size_t>(previous)].last),
                           px, lane_y(lane, col.first)});
        // A flat column is still a pixel tall.
        out.push_back({px, yhi, px, ylo == yhi ? ylo + 0.01f : ylo});
        previous = x;
    }
}

// The overlay's sample at this log's time `t`, or -1 when its log does not reach there.
long overlay_sample_at(const GraphOverlay& overlay, double t)
{
    const ChannelSeries& s = *overlay.series;
    double own = t - overlay.shift;
    if (s.samples() == 0 || own < s.time.front() - 1.0 / FRAMES_PER_SECOND ||
        own > s.time.back() + 1.0 / FRAMES_PER_SECOND)
        return -1;
    return s.sample_at(own);
}

// The overlay's value beside this log's: "3120 (+85)", the difference the overlay's minus this
// one's in the channel's precision; flags have none.
std::string overlay_value_text(const ChannelInfo& channel, float own, float other)
{
    std::string text = channel_value_text(channel, other);
    if (channel.flag || !std::isfinite(own) || !std::isfinite(other))
        return text;
    std::string diff = channel_value_text(channel, other - own);
    return text + " (" + (diff[0] == '-' ? diff : "+" + diff) + ")";
}

// Dashes of a trace: only the lines in every other run of GRAPH_DASH pixel columns are kept,
// whatever the lines' lengths (a trace at fit-all is one short line a column).
void dashed(std::vector<SceneLine>& lines, int plot_left)
{
    std::erase_if(lines, [&](const SceneLine& l) {
        int x = static_cast<int>((l.x1 + l.x2) / 2) - plot_left;
        return x / GRAPH_DASH % 2 != 0;
    });
}

int text_width(const std::string& s) { return static_cast<int>(s.size()) * GRAPH_CHAR_WIDTH; }

void repaint()
{
    if (g_host != nullptr && g_graph.open)
        g_host->repaint();
}

// The catalogue channels of `picks` that the series lacks.
std::vector<ChannelInfo> missing_channels(const std::vector<GraphPick>& picks)
{
    std::vector<ChannelInfo> out;
    for (const GraphPick& p : picks) {
        if (g_graph.series.channel_index(p.name) >= 0)
            continue;
        int c = find_channel(g_graph.catalogue, p.name);
        if (c >= 0)
            out.push_back(g_graph.catalogue[static_cast<size_t>(c)]);
    }
    return out;
}

// The sample under plot-widget column x.
long sample_under(int x)
{
    double t = view_time_at(g_graph.view, x - GRAPH_LEFT, plot_columns(g_graph.width));
    return g_graph.series.sample_at(t);
}

bool same_catalogue(const std::vector<ChannelInfo>& a, const std::vector<ChannelInfo>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const ChannelInfo& x, const ChannelInfo& y) {
        return x.name == y.name && x.unit == y.unit && x.column == y.column && x.adc == y.adc && x.math == y.math &&
               x.precision == y.precision;
    });
}

bool table_matches()
{
    return g_graph.follows_table && g_viewer.table != nullptr && g_viewer.log_path == g_graph.series.log_path &&
           viewer_rows() == g_graph.series.samples();
}

}  // namespace

// ---- The visible span -------------------------------------------------------------------------

void view_fit(GraphView& v, double start, double end)
{
    if (!(end - start >= GRAPH_MIN_SPAN))
        end = start + GRAPH_MIN_SPAN;
    v.start = v.t0 = start;
    v.end = v.t1 = end;
}

double view_time_at(const GraphView& v, double x, int width)
{
    return width > 0 ? v.t0 + x * (v.t1 - v.t0) / width : v.t0;
}

double view_x_of(const GraphView& v, double t, int width) { return (t - v.t0) * width / (v.t1 - v.t0); }

namespace {

// The span [t0, t0 + span] moved inside the log.
void place_span(GraphView& v, double t0, double span)
{
    double whole = v.end - v.start;
    if (span > whole)
        span = whole;
    if (span < GRAPH_MIN_SPAN)
        span = GRAPH_MIN_SPAN;
    if (t0 + span > v.end)
        t0 = v.end - span;
    if (t0 < v.start)
        t0 = v.start;
    v.t0 = t0;
    v.t1 = t0 + span;
}

}  // namespace

void view_zoom_at(GraphView& v, double x, int width, double factor)
{
    if (width <= 0 || !(factor > 0))
        return;
    double at = view_time_at(v, x, width);
    double span = (v.t1 - v.t0) * factor;
    span = std::clamp(span, GRAPH_MIN_SPAN, std::max(GRAPH_MIN_SPAN, v.end - v.start));
    place_span(v, at - span * (x / width), span);
}

void view_pan(GraphView& v, double dx, int width)
{
    if (width <= 0)
        return;
    double span = v.t1 - v.t0;
    place_span(v, v.t0 - dx * span / width, span);
}

void view_zoom_to(GraphView& v, double xa, double xb, int width)
{
    double a = view_time_at(v, std::min(xa, xb), width), b = view_time_at(v, std::max(xa, xb), width);
    double span = std::max(b - a, GRAPH_MIN_SPAN);
    place_span(v, (a + b) / 2 - span / 2, span);
}

void view_reveal(GraphView& v, double t)
{
    if (t >= v.t0 && t <= v.t1)
        return;
    double span = v.t1 - v.t0;
    place_span(v, t - span / 2, span);
}

// ---- The chosen channels ----------------------------------------------------------------------

std::vector<GraphPick> read_graph_settings(const std::string& path)
{
    std::vector<GraphPick> picks;
    read_text_lines(path, SETTINGS_FILE_MAX, SETTINGS_LINE_MAX, [&](std::string& line) {
        if (line.size() <= SETTINGS_LINE_MAX && !line.empty() && line[0] != '#' && picks.size() < GRAPH_MAX_CHANNELS) {
            // "NAME LANE": the name is everything before the last blank, the lane the number after.
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            size_t blank = line.rfind(' ');
            if (blank != std::string::npos && blank > 0) {
                std::string name = line.substr(0, blank);
                std::string lane = line.substr(blank + 1);
                bool printable = std::all_of(name.begin(), name.end(), [](char ch) { return ch > ' ' && ch != 0x7f; });
                if (printable && lane.size() == 1 && lane[0] >= '1' && lane[0] <= '8')
                    picks.push_back({name, lane[0] - '1'});
            }
        }
    });
    return picks;
}

int write_graph_settings(const std::string& path, const std::vector<GraphPick>& picks)
{
    ReplacingFile file(path);
    FILE* f = file.get();
    if (f == nullptr)
        return -1;
    std::fputs("# GlanzoFlash log graph: the channels shown, each with its lane (1 to 8)\n", f);
    for (const GraphPick& p : picks)
        std::fprintf(f, "%s %d\n", p.name.c_str(), p.lane + 1);
    return file.commit();
}

std::vector<GraphPick> default_graph_picks(const std::vector<ChannelInfo>& catalogue)
{
    const char* mixture = have_preferred_wb() ? "WB" : "O2";
    const char* names[] = {"RPM", "MAP", "TPS", mixture, "SA", "Rt", "BLM", "DC%"};
    std::vector<GraphPick> picks;
    for (const char* n : names)
        picks.push_back({n, static_cast<int>(picks.size())});
    return valid_picks(picks, catalogue);
}

std::vector<GraphPick> valid_picks(const std::vector<GraphPick>& picks, const std::vector<ChannelInfo>& catalogue)
{
    std::vector<GraphPick> out;
    for (const GraphPick& p : picks) {
        int c = find_channel(catalogue, p.name);
        if (c < 0 || out.size() >= GRAPH_MAX_CHANNELS)
            continue;
        const std::string& name = catalogue[static_cast<size_t>(c)].name;
        if (std::any_of(out.begin(), out.end(), [&](const GraphPick& o) { return o.name == name; }))
            continue;
        out.push_back({name, std::clamp(p.lane, 0, GRAPH_MAX_CHANNELS - 1)});
    }
    // Lanes numbered from 0 in the order of their first pick... kept in the lanes' own order.
    std::vector<int> used;
    for (const GraphPick& p : out)
        if (std::find(used.begin(), used.end(), p.lane) == used.end())
            used.push_back(p.lane);
    std::sort(used.begin(), used.end());
    for (GraphPick& p : out)
        p.lane = static_cast<int>(std::find(used.begin(), used.end(), p.lane) - used.begin());
    std::stable_sort(out.begin(), out.end(), [](const GraphPick& a, const GraphPick& b) { return a.lane < b.lane; });
    return out;
}

// ---- The picture ------------------------------------------------------------------------------

std::string channel_value_text(const ChannelInfo& channel, float value)
{
    if (!std::isfinite(value))
        return "--";
    if (channel.flag)
        return value != 0 ? "Y" : "N";
    return number_text(value, channel.precision);
}

std::string log_time_text(double seconds, bool tenths)
{
    if (!(seconds >= 0))
        seconds = 0;
    long whole = static_cast<long>(seconds);
    int tenth = static_cast<int>((seconds - static_cast<double>(whole)) * 10 + 1e-6);
    char buf[40];
    if (whole >= 3600)
        std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
    else
        std::snprintf(buf, sizeof buf, "%ld:%02ld", whole / 60, whole % 60);
    std::string s = buf;
    if (tenths)
        s += "." + std::to_string(tenth);
    return s;
}

namespace {

// What the phases of build_graph_scene read: the log and the overlay, the picks with each one's
// channel in either (-1: not there), the view, the plot's width in pixel columns and the lanes.
struct SceneSource {
    const ChannelSeries& series;
    const GraphOverlay* overlay;   // nullptr: no second log
    const std::vector<GraphPick>& picks;
    std::vector<int> pick_channel, overlay_channel;
    const GraphView& view;
    int columns;
    int lane_count;
};

// Lanes: one per lane number in use, sharing the height, each over the values of both logs, with
// its value ticks.
void add_lanes(GraphScene& sc, const SceneSource& src)
{
    double lane_h = static_cast<double>(sc.plot_bottom - sc.plot_top + GRAPH_LANE_GAP) / src.lane_count;
    std::vector<std::vector<int>> lane_channels(static_cast<size_t>(src.lane_count)), overlay_channels = lane_channels;
    for (size_t p = 0; p < src.picks.size(); ++p) {
        size_t lane = static_cast<size_t>(src.picks[p].lane);
        if (src.pick_channel[p] >= 0)
            lane_channels[lane].push_back(src.pick_channel[p]);
        if (src.overlay_channel[p] >= 0)
            overlay_channels[lane].push_back(src.overlay_channel[p]);
    }
    for (int l = 0; l < src.lane_count; ++l) {
        SceneLane lane;
        lane.top = sc.plot_top + static_cast<int>(l * lane_h);
        lane.bottom = sc.plot_top + static_cast<int>((l + 1) * lane_h) - GRAPH_LANE_GAP;
        lane_range(src.series, lane_channels[static_cast<size_t>(l)], lane.lo, lane.hi);
        if (src.overlay != nullptr && !overlay_channels[static_cast<size_t>(l)].empty()) {
            double lo = 0, hi = 0;
            lane_range(*src.overlay->series, overlay_channels[static_cast<size_t>(l)], lo, hi);
            lane.lo = lane_channels[static_cast<size_t>(l)].empty() ? lo : std::min(lane.lo, lo);
            lane.hi = lane_channels[static_cast<size_t>(l)].empty() ? hi : std::max(lane.hi, hi);
        }
        // Value ticks: as many as fit one a text line and a half apart, at most four.
        int room = std::max(1, (lane.bottom - lane.top) / (GRAPH_LINE_HEIGHT * 3 / 2));
        double step = nice_step((lane.hi - lane.lo) / std::min(room, 4));
        int precision = step >= 1 ? 0 : step >= 0.1 ? 1 : 2;
        for (double v = std::ceil(lane.lo / step) * step; v <= lane.hi; v += step) {
            int y = static_cast<int>(std::lround(lane_y(lane, v)));
            lane.grid_y.push_back(y);
            sc.texts.push_back({sc.plot_left - 4, y - GRAPH_LINE_HEIGHT / 2, number_text(v, precision), GRAPH_AXIS_TEXT,
                                ALIGN_RIGHT, false});
        }
        sc.lanes.push_back(lane);
    }
}

// Time ticks and their labels.
void add_time_axis(GraphScene& sc, const SceneSource& src)
{
    const double span = src.view.t1 - src.view.t0;
    double step = TIME_STEPS[std::size(TIME_STEPS) - 1];
    for (double s : TIME_STEPS) {
        if (s * src.columns / span >= TIME_TICK_PIXELS) {
            step = s;
            break;
        }
    }
    bool tenths = step < 1;
    for (double t = std::ceil(src.view.t0 / step) * step; t <= src.view.t1 + 1e-9; t += step) {
        int x = sc.plot_left + static_cast<int>(std::lround(view_x_of(src.view, t, src.columns)));
        sc.grid_x.push_back(x);
        sc.texts.push_back({x, sc.plot_bottom + 3, log_time_text(t, tenths), GRAPH_AXIS_TEXT, ALIGN_CENTRE, false});
    }
}

// Traces: every pixel column's lowest to highest value, joined to the column before; the
// overlay's in the same lanes and colours, its times shifted onto this log's.
void add_traces(GraphScene& sc, const SceneSource& src)
{
    for (size_t p = 0; p < src.picks.size(); ++p) {
        sc.trace_colours.push_back(TRACE_COLOURS[p % TRACE_COLOURS.size()]);
        sc.traces.emplace_back();
        const SceneLane* lane = src.pick_channel[p] >= 0 || src.overlay_channel[p] >= 0
                                    ? &sc.lanes[static_cast<size_t>(src.picks[p].lane)]
                                    : nullptr;
        if (src.pick_channel[p] >= 0)
            trace_lines(src.series, src.pick_channel[p], *lane, src.view, sc.plot_left, src.columns, sc.traces.back());
        if (src.overlay == nullptr)
            continue;
        sc.overlay_traces.emplace_back();
        if (src.overlay_channel[p] >= 0) {
            GraphView shifted = src.view;
            shifted.t0 -= src.overlay->shift;
            shifted.t1 -= src.overlay->shift;
            trace_lines(*src.overlay->series, src.overlay_channel[p], *lane, shifted, sc.plot_left, src.columns,
                        sc.overlay_traces.back());
            dashed(sc.overlay_traces.back(), sc.plot_left);
        }
    }
    if (src.overlay != nullptr)
        sc.texts.push_back({sc.plot_right - 4, sc.lanes[0].top + 2, "- - - " + file_name_part(src.overlay->series->log_path),
                            GRAPH_AXIS_TEXT, ALIGN_RIGHT, true});
}

// Events: markers and recordings always, time stamps where there is room; their labels
// above the lanes (markers) and clock times below the time labels (time records).
void add_events(GraphScene& sc, const SceneSource& src)
{
    int last_rule = -1000000, last_top_label = -1000000, last_bottom_label = -1000000;
    for (const LogEvent& e : src.series.events) {
        if (e.time < src.view.t0 || e.time > src.view.t1)
            continue;
        int x = sc.plot_left + static_cast<int>(std::lround(view_x_of(src.view, e.time, src.columns)));
        Rgb colour = e.kind == LogEventKind::Marker      ? GRAPH_MARKER
                     : e.kind == LogEventKind::Recording ? GRAPH_RECORDING
                                                         : GRAPH_TIME_STAMP;
        if (e.kind == LogEventKind::TimeStamp && x - last_rule < RULE_SPACING)
            continue;
        sc.rules.push_back({x, colour, e.kind == LogEventKind::Marker ? PEN_DASH : e.kind == LogEventKind::Recording ? PEN_SOLID : PEN_DOT});
        if (e.kind != LogEventKind::Marker)
            last_rule = x;
        if (e.kind == LogEventKind::Marker) {
            if (x - last_top_label >= text_width(e.label) + 6) {
                sc.texts.push_back({x + 2, 4, e.label, colour, ALIGN_LEFT, false});
                last_top_label = x;
            }
        } else if (x - last_bottom_label >= text_width(e.label) + 8) {
            sc.texts.push_back({x, sc.plot_bottom + 3 + GRAPH_LINE_HEIGHT + 2, e.label, colour, ALIGN_CENTRE, false});
            last_bottom_label = x;
        }
    }
}

// Lane captions: each channel's name and unit in its colour, top left in its lane.
void add_lane_captions(GraphScene& sc, const SceneSource& src)
{
    std::vector<int> caption_x(static_cast<size_t>(src.lane_count), sc.plot_left + 4);
    for (size_t p = 0; p < src.picks.size(); ++p) {
        int c = src.pick_channel[p];
        if (c < 0)
            continue;
        const ChannelInfo& ch = src.series.channels[static_cast<size_t>(c)];
        std::string caption = ch.unit.empty() ? ch.name : ch.name + " (" + ch.unit + ")";
        int& cx = caption_x[static_cast<size_t>(src.picks[p].lane)];
        sc.texts.push_back({cx, sc.lanes[static_cast<size_t>(src.picks[p].lane)].top + 2, caption, sc.trace_colours[p],
                            ALIGN_LEFT, true});
        cx += text_width(caption) + 12;
    }
}

// The selected row, then the pointer, and the read-out at the pointer (or the selected row).
void add_readout(GraphScene& sc, const SceneSource& src, int pointer_x, long selected)
{
    long readout_sample = -1;
    int readout_x = -1;
    if (selected >= 0 && selected < src.series.samples()) {
        double t = src.series.time[static_cast<size_t>(selected)];
        if (t >= src.view.t0 && t <= src.view.t1) {
            readout_x = sc.plot_left + static_cast<int>(std::lround(view_x_of(src.view, t, src.columns)));
            sc.rules.push_back({readout_x, GRAPH_SELECTED, PEN_SOLID});
            readout_sample = selected;
        }
    }
    if (pointer_x >= sc.plot_left && pointer_x < sc.plot_right && src.series.samples() > 0) {
        sc.rules.push_back({pointer_x, GRAPH_POINTER, PEN_SOLID});
        readout_x = pointer_x;
        readout_sample = src.series.sample_at(view_time_at(src.view, pointer_x - sc.plot_left, src.columns));
    }
    if (readout_sample >= 0) {
        double t = src.series.time[static_cast<size_t>(readout_sample)];
        sc.readout.push_back(log_time_text(t, true) + "  row " + std::to_string(readout_sample));
        long overlay_sample = src.overlay != nullptr ? overlay_sample_at(*src.overlay, t) : -1;
        if (overlay_sample >= 0)
            sc.readout.back() += " | " + log_time_text(src.overlay->series->time[static_cast<size_t>(overlay_sample)], true) +
                                 "  row " + std::to_string(overlay_sample);
        bool left = readout_x + READOUT_OFFSET + 20 * GRAPH_CHAR_WIDTH > sc.plot_right;
        int tx = left ? readout_x - READOUT_OFFSET : readout_x + READOUT_OFFSET;
        Align align = left ? ALIGN_RIGHT : ALIGN_LEFT;
        sc.texts.push_back({readout_x, sc.plot_bottom + 3 + GRAPH_LINE_HEIGHT + 2, sc.readout.back(), GRAPH_POINTER,
                            ALIGN_CENTRE, true});
        std::vector<int> line_in_lane(static_cast<size_t>(src.lane_count), 0);
        for (size_t p = 0; p < src.picks.size(); ++p) {
            int c = src.pick_channel[p];
            if (c < 0)
                continue;
            const ChannelInfo& ch = src.series.channels[static_cast<size_t>(c)];
            std::string text = ch.name + " " +
                               channel_value_text(ch, src.series.values[static_cast<size_t>(c)][static_cast<size_t>(readout_sample)]);
            if (!ch.unit.empty() && !ch.flag)
                text += " " + ch.unit;
            if (overlay_sample >= 0 && src.overlay_channel[p] >= 0)
                text += " | " + overlay_value_text(ch, src.series.values[static_cast<size_t>(c)][static_cast<size_t>(readout_sample)],
                                                   src.overlay->series->values[static_cast<size_t>(src.overlay_channel[p])]
                                                                          [static_cast<size_t>(overlay_sample)]);
            sc.readout.push_back(text);
            const SceneLane& lane = sc.lanes[static_cast<size_t>(src.picks[p].lane)];
            int& line = line_in_lane[static_cast<size_t>(src.picks[p].lane)];
            int y = lane.top + GRAPH_LINE_HEIGHT + 6 + line * GRAPH_LINE_HEIGHT;
            if (y + GRAPH_LINE_HEIGHT <= lane.bottom + 2)
                sc.texts.push_back({tx, y, text, sc.trace_colours[p], align, true});
            ++line;
        }
    }
}

// Texts stay inside the picture (a time label on the plot's right edge).
void keep_texts_inside(GraphScene& sc, int width)
{
    for (SceneText& t : sc.texts) {
        int w = text_width(t.text);
        int left = t.align == ALIGN_RIGHT ? t.x - w : t.align == ALIGN_CENTRE ? t.x - w / 2 : t.x;
        int shift = left < 2 ? 2 - left : left + w > width - 2 ? width - 2 - (left + w) : 0;
        t.x += shift;
    }
}

}  // namespace

GraphScene build_graph_scene(const ChannelSeries& series, const std::vector<GraphPick>& picks, const GraphView& view,
                             int width, int height, int pointer_x, long selected, const GraphOverlay* overlay)
{
    if (overlay != nullptr && overlay->series == nullptr)
        overlay = nullptr;
    GraphScene sc;
    sc.width = width;
    sc.height = height;
    sc.plot_left = GRAPH_LEFT;
    sc.plot_right = width - GRAPH_RIGHT;
    sc.plot_top = GRAPH_TOP;
    sc.plot_bottom = height - GRAPH_BOTTOM;
    const int columns = sc.plot_right - sc.plot_left;
    if (columns < 8 || sc.plot_bottom - sc.plot_top < 16)
        return sc;

    // Lanes: one per lane number in use, sharing the height.
    int lane_count = 0;
    for (const GraphPick& p : picks)
        lane_count = std::max(lane_count, p.lane + 1);
    if (lane_count == 0) {
        sc.texts.push_back({(sc.plot_left + sc.plot_right) / 2, (sc.plot_top + sc.plot_bottom) / 2,
                            "No channels chosen", GRAPH_AXIS_TEXT, ALIGN_CENTRE, false});
        return sc;
    }
    SceneSource src{series, overlay, picks, {}, {}, view, columns, lane_count};
    for (const GraphPick& p : picks) {
        src.pick_channel.push_back(series.channel_index(p.name));
        src.overlay_channel.push_back(overlay != nullptr ? overlay->series->channel_index(p.name) : -1);
    }
    add_lanes(sc, src);
    if (series.samples() == 0)
        sc.texts.push_back({(sc.plot_left + sc.plot_right) / 2, (sc.plot_top + sc.plot_bottom) / 2,
                            "No good frame in this log", GRAPH_AXIS_TEXT, ALIGN_CENTRE, true});
    add_time_axis(sc, src);
    add_traces(sc, src);
    add_events(sc, src);
    add_lane_captions(sc, src);
    add_readout(sc, src, pointer_x, selected);
    keep_texts_inside(sc, width);
    return sc;
}

// ---- The window -------------------------------------------------------------------------------

void attach_graph_host(GraphHost* host) { g_host = host; }

int graph_load_log(const std::string& path, const std::vector<GraphPick>* picks)
{
    g_graph.catalogue = catalogue_with_math();
    std::vector<GraphPick> chosen = picks != nullptr ? *picks
                                    : g_graph.settings_path.empty()
                                        ? std::vector<GraphPick>{}
                                        : read_graph_settings(g_graph.settings_path);
    chosen = valid_picks(chosen, g_graph.catalogue);
    if (chosen.empty() && picks == nullptr)
        chosen = default_graph_picks(g_graph.catalogue);
    std::vector<ChannelInfo> channels;
    for (const GraphPick& p : chosen)
        channels.push_back(g_graph.catalogue[static_cast<size_t>(find_channel(g_graph.catalogue, p.name))]);
    ChannelSeries series;
    if (compute_series(path, channels, series) != SERIES_OK)
        return -1;
    compute_math_series(path, series);
    g_graph.series = std::move(series);
    g_graph.marked.clear();
    g_graph.picks = chosen;
    g_graph.selected = -1;
    view_fit(g_graph.view, 0, g_graph.series.duration);
    if (g_graph.on_series_changed != nullptr)
        g_graph.on_series_changed();
    if (g_host != nullptr)
        g_host->channels_changed();
    repaint();
    return 0;
}

void graph_set_picks(const std::vector<GraphPick>& picks)
{
    std::vector<GraphPick> chosen = valid_picks(picks, g_graph.catalogue);
    std::vector<ChannelInfo> missing = missing_channels(chosen);
    if (!missing.empty() && !g_graph.series.log_path.empty()) {
        ChannelSeries more;
        if (compute_series(g_graph.series.log_path, missing, more) == SERIES_OK &&
            more.samples() == g_graph.series.samples()) {
            compute_math_series(g_graph.series.log_path, more);
            for (size_t i = 0; i < missing.size(); ++i) {
                g_graph.series.channels.push_back(missing[i]);
                g_graph.series.values.push_back(std::move(more.values[i]));
            }
        } else {
            // The log changed under us: it is read whole again for the new picks.
            std::string path = g_graph.series.log_path;
            graph_load_log(path, &chosen);
        }
    }
    // Channels no longer picked are let go.
    for (size_t i = g_graph.series.channels.size(); i-- > 0;) {
        const std::string& name = g_graph.series.channels[i].name;
        if (std::none_of(chosen.begin(), chosen.end(), [&](const GraphPick& p) { return p.name == name; })) {
            g_graph.series.channels.erase(g_graph.series.channels.begin() + static_cast<long>(i));
            g_graph.series.values.erase(g_graph.series.values.begin() + static_cast<long>(i));
        }
    }
    g_graph.picks = chosen;
    if (g_graph.on_series_changed != nullptr)
        g_graph.on_series_changed();
    if (!g_graph.settings_path.empty()) {
        make_folders(directory_part(g_graph.settings_path));
        write_graph_settings(g_graph.settings_path, chosen);
    }
    if (g_host != nullptr)
        g_host->channels_changed();
    repaint();
}

GraphScene graph_scene()
{
    // No read-out while the picture is dragged along.
    bool panning = g_graph.pressed && !g_graph.spanning && g_graph.moved;
    GraphScene sc = build_graph_scene(g_graph.series, g_graph.picks, g_graph.view, g_graph.width, g_graph.height,
                                      panning ? -1 : g_graph.pointer_x, g_graph.selected, &g_graph.overlay);
    // Marked samples: one rule per pixel column that holds any.
    int last_x = -1;
    for (uint32_t m : g_graph.marked) {
        if (m >= static_cast<uint32_t>(g_graph.series.samples()))
            break;
        double t = g_graph.series.time[m];
        if (t < g_graph.view.t0 || t >= g_graph.view.t1)
            continue;
        int x = sc.plot_left + static_cast<int>(view_x_of(g_graph.view, t, plot_columns(g_graph.width)));
        if (x != last_x)
            sc.rules.push_back({x, GRAPH_MARKED, PEN_DOT});
        last_x = x;
    }
    if (g_graph.pressed && g_graph.spanning) {
        sc.span = true;
        sc.span_a = std::clamp(g_graph.press_x, sc.plot_left, sc.plot_right);
        sc.span_b = std::clamp(g_graph.pointer_x, sc.plot_left, sc.plot_right);
    }
    return sc;
}

void graph_math_channels_changed()
{
    // Their values go; the picks compute them again from the new definitions.
    for (size_t i = g_graph.series.channels.size(); i-- > 0;) {
        if (g_graph.series.channels[i].math >= 0) {
            g_graph.series.channels.erase(g_graph.series.channels.begin() + static_cast<long>(i));
            g_graph.series.values.erase(g_graph.series.values.begin() + static_cast<long>(i));
        }
    }
    g_graph.catalogue = catalogue_with_math();
    if (!g_graph.series.log_path.empty())
        graph_set_picks(g_graph.picks);
    else if (g_host != nullptr)
        g_host->channels_changed();
}

void graph_mark_samples(const std::string& log, const std::vector<uint32_t>& samples)
{
    if (g_graph.series.log_path != log)
        return;
    g_graph.marked = samples;
    if (!samples.empty() && samples.front() < static_cast<uint32_t>(g_graph.series.samples()))
        view_reveal(g_graph.view, g_graph.series.time[samples.front()]);
    repaint();
}

void graph_show_for_viewer()
{
    if (g_viewer.table == nullptr) {
        ui().message_box("Please open a data log...", "No Data Log Opened", MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
        return;
    }
    if (g_graph.series.log_path != g_viewer.log_path || !g_graph.follows_table) {
        if (graph_load_log(g_viewer.log_path) != 0) {
            ui().message_box("Can not open Data Log File", "File Open Error", MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
            return;
        }
    }
    g_graph.follows_table = true;
    g_viewer.on_change = graph_viewer_changed;
    g_graph.open = true;
    if (g_host != nullptr)
        g_host->open_window();
    graph_viewer_changed();
}

void graph_viewer_changed()
{
    if (!g_graph.open || !g_graph.follows_table)
        return;
    // Another log opened in the table: the graph shows it instead.
    if (g_viewer.table != nullptr && g_viewer.log_path != g_graph.series.log_path)
        graph_load_log(g_viewer.log_path);
    // The table rebuilt in other units (or with other ADC channels): so is the graph, showing the
    // same columns under their new names.
    std::vector<ChannelInfo> now = catalogue_with_math();
    if (!same_catalogue(now, g_graph.catalogue)) {
        std::vector<GraphPick> picks;
        for (const GraphPick& p : g_graph.picks) {
            int old = find_channel(g_graph.catalogue, p.name);
            for (const ChannelInfo& ch : now)
                if (old >= 0 && ch.column == g_graph.catalogue[static_cast<size_t>(old)].column &&
                    ch.adc == g_graph.catalogue[static_cast<size_t>(old)].adc &&
                    ch.math == g_graph.catalogue[static_cast<size_t>(old)].math)
                    picks.push_back({ch.name, p.lane});
        }
        std::string path = g_graph.series.log_path;
        graph_load_log(path, &picks);
    }
    long selected = table_matches() ? g_viewer.selected_row : -1;
    if (selected != g_graph.selected) {
        g_graph.selected = selected;
        if (selected >= 0)
            view_reveal(g_graph.view, g_graph.series.time[static_cast<size_t>(selected)]);
    }
    repaint();
}

void graph_close()
{
    if (g_graph.open && g_host != nullptr)
        g_host->close_window();
    graph_closed();
}

void graph_closed()
{
    g_graph.open = false;
    g_graph.pressed = false;
    g_graph.pointer_x = -1;
    if (g_viewer.on_change == graph_viewer_changed)
        g_viewer.on_change = nullptr;
}

void graph_resize(int width, int height)
{
    g_graph.width = width;
    g_graph.height = height;
}

void graph_mouse_move(int x, bool left_down)
{
    g_graph.pointer_x = x;
    if (g_graph.pressed && left_down) {
        if (std::abs(x - g_graph.press_x) > 3)
            g_graph.moved = true;
        if (!g_graph.spanning && g_graph.moved)
            view_pan(g_graph.view, x - g_graph.last_x, plot_columns(g_graph.width));
        g_graph.last_x = x;
    }
    repaint();
}

void graph_mouse_down(int x, bool span)
{
    g_graph.pressed = true;
    g_graph.spanning = span;
    g_graph.moved = false;
    g_graph.press_x = g_graph.last_x = x;
}

void graph_mouse_up(int x)
{
    if (!g_graph.pressed)
        return;
    g_graph.pressed = false;
    const int columns = plot_columns(g_graph.width);
    if (g_graph.spanning && std::abs(x - g_graph.press_x) > 3) {
        view_zoom_to(g_graph.view, g_graph.press_x - GRAPH_LEFT, x - GRAPH_LEFT, columns);
    } else if (!g_graph.moved && x >= GRAPH_LEFT && x < GRAPH_LEFT + columns) {
        // A click: the row under it selected in the table, brought onto its page.
        long sample = sample_under(x);
        if (sample >= 0 && table_matches()) {
            g_graph.selected = sample;
            long top = sample - VIEW_PAGE_ROWS / 2;
            analysis_scroll(CONTROL_SCROLL_THUMB_TRACK, static_cast<int>(top < 0 ? 0 : top));
            select_viewer_row(sample);
        } else if (sample >= 0) {
            g_graph.selected = sample;
        }
    }
    g_graph.spanning = false;
    g_graph.moved = false;
    repaint();
}

void graph_leave()
{
    g_graph.pointer_x = -1;
    repaint();
}

void graph_wheel(int x, int steps)
{
    view_zoom_at(g_graph.view, x - GRAPH_LEFT, plot_columns(g_graph.width), std::pow(0.8, steps));
    repaint();
}

void graph_fit()
{
    view_fit(g_graph.view, 0, g_graph.series.duration);
    repaint();
}

void graph_pan_pixels(int dx)
{
    view_pan(g_graph.view, dx, plot_columns(g_graph.width));
    repaint();
}

void reset_graph()
{
    if (g_viewer.on_change == graph_viewer_changed)
        g_viewer.on_change = nullptr;
    g_graph = GraphState{};
    g_host = nullptr;
}

namespace {

// The log graph goes with the viewer's display and opens from its button.
void follow_viewer(ViewerEvent event)
{
    switch (event) {
    case VIEWER_CLOSING:
        graph_close();
        break;
    case VIEWER_GRAPH_ASKED:
        graph_show_for_viewer();
        break;
    case VIEWER_RESET:
        reset_graph();
        break;
    default:
        break;
    }
}

[[maybe_unused]] const bool following_viewer = add_viewer_listener(follow_viewer);

}  // namespace
