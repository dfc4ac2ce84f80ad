// The Cells window on the real widgets, offscreen: --cells's picture and its refusals, the window
// opened from the Analysis page, a filter typed with its error shown while the last table stays,
// a cell clicked selecting its samples in the table and the graph, the scatter's rectangle, Copy,
// and the choices kept.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include "analysis/cells_host.h"
#include "analysis/graph.h"
#include "analysis/math_channels.h"
#include "analysis/viewer.h"
#include "app/cells_window.h"
#include "app/graph_window.h"
#include "app/main_window.h"
#include "app/menu_operations.h"
#include "config/config.h"
#include "config/devices.h"
#include "config/settings.h"
#include "support/cells_log.h"
#include "support/live.h"
#include "support/scripted_ui.h"
#include "ui/serve.h"

namespace {

// 40 frames over a 2 x 2 grid of INT (X) and IAC (Y): BLM 140 in the low-low cell, 120 in the
// high-high one, closed loop in every other frame.
std::vector<CellSample> grid_samples()
{
    std::vector<CellSample> s;
    for (int n = 0; n < 40; ++n) {
        bool high = n % 4 >= 2;
        s.push_back({high ? 50 : 10, high ? 60 : 20, high ? 120 : 140, n % 2 == 0});
    }
    return s;
}

const std::vector<std::string> GRID_ARGS = {"--z", "BLM", "--x", "INT", "--x-axis", "10,50", "--y", "IAC", "--y-axis", "20,60"};

std::vector<std::string> cells_args(const std::string& log, std::vector<std::string> more)
{
    std::vector<std::string> args = {log};
    args.insert(args.end(), GRID_ARGS.begin(), GRID_ARGS.end());
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

class CellsWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        set_config_path(temp_dir() + "/cells_ui.cfg");
        std::remove(config_path().c_str());
        settings = temp_dir() + "/cells-ui.conf";
        std::remove(settings.c_str());
        build_device_catalogue();
        rebuild_channel_state();
        attach_graph_window();
        attach_cells_window(settings);
    }
    void TearDown() override
    {
        delete cells_window();
        if (graph_window() != nullptr)
            delete graph_window();
        detach_graph_window();
        attach_cells_opener(nullptr);
        set_math_channels({});
        attach_canvas(nullptr);
        reset_everything();
    }
    ScopedScriptedUi scripted;
    std::string settings;
};

TEST_F(CellsWindowTest, TheCellsCommandWritesTheTablesPictureAndRefusesBadOptionsWithTwo)
{
    std::string log = cells_log("cells-ui-cmd.dat", grid_samples());
    std::string png = temp_dir() + "/cells-cmd.png";
    std::remove(png.c_str());
    ASSERT_EQ(run_cells_command(cells_args(log, {"--where", "[Cl] == 1"}), png, settings), 0);
    QImage image(QString::fromStdString(png));
    ASSERT_FALSE(image.isNull());
    // Around 128 the 140 cell is red and the 120 cell blue.
    int red = 0, blue = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) {
            QColor c = image.pixelColor(x, y);
            red += c.red() > 200 && c.green() < 170 && c.blue() < 170;
            blue += c.blue() > 200 && c.red() < 170;
        }
    EXPECT_GT(red, 500);
    EXPECT_GT(blue, 500);

    std::remove(png.c_str());
    EXPECT_EQ(run_cells_command(cells_args(log, {"--where", "[Cl] =="}), png, settings), 2);
    EXPECT_EQ(run_cells_command(cells_args(log, {"--stat", "median"}), png, settings), 2);
    EXPECT_EQ(run_cells_command(cells_args(temp_dir() + "/absent.dat", {}), png, settings), 1);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(png)));
}

