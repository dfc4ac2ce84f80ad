// The Analysis display without a window: the pages it draws, paging by keys and by the scroll bar,
// the marker search, selection and highlighting, the temporary table file, the rebuild after a
// settings change, export from the page, the quarter-mile graph, and logs that are not what they
// should be.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "analysis/export.h"
#include "analysis/qmile_graph.h"
#include "analysis/viewer.h"
#include "config/config.h"
#include "config/devices.h"
#include "config/settings.h"
#include "draw/recording_canvas.h"
#include "stream/reader.h"
#include "support/live.h"
#include "support/qmile_run.h"
#include "support/scripted_ui.h"
#include "support/sim_process.h"

namespace {

constexpr int ROWS = 300;
// Frames that come with a record: markers before 40 and 200, time stamps before 100 and 250.
constexpr int MARKER_ROWS[] = {40, 200};
constexpr int TIME_ROWS[] = {100, 250};

// Frame n of a generated log: its run time counts seconds of 17 frames, and its INT and IAC
// columns hold n, so that every drawn row says which frame it is.
FrameRecord numbered_frame(int n)
{
    FrameRecord f{};
    put16(f, F_RUN_TIME, 3600 + n / 17);
    f.b[F_INTEGRATOR] = static_cast<uint8_t>(n / 256);
    f.b[F_IAC] = static_cast<uint8_t>(n % 256);
    return f;
}

Bytes numbered_log(int rows = ROWS)
{
    Bytes log;
    for (int n = 0; n < rows; ++n) {
        Bytes frame = frame_bytes(numbered_frame(n));
        for (int m : MARKER_ROWS)
            if (n == m)
                frame = insert_at(frame, 120, marker_record(n, 3, 7, 2013, 14, 5, 9));
        for (int t : TIME_ROWS)
            if (n == t)
                frame = insert_at(frame, 0, time_record(3, 7, 2013, 14, 5, 10));
        append(log, frame);
    }
    return log;
}

// The frame number a drawn row shows (its INT and IAC columns), or -1.
int frame_of(const std::string& shown)
{
    if (shown.size() != ROW_SHOWN_CHARS)
        return -1;
    int hi = std::atoi(shown.substr(ROW_INT - ROW_SHOWN_FROM, 3).c_str());
    int lo = std::atoi(shown.substr(ROW_IAC - ROW_SHOWN_FROM, 3).c_str());
    return hi * 256 + lo;
}

int line_y(int line) { return 104 + 17 * line; }

// A graph window that draws on a recording canvas.
struct RecordingGraphHost : QmileGraphHost {
    RecordingCanvas canvas;
    bool shown = false;
    int opens = 0;
    bool resize_pointer = false;
    long scroll_pos = -1, scroll_max = -1;

    bool open_window(bool, int, int, unsigned&) override
    {
        shown = true;
        ++opens;
        return true;
    }
    void close_window() override
    {
        shown = false;
        qmile_graph_closed(30, 40);
    }
    Canvas* graph_canvas() override { return &canvas; }
    void set_scroll(long, long max, long, long pos) override
    {
        scroll_max = max;
        scroll_pos = pos;
    }
    void set_resize_pointer(bool resize) override { resize_pointer = resize; }
};

class Viewer : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        set_config_path(temp_dir() + "/viewer.cfg");
        attach_canvas(&canvas);
        attach_controls(&controls);
        attach_qmile_graph_host(&graph);
        build_device_catalogue();
        rebuild_channel_state();
        create_analysis_display();
    }
    void TearDown() override
    {
        destroy_analysis_display();
        attach_qmile_graph_host(nullptr);
        attach_canvas(nullptr);
        reset_everything();
        build_device_catalogue();
        rebuild_channel_state();
    }

    // Opens `log` through the View Log button and its file dialog.
    void view(const Bytes& log, const std::string& name = "viewer.dat")
    {
        ui.file_answers.push_back(write_temp_file(name, log));
        controls.click(ANALYSIS_VIEW_LOG);
    }

    // The frame numbers drawn on the table's lines since the canvas was last cleared, in line
    // order (the last drawing of each line).
    std::vector<int> page()
    {
        std::vector<int> frames;
        for (int line = 0; line < VIEW_PAGE_ROWS; ++line) {
            int f = frame_of(canvas.text_at(3, line_y(line)));
            if (f < 0)
                break;
            frames.push_back(f);
        }
        return frames;
    }
    static std::vector<int> rows_from(int first, int count = VIEW_PAGE_ROWS)
    {
        std::vector<int> v;
        for (int i = 0; i < count; ++i)
            v.push_back(first + i);
        return v;
    }
    // The background the row on `line` was last drawn with.
    Rgb background(int line)
    {
        Rgb bg{1, 2, 3};
        for (const RecordingCanvas::Text& t : canvas.texts())
            if (t.x == 3 && t.y == line_y(line))
                bg = t.bg;
        return bg;
    }
    std::string status_of(long row)
    {
        char r[VIEW_ROW_BYTES + 1];
        return read_viewer_row(row, r) ? std::string(1, r[0]) : std::string();
    }

    RecordingCanvas canvas;
    RecordingControls controls;
    RecordingGraphHost graph;
    ScopedScriptedUi ui;
};

