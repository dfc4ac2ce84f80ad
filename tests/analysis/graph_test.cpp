// The log graph without a window: series against the export's own values, the reduction to pixel
// columns, the time axis of logs with several recordings and lost frames, events, the read-out,
// zoom and pan, the settings file, and the graph and the Analysis table selecting each other's row.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "analysis/channels.h"
#include "analysis/export.h"
#include "analysis/graph.h"
#include "analysis/viewer.h"
#include "config/config.h"
#include "config/devices.h"
#include "config/settings.h"
#include "draw/recording_canvas.h"
#include "support/live.h"
#include "support/log_builder.h"
#include "support/scripted_ui.h"

namespace {

void put16(FrameRecord& f, int offset, int v)
{
    f.b[offset] = static_cast<uint8_t>(v >> 8);
    f.b[offset + 1] = static_cast<uint8_t>(v & 0xFF);
}

// A frame of a steady engine whose run time is `seconds` and whose BLM byte carries `blm`.
FrameRecord steady_frame(int seconds, int blm)
{
    FrameRecord f = drive_frame(0);
    put16(f, F_RUN_TIME, seconds);
    f.b[F_BLM] = static_cast<uint8_t>(blm);
    return f;
}

// The head of a recording: its time record and a configuration dump of a few hundred bytes.
Bytes recording_head(int minute)
{
    Bytes head = time_record(3, 7, 2013, 14, minute, 0);
    std::string dump;
    for (int i = 0; i < 20; ++i)
        dump += "[KEY" + std::to_string(i) + "] value\r\n";
    head.insert(head.end(), dump.begin(), dump.end());
    return head;
}

std::vector<std::string> split(const std::string& s, char by)
{
    std::vector<std::string> out;
    std::string cell;
    std::istringstream in(s);
    while (std::getline(in, cell, by))
        out.push_back(cell);
    return out;
}

class Graph : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        // A wideband on channel 0 (preferred) and a pressure sender on channel 3: ADC columns too.
        g_settings.ad[0].type = DEVICE_WIDEBAND;
        g_settings.ad[0].index = 1;
        g_settings.ad[0].insta = 1;
        g_settings.ad[0].wbpref = 1;
        g_settings.ad[3].type = DEVICE_PRESSURE;
        g_settings.ad[3].index = 1;
        g_settings.ad[3].insta = PRESSURE_DEVICES[1].id;
        g_settings.ad[3].filter = 40;
        build_device_catalogue();
        rebuild_channel_state();
    }
    void TearDown() override { reset_everything(); }

    ChannelSeries series_of(const Bytes& log, const std::vector<std::string>& names)
    {
        std::vector<ChannelInfo> catalogue = channel_catalogue();
        std::vector<ChannelInfo> channels;
        for (const std::string& n : names)
            channels.push_back(catalogue[static_cast<size_t>(find_channel(catalogue, n))]);
        ChannelSeries s;
        EXPECT_EQ(compute_series(write_temp_file("graph.dat", log), channels, s), SERIES_OK);
        return s;
    }
};

