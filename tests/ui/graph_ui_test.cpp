// The log graph on the real window, offscreen: --graph's picture, the window opened from the
// Analysis page, its channel list, and a click on the plot selecting the table's row.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QSpinBox>
#include <QTest>

#include "analysis/graph.h"
#include "analysis/viewer.h"
#include "app/graph_window.h"
#include "app/main_window.h"
#include "app/menu_operations.h"
#include "config/config.h"
#include "config/devices.h"
#include "support/live.h"
#include "support/log_builder.h"
#include "support/scripted_ui.h"
#include "ui/serve.h"

namespace {

// A drive whose engine speed climbs while the throttle stays shut, with a marker in the middle.
Bytes climbing_log(int frames)
{
    Bytes log = time_record(3, 7, 2013, 14, 5, 0);
    for (int n = 0; n < frames; ++n) {
        FrameRecord f = drive_frame(static_cast<uint32_t>(n));
        f.b[F_RPM_25] = static_cast<uint8_t>(n * 200 / frames + 20);
        f.b[F_TPS] = 0;
        Bytes frame = frame_bytes(f);
        if (n == frames / 2)
            frame = insert_at(frame, 50, marker_record(3, 3, 7, 2013, 14, 5, 30));
        append(log, frame);
    }
    return log;
}

bool near(QColor a, Rgb b) { return std::abs(a.red() - b.r) + std::abs(a.green() - b.g) + std::abs(a.blue() - b.b) < 12; }

// Pixels of `colour` inside a lane of the picture.
int pixels_in_lane(const QImage& image, const GraphScene& sc, int lane, Rgb colour)
{
    int count = 0;
    const SceneLane& l = sc.lanes[static_cast<size_t>(lane)];
    for (int y = l.top; y <= l.bottom; ++y)
        for (int x = sc.plot_left; x < sc.plot_right; ++x)
            count += near(image.pixelColor(x, y), colour) ? 1 : 0;
    return count;
}

class GraphWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        set_config_path(temp_dir() + "/graph_ui.cfg");
        std::remove(config_path().c_str());
        build_device_catalogue();
        rebuild_channel_state();
        attach_graph_window();
    }
    void TearDown() override
    {
        if (graph_window() != nullptr)
            delete graph_window();
        detach_graph_window();
        attach_canvas(nullptr);
        reset_everything();
    }
    ScopedScriptedUi scripted;
};

TEST_F(GraphWindowTest, TheGraphCommandWritesAPictureWhoseLanesShowTheChannelsAskedFor)
{
    std::string log = write_temp_file("graph-cmd.dat", climbing_log(17 * 40));
    std::string png = temp_dir() + "/graph-cmd.png";
    std::remove(png.c_str());
    ASSERT_EQ(run_graph_command(log, "RPM,tps", png), 0);
    QImage image(QString::fromStdString(png));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(g_graph.picks, (std::vector<GraphPick>{{"RPM", 0}, {"TPS", 1}}));

    GraphScene sc = build_graph_scene(g_graph.series, g_graph.picks, g_graph.view, image.width(), image.height(), -1, -1);
    ASSERT_EQ(sc.lanes.size(), 2u);
    ASSERT_EQ(sc.trace_colours.size(), 2u);
    // RPM's colour climbs through its lane; TPS's lies flat in its own; neither strays.
    EXPECT_GT(pixels_in_lane(image, sc, 0, sc.trace_colours[0]), sc.plot_right - sc.plot_left);
    EXPECT_GT(pixels_in_lane(image, sc, 1, sc.trace_colours[1]), (sc.plot_right - sc.plot_left) / 2);
    EXPECT_EQ(pixels_in_lane(image, sc, 1, sc.trace_colours[0]), 0);
    EXPECT_EQ(pixels_in_lane(image, sc, 0, sc.trace_colours[1]), 0);
    // The marker's line crosses both lanes.
    int marker_x = -1;
    for (const SceneRule& r : sc.rules)
        if (r.colour == GRAPH_MARKER)
            marker_x = r.x;
    ASSERT_GE(marker_x, 0);
    EXPECT_TRUE(near(image.pixelColor(marker_x, sc.lanes[1].top + 3), GRAPH_MARKER) ||
                near(image.pixelColor(marker_x, sc.lanes[1].top + 8), GRAPH_MARKER));

    // A name that is no channel: a clear error and no picture.
    std::remove(png.c_str());
    EXPECT_EQ(run_graph_command(log, "RPM,Boost", png), 2);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(png)));
    EXPECT_EQ(run_graph_command(temp_dir() + "/no-such-log.dat", "RPM", png), 1);
}

TEST_F(GraphWindowTest, TheWindowOpensFromTheAnalysisPageAndClicksSelectTheTablesRow)
{
    MainWindow w(false);
    w.show();
    w.command(CMD_ANALYSIS);
    scripted.file_answers.push_back(write_temp_file("graph-ui.dat", climbing_log(17 * 30)));
    QTest::mouseClick(w.controls_host().widget(ANALYSIS_VIEW_LOG), Qt::LeftButton);
    serve_for(0.05);
    ASSERT_NE(g_viewer.table, nullptr);

    QWidget* button = w.controls_host().widget(ANALYSIS_GRAPH);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->property("text").toString(), "Graph");
    QTest::mouseClick(button, Qt::LeftButton);
    serve_for(0.05);
    GraphWindow* gw = graph_window();
    ASSERT_NE(gw, nullptr);
    EXPECT_TRUE(gw->isVisible());
    EXPECT_EQ(g_graph.series.samples(), viewer_rows());

    // The list: the picks ticked; ticking IAC adds it on a lane of its own.
    QListWidget* list = gw->channel_list();
    int ticked = 0, iac = -1;
    for (int i = 0; i < list->count(); ++i) {
        ticked += list->item(i)->checkState() == Qt::Checked ? 1 : 0;
        if (list->item(i)->data(Qt::UserRole).toString() == "IAC")
            iac = i;
    }
    EXPECT_EQ(ticked, static_cast<int>(g_graph.picks.size()));
    ASSERT_GE(iac, 0);
    g_graph.picks.resize(2);   // room for one more
    gw->refill();
    gw->channel_list()->item(iac)->setCheckState(Qt::Checked);
    ASSERT_EQ(g_graph.picks.size(), 3u);
    EXPECT_EQ(g_graph.picks.back(), (GraphPick{"IAC", 2}));
    // Its lane moved onto the first lane's.
    gw->channel_list()->setCurrentRow(iac);
    gw->lane_box()->setValue(1);
    EXPECT_EQ(g_graph.picks.front().lane, 0);
    EXPECT_EQ(g_graph.picks[1], (GraphPick{"IAC", 0}));

    // A click on the plot selects the row under it in the table; the table's selection shows in
    // the graph.
    GraphPlot* plot = gw->plot();
    int x = GRAPH_LEFT + plot_columns(plot->width()) / 2;
    long row = g_graph.series.sample_at(view_time_at(g_graph.view, x - GRAPH_LEFT, plot_columns(plot->width())));
    QTest::mouseClick(plot, Qt::LeftButton, {}, QPoint(x, plot->height() / 2));
    EXPECT_EQ(g_viewer.selected_row, row);
    select_viewer_row(5);
    EXPECT_EQ(g_graph.selected, 5);

    // Leaving the page closes the window.
    w.command(CMD_GLANZO);
    serve_for(0.05);
    EXPECT_TRUE(graph_window() == nullptr || !graph_window()->isVisible());
    w.shutdown();
}

}  // namespace