TEST_F(Viewer, OpeningALogShowsItsFirstPageWithHeadingsAndAScrollBarOverEveryRow)
{
    EXPECT_EQ(get_run_mode(), RUN_ANALYSIS) << "the display thread takes no frames";
    EXPECT_EQ(controls.ids(), (std::vector<int>{ANALYSIS_VIEW_LOG, ANALYSIS_DUMP_LOG, ANALYSIS_SINGLE_HEADER,
                                                 ANALYSIS_CREATE_CSV, ANALYSIS_QMILE, ANALYSIS_FIND_MARK,
                                                 ANALYSIS_SCROLL, ANALYSIS_GRAPH, ANALYSIS_CELLS}));
    EXPECT_FALSE(controls.get(ANALYSIS_SCROLL).enabled) << "no table yet";

    view(numbered_log(), "first-page.dat");
    ASSERT_EQ(ui.dialogs.size(), 1u);
    EXPECT_EQ(ui.dialogs[0].title, "Select Data Log File to Analyze");
    EXPECT_EQ(g_settings.analysisname, "first-page.dat");
    EXPECT_EQ(g_settings.analysispath, temp_dir() + "/");
    EXPECT_EQ(g_viewer.row_count, ROWS);
    EXPECT_FALSE(controls.exists(ANALYSIS_PROGRESS)) << "the progress bar is gone again";
    EXPECT_EQ(controls.focused(), ANALYSIS_SCROLL);
    RecordingControls::Control bar = controls.get(ANALYSIS_SCROLL);
    EXPECT_TRUE(bar.enabled);
    EXPECT_EQ(bar.max, ROWS - VIEW_PAGE_ROWS) << "the last page ends on the last row";
    EXPECT_EQ(bar.page, VIEW_PAGE_ROWS);
    EXPECT_EQ(bar.value, 0);

    canvas.clear();
    paint_analysis_display();
    EXPECT_EQ(page(), rows_from(0));
    EXPECT_EQ(canvas.text_at(3, line_y(0)).substr(0, 9), " 1:00:00 ");
    EXPECT_EQ(canvas.text_at(1, 70), view_heading_line1());
    EXPECT_EQ(canvas.text_at(1, 84), view_heading_line2());
    EXPECT_EQ(canvas.text_at(20, 8), "first-page.dat");
}

TEST_F(Viewer, PagesDrawnAtTheStartTheMiddleAndTheEnd)
{
    view(numbered_log());
    analysis_scroll(CONTROL_SCROLL_PAGE_DOWN, 0);
    EXPECT_EQ(page(), rows_from(26));
    for (int i = 0; i < 4; ++i)
        analysis_scroll(CONTROL_SCROLL_PAGE_DOWN, 0);
    EXPECT_EQ(page(), rows_from(130));
    analysis_scroll(CONTROL_SCROLL_BOTTOM, 0);
    EXPECT_EQ(page(), rows_from(ROWS - 26)) << "End puts the last row on the last line";
    analysis_scroll(CONTROL_SCROLL_LINE_DOWN, 0);
    analysis_scroll(CONTROL_SCROLL_PAGE_DOWN, 0);
    EXPECT_EQ(g_viewer.top_row, ROWS - 26) << "nothing beyond the end";
    analysis_scroll(CONTROL_SCROLL_TOP, 0);
    analysis_scroll(CONTROL_SCROLL_LINE_UP, 0);
    EXPECT_EQ(page(), rows_from(0));
}