TEST_F(Graph, SeriesEqualTheExportsValuesForEveryChannel)
{
    Bytes log = recording_head(5);
    for (uint32_t n = 0; n < 300; ++n) {
        Bytes frame = frame_bytes(sample_frame(n + 1));
        if (n == 120)
            frame = frame_bytes_bad_crc(sample_frame(n + 1));
        if (n == 40)
            frame = insert_at(frame, 100, marker_record(0, 3, 7, 2013, 14, 5, 9));
        append(log, frame);
    }
    std::string path = write_temp_file("graph-export.dat", log);
    for (int transtype : {0, 1}) {
        g_settings.transtype = transtype;
        std::vector<ChannelInfo> catalogue = channel_catalogue();
        ASSERT_EQ(catalogue.size(), EXPORT_COLUMN_COUNT + 2u) << channel_names(catalogue);
        ChannelSeries s;
        ASSERT_EQ(compute_series(path, catalogue, s), SERIES_OK);
        std::string out = temp_dir() + "/graph-export.csv";
        ASSERT_EQ(export_log(path, out, ExportOptions{true, true}), EXPORT_OK);
        std::vector<std::string> lines = split(read_file(out), '\n');
        ASSERT_EQ(static_cast<long>(lines.size()), s.samples() + 1) << "one line per good frame after the heading";
        for (long r = 0; r < s.samples(); ++r) {
            std::vector<std::string> cells = split(lines[static_cast<size_t>(r + 1)], ',');
            ASSERT_GE(cells.size(), catalogue.size());
            for (size_t c = 0; c < catalogue.size(); ++c) {
                const ChannelInfo& ch = catalogue[c];
                const std::string& cell = cells[c];
                double v = s.values[c][static_cast<size_t>(r)];
                double printed;
                if (ch.column == 0) {
                    printed = std::atoi(cell.substr(0, 2).c_str()) * 3600 + std::atoi(cell.substr(3, 2).c_str()) * 60 +
                              std::atoi(cell.substr(6, 2).c_str());
                } else if (ch.flag) {
                    printed = cell == "Y" ? 1 : 0;
                } else if (ch.name == "Gr" && transtype == 1) {
                    printed = cell == "P/N" ? GEAR_PARK_NEUTRAL : cell == " OD" ? GEAR_OVERDRIVE : cell == "  3" ? GEAR_THIRD : GEAR_1_2;
                } else {
                    printed = std::atof(cell.c_str());
                }
                double tolerance = 0.5 * std::pow(10.0, -ch.precision) + 1e-3 * std::max(1.0, std::fabs(v));
                ASSERT_NEAR(v, printed, tolerance) << ch.name << " row " << r << " cell '" << cell << "'";
            }
        }
    }
}

TEST_F(Graph, ASpikeKeepsItsPeakInItsPixelColumnAtEveryZoom)
{
    ChannelSeries s;
    const long n = 61200;
    s.channels.push_back(ChannelInfo{"RPM", "rpm", 1, -1, 0, false});
    s.values.resize(1);
    for (long i = 0; i < n; ++i) {
        s.time.push_back(static_cast<float>(i) / FRAMES_PER_SECOND);
        s.values[0].push_back(i == 30001 ? 6500.0f : i == 40000 ? -20.0f : 800.0f);
    }
    s.duration = static_cast<double>(n) / FRAMES_PER_SECOND;
    double spike_t = s.time[30001];
    std::vector<ColumnSpan> cols;
    for (double span : {s.duration, 600.0, 10.0, 1.0}) {
        for (int width : {700, 333, 1920}) {
            double t0 = std::max(0.0, spike_t - span / 3);
            reduce_columns(s, 0, t0, t0 + span, width, cols);
            int c = static_cast<int>((spike_t - t0) * width / span);
            ASSERT_TRUE(cols[static_cast<size_t>(c)].any);
            EXPECT_EQ(cols[static_cast<size_t>(c)].hi, 6500.0f) << "span " << span << " width " << width;
        }
    }
    reduce_columns(s, 0, 0, s.duration, 700, cols);
    float lowest = 1e9f;
    for (const ColumnSpan& col : cols)
        lowest = std::min(lowest, col.lo);
    EXPECT_EQ(lowest, -20.0f) << "a dip survives as a spike does";
}

