// The Analysis display and the quarter-mile graph window on the real window, offscreen: the
// realised buttons and scroll bars, keys, wheel and mouse routed from the main window, pixels on
// the canvas, and the graph window's read-out under the pointer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <cstring>

#include "analysis/qmile_graph.h"
#include "analysis/viewer.h"
#include "app/main_window.h"
#include "app/menu_operations.h"
#include "app/qmile_graph_window.h"
#include "config/config.h"
#include "config/devices.h"
#include "config/settings.h"
#include "stream/display_thread.h"
#include "stream/reader.h"
#include "support/live.h"
#include "support/qmile_run.h"
#include "support/scripted_ui.h"
#include "support/sim_process.h"
#include "ui/serve.h"

namespace {

const QColor MARKER(200, 153, 51);
const QColor SELECTED(51, 51, 123);

int line_y(int line) { return 104 + 17 * line; }

// Whether the text `s` drawn right-aligned at (x, y) in the default font is what `shown` holds
// there.
bool shows_text(const QImage& shown, int x, int y, const std::string& s)
{
    QtCanvas reference;
    reference.text(x, y, s, Font::Default, TEXT, BACKGROUND, ALIGN_RIGHT, true);
    int w = reference.text_width(s, Font::Default);
    QImage expected = reference.snapshot().copy(x - w, y, w, 16);
    return shown.copy(x - w, y, w, 16) == expected;
}

class AnalysisWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        set_config_path(temp_dir() + "/analysis_ui.cfg");
        std::remove(config_path().c_str());
        build_device_catalogue();
        rebuild_channel_state();
    }
    void TearDown() override
    {
        attach_canvas(nullptr);
        reset_everything();
    }

    // The window on the Analysis display with `log` open through the realised View Log button.
    void open(MainWindow& w, const Bytes& log, const std::string& name)
    {
        w.show();
        w.command(CMD_ANALYSIS);
        scripted.file_answers.push_back(write_temp_file(name, log));
        QWidget* button = w.controls_host().widget(ANALYSIS_VIEW_LOG);
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
        serve_for(0.05);
        ASSERT_NE(g_viewer.table, nullptr);
    }
    static QImage table_pixels(MainWindow& w) { return w.canvas().snapshot().copy(1, 104, 771, 442); }

    ScopedScriptedUi scripted;
};

TEST_F(AnalysisWindowTest, KeysWheelAndScrollBarPageTheSameRowsAndClicksSelect)
{
    MainWindow w(false);
    open(w, quarter_mile_run(300), "ui-pages.dat");
    QWidget* view = w.centralWidget();
    auto* bar = qobject_cast<QScrollBar*>(w.controls_host().widget(ANALYSIS_SCROLL));
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isEnabled());
    EXPECT_EQ(bar->maximum(), 300 - 26);

    // Page Down by key, then the same page again by a click in the bar below its thumb.
    QTest::keyClick(view, Qt::Key_PageDown);
    EXPECT_EQ(g_viewer.top_row, 26);
    QImage by_key = table_pixels(w);
    QTest::keyClick(view, Qt::Key_Home);
    EXPECT_EQ(g_viewer.top_row, 0);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() - 30));
    EXPECT_EQ(g_viewer.top_row, 26);
    EXPECT_EQ(bar->value(), 26);
    EXPECT_EQ(table_pixels(w), by_key) << "the same rows drawn";

    QTest::keyClick(view, Qt::Key_End);
    EXPECT_EQ(g_viewer.top_row, 300 - 26);
    EXPECT_EQ(bar->value(), 300 - 26);
    QTest::keyClick(view, Qt::Key_Up);
    QTest::keyClick(view, Qt::Key_Left);   // does nothing in the table
    EXPECT_EQ(g_viewer.top_row, 300 - 27);
    QTest::keyClick(view, Qt::Key_Home);

    // The wheel toward the user: a line down per turn; away: a line up.
    auto wheel = [&](int dy) {
        QPointF at(300, 300);
        QWheelEvent e(at, view->mapToGlobal(at), QPoint(), QPoint(0, dy), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &e);
    };
    wheel(-120);
    wheel(-120);
    EXPECT_EQ(g_viewer.top_row, 2);
    wheel(120);
    EXPECT_EQ(g_viewer.top_row, 1);

    // The marker row brought to the top, then selections.
    QTest::mouseClick(w.controls_host().widget(ANALYSIS_FIND_MARK), Qt::LeftButton);
    EXPECT_EQ(g_viewer.top_row, 40);
    EXPECT_EQ(w.canvas().pixel(760, line_y(0) + 8), MARKER);
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(200, line_y(3) + 8));
    EXPECT_EQ(g_viewer.selected_row, 43);
    EXPECT_EQ(w.canvas().pixel(760, line_y(3) + 8), SELECTED);
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(200, line_y(0) + 8));
    EXPECT_EQ(w.canvas().pixel(760, line_y(0) + 8), SELECTED) << "the marker row selected";
    EXPECT_NE(w.canvas().pixel(760, line_y(3) + 8), SELECTED);

    // The table's 96 columns fit between the frame and the scroll bar.
    EXPECT_LE(w.canvas().text_width(std::string(ROW_SHOWN_CHARS, 'W'), Font::Table), 772 - 3);

    QImage shot = w.grab().toImage();
    shot.save(QString::fromStdString(temp_dir() + "/analysis_display.png"));
}