TEST_F(Viewer, PagingByKeyAndByScrollBarLandsOnTheSameRows)
{
    view(numbered_log());
    struct Step {
        int code;
        int thumb;
    };
    const Step steps[] = {{CONTROL_SCROLL_PAGE_DOWN, 0}, {CONTROL_SCROLL_LINE_DOWN, 0}, {CONTROL_SCROLL_PAGE_DOWN, 0},
                          {CONTROL_SCROLL_LINE_UP, 0},   {CONTROL_SCROLL_BOTTOM, 0},    {CONTROL_SCROLL_PAGE_UP, 0},
                          {CONTROL_SCROLL_TOP, 0}};
    std::vector<std::vector<int>> by_key, by_bar;
    for (const Step& s : steps) {
        analysis_scroll(s.code, s.thumb);
        by_key.push_back(page());
    }
    analysis_scroll(CONTROL_SCROLL_TOP, 0);
    for (const Step& s : steps) {
        controls.scroll(ANALYSIS_SCROLL, s.code, controls.get(ANALYSIS_SCROLL).value);
        by_bar.push_back(page());
        EXPECT_EQ(controls.get(ANALYSIS_SCROLL).value, g_viewer.top_row) << "the thumb follows";
    }
    EXPECT_EQ(by_key, by_bar);
    EXPECT_EQ(by_key[2], rows_from(53));

    // Dragging the thumb moves the page as it goes; letting go keeps it there.
    controls.scroll(ANALYSIS_SCROLL, CONTROL_SCROLL_THUMB_TRACK, 77);
    EXPECT_EQ(page(), rows_from(77));
    controls.scroll(ANALYSIS_SCROLL, CONTROL_SCROLL_THUMB_POSITION, 77);
    EXPECT_EQ(g_viewer.top_row, 77);
    controls.scroll(ANALYSIS_SCROLL, CONTROL_SCROLL_THUMB_TRACK, 5000);
    EXPECT_EQ(g_viewer.top_row, ROWS - 26);
}

TEST_F(Viewer, MarkerAndTimeRowsAreHighlightedAndPlainRowsAlternateEachSecond)
{
    view(numbered_log());
    controls.scroll(ANALYSIS_SCROLL, CONTROL_SCROLL_THUMB_TRACK, 33);   // row 40 on line 7
    EXPECT_EQ(background(7), (Rgb{200, 153, 51})) << "marker row";
    EXPECT_EQ(background(0), (Rgb{0, 0, 0})) << "row 33: second 3601, odd";
    EXPECT_EQ(background(1), (Rgb{30, 30, 30})) << "row 34: second 3602, even";
    controls.scroll(ANALYSIS_SCROLL, CONTROL_SCROLL_THUMB_TRACK, 100);
    EXPECT_EQ(background(0), (Rgb{51, 123, 51})) << "time-stamp row";

    // A selected row shows the selection colour, a marker row's included, until another is chosen.
    controls.scroll(ANALYSIS_SCROLL, CONTROL_SCROLL_THUMB_TRACK, 34);
    analysis_mouse_down(50, line_y(6) + 5);
    analysis_mouse_up(52, line_y(6) + 7);
    EXPECT_EQ(g_viewer.selected_row, 40);
    EXPECT_EQ(background(6), (Rgb{51, 51, 123}));
    EXPECT_EQ(status_of(40), "9");
    analysis_mouse_down(50, line_y(2));
    analysis_mouse_up(50, line_y(2));
    EXPECT_EQ(g_viewer.selected_row, 36);
    EXPECT_EQ(status_of(40), "1") << "the marker is back";
    EXPECT_EQ(background(6), (Rgb{200, 153, 51}));
}

