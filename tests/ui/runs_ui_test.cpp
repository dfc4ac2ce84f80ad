// Runs in the windows, offscreen: launch rows marked in the Analysis table, the 1/4 Mile graph's
// Runs list (choosing a run, adding a log, ticking a second run to compare), and the log graph
// compared with a second log.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <cstdlib>

#include "analysis/graph.h"
#include "analysis/graph_compare.h"
#include "analysis/qmile_graph.h"
#include "analysis/run_list.h"
#include "analysis/viewer.h"
#include "app/graph_compare_panel.h"
#include "app/graph_window.h"
#include "app/main_window.h"
#include "app/menu_operations.h"
#include "app/qmile_graph_window.h"
#include "config/config.h"
#include "config/devices.h"
#include "support/live.h"
#include "support/qmile_run.h"
#include "support/scripted_ui.h"
#include "support/strip_log.h"
#include "ui/serve.h"

namespace {

int line_y(int line) { return 104 + 17 * line; }

// Whether a line of the table shows the run mark in the blank before its run time.
bool marked(const QImage& page, int line)
{
    QColor c = page.pixelColor(5, line_y(line) + 8);
    return c == QColor(90, 230, 255);
}

// Two days at the strip: three passes, then two quicker ones later in the day.
StripLog morning()
{
    StripLog log;
    add_strip_recording(log, {StripPass{}, StripPass{.wait_frames = 120, .mph_per_frame = 0.7}, StripPass{}});
    return log;
}

StripLog evening()
{
    StripLog log;
    add_strip_recording(log, {StripPass{.mph_per_frame = 1.1}, StripPass{.wait_frames = 90, .mph_per_frame = 1.2}});
    return log;
}

void settle()
{
    QApplication::processEvents();
    serve_for(0.02);
}

class RunsWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        reset_viewer();
        reset_run_list();
        reset_graph_compare();
        set_config_path(temp_dir() + "/runs_ui.cfg");
        std::remove(config_path().c_str());
        build_device_catalogue();
        rebuild_channel_state();
    }
    void TearDown() override
    {
        qmile_graph_close();
        attach_canvas(nullptr);
        reset_viewer();
        reset_run_list();
        reset_graph_compare();
        reset_everything();
    }
    ScopedScriptedUi scripted;
};