TEST_F(AnalysisWindowTest, UpAndDownScrollTheTableWhicheverControlHasTheFocusAndLeftAndRightDoNothing)
{
    MainWindow w(false);
    open(w, quarter_mile_run(300), "ui-arrows.dat");
    w.activateWindow();
    auto* bar = qobject_cast<QScrollBar*>(w.controls_host().widget(ANALYSIS_SCROLL));
    ASSERT_NE(bar, nullptr);
    for (int id : {ANALYSIS_VIEW_LOG, ANALYSIS_DUMP_LOG, ANALYSIS_SINGLE_HEADER, ANALYSIS_CREATE_CSV, ANALYSIS_QMILE,
                   ANALYSIS_FIND_MARK, ANALYSIS_GRAPH, ANALYSIS_SCROLL}) {
        QWidget* control = w.controls_host().widget(id);
        ASSERT_NE(control, nullptr) << id;
        control->setFocus();
        long top = g_viewer.top_row;
        QTest::keyClick(control, Qt::Key_Down);
        QTest::keyClick(control, Qt::Key_Down);
        QTest::keyClick(control, Qt::Key_Up);
        EXPECT_EQ(g_viewer.top_row, top + 1) << "Up and Down with control " << id;
        QTest::keyClick(control, Qt::Key_Right);
        EXPECT_EQ(g_viewer.top_row, top + 1) << "Right with control " << id;
        QTest::keyClick(control, Qt::Key_Left);
        EXPECT_EQ(g_viewer.top_row, top + 1) << "Left with control " << id;
        EXPECT_EQ(bar->value(), top + 1) << "the scroll bar follows the table";
        EXPECT_TRUE(control->hasFocus()) << "the focus stays on control " << id;
    }
}

TEST_F(AnalysisWindowTest, ChangingUnitsInADialogRebuildsTheTableWhenItCloses)
{
    MainWindow w(false);
    open(w, quarter_mile_run(100), "ui-units.dat");
    QTest::keyClick(w.centralWidget(), Qt::Key_PageDown);
    void (*dialog)() = g_menu_operations.preferences;
    // A dialog that switches the speed to km/h, as the Preferences dialog does.
    g_menu_operations.preferences = [] {
        g_settings.kphormph = 1;
        g_ui_state.settings_changed = 1;
    };
    w.command(CMD_PREFERENCES);
    g_menu_operations.preferences = dialog;
    char row[VIEW_ROW_BYTES + 1];
    ASSERT_TRUE(read_viewer_row(60, row));
    EXPECT_EQ(std::string(row + ROW_SPEED, 4), "193 ") << "120 mph in km/h";
    EXPECT_EQ(g_viewer.top_row, 26);
    EXPECT_EQ(g_ui_state.settings_changed, 0);
}

TEST_F(AnalysisWindowTest, DumpLogFromTheWindowWritesWhatTheCommandLineWrites)
{
    MainWindow w(false);
    w.show();
    w.command(CMD_ANALYSIS);
    std::string log = write_temp_file("ui-dump.dat", quarter_mile_run(100));
    scripted.file_answers.push_back(log);
    QTest::mouseClick(w.controls_host().widget(ANALYSIS_SINGLE_HEADER), Qt::LeftButton);
    EXPECT_EQ(g_settings.anasheader, 1);
    QTest::mouseClick(w.controls_host().widget(ANALYSIS_DUMP_LOG), Qt::LeftButton);
    std::string cli = temp_dir() + "/ui-dump-cli.ZOV";
    ASSERT_EQ(run_command(std::string(GLANZO_CLI) + " export " + log + " -o " + cli + " --blank --single-header"), 0);
    std::string from_window = read_file(temp_dir() + "/ui-dump.ZOV");
    EXPECT_FALSE(from_window.empty());
    EXPECT_EQ(from_window, read_file(cli));
}