TEST_F(Viewer, ClicksSelectOnlyRowsUnderAStillPointerInsideTheTable)
{
    view(numbered_log(30));
    analysis_scroll(CONTROL_SCROLL_BOTTOM, 0);   // rows 4 to 29
    struct Click {
        int down_x, down_y, up_x, up_y;
        long selected;   // -1: the click selects nothing
        const char* what;
    };
    const Click clicks[] = {
        {100, line_y(5) + 1, 104, line_y(5) + 5, 9, "a release 4 pixels away is still a click"},
        {100, line_y(5), 105, line_y(5), -1, "5 pixels away is a drag"},
        {0, line_y(5), 0, line_y(5), -1, "left of the table"},
        {774, line_y(5), 774, line_y(5), -1, "over the scroll bar"},
        {100, 103, 100, 103, -1, "above the first line"},
        {100, 547, 100, 547, -1, "below the last line"},
        {773, line_y(25) + 16, 773, line_y(25) + 16, 29, "the last pixel of the last line"},
    };
    for (const Click& c : clicks) {
        analysis_mouse_down(100, line_y(0));
        analysis_mouse_up(100, line_y(0));
        ASSERT_EQ(g_viewer.selected_row, 4);
        analysis_mouse_down(c.down_x, c.down_y);
        analysis_mouse_up(c.up_x, c.up_y);
        EXPECT_EQ(g_viewer.selected_row, c.selected < 0 ? 4 : c.selected) << c.what;
    }

    // A click below the last row of a short table selects nothing, and the row that was selected
    // shows its own colour again.
    view(numbered_log(10));
    analysis_mouse_down(100, line_y(4));
    analysis_mouse_up(100, line_y(4));
    EXPECT_EQ(g_viewer.selected_row, 4);
    analysis_mouse_down(100, line_y(12));
    analysis_mouse_up(100, line_y(12));
    EXPECT_EQ(g_viewer.selected_row, -1);
    EXPECT_EQ(status_of(4), "0");
    EXPECT_EQ(background(4), (Rgb{30, 30, 30}));
}

TEST_F(Viewer, FindMarkStopsAtEachMarkedRowThenReportsTheEnd)
{
    controls.click(ANALYSIS_FIND_MARK);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text, "Please open a data log...");
    EXPECT_EQ(ui.shown[0].caption, "No Data Log Opened");

    view(numbered_log());
    std::vector<long> tops;
    for (int i = 0; i < 4; ++i) {
        controls.click(ANALYSIS_FIND_MARK);
        tops.push_back(g_viewer.top_row);
        EXPECT_EQ(page().front(), g_viewer.top_row);
    }
    EXPECT_EQ(tops, (std::vector<long>{40, 100, 200, 250}));
    EXPECT_EQ(controls.get(ANALYSIS_SCROLL).value, 250);
    EXPECT_EQ(ui.shown.size(), 1u);
    controls.click(ANALYSIS_FIND_MARK);
    ASSERT_EQ(ui.shown.size(), 2u);
    EXPECT_EQ(ui.shown[1].text, "Hit the Home key to start over at the beginning");
    EXPECT_EQ(ui.shown[1].caption, "End of File Reached");
    EXPECT_EQ(g_viewer.top_row, 250) << "nothing moves";

    // The selected row counts as marked.
    analysis_scroll(CONTROL_SCROLL_TOP, 0);
    analysis_mouse_down(10, line_y(20));
    analysis_mouse_up(10, line_y(20));
    controls.click(ANALYSIS_FIND_MARK);
    EXPECT_EQ(g_viewer.top_row, 20);
    analysis_scroll(CONTROL_SCROLL_BOTTOM, 0);
    controls.click(ANALYSIS_FIND_MARK);
    EXPECT_EQ(ui.shown.back().caption, "End of File Reached") << "the page already reaches the end";
}

TEST_F(Viewer, TheTemporaryTableLivesUnlinkedBesideTheConfigurationUntilTheDisplayCloses)
{
    auto temp_files_in_folder = [] {
        int n = 0;
        if (DIR* d = opendir(temp_dir().c_str())) {
            while (dirent* e = readdir(d))
                n += std::strncmp(e->d_name, "$$_zov$$_", 9) == 0;
            closedir(d);
        }
        return n;
    };
    auto open_tables = [] {
        int n = 0;
        if (DIR* d = opendir("/proc/self/fd")) {
            while (dirent* e = readdir(d)) {
                char target[4096] = {};
                std::string link = std::string("/proc/self/fd/") + e->d_name;
                if (readlink(link.c_str(), target, sizeof target - 1) > 0 &&
                    std::string(target).find(temp_dir() + "/$$_zov$$_") == 0)
                    ++n;
            }
            closedir(d);
        }
        return n;
    };
    view(numbered_log());
    EXPECT_EQ(open_tables(), 1) << "open in the configuration's folder";
    EXPECT_EQ(temp_files_in_folder(), 0) << "and already unlinked";
    view(numbered_log(), "second.dat");
    EXPECT_EQ(open_tables(), 1) << "the first table went with the second log";
    destroy_analysis_display();
    EXPECT_EQ(open_tables(), 0);
    EXPECT_EQ(g_viewer.table, nullptr);
    EXPECT_EQ(get_run_mode(), RUN_LIVE) << "the run mode is back";

    // A folder that cannot take the file: the message, and no table.
    create_analysis_display();
    set_config_path(temp_dir() + "/no-such-folder/viewer.cfg");
    view(numbered_log());
    ASSERT_FALSE(ui.shown.empty());
    EXPECT_EQ(ui.shown.back().text, "Error Opening a Temporary File\n\nIs the Disk Full?\n\nIf running from the ZOV "
                                    "CD please copy contents onto the hard drive.");
    EXPECT_EQ(ui.shown.back().caption, "File Open Error");
    EXPECT_EQ(g_viewer.table, nullptr);
    EXPECT_FALSE(controls.get(ANALYSIS_SCROLL).enabled);
}