TEST_F(CellsWindowTest, OpensFromTheAnalysisPageKeepsTheLastTableWhileTheFilterIsWrongAndSelectsACellsSamples)
{
    MainWindow w(false);
    w.show();
    w.command(CMD_ANALYSIS);
    std::string log = cells_log("cells-ui.dat", grid_samples());
    scripted.file_answers.push_back(log);
    QTest::mouseClick(w.controls_host().widget(ANALYSIS_VIEW_LOG), Qt::LeftButton);
    serve_for(0.05);
    ASSERT_NE(g_viewer.table, nullptr);

    QWidget* button = w.controls_host().widget(ANALYSIS_CELLS);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->property("text").toString(), "Cells");
    QTest::mouseClick(button, Qt::LeftButton);
    serve_for(0.05);
    CellsWindow* cw = cells_window();
    ASSERT_NE(cw, nullptr);
    EXPECT_TRUE(cw->isVisible());

    cw->ve_grid_box()->setChecked(false);
    CellsSettings s = cw->settings();
    s.x = "INT";
    s.y = "IAC";
    s.z = "BLM";
    s.x_axis = {10, 50};
    s.y_axis = {20, 60};
    cw->apply_settings(s);
    EXPECT_EQ(cw->table().samples, 40);
    EXPECT_EQ(cw->table().kept, 40);
    EXPECT_EQ(cw->table().at(0, 0).mean, 140.0);
    EXPECT_EQ(cw->table().at(1, 1).mean, 120.0);

    // Typed a character at a time: the half-typed filter shows muParser's word under the field
    // and the last table that read ("[Cl] == 1") stays until the filter reads again.
    QLineEdit* filter = cw->filter_edit();
    filter->setFocus();
    QTest::keyClicks(filter, "[Cl] == 1 &&");
    EXPECT_NE(cw->error_text().find("Unexpected end of expression"), std::string::npos) << cw->error_text();
    EXPECT_EQ(cw->table().kept, 20);
    QTest::keyClicks(filter, " [INT] > 30");
    EXPECT_EQ(cw->error_text(), "");
    EXPECT_EQ(cw->table().kept, 10);
    filter->setText("[Cl] == 1");
    EXPECT_EQ(cw->table().kept, 20);

    // A math channel as Z: the pickers offer it.
    QTableWidget* math = cw->math_table();
    math->insertRow(0);
    math->setItem(0, 1, new QTableWidgetItem("[BLM] - 128"));
    math->setItem(0, 0, new QTableWidgetItem("err"));
    ASSERT_GE(cw->z_box()->findText("err"), 0);
    cw->z_box()->setCurrentIndex(cw->z_box()->findText("err"));
    EXPECT_EQ(cw->table().at(0, 0).mean, 12.0);
    EXPECT_EQ(cw->table().at(1, 1).mean, -8.0);

    // A click in the high-high cell: the table jumps to its first sample (frame 2, in closed loop).
    QWidget* table_view = cw->views()->widget(0);
    QTest::mouseClick(table_view, Qt::LeftButton, {},
                      QPoint(CELLS_LABEL_WIDTH + (table_view->width() - CELLS_LABEL_WIDTH) * 3 / 4,
                             CELLS_LABEL_HEIGHT + (table_view->height() - CELLS_LABEL_HEIGHT) * 3 / 4));
    EXPECT_EQ(cw->picture().selected, 3);
    EXPECT_EQ(g_viewer.selected_row, 2);

    // Copy: the table for a spreadsheet.
    cw->copy_table();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "IAC\\INT\t10\t50\n20\t12\t\n60\t\t-8\n");
    w.shutdown();
}