TEST_F(Graph, SeveralRecordingsAndLostFramesNeitherFoldTheTimeBackNorJoinAcrossTheGap)
{
    // Recording 1: 60 frames from run time 500 s, a bad frame after 30; recording 2 starts again
    // at run time 0 with a marker on its 10th frame.
    Bytes log = recording_head(5);
    for (int n = 0; n < 60; ++n)
        append(log, n == 30 ? frame_bytes_bad_crc(steady_frame(500 + n / 17, 130)) : frame_bytes(steady_frame(500 + n / 17, 130)));
    append(log, recording_head(9));
    for (int n = 0; n < 40; ++n) {
        Bytes frame = frame_bytes(steady_frame(n / 17, 140));
        if (n == 10)
            frame = insert_at(frame, 200, marker_record(0, 3, 7, 2013, 14, 9, 1));
        append(log, frame);
    }
    ChannelSeries s = series_of(log, {"BLM", "RUNTIME"});
    ASSERT_EQ(s.samples(), 59 + 40);
    for (long i = 1; i < s.samples(); ++i)
        ASSERT_GT(s.time[static_cast<size_t>(i)], s.time[static_cast<size_t>(i - 1)]) << "sample " << i;
    EXPECT_LT(s.values[1][60], s.values[1][58]) << "the run time restarts; the axis does not";
    EXPECT_EQ(s.breaks, (std::vector<uint32_t>{0, 30, 59}));
    EXPECT_FLOAT_EQ(s.time[30], 31.0f / FRAMES_PER_SECOND) << "the lost frame keeps its time";

    ASSERT_EQ(s.events.size(), 3u);
    EXPECT_EQ(s.events[0].kind, LogEventKind::Recording);
    EXPECT_EQ(s.events[0].label, "14:05:00");
    EXPECT_EQ(s.events[1].kind, LogEventKind::Recording);
    EXPECT_FLOAT_EQ(static_cast<float>(s.events[1].time), s.time[59]);
    EXPECT_EQ(s.events[2].kind, LogEventKind::Marker);
    EXPECT_EQ(s.events[2].label, "M000");
    EXPECT_EQ(s.events[2].clock, "03/07/2013 - 14:09:01");
    EXPECT_FLOAT_EQ(static_cast<float>(s.events[2].time), s.time[69]) << "the marker at its row's time";

    // No line crosses the lost frame: at full zoom on it, the columns either side are not joined.
    std::vector<ColumnSpan> cols;
    reduce_columns(s, 0, s.time[25], s.time[35], 100, cols);
    int after_gap = static_cast<int>((s.time[30] - s.time[25]) * 100 / (s.time[35] - s.time[25]));
    ASSERT_TRUE(cols[static_cast<size_t>(after_gap)].any);
    EXPECT_FALSE(cols[static_cast<size_t>(after_gap)].joined);
    GraphView v;
    view_fit(v, s.time[25], s.time[35]);
    GraphScene sc = build_graph_scene(s, {{"BLM", 0}}, v, 300, 200, -1, -1);
    float gap_left = static_cast<float>(sc.plot_left + view_x_of(v, s.time[29], plot_columns(300)));
    float gap_right = static_cast<float>(sc.plot_left + view_x_of(v, s.time[30], plot_columns(300)));
    for (const SceneLine& l : sc.traces[0])
        EXPECT_FALSE(std::min(l.x1, l.x2) <= gap_left + 0.1f && std::max(l.x1, l.x2) >= gap_right - 0.1f)
            << "a line across the gap from " << l.x1 << " to " << l.x2;

    // The markers' lines in the scene stand at their rows' times, labelled.
    view_fit(v, 0, s.duration);
    sc = build_graph_scene(s, {{"BLM", 0}}, v, 800, 400, -1, -1);
    int marker_x = sc.plot_left + static_cast<int>(std::lround(view_x_of(v, s.time[69], plot_columns(800))));
    bool found = false;
    for (const SceneRule& r : sc.rules)
        found = found || (r.colour == GRAPH_MARKER && r.x == marker_x);
    EXPECT_TRUE(found);
    found = false;
    for (const SceneText& t : sc.texts)
        found = found || t.text == "M000";
    EXPECT_TRUE(found);
}