TEST_F(Viewer, ASettingsChangeRebuildsTheTableInTheNewUnitsKeepingPageSelectionAndGraph)
{
    Bytes log;
    for (int n = 0; n < 100; ++n) {
        FrameRecord f = numbered_frame(n);
        f.b[F_SPEED] = 60;
        append(log, frame_bytes(f));
    }
    view(log);
    analysis_scroll(CONTROL_SCROLL_PAGE_DOWN, 0);
    analysis_mouse_down(10, line_y(1));
    analysis_mouse_up(10, line_y(1));
    controls.click(ANALYSIS_QMILE);   // the selected row 27 becomes the top row; the graph opens
    ASSERT_TRUE(g_qmile_graph.open);
    EXPECT_EQ(g_viewer.top_row, 27);
    char row[VIEW_ROW_BYTES + 1];
    ASSERT_TRUE(read_viewer_row(30, row));
    EXPECT_EQ(std::string(row + ROW_SPEED, 4), " 60 ");

    g_settings.kphormph = 1;
    g_ui_state.settings_changed = 1;
    paint_analysis_display();
    EXPECT_EQ(g_ui_state.settings_changed, 0);
    ASSERT_TRUE(read_viewer_row(30, row));
    EXPECT_EQ(std::string(row + ROW_SPEED, 4), " 97 ");
    EXPECT_EQ(canvas.text_at(1, 84).substr(0, 17), " h:mm:ss  RPM KPH");
    EXPECT_EQ(g_viewer.top_row, 27);
    EXPECT_EQ(g_viewer.selected_row, 27);
    EXPECT_EQ(status_of(27), "9");
    EXPECT_TRUE(g_qmile_graph.open) << "the graph came back";
    EXPECT_EQ(graph.opens, 2);
    EXPECT_EQ(g_qmile_graph.start_row, 27);
}

TEST_F(Viewer, BadLogsGiveAMessageOrAnEmptyTableAndNeverACrash)
{
    // Not there, a folder, a pipe nobody writes to, a device without end: the message, nothing
    // changes, nothing waits.
    std::string pipe = temp_dir() + "/pipe.dat";
    std::remove(pipe.c_str());
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    ui.file_answers = {temp_dir() + "/missing.dat", temp_dir(), pipe, "/dev/zero"};
    for (int i = 0; i < 4; ++i)
        controls.click(ANALYSIS_VIEW_LOG);
    ASSERT_EQ(ui.shown.size(), 4u);
    for (const ScriptedUi::Shown& s : ui.shown) {
        EXPECT_EQ(s.text, "Can not open Data Log File");
        EXPECT_EQ(s.caption, "File Open Error");
    }
    EXPECT_EQ(g_viewer.table, nullptr);

    // Random bytes, and a log of frames that all fail their CRC: an empty table.
    Bytes noise(100000);
    uint32_t x = 7;
    for (uint8_t& b : noise)
        b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 16);
    Bytes bad;
    for (int n = 0; n < 50; ++n)
        append(bad, frame_bytes_bad_crc(numbered_frame(n)));
    for (const Bytes& log : {noise, bad}) {
        ui.shown.clear();
        view(log, "empty.dat");
        ASSERT_NE(g_viewer.table, nullptr);
        EXPECT_EQ(g_viewer.row_count, 0);
        EXPECT_EQ(g_viewer.scroll.max, -1);
        EXPECT_FALSE(controls.get(ANALYSIS_SCROLL).enabled);
        analysis_scroll(CONTROL_SCROLL_PAGE_DOWN, 0);
        analysis_scroll(CONTROL_SCROLL_BOTTOM, 0);
        EXPECT_EQ(g_viewer.top_row, 0);
        analysis_mouse_down(10, line_y(0));
        analysis_mouse_up(10, line_y(0));
        EXPECT_EQ(g_viewer.selected_row, -1);
        controls.click(ANALYSIS_FIND_MARK);
        ASSERT_EQ(ui.shown.size(), 1u);
        EXPECT_EQ(ui.shown[0].caption, "End of File Reached");
        controls.click(ANALYSIS_QMILE);
        EXPECT_EQ(g_qmile_graph.results.quarter_s, 0.0);
        qmile_graph_close();
        canvas.clear();
        paint_analysis_display();
        EXPECT_TRUE(page().empty());
    }
}