TEST_F(CellsWindowTest, AnOpenCellsWindowGoesOverToTheLogTheAnalysisTableOpensNext)
{
    MainWindow w(false);
    w.show();
    w.command(CMD_ANALYSIS);
    std::string first = cells_log("cells-follow-1.dat", grid_samples());
    std::vector<CellSample> fewer = grid_samples();
    fewer.resize(12);
    std::string second = cells_log("cells-follow-2.dat", fewer);
    scripted.file_answers.push_back(first);
    QTest::mouseClick(w.controls_host().widget(ANALYSIS_VIEW_LOG), Qt::LeftButton);
    serve_for(0.05);
    QTest::mouseClick(w.controls_host().widget(ANALYSIS_CELLS), Qt::LeftButton);
    serve_for(0.05);
    CellsWindow* cw = cells_window();
    ASSERT_NE(cw, nullptr);
    EXPECT_EQ(cw->log_path(), first);
    EXPECT_EQ(cw->table().samples, 40);

    scripted.file_answers.push_back(second);
    QTest::mouseClick(w.controls_host().widget(ANALYSIS_VIEW_LOG), Qt::LeftButton);
    serve_for(0.05);
    EXPECT_EQ(cw->log_path(), second) << "a cell clicked now selects rows of the table shown";
    EXPECT_EQ(cw->table().samples, 12);
    w.shutdown();
}

TEST_F(CellsWindowTest, TheGraphMarksTheSamplesOfAClickedCell)
{
    std::string log = cells_log("cells-ui-graph.dat", grid_samples());
    ASSERT_EQ(graph_load_log(log), 0);
    cells_select_samples(log, {2, 3, 6});
    EXPECT_EQ(g_graph.marked, (std::vector<uint32_t>{2, 3, 6}));
    GraphScene sc = graph_scene();
    int marks = 0;
    for (const SceneRule& r : sc.rules)
        marks += r.colour == GRAPH_MARKED;
    EXPECT_EQ(marks, 3);
    cells_select_samples(temp_dir() + "/another.dat", {1});
    EXPECT_EQ(g_graph.marked.size(), 3u) << "another log's samples are not this graph's";
}

TEST_F(CellsWindowTest, MathChannelsOfTheCellsWindowAreChannelsTheLogGraphDraws)
{
    std::string log = cells_log("cells-ui-math.dat", grid_samples());
    CellsWindow cw(nullptr, settings);
    CellsSettings s = cw.settings();
    s.math = {{"twice", "[BLM] * 2"}};
    cw.apply_settings(s);
    ASSERT_EQ(graph_load_log(log, nullptr), 0);
    ASSERT_GE(find_channel(g_graph.catalogue, "twice"), 0);
    graph_set_picks({{"RPM", 0}, {"twice", 1}});
    int twice = g_graph.series.channel_index("twice");
    ASSERT_GE(twice, 0);
    EXPECT_EQ(g_graph.series.values[static_cast<size_t>(twice)][0], 280.0f);
    EXPECT_EQ(g_graph.series.values[static_cast<size_t>(twice)][2], 240.0f);

    // A new definition: the graph draws the new values.
    s.math = {{"twice", "[BLM] * 2 + 1"}};
    cw.apply_settings(s);
    twice = g_graph.series.channel_index("twice");
    ASSERT_GE(twice, 0);
    EXPECT_EQ(g_graph.series.values[static_cast<size_t>(twice)][0], 281.0f);
}