TEST_F(RunsWindowTest, LaunchRowsAreMarkedAndTheRunsListTakesTheTableToThemAndComparesASecondRun)
{
    MainWindow w(false);
    w.show();
    w.command(CMD_ANALYSIS);
    StripLog day = morning(), later = evening();
    std::string first = write_strip_log("runs-ui-morning.dat", day);
    std::string second = write_strip_log("runs-ui-evening.dat", later);
    scripted.file_answers.push_back(first);
    QTest::mouseClick(w.controls_host().widget(ANALYSIS_VIEW_LOG), Qt::LeftButton);
    serve_for(0.05);
    ASSERT_NE(g_viewer.table, nullptr);

    // The margin: the launch row's line is marked, its neighbours are not.
    long launch = day.launch_rows[0];
    analysis_scroll(CONTROL_SCROLL_THUMB_TRACK, static_cast<int>(launch - 2));
    QImage page = w.canvas().snapshot();
    EXPECT_TRUE(marked(page, 2));
    EXPECT_FALSE(marked(page, 1));
    EXPECT_FALSE(marked(page, 3));
    if (const char* shots = std::getenv("GLANZO_SHOTS"))
        page.save(QString(shots) + "/runs_table.png");

    // The graph's Runs list: every run of the open log with its figures.
    QTest::mouseClick(w.controls_host().widget(ANALYSIS_QMILE), Qt::LeftButton);
    settle();
    QmileGraphWindow* graph = qmile_graph_window();
    ASSERT_NE(graph, nullptr);
    QTreeWidget* list = graph->runs()->runs();
    ASSERT_EQ(list->topLevelItemCount(), 3);
    for (int i = 0; i < 3; ++i) {
        const QmileRun* run = run_list_run({-1, day.launch_rows[static_cast<size_t>(i)]});
        ASSERT_NE(run, nullptr);
        EXPECT_EQ(list->topLevelItem(i)->text(1), "runs-ui-morning.dat");
        EXPECT_EQ(list->topLevelItem(i)->text(3), QString::asprintf("%.2f", run->results.ft60_s));
        EXPECT_EQ(list->topLevelItem(i)->text(6), QString::asprintf("%.2f", run->results.quarter_s));
    }

    // Choosing the second run: its launch row is the table's top row, and the graph shows the
    // figures glanzo-cli qmile gives for it, as scrolling there does.
    QTreeWidgetItem* item = list->topLevelItem(1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    settle();
    EXPECT_EQ(g_viewer.top_row, day.launch_rows[1]);
    EXPECT_EQ(g_qmile_graph.start_row, day.launch_rows[1]);
    EXPECT_EQ(w.controls_host().value(ANALYSIS_SCROLL), day.launch_rows[1]);
    expect_cli_figures(first, day.launch_rows[1], g_qmile_graph.results);
    QImage alone = graph->canvas().snapshot();

    // Another log's runs join the list with its name.
    scripted.file_answers.push_back(second);
    QTest::mouseClick(graph->runs()->add_log_button(), Qt::LeftButton);
    settle();
    ASSERT_EQ(list->topLevelItemCount(), 5);
    EXPECT_EQ(list->topLevelItem(3)->text(1), "runs-ui-evening.dat");

    // Ticking the evening's first run: drawn over the graph, its figures set against the graph's,
    // each time's difference green (it launches harder; both trap at the same top speed).
    list->topLevelItem(3)->setCheckState(RUNS_TICK_COLUMN, Qt::Checked);
    settle();
    EXPECT_EQ(g_run_list.compared, (RunRef{0, later.launch_rows[0]}));
    QImage both = graph->canvas().snapshot();
    EXPECT_NE(both.copy(111, 121, 680, 383), alone.copy(111, 121, 680, 383)) << "the dashed traces";
    QTreeWidget* figures = graph->runs()->comparison();
    ASSERT_EQ(figures->topLevelItemCount(), 7);
    const QmileRun* other = run_list_compared();
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(figures->topLevelItem(1)->text(0), "60 foot");
    EXPECT_EQ(figures->topLevelItem(1)->text(1), QString::asprintf("%.2f", g_qmile_graph.results.ft60_s));
    EXPECT_EQ(figures->topLevelItem(1)->text(2), QString::asprintf("%.2f", other->results.ft60_s));
    EXPECT_EQ(figures->topLevelItem(1)->text(3),
              QString::asprintf("%+.2f", other->results.ft60_s - g_qmile_graph.results.ft60_s));
    for (int i : {0, 1, 2, 3, 5})
        EXPECT_EQ(figures->topLevelItem(i)->foreground(3).color(), QColor(40, 170, 60)) << i;
    if (const char* shots = std::getenv("GLANZO_SHOTS"))
        graph->grab().save(QString(shots) + "/runs_compare.png");

    // A tick on another run replaces it; taking it off compares none.
    list->topLevelItem(4)->setCheckState(RUNS_TICK_COLUMN, Qt::Checked);
    settle();
    EXPECT_EQ(g_run_list.compared, (RunRef{0, later.launch_rows[1]}));
    EXPECT_EQ(list->topLevelItem(3)->checkState(RUNS_TICK_COLUMN), Qt::Unchecked);
    list->topLevelItem(4)->setCheckState(RUNS_TICK_COLUMN, Qt::Unchecked);
    settle();
    EXPECT_EQ(run_list_compared(), nullptr);
    EXPECT_EQ(figures->topLevelItemCount(), 0);

    // Choosing a run of the added log opens that log in the table, at the run.
    item = list->topLevelItem(4);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    settle();
    EXPECT_EQ(g_viewer.log_path, second);
    EXPECT_EQ(g_viewer.top_row, later.launch_rows[1]);
    EXPECT_TRUE(g_qmile_graph.open);
    EXPECT_EQ(g_qmile_graph.start_row, later.launch_rows[1]);
    EXPECT_EQ(list->topLevelItemCount(), 2) << "the evening's runs, listed once";

    w.command(CMD_GLANZO);
    w.shutdown();
}

class CompareGraphTest : public RunsWindowTest {
protected:
    void SetUp() override
    {
        RunsWindowTest::SetUp();
        attach_graph_window();
    }
    void TearDown() override
    {
        if (graph_window() != nullptr)
            delete graph_window();
        detach_graph_window();
        RunsWindowTest::TearDown();
    }
};

TEST_F(CompareGraphTest, ASecondLogIsDrawnDashedAlignedAtStartMarkerOrRunWithBothValuesInTheReadOut)
{
    // The evening log waits longer before its first run, and carries marker 3 in another place.
    StripLog day = morning();
    StripLog later;
    add_strip_recording(later, {StripPass{.wait_frames = 200, .mph_per_frame = 1.1}});
    Bytes marked_day = day.bytes, marked_later = later.bytes;
    size_t frame = frame_bytes(FrameRecord{}).size();
    auto mark = [&](Bytes& log, long at_frame) {
        size_t header = time_record(1, 1, 2025, 0, 0, 0).size();
        size_t at = header + static_cast<size_t>(at_frame) * frame;
        Bytes marker = marker_record(3, 6, 14, 2025, 10, 0, 0);
        log.insert(log.begin() + static_cast<long>(at), marker.begin(), marker.end());
    };
    mark(marked_day, 100);
    mark(marked_later, 300);
    std::string a = write_temp_file("compare-a.dat", marked_day), b = write_temp_file("compare-b.dat", marked_later);
    std::string png = temp_dir() + "/compare.png";

    ASSERT_EQ(run_graph_command(a, "RPM,MPH", png, b, "start"), 0);
    EXPECT_EQ(g_graph_compare.shift, 0.0);
    ASSERT_EQ(run_graph_command(a, "RPM,MPH", png, b, "run"), 0);
    double launch_a = g_graph.series.time[static_cast<size_t>(day.launch_rows[0])];
    double launch_b = g_graph_compare.series.time[static_cast<size_t>(later.launch_rows[0])];
    EXPECT_DOUBLE_EQ(g_graph_compare.shift, launch_a - launch_b);
    ASSERT_EQ(run_graph_command(a, "RPM,MPH", png, b, "marker:3"), 0);
    ASSERT_EQ(g_graph_compare.markers[0].size(), 1u);
    EXPECT_DOUBLE_EQ(g_graph_compare.shift, g_graph_compare.markers[0][0].time - g_graph_compare.markers[1][0].time);
    EXPECT_LT(g_graph_compare.shift, 0.0);
    EXPECT_LE(g_graph.view.start, g_graph_compare.shift) << "the view takes in both logs";
    QImage image(QString::fromStdString(png));
    ASSERT_FALSE(image.isNull());

    // Aligned at the runs, the compared speed trace lies on this one's from the launch on: the
    // two runs' first rows read the same speed at the same place.
    ASSERT_EQ(run_graph_command(a, "RPM,MPH", png, b, "run"), 0);
    GraphScene sc = build_graph_scene(g_graph.series, g_graph.picks, g_graph.view, 960, 620, -1, -1, &g_graph.overlay);
    ASSERT_EQ(sc.overlay_traces.size(), 2u);
    EXPECT_FALSE(sc.overlay_traces[1].empty());
    for (const SceneLine& l : sc.overlay_traces[1])
        EXPECT_EQ((static_cast<int>((l.x1 + l.x2) / 2) - sc.plot_left) / GRAPH_DASH % 2, 0) << "dashes only";
    // The read-out at the launch: both logs' values and the difference.
    int x = sc.plot_left + static_cast<int>(std::lround(view_x_of(g_graph.view, launch_a + 2.0, plot_columns(960))));
    sc = build_graph_scene(g_graph.series, g_graph.picks, g_graph.view, 960, 620, x, -1, &g_graph.overlay);
    ASSERT_EQ(sc.readout.size(), 3u);
    EXPECT_NE(sc.readout[0].find(" | "), std::string::npos) << sc.readout[0];
    EXPECT_NE(sc.readout[2].find("MPH"), std::string::npos);
    EXPECT_NE(sc.readout[2].find(" | "), std::string::npos) << sc.readout[2];
    EXPECT_NE(sc.readout[2].find("(+"), std::string::npos) << "the evening run is faster: " << sc.readout[2];

    // What cannot be aligned, or read, is said on one line.
    EXPECT_EQ(run_graph_command(a, "RPM", png, b, "marker:4"), 2);
    EXPECT_EQ(run_graph_command(a, "RPM", png, b, "middle"), 2);
    EXPECT_EQ(run_graph_command(a, "RPM", png, temp_dir() + "/no-such.dat", "start"), 1);
}

TEST_F(CompareGraphTest, TheWindowComparesWithALogAndAlignsAtTheChosenRuns)
{
    StripLog day = morning(), later = evening();
    std::string a = write_strip_log("compare-win-a.dat", day), b = write_strip_log("compare-win-b.dat", later);
    ASSERT_EQ(graph_load_log(a), 0);
    GraphWindow* gw = new GraphWindow(nullptr);
    gw->show();
    GraphComparePanel* panel = gw->compare_panel();
    EXPECT_FALSE(panel->align_box()->isEnabled());

    scripted.file_answers.push_back(b);
    QTest::mouseClick(panel->compare_button(), Qt::LeftButton);
    EXPECT_TRUE(graph_comparing());
    EXPECT_TRUE(panel->align_box()->isEnabled());
    panel->align_box()->setCurrentIndex(static_cast<int>(CompareAlign::Run));
    ASSERT_EQ(panel->anchor_box(0)->count(), 3);
    ASSERT_EQ(panel->anchor_box(1)->count(), 2);
    panel->anchor_box(0)->setCurrentIndex(2);
    panel->anchor_box(1)->setCurrentIndex(1);
    EXPECT_DOUBLE_EQ(g_graph_compare.shift, g_graph.series.time[static_cast<size_t>(day.launch_rows[2])] -
                                                g_graph_compare.series.time[static_cast<size_t>(later.launch_rows[1])]);
    // Picks changed: the compared log keeps its alignment.
    graph_set_picks({{"RPM", 0}, {"TPS", 1}});
    EXPECT_EQ(g_graph_compare.chosen[0], 2);
    EXPECT_EQ(g_graph_compare.series.channel_index("TPS"), 1);
    if (const char* shots = std::getenv("GLANZO_SHOTS"))
        gw->grab().save(QString(shots) + "/graph_compare_window.png");
    delete gw;
}

}  // namespace