TEST_F(Viewer, ALogDeletedOrCutShortWhileOpenKeepsWhatWasRead)
{
    view(numbered_log(), "doomed.dat");
    std::string path = g_settings.analysis;
    ASSERT_EQ(std::remove(path.c_str()), 0);
    controls.click(ANALYSIS_FIND_MARK);
    EXPECT_EQ(g_viewer.top_row, 40);
    analysis_scroll(CONTROL_SCROLL_BOTTOM, 0);
    EXPECT_EQ(page(), rows_from(ROWS - 26));
    // Rebuilding a log that is gone keeps the rows, and the heading their units.
    g_settings.kphormph = 1;
    g_ui_state.settings_changed = 1;
    paint_analysis_display();
    EXPECT_EQ(g_viewer.row_count, ROWS);
    EXPECT_EQ(page(), rows_from(ROWS - 26));
    EXPECT_EQ(canvas.text_at(1, 84).substr(0, 17), " h:mm:ss  RPM MPH");

    // A log cut short: the rebuild holds the rows it still has, all in the new units.
    Bytes log = numbered_log();
    log.resize(log.size() / 2);
    write_temp_file("doomed.dat", log);
    g_ui_state.settings_changed = 1;
    paint_analysis_display();
    EXPECT_EQ(g_viewer.row_count, viewer_rows());
    EXPECT_LT(viewer_rows(), ROWS / 2 + 1);
    EXPECT_EQ(page().back(), viewer_rows() - 1);
    EXPECT_EQ(g_viewer.scroll.max, viewer_rows() - 1);
    EXPECT_EQ(canvas.text_at(1, 84).substr(0, 17), " h:mm:ss  RPM KPH");
}

TEST_F(Viewer, ALogOfSeveralRecordingsShowsEveryRecordingsFrames)
{
    Bytes log;
    for (int recording = 0; recording < 2; ++recording) {
        std::string header = "TIME: 03/07/2013 - 14:05:09[ID] ZOV J8 Glanzo Display\r\n[PORT] COM2\r\n";
        append(log, Bytes(header.begin(), header.end()));
        for (int n = 0; n < 40; ++n)
            append(log, frame_bytes(numbered_frame(recording * 40 + n)));
    }
    view(log);
    EXPECT_EQ(g_viewer.row_count, 80);
    analysis_scroll(CONTROL_SCROLL_BOTTOM, 0);
    EXPECT_EQ(page(), rows_from(54));
    EXPECT_EQ(status_of(40), "2") << "the second recording's time record";
}

TEST_F(Viewer, DumpLogWritesWhatTheCommandLineExportWrites)
{
    controls.click(ANALYSIS_CREATE_CSV);
    EXPECT_EQ(g_settings.ana_csv, 1);
    controls.click(ANALYSIS_SINGLE_HEADER);
    controls.click(ANALYSIS_SINGLE_HEADER);
    EXPECT_EQ(g_settings.anasheader, 0);

    std::string log = write_temp_file("dump.dat", numbered_log(170));
    ui.file_answers.push_back(log);
    controls.click(ANALYSIS_DUMP_LOG);
    ASSERT_EQ(ui.dialogs.size(), 1u);
    EXPECT_EQ(ui.dialogs[0].title, "Select Data Log File to Create Dump From");
    EXPECT_FALSE(controls.exists(ANALYSIS_PROGRESS)) << "the progress bar has gone";
    EXPECT_EQ(controls.focused(), ANALYSIS_DUMP_LOG);
    std::string from_page = read_file(temp_dir() + "/dump.csv");
    ASSERT_FALSE(from_page.empty());
    std::string cli = temp_dir() + "/dump-cli.csv";
    ASSERT_EQ(run_command(std::string(GLANZO_CLI) + " export " + log + " -o " + cli + " --csv --header-every-second"), 0);
    EXPECT_EQ(from_page, read_file(cli));

    // A log that cannot be read: the message, no output.
    ui.file_answers.push_back(temp_dir() + "/gone.dat");
    controls.click(ANALYSIS_DUMP_LOG);
    ASSERT_FALSE(ui.shown.empty());
    EXPECT_EQ(ui.shown.back().text, "Can not open Data Log File");
}

