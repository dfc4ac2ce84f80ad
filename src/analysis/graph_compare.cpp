#include "analysis/graph_compare.h"

#include <algorithm>
#include <cstdlib>

#include "analysis/graph.h"
#include "analysis/runs.h"
#include "analysis/view_table.h"
#include "platform/numbers.h"

GraphCompareState g_graph_compare;

namespace {

const std::vector<CompareAnchor> NO_ANCHORS;

std::vector<CompareAnchor> markers_of(const ChannelSeries& s)
{
    std::vector<CompareAnchor> out;
    for (const LogEvent& e : s.events) {
        if (e.kind != LogEventKind::Marker)
            continue;
        CompareAnchor a;
        a.time = e.time;
        a.number = std::atoi(e.label.c_str() + (e.label.empty() ? 0 : 1));   // "M007"
        a.label = e.label + " " + log_time_text(e.time, true);
        out.push_back(a);
    }
    return out;
}

// The runs of the log at `path`, found in a table built for them; sample n of a series is row n.
std::vector<CompareAnchor> runs_of(const std::string& path, const ChannelSeries& s)
{
    std::vector<CompareAnchor> out;
    FILE* table = std::tmpfile();
    long rows = 0;
    std::vector<QmileRun> runs;
    if (table != nullptr && build_view_table(path, table, rows) == BUILD_OK)
        find_runs(table, RUN_MIN_TPS, runs);
    if (table != nullptr)
        std::fclose(table);
    for (const QmileRun& r : runs) {
        if (r.row >= s.samples())
            continue;
        CompareAnchor a;
        a.time = s.time[static_cast<size_t>(r.row)];
        a.label = "run " + std::string(r.results.start_run_time) + " row " + std::to_string(r.row);
        out.push_back(a);
    }
    return out;
}

// The compared log's shift for the alignment, and the view over both logs.
void apply_alignment()
{
    GraphCompareState& c = g_graph_compare;
    c.shift = 0;
    if (c.align != CompareAlign::Start) {
        const std::vector<CompareAnchor>& a = graph_compare_anchors(0, c.align);
        const std::vector<CompareAnchor>& b = graph_compare_anchors(1, c.align);
        c.shift = a[static_cast<size_t>(c.chosen[0])].time - b[static_cast<size_t>(c.chosen[1])].time;
    }
    g_graph.overlay = GraphOverlay{&c.series, c.shift};
    g_graph.on_series_changed = graph_compare_refresh;
    double start = std::min(0.0, c.shift), end = std::max(g_graph.series.duration, c.shift + c.series.duration);
    view_fit(g_graph.view, start, end);
}

int anchor_count(int log, CompareAlign align) { return static_cast<int>(graph_compare_anchors(log, align).size()); }

}  // namespace

bool graph_comparing() { return !g_graph_compare.series.log_path.empty(); }

const std::vector<CompareAnchor>& graph_compare_anchors(int log, CompareAlign align)
{
    const GraphCompareState& c = g_graph_compare;
    if (log < 0 || log > 1 || align == CompareAlign::Start)
        return NO_ANCHORS;
    return align == CompareAlign::Marker ? c.markers[log] : c.runs[log];
}

int graph_compare_load(const std::string& path)
{
    std::vector<ChannelInfo> channels;
    for (const GraphPick& p : g_graph.picks) {
        int i = find_channel(g_graph.catalogue, p.name);
        if (i >= 0)
            channels.push_back(g_graph.catalogue[static_cast<size_t>(i)]);
    }
    ChannelSeries series;
    if (compute_series(path, channels, series) != SERIES_OK)
        return -1;
    GraphCompareState& c = g_graph_compare;
    c.series = std::move(series);
    c.markers[0] = markers_of(g_graph.series);
    c.markers[1] = markers_of(c.series);
    c.runs[0] = runs_of(g_graph.series.log_path, g_graph.series);
    c.runs[1] = runs_of(path, c.series);
    c.align = CompareAlign::Start;
    c.chosen[0] = c.chosen[1] = 0;
    apply_alignment();
    return 0;
}

void graph_compare_clear()
{
    g_graph_compare = GraphCompareState{};
    g_graph.overlay = GraphOverlay{};
    g_graph.on_series_changed = nullptr;
    view_fit(g_graph.view, 0, g_graph.series.duration);
}

int graph_compare_align(CompareAlign align, int first, int second)
{
    if (!graph_comparing())
        return -1;
    if (align != CompareAlign::Start &&
        (first < 0 || second < 0 || first >= anchor_count(0, align) || second >= anchor_count(1, align)))
        return -1;
    GraphCompareState& c = g_graph_compare;
    c.align = align;
    c.chosen[0] = align == CompareAlign::Start ? 0 : first;
    c.chosen[1] = align == CompareAlign::Start ? 0 : second;
    apply_alignment();
    return 0;
}

int graph_compare_align_text(const std::string& text, std::string& error)
{
    if (text == "start")
        return graph_compare_align(CompareAlign::Start, 0, 0);
    if (text == "run") {
        if (graph_compare_align(CompareAlign::Run, 0, 0) == 0)
            return 0;
        error = "--align run: a log has no run (" +
                (g_graph_compare.runs[0].empty() ? g_graph.series.log_path : g_graph_compare.series.log_path) + ")";
        return -1;
    }
    int64_t number = 0;
    if (text.rfind("marker:", 0) != 0 || !parse_whole_number(text.substr(7), 0, 999, number)) {
        error = "--align takes start, marker:N or run, not '" + text + "'";
        return -1;
    }
    int found[2] = {-1, -1};
    for (int log = 0; log < 2; ++log) {
        const std::vector<CompareAnchor>& m = g_graph_compare.markers[log];
        for (size_t i = 0; i < m.size() && found[log] < 0; ++i)
            if (m[i].number == number)
                found[log] = static_cast<int>(i);
        if (found[log] < 0) {
            error = "--align " + text + ": no marker " + std::to_string(number) + " in " +
                    (log == 0 ? g_graph.series.log_path : g_graph_compare.series.log_path);
            return -1;
        }
    }
    return graph_compare_align(CompareAlign::Marker, found[0], found[1]);
}

void graph_compare_refresh()
{
    if (!graph_comparing())
        return;
    GraphCompareState kept = g_graph_compare;
    GraphView view = g_graph.view;
    if (graph_compare_load(kept.series.log_path) != 0) {
        graph_compare_clear();
        return;
    }
    // The same alignment when both logs still have the anchors, else the starts; the same
    // logs keep the span shown.
    if (graph_compare_align(kept.align, kept.chosen[0], kept.chosen[1]) != 0)
        graph_compare_align(CompareAlign::Start, 0, 0);
    if (kept.shift == g_graph_compare.shift && view.start == g_graph.view.start && view.end == g_graph.view.end)
        g_graph.view = view;
}

void reset_graph_compare()
{
    g_graph_compare = GraphCompareState{};
    g_graph.overlay = GraphOverlay{};
    g_graph.on_series_changed = nullptr;
}