TEST_F(CellsWindowTest, WriteBinAsksForTheSourceAndTheNewBinAsALearnRunDoesAndWritesTheCorrectedTable)
{
    std::string log = cells_log("cells-ui-bin.dat", grid_samples());
    CellsWindow cw(nullptr, settings);
    CellsSettings s;
    s.math = {{"err", "([BLM] - 100) / 2"}};
    s.z = "err";
    cw.apply_settings(s);
    ASSERT_EQ(cw.load_log(log), 0);
    ASSERT_GT(cw.table().kept, 0);

    std::vector<uint8_t> bin(32768, 100);
    bin[0] = 0x00;
    bin[1] = 0x07;
    std::copy_n("ZOV8", 4, bin.begin() + 2);
    std::string src = write_temp_file("cells-ui-src.bin", bin);
    std::string dst = temp_dir() + "/cells-ui-new.bin";
    std::remove(dst.c_str());
    g_settings.smoothfac = 0;   // a single changed cell would be smoothed away
    scripted.file_answers = {src, dst};
    cw.write_bin();
    ASSERT_EQ(scripted.dialogs.size(), 2u);
    EXPECT_EQ(scripted.dialogs[0].title, "Select BIN to Learn From");
    EXPECT_EQ(scripted.dialogs[1].title, "Select File to Create New BIN");
    EXPECT_EQ(scripted.dialogs[1].initial_name, "cells-ui-src_00008.bin");
    std::string written = read_file(dst);
    ASSERT_EQ(written.size(), 32768u);
    EXPECT_EQ(static_cast<uint8_t>(written[1]), 8) << "serial + 1";
    // Every frame lies in one VE cell (the drive's speed and load stay put): its mean correction
    // is ((140 - 100) / 2 + (120 - 100) / 2) / 2 = 15 %, so 100 becomes 115 there (in one place, or
    // two for a row the BIN holds twice) and everything else past the checksum is the source's.
    int changed = 0;
    for (size_t i = 8; i < written.size(); ++i) {
        if (static_cast<uint8_t>(written[i]) != bin[i]) {
            EXPECT_EQ(static_cast<uint8_t>(written[i]), 115) << "at " << i;
            ++changed;
        }
    }
    EXPECT_GE(changed, 1);
    EXPECT_LE(changed, 2);

    // Cancelled at the first dialog: nothing is written.
    std::remove(dst.c_str());
    scripted.file_answers.clear();
    cw.write_bin();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dst)));
}

TEST_F(CellsWindowTest, ADraggedRectangleOnTheScatterAddsItsBoundsToTheFilterAndTheChoicesAreKept)
{
    std::string log = cells_log("cells-ui-scatter.dat", grid_samples());
    std::string png = temp_dir() + "/cells-scatter.png";
    auto* cw = new CellsWindow(nullptr, settings);
    CellsSettings s;
    s.ve_grid = false;
    s.x = "INT";
    s.y = "IAC";
    s.x_axis = {10, 50};
    s.y_axis = {20, 60};
    s.where = "[Cl] == 1";
    s.scatter = true;
    cw->apply_settings(s);
    ASSERT_EQ(cw->load_log(log), 0);
    cw->resize(1000, 700);
    cw->show();
    serve_for(0.05);
    QWidget* plot = cw->views()->widget(1);
    ASSERT_TRUE(plot->isVisible());

    // Drag around the low-low points only.
    QRect area = scatter_plot_area(plot->rect());
    const ScatterView& v = cw->scatter_view();
    auto at = [&](double x, double y) {
        return QPoint(area.left() + static_cast<int>((x - v.x0) / (v.x1 - v.x0) * area.width()),
                      area.bottom() - static_cast<int>((y - v.y0) / (v.y1 - v.y0) * area.height()));
    };
    QTest::mousePress(plot, Qt::LeftButton, {}, at(5, 15));
    QTest::mouseMove(plot, at(30, 40));
    QTest::mouseRelease(plot, Qt::LeftButton, {}, at(30, 40));
    std::string filter = cw->filter_edit()->text().toStdString();
    EXPECT_EQ(filter.rfind("([Cl] == 1) && [INT] >= ", 0), 0u) << filter;
    EXPECT_NE(filter.find("&& [IAC] <= "), std::string::npos) << filter;
    EXPECT_EQ(cw->error_text(), "");
    EXPECT_EQ(cw->table().kept, 10);

    // The choices are in the settings file, and a new window starts from them.
    CellsSettings kept = read_cells_settings(settings);
    EXPECT_EQ(kept.where, filter);
    EXPECT_TRUE(kept.scatter);
    delete cw;
    CellsWindow again(nullptr, settings);
    EXPECT_EQ(again.settings().where, filter);
    EXPECT_EQ(again.settings().x, "INT");
}

}  // namespace