TEST_F(Graph, TheReadOutShowsEveryChannelAtThePointer)
{
    Bytes log;
    for (int n = 0; n < 34; ++n)
        append(log, frame_bytes(steady_frame(200, n < 17 ? 120 : 150)));
    ChannelSeries s = series_of(log, {"BLM", "RPM", "Cl", "CTS"});
    GraphView v;
    view_fit(v, 0, s.duration);
    const int width = 64 + 10 + 340;   // 10 columns a frame
    std::vector<GraphPick> picks = {{"BLM", 0}, {"RPM", 1}, {"Cl", 1}, {"CTS", 2}};
    int x = GRAPH_LEFT + static_cast<int>(view_x_of(v, s.time[20], plot_columns(width)));
    GraphScene sc = build_graph_scene(s, picks, v, width, 400, x, -1);
    std::string rpm = channel_value_text(s.channels[1], s.values[1][20]);
    std::string cts = channel_value_text(s.channels[3], s.values[3][20]);
    EXPECT_EQ(sc.readout, (std::vector<std::string>{"0:01.1  row 20", "BLM 150", "RPM " + rpm + " rpm",
                                                    std::string("Cl ") + (s.values[2][20] != 0 ? "Y" : "N"),
                                                    "CTS " + cts + " " + column_unit_text(ColumnUnit::Temperature)}));
    // Without the pointer, the read-out follows the selected row.
    sc = build_graph_scene(s, picks, v, width, 400, -1, 3);
    ASSERT_FALSE(sc.readout.empty());
    EXPECT_EQ(sc.readout[1], "BLM 120");
    EXPECT_EQ(build_graph_scene(s, picks, v, width, 400, -1, -1).readout.size(), 0u);
}

TEST_F(Graph, ZoomAndPanKeepTheTimeUnderThePointerAndStayInTheLog)
{
    GraphView v;
    view_fit(v, 0, 3600);
    const int width = 800;
    for (double x : {0.0, 123.0, 400.0, 799.0}) {
        GraphView z = v;
        view_zoom_at(z, 400, width, 0.1);   // somewhere in the middle first
        double before = view_time_at(z, x, width);
        view_zoom_at(z, x, width, 0.8);
        EXPECT_NEAR(view_time_at(z, x, width), before, 1e-6) << "zoom in at " << x;
        view_zoom_at(z, x, width, 1.25);
        EXPECT_NEAR(view_time_at(z, x, width), before, 1e-6) << "zoom out at " << x;
    }
    GraphView z = v;
    view_zoom_at(z, 400, width, 0.01);
    double span = z.t1 - z.t0;
    double at = view_time_at(z, 300, width);
    view_pan(z, 50, width);   // dragged 50 pixels right: what was at 300 is now at 350
    EXPECT_NEAR(view_time_at(z, 350, width), at, 1e-6);
    EXPECT_NEAR(z.t1 - z.t0, span, 1e-9);
    view_pan(z, 1e7, width);
    EXPECT_EQ(z.t0, 0.0) << "no panning before the log's start";
    view_pan(z, -1e7, width);
    EXPECT_EQ(z.t1, 3600.0);
    view_zoom_at(z, 10, width, 1e-9);
    EXPECT_NEAR(z.t1 - z.t0, GRAPH_MIN_SPAN, 1e-9);
    view_zoom_at(z, 10, width, 1e9);
    EXPECT_EQ(z.t0, 0.0);
    EXPECT_EQ(z.t1, 3600.0);
    view_zoom_to(z, 200, 100, width);
    EXPECT_NEAR(z.t0, 450.0, 1e-6);
    EXPECT_NEAR(z.t1, 900.0, 1e-6);
}