TEST_F(Viewer, TheExportProgressBarStepsOncePerSecondOfStream)
{
    // A progress host that counts the steps before the bar goes.
    struct Counting : RecordingControls {
        int steps = 0, max = 0;
        void destroy(std::span<const ControlDef> table) override
        {
            for (const ControlDef& s : table)
                if (s.id == ANALYSIS_PROGRESS) {
                    steps = get(ANALYSIS_PROGRESS).steps;
                    max = get(ANALYSIS_PROGRESS).max;
                }
            RecordingControls::destroy(table);
        }
    } counting;
    attach_controls(&counting);
    ui.file_answers.push_back(write_temp_file("steps.dat", numbered_log(170)));
    analysis_command(ANALYSIS_DUMP_LOG, CONTROL_CLICKED, 0);
    EXPECT_EQ(counting.steps, 10);
    EXPECT_EQ(counting.max, static_cast<int>(numbered_log(170).size() / 4709));
    ui.file_answers.push_back(write_temp_file("steps.dat", numbered_log(170)));
    analysis_command(ANALYSIS_VIEW_LOG, CONTROL_CLICKED, 0);
    EXPECT_EQ(counting.steps, 10) << "the table's build steps it the same way";
    attach_controls(&controls);
}

TEST_F(Viewer, TheGraphShowsTheCommandLineFiguresAndReadsOutTheRowUnderTheCursor)
{
    controls.click(ANALYSIS_QMILE);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].caption, "No Data Log Opened");
    EXPECT_FALSE(g_qmile_graph.open);

    std::string log = write_temp_file("run.dat", quarter_mile_run(200));
    ui.file_answers.push_back(log);
    controls.click(ANALYSIS_VIEW_LOG);
    analysis_scroll(CONTROL_SCROLL_LINE_DOWN, 0);
    analysis_scroll(CONTROL_SCROLL_LINE_DOWN, 0);
    controls.click(ANALYSIS_QMILE);   // nothing selected: the top row, 2, is
    EXPECT_EQ(g_viewer.selected_row, 2);
    ASSERT_TRUE(g_qmile_graph.open);
    EXPECT_EQ(graph.scroll_pos, 2);

    expect_cli_figures(log, 2, g_qmile_graph.results);
    const QmileResults& r = g_qmile_graph.results;
    EXPECT_EQ(graph.canvas.text_at(299, 40), format_text("%4.1f sec.", r.zero_to_60_s));
    EXPECT_EQ(graph.canvas.text_at(591, 40), format_text("%4.1f sec.", r.quarter_s));
    EXPECT_EQ(graph.canvas.text_at(591, 60), format_text("%3.0f mph", r.quarter_mph));
    EXPECT_EQ(graph.canvas.text_at(82, 552), "0:01:00");
    EXPECT_EQ(g_qmile_graph.pixels_per_frame, 3);

    // The cursor dragged to x 111 + 3 k reads out row 2 + k.
    qmile_graph_mouse_move(400, 300, false);
    EXPECT_FALSE(graph.resize_pointer);
    qmile_graph_mouse_move(g_qmile_graph.cursor_x + 3, 300, false);
    EXPECT_TRUE(graph.resize_pointer) << "near the cursor line";
    for (int k : {10, 28, 60}) {
        qmile_graph_mouse_down(111 + 3 * k, 300);
        char row[VIEW_ROW_BYTES + 1];
        ASSERT_TRUE(read_viewer_row(2 + k, row));
        EXPECT_EQ(g_qmile_graph.readout[READ_RPM], std::string(row + ROW_RPM, 4)) << k;
        EXPECT_EQ(g_qmile_graph.readout[READ_SPEED], std::string(row + ROW_SPEED, 3));
        EXPECT_EQ(g_qmile_graph.readout[READ_TPS], std::string(row + ROW_TPS, 3));
        EXPECT_EQ(g_qmile_graph.readout[READ_TIME], std::string(row + ROW_RUNTIME + 1, 7));
        EXPECT_EQ(graph.canvas.text_at(705, 10), std::string(row + ROW_RPM, 4));
        qmile_graph_mouse_up();
    }
    qmile_graph_mouse_down(50, 300);   // outside the plot: the cursor stays
    qmile_graph_mouse_move(900, 300, true);
    EXPECT_EQ(g_qmile_graph.cursor_x, 111 + 3 * 60);
    qmile_graph_mouse_up();
    qmile_graph_mouse_down(300, 300);
    qmile_graph_mouse_move(20000, 300, true);
    qmile_graph_mouse_move(794, 300, true);
    EXPECT_EQ(g_qmile_graph.cursor_x, 792) << "kept inside the plot";
    qmile_graph_mouse_up();

    // The marker row's tick: three lines at its x.
    int marker_x = 111 + 3 * (40 - 2);
    int ticks = 0;
    for (const RecordingCanvas::Shape& s : graph.canvas.shapes())
        ticks += s.kind == 'l' && s.a >= marker_x - 1 && s.a <= marker_x + 1 && s.b == 503 && s.d == 485 &&
                 s.colour == Rgb{200, 153, 51};
    EXPECT_EQ(ticks, 3);

    // The window's scroll bar moves the table and the graph follows.
    qmile_graph_command(GRAPH_SCROLL, CONTROL_SCROLL_LINE_DOWN, 0);
    EXPECT_EQ(g_viewer.top_row, 3);
    EXPECT_EQ(g_qmile_graph.start_row, 3);
    EXPECT_EQ(controls.get(ANALYSIS_SCROLL).value, 3);

    // Closed by the user, the graph reopens on another row where it was.
    graph.close_window();
    EXPECT_FALSE(g_qmile_graph.open);
    EXPECT_TRUE(g_qmile_graph.placed);
    analysis_scroll(CONTROL_SCROLL_LINE_DOWN, 0);
    EXPECT_EQ(g_qmile_graph.start_row, 3) << "a closed graph does not follow";
    analysis_double_click(10, line_y(5));
    analysis_mouse_up(10, line_y(5));
    EXPECT_EQ(g_viewer.selected_row, 9);
    EXPECT_EQ(g_viewer.top_row, 9) << "the double-clicked row starts the run";
    EXPECT_TRUE(g_qmile_graph.open);
    EXPECT_EQ(g_qmile_graph.start_row, 9);
}