TEST_F(AnalysisWindowTest, TheGraphWindowFollowsTheTableAndReadsOutTheRowUnderThePointer)
{
    MainWindow w(false);
    std::string log = temp_dir() + "/ui-run.dat";
    open(w, quarter_mile_run(220), "ui-run.dat");
    QWidget* view = w.centralWidget();
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Down);
    QTest::mouseDClick(view, Qt::LeftButton, {}, QPoint(200, line_y(1) + 8));
    EXPECT_EQ(g_viewer.selected_row, 3);
    EXPECT_EQ(g_viewer.top_row, 3) << "the double-clicked row starts the run";
    serve_for(0.05);
    QmileGraphWindow* graph = qmile_graph_window();
    ASSERT_NE(graph, nullptr);
    EXPECT_TRUE(graph->isVisible());
    EXPECT_EQ(graph->windowTitle(), "1/4 Mile Graph");

    // The figures are glanzo-cli qmile's for the same start row.
    expect_cli_figures(log, 3, g_qmile_graph.results);
    const QmileResults& r = g_qmile_graph.results;
    EXPECT_TRUE(shows_text(graph->canvas().snapshot(), 591, 40, format_text("%4.1f sec.", r.quarter_s)));

    // The pointer pressed over the plot puts the cursor there and reads out the row under it.
    for (int k : {5, 37, 120}) {
        QTest::mousePress(graph, Qt::LeftButton, {}, QPoint(111 + 3 * k, 300));
        QTest::mouseRelease(graph, Qt::LeftButton, {}, QPoint(111 + 3 * k, 300));
        char row[VIEW_ROW_BYTES + 1];
        ASSERT_TRUE(read_viewer_row(3 + k, row));
        std::string rpm(row + ROW_RPM, 4), time(row + ROW_RUNTIME + 1, 7);
        EXPECT_EQ(g_qmile_graph.readout[READ_RPM], rpm) << k;
        QImage shown = graph->canvas().snapshot();
        EXPECT_TRUE(shows_text(shown, 705, 10, rpm)) << k;
        EXPECT_TRUE(shows_text(shown, 705, 30, std::string(row + ROW_SPEED, 3))) << k;
        EXPECT_TRUE(shows_text(shown, 734, 90, time)) << k;
    }
    // Dragging the cursor line.
    QTest::mousePress(graph, Qt::LeftButton, {}, QPoint(200, 300));
    QTest::mouseMove(graph, QPoint(260, 310));
    QTest::mouseRelease(graph, Qt::LeftButton, {}, QPoint(260, 310));
    EXPECT_EQ(g_qmile_graph.cursor_x, 260);

    // Its keys and scroll bar move the table, and the graph follows the table.
    QTest::keyClick(graph, Qt::Key_Right);
    EXPECT_EQ(g_viewer.top_row, 4);
    auto* graph_bar = qobject_cast<QScrollBar*>(graph->controls().widget(GRAPH_SCROLL));
    ASSERT_NE(graph_bar, nullptr);
    graph_bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(g_viewer.top_row, 30);
    EXPECT_EQ(g_qmile_graph.start_row, 30);
    EXPECT_EQ(w.controls_host().value(ANALYSIS_SCROLL), 30);
    QTest::keyClick(view, Qt::Key_Home);
    EXPECT_EQ(g_qmile_graph.start_row, 0);
    EXPECT_EQ(graph_bar->value(), 0);
    graph->grab().save(QString::fromStdString(temp_dir() + "/qmile_graph.png"));

    // Closed, it reopens where it was, on another row.
    graph->move(40, 50);
    QPoint place = graph->pos();
    graph->close();
    EXPECT_FALSE(g_qmile_graph.open);
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(200, line_y(10) + 8));
    EXPECT_EQ(g_viewer.selected_row, 10);
    EXPECT_EQ(g_viewer.top_row, 0);
    QTest::mouseClick(w.controls_host().widget(ANALYSIS_QMILE), Qt::LeftButton);
    EXPECT_TRUE(graph->isVisible());
    EXPECT_EQ(g_qmile_graph.start_row, 10);
    EXPECT_EQ(graph->pos(), place);

    // Leaving the display takes the graph and the table with it.
    w.command(CMD_GLANZO);
    EXPECT_FALSE(graph->isVisible());
    EXPECT_EQ(g_viewer.table, nullptr);
    EXPECT_EQ(get_run_mode(), RUN_LIVE);
    EXPECT_EQ(static_cast<int>(g_display.display_hold), 0);
}

}  // namespace