TEST_F(Graph, ValuesOutOfEveryRangeAndLogsWithoutFramesDrawInsideTheirLanes)
{
    ChannelSeries s;
    s.channels.push_back(ChannelInfo{"WB_0", "AFR", -1, 0, 1, false});
    s.values.resize(1);
    const float odd[] = {14.7f, 3e38f, -3e38f, NAN, INFINITY, 14.7f};
    for (int i = 0; i < 6; ++i) {
        s.time.push_back(static_cast<float>(i) / FRAMES_PER_SECOND);
        s.values[0].push_back(odd[i]);
    }
    s.duration = 6.0 / FRAMES_PER_SECOND;
    GraphView v;
    view_fit(v, 0, 1);
    GraphScene sc = build_graph_scene(s, {{"WB_0", 0}}, v, 500, 300, 100, -1);
    ASSERT_EQ(sc.lanes.size(), 1u);
    for (const SceneLine& l : sc.traces[0]) {
        EXPECT_GE(std::min(l.y1, l.y2), sc.lanes[0].top);
        EXPECT_LE(std::max(l.y1, l.y2), sc.lanes[0].bottom);
    }
    EXPECT_EQ(channel_value_text(s.channels[0], NAN), "--");

    // A log with no good frame: nothing to draw, nothing breaks.
    Bytes junk(5000, 0x55);
    append(junk, frame_bytes_bad_crc(sample_frame(3)));
    ChannelSeries empty = series_of(junk, {"RPM"});
    EXPECT_EQ(empty.samples(), 0);
    view_fit(v, 0, empty.duration);
    sc = build_graph_scene(empty, {{"RPM", 0}}, v, 500, 300, 200, 5);
    EXPECT_TRUE(sc.traces[0].empty());
    EXPECT_TRUE(sc.readout.empty());
    EXPECT_TRUE(std::any_of(sc.texts.begin(), sc.texts.end(), [](const SceneText& t) { return t.text == "No good frame in this log"; }));
    EXPECT_EQ(graph_load_log(temp_dir() + "/no-such.dat"), -1);
}

TEST_F(Graph, TheSettingsFileKeepsPicksAndADamagedOneGivesTheDefaults)
{
    std::string path = temp_dir() + "/graph-settings.conf";
    std::vector<GraphPick> picks = {{"RPM", 0}, {"MAP", 1}, {"TPS", 1}, {"WB", 2}};
    ASSERT_EQ(write_graph_settings(path, picks), 0);
    EXPECT_EQ(read_graph_settings(path), picks);

    std::vector<ChannelInfo> catalogue = channel_catalogue();
    // Damage: binary bytes, a line far too long, a lane out of range, an unknown name, repeats,
    // and more than eight lines.
    std::string damaged = "RPM 1\n\x01\x02\xff garbage\nMAP 9\nTPS x\n" + std::string(5000, 'A') + " 2\nNOPE 3\nrpm 4\n";
    for (int i = 0; i < 12; ++i)
        damaged += "BLM " + std::to_string(i % 8 + 1) + "\n";
    Bytes bytes(damaged.begin(), damaged.end());
    std::string file = write_temp_file("graph-damaged.conf", bytes);
    std::vector<GraphPick> read = read_graph_settings(file);
    EXPECT_LE(read.size(), 8u);
    EXPECT_EQ(valid_picks(read, catalogue), (std::vector<GraphPick>{{"RPM", 0}, {"BLM", 0}}))
        << "unknown and repeated names dropped, the lanes kept";

    Bytes noise;
    for (int i = 0; i < 3000; ++i)
        noise.push_back(static_cast<uint8_t>(i * 7919 % 256));
    EXPECT_TRUE(valid_picks(read_graph_settings(write_temp_file("graph-noise.conf", noise)), catalogue).empty());
    EXPECT_TRUE(read_graph_settings(temp_dir()).empty()) << "a folder is no settings file";

    // The graph falls back to its defaults, and keeps what the user picks.
    g_graph.settings_path = write_temp_file("graph-noise2.conf", noise);
    Bytes log;
    for (int n = 0; n < 20; ++n)
        append(log, frame_bytes(steady_frame(100, 128)));
    ASSERT_EQ(graph_load_log(write_temp_file("graph-defaults.dat", log)), 0);
    EXPECT_EQ(g_graph.picks, default_graph_picks(g_graph.catalogue));
    EXPECT_EQ(g_graph.picks.size(), 8u);
    EXPECT_EQ(g_graph.picks[3].name, "WB") << "the preferred wideband over the narrow band";
    graph_set_picks({{"IAC", 0}, {"TPS", 0}});
    EXPECT_EQ(read_graph_settings(g_graph.settings_path), (std::vector<GraphPick>{{"IAC", 0}, {"TPS", 0}}));
    EXPECT_EQ(g_graph.series.channels.size(), 2u) << "channels no longer shown are let go";
    EXPECT_EQ(g_graph.series.values[g_graph.series.channel_index("IAC")].size(), 20u);
}