TEST_F(Viewer, AGraphWindowThatCannotBeMadeIsReportedAndTheFiguresAreStillComputed)
{
    struct Failing : RecordingGraphHost {
        bool open_window(bool, int, int, unsigned& error) override
        {
            error = 12;
            return false;
        }
    } failing;
    attach_qmile_graph_host(&failing);
    view(quarter_mile_run(200));
    controls.click(ANALYSIS_QMILE);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text, "failed: GetLastError returned 12\n");
    EXPECT_EQ(ui.shown[0].caption, "Error");
    EXPECT_FALSE(g_qmile_graph.open);
    EXPECT_GT(g_qmile_graph.results.quarter_s, 0.0);
    attach_qmile_graph_host(&graph);
}

TEST_F(Viewer, ALongRunIsDrawnAtTwoPixelsAFrameAndARunNearTheEndLeavesMarksAtZero)
{
    // 4 pulses a frame: the quarter mile takes 250 frames, 14.7 s.
    Bytes log;
    for (int n = 0; n < 400; ++n) {
        FrameRecord f = numbered_frame(n);
        f.b[F_VSS_COUNTER] = static_cast<uint8_t>(4 * n);
        f.b[F_SPEED] = 70;
        put16(f, F_SPEED_K, 230);
        append(log, frame_bytes(f));
    }
    view(log);
    controls.click(ANALYSIS_QMILE);
    EXPECT_GT(g_qmile_graph.results.quarter_s, 13.3);
    EXPECT_EQ(g_qmile_graph.pixels_per_frame, 2);
    EXPECT_EQ(graph.canvas.text_at(111 + 34 * 20 - 8, 530), "20") << "21 second marks";

    controls.scroll(ANALYSIS_SCROLL, CONTROL_SCROLL_BOTTOM, 0);
    EXPECT_EQ(g_qmile_graph.start_row, 400 - 26);
    EXPECT_EQ(g_qmile_graph.results.quarter_s, 0.0);
    EXPECT_EQ(graph.canvas.text_at(591, 40), " 0.0 sec.");
    EXPECT_GT(g_qmile_graph.results.ft60_s, 0.0);
}

}  // namespace