// A window for the graph that only counts.
struct CountingHost : GraphHost {
    int opens = 0, repaints = 0;
    void open_window() override { ++opens; }
    void close_window() override { graph_closed(); }
    void repaint() override { ++repaints; }
    void channels_changed() override {}
};

TEST_F(Graph, TheTableAndTheGraphSelectEachOthersRow)
{
    ScopedScriptedUi ui;
    RecordingControls controls;
    RecordingCanvas canvas;
    CountingHost host;
    set_config_path(temp_dir() + "/graph-viewer.cfg");
    attach_controls(&controls);
    attach_canvas(&canvas);
    attach_graph_host(&host);
    create_analysis_display();

    controls.click(ANALYSIS_GRAPH);
    EXPECT_EQ(ui.shown.size(), 1u) << "no table yet: the page says so";
    EXPECT_EQ(host.opens, 0);

    Bytes log;
    for (int n = 0; n < 400; ++n)
        append(log, n == 100 ? frame_bytes_bad_crc(steady_frame(n / 17, n % 200)) : frame_bytes(steady_frame(n / 17, n % 200)));
    ASSERT_EQ(analysis_open_log(write_temp_file("graph-viewer.dat", log)), 0);
    controls.click(ANALYSIS_GRAPH);
    ASSERT_EQ(host.opens, 1);
    ASSERT_EQ(g_graph.series.samples(), viewer_rows());

    // The table's selection: the graph marks that row.
    select_viewer_row(150);
    EXPECT_EQ(g_graph.selected, 150);

    // A click in the graph: the row under it selected in the table, and shown on its page.
    graph_resize(64 + 10 + 399 * 2, 300);
    int x = GRAPH_LEFT + static_cast<int>(std::lround(view_x_of(g_graph.view, g_graph.series.time[300], plot_columns(g_graph.width))));
    graph_mouse_down(x, false);
    graph_mouse_up(x);
    EXPECT_EQ(g_viewer.selected_row, 300);
    EXPECT_EQ(g_graph.selected, 300);
    EXPECT_LE(g_viewer.top_row, 300);
    EXPECT_GT(g_viewer.top_row + VIEW_PAGE_ROWS, 300);

    // A drag pans and selects nothing.
    GraphView before = g_graph.view;
    graph_wheel(x, 3);
    before = g_graph.view;
    graph_mouse_down(x, false);
    graph_mouse_move(x + 40, true);
    graph_mouse_up(x + 40);
    EXPECT_LT(g_graph.view.t0, before.t0);
    EXPECT_EQ(g_viewer.selected_row, 300);

    // The table rebuilt in other units: the graph too, the same columns under their new names.
    graph_set_picks({{"MPH", 0}, {"RPM", 1}});
    g_settings.kphormph = 1;
    g_ui_state.settings_changed = 1;
    paint_analysis_display();
    EXPECT_EQ(g_graph.picks, (std::vector<GraphPick>{{"KPH", 0}, {"RPM", 1}}));
    EXPECT_EQ(g_graph.series.channels[0].unit, "km/h");

    // Leaving the page takes the graph down.
    destroy_analysis_display();
    EXPECT_FALSE(g_graph.open);
    EXPECT_EQ(g_viewer.on_change, nullptr);
}

}  // namespace
