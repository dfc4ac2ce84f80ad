#include "analysis/viewer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <ctime>

#include "analysis/export.h"
#include "config/config.h"
#include "config/settings.h"
#include "draw/canvas.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/ui_services.h"
#include "stream/reader.h"

ViewerState g_viewer;

namespace {

// ---- Page layout ------------------------------------------------------------------------------

// The table: 26 lines of 17 pixels from y 104; a press counts from x 1 to 773 and y 104 to 546.
constexpr int TABLE_LEFT = 1, TABLE_TOP = 104, TABLE_RIGHT = 773, TABLE_BOTTOM = 546;
constexpr int LINE_HEIGHT = 17;
constexpr int ROW_X = 3;
// A line's band: its background fills the whole 17 pixels whatever the font's cell.
constexpr int BAND_LEFT = 2, BAND_RIGHT = 771;
constexpr int HEADING_X = 1, HEADING_1_Y = TABLE_TOP - 34, HEADING_2_Y = TABLE_TOP - 20;
// The log's name: from x 20, so that 30 characters end before the title at x 320 (the page is
// cleared before it is painted, so no blanks need wipe a longer name first).
constexpr int NAME_X = 20, NAME_Y = 8, NAME_CHARS = 30;
// The frame around the table and the line between the text and the scroll bar.
constexpr int FRAME_LEFT = 1, FRAME_TOP = 102, FRAME_RIGHT = 792, FRAME_BOTTOM = 548, SEPARATOR_X = 772;
constexpr Rgb FRAME_GREY{180, 180, 180};
// Row backgrounds: by status, and for plain rows by the run time's seconds (even, odd).
constexpr Rgb ROW_EVEN{30, 30, 30}, ROW_ODD{0, 0, 0}, ROW_MARKER{200, 153, 51}, ROW_TIME{51, 123, 51},
              ROW_SELECTED{51, 51, 123};
constexpr Rgb BLACK{0, 0, 0};
// The mark of a row that starts a run (g_viewer.starts_run).
constexpr Rgb RUN_MARK{90, 230, 255};
constexpr int RUN_MARK_WIDTH = 5;
// A release further than this from its press is a drag, not a click.
constexpr int CLICK_SLOP = 4;

// Tab, Enter and Esc step through the controls; the arrows scroll the table from any of them.
constexpr KeyRoute TABLE_KEYS = KeyRoute::TableNextControl;

constexpr std::array<ControlDef, 10> ANALYSIS_CONTROLS = {{
    {ANALYSIS_VIEW_LOG, ControlKind::PushButton, "View Log", 45, 30, 80, 30, CS_GROUP | CS_TAB_STOP | CS_TAKES_FOCUS,
     TABLE_KEYS},
    {ANALYSIS_DUMP_LOG, ControlKind::PushButton, "Dump Log", 155, 30, 80, 30, CS_TAB_STOP, TABLE_KEYS},
    {ANALYSIS_SINGLE_HEADER, ControlKind::CheckBox, "Single Header", 243, 30, 120, 18, CS_TAB_STOP, TABLE_KEYS},
    {ANALYSIS_CREATE_CSV, ControlKind::CheckBox, "Create .csv", 243, 46, 120, 18, CS_TAB_STOP, TABLE_KEYS},
    {ANALYSIS_QMILE, ControlKind::PushButton, "1/4 Mile", 485, 30, 80, 30, CS_TAB_STOP, TABLE_KEYS},
    {ANALYSIS_FIND_MARK, ControlKind::PushButton, "Find Mark", 595, 30, 80, 30, CS_TAB_STOP, TABLE_KEYS},
    {ANALYSIS_SCROLL, ControlKind::ScrollBar, nullptr, 774, 104, 18, 443, CS_TAB_STOP, TABLE_KEYS},
    // Beyond the page's own controls: the log graph, right of "Find Mark".
    {ANALYSIS_GRAPH, ControlKind::PushButton, "Graph", 705, 30, 80, 30, CS_TAB_STOP, TABLE_KEYS},
    // The cell tables: the free place left of "1/4 Mile" (below "Graph" would cover the headings).
    {ANALYSIS_CELLS, ControlKind::PushButton, "Cells", 385, 30, 80, 30, CS_TAB_STOP, TABLE_KEYS},
    // Shown only while a table is built or a log exported.
    {ANALYSIS_PROGRESS, ControlKind::ProgressBar, nullptr, 11, 121, 750, 17, CS_NONE, KeyRoute::Own},
}};
const std::span<const ControlDef> PAGE_CONTROLS{ANALYSIS_CONTROLS.data(), ANALYSIS_CONTROLS.size() - 1};
const std::span<const ControlDef> PROGRESS_ROW{&ANALYSIS_CONTROLS.back(), 1};

void (*g_cells_button_action)() = nullptr;

void tell(const char* text, const char* caption)
{
    ui().message_box(text, caption, MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
}

ViewerListener listeners[VIEWER_LISTENERS] = {};   // constant-initialised: safe to add at load

void announce(ViewerEvent event)
{
    for (ViewerListener l : listeners)
        if (l != nullptr)
            l(event);
}

void changed()
{
    if (g_viewer.on_change != nullptr)
        g_viewer.on_change();
}

void table_built()
{
    if (g_viewer.on_table_built != nullptr)
        g_viewer.on_table_built();
}

// ---- Files ------------------------------------------------------------------------------------

// Seconds of stream in the log: the progress bar's range.
int stream_seconds(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return 0;
    long long seconds = static_cast<long long>(st.st_size) / STREAM_SECOND_BYTES;
    return seconds > INT32_MAX ? INT32_MAX : static_cast<int>(seconds);
}

// A data log chosen in the file-open dialog with this title; empty when cancelled.
std::string choose_log(const char* title)
{
    FileDialogRequest request;
    request.title = title;
    request.filters = {{"DataLogs (*.dat)", "*.dat"}, {"All (*.*)", "*.*"}};
    request.initial_name = g_settings.analysisname;
    request.initial_folder = g_settings.analysispath;
    request.file_must_exist = true;
    return choose_file(request);
}

// Runs `work` (a table build or an export of the log `path`) with the progress bar over the
// table, stepped once per second of stream; returns what it returns.
template <class Work>
int with_progress(const std::string& path, Work&& work)
{
    create_controls(PROGRESS_ROW, analysis_command);
    controls().set_range(ANALYSIS_PROGRESS, 0, stream_seconds(path), 1);
    int rc = work([](long, long) { controls().step(ANALYSIS_PROGRESS); });
    destroy_controls(PROGRESS_ROW);
    return rc;
}

// A new view table file "$$_zov$$_<time>.tmp" in the configuration file's folder, opened for
// reading and writing and unlinked at once, so that it goes when it is closed (or the program
// ends). A name that is taken (another instance's, opened in the same second) is left alone and
// the next number tried; a link planted under the name is not followed.
FILE* create_table_file()
{
    const std::string config_folder = directory_part(config_path());
    const std::string folder = config_folder.empty() ? std::string(".") : config_folder;
    long now = static_cast<long>(std::time(nullptr));
    for (long n = now; n < now + 100; ++n) {
        char name[48];
        std::snprintf(name, sizeof name, "$$_zov$$_%05ld.tmp", n);
        std::string path = folder + "/" + name;
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return nullptr;
        }
        unlink(path.c_str());
        FILE* f = fdopen(fd, "w+b");
        if (f == nullptr)
            close(fd);
        return f;
    }
    return nullptr;
}

void close_table()
{
    if (g_viewer.table != nullptr)
        std::fclose(g_viewer.table);
    g_viewer.table = nullptr;
    g_viewer.table_size = 0;
    g_viewer.row_count = 0;
    g_viewer.top_row = 0;
    g_viewer.selected_row = -1;
    g_viewer.saved_offset = -1;
    g_viewer.scroll = ScrollInfo{};
    g_viewer.mouse_down = false;
    table_built();
}

long table_rows() { return g_viewer.table_size / VIEW_ROW_BYTES; }

bool read_row_at(long row, char* out)
{
    FILE* t = g_viewer.table;
    return t != nullptr && row >= 0 && std::fseek(t, row * VIEW_ROW_BYTES, SEEK_SET) == 0 &&
           std::fread(out, 1, VIEW_ROW_BYTES, t) == static_cast<size_t>(VIEW_ROW_BYTES);
}

// One status character of the table rewritten in place.
void write_status(long offset, char status)
{
    FILE* t = g_viewer.table;
    if (std::fseek(t, offset, SEEK_SET) == 0) {
        std::fputc(status, t);
        std::fflush(t);
    }
}

// ---- Scroll bar -------------------------------------------------------------------------------

// The bar shows the table's scroll information; it is disabled rather than hidden when there is
// nothing to scroll.
void show_scroll()
{
    const ScrollInfo& s = g_viewer.scroll;
    long last = s.last_position();
    controls().set_range(ANALYSIS_SCROLL, static_cast<int>(s.min), static_cast<int>(last), static_cast<int>(s.page));
    controls().set_value(ANALYSIS_SCROLL, static_cast<int>(s.pos));
    controls().set_enabled(ANALYSIS_SCROLL, g_viewer.table != nullptr && s.can_scroll());
    announce(VIEWER_SCROLLED);
}

// The position the bar accepts for `pos`.
long accepted_position(long pos)
{
    const ScrollInfo& s = g_viewer.scroll;
    long last = s.last_position();
    return pos < s.min ? s.min : pos > last ? last : pos;
}

// ---- Drawing ----------------------------------------------------------------------------------

Rgb row_background(const char* row, Rgb previous)
{
    switch (row[ROW_STATUS]) {
    case '0':
        return (row[ROW_SECONDS_UNITS] - '0') % 2 == 0 ? ROW_EVEN : ROW_ODD;
    case '1':
        return ROW_MARKER;
    case '2':
        return ROW_TIME;
    case '9':
        return ROW_SELECTED;
    default:
        return previous;
    }
}

// A row that starts a run: a small triangle in the blank before its run time.
void draw_run_mark(Canvas* c, int y)
{
    for (int i = 0; i < RUN_MARK_WIDTH; ++i)
        c->line(ROW_X + i, y + 4 + i, ROW_X + i, y + LINE_HEIGHT - 4 - i, RUN_MARK, 1);
}

void draw_rows()
{
    Canvas* c = canvas();
    if (c == nullptr || g_viewer.table == nullptr)
        return;
    char row[VIEW_ROW_BYTES + 1] = {};
    Rgb bg = BLACK;
    FILE* t = g_viewer.table;
    if (std::fseek(t, g_viewer.top_row * VIEW_ROW_BYTES, SEEK_SET) != 0)
        return;
    for (int line = 0; line < VIEW_PAGE_ROWS; ++line) {
        if (std::fread(row, 1, VIEW_ROW_BYTES, t) != static_cast<size_t>(VIEW_ROW_BYTES))
            break;
        bg = row_background(row, bg);
        int y = TABLE_TOP + LINE_HEIGHT * line;
        c->fill(BAND_LEFT, y, BAND_RIGHT, y + LINE_HEIGHT, bg);
        c->text(ROW_X, y, std::string_view(row + ROW_SHOWN_FROM, ROW_SHOWN_CHARS), Font::Table, TEXT, bg);
        if (g_viewer.starts_run != nullptr && g_viewer.starts_run(g_viewer.top_row + line))
            draw_run_mark(c, y);
    }
}

void paint_page(Canvas* c)
{
    if (g_viewer.table != nullptr) {
        c->text(NAME_X, NAME_Y, g_settings.analysisname.substr(0, NAME_CHARS), Font::Table, TEXT, BACKGROUND);
    }
    int kph = g_viewer.table != nullptr ? g_viewer.table_kphormph : static_cast<int>(g_settings.kphormph);
    int temperscale = g_viewer.table != nullptr ? g_viewer.table_temperscale : static_cast<int>(g_settings.temperscale);
    c->text(HEADING_X, HEADING_1_Y, view_heading_line1(), Font::Table, TEXT, BACKGROUND);
    c->text(HEADING_X, HEADING_2_Y, view_heading_line2(kph, temperscale), Font::Table, TEXT, BACKGROUND);
    // The 26 lines black.
    c->fill(BAND_LEFT, TABLE_TOP, BAND_RIGHT, TABLE_TOP + LINE_HEIGHT * VIEW_PAGE_ROWS, BLACK);
    c->rectangle(FRAME_LEFT, FRAME_TOP, FRAME_RIGHT, FRAME_BOTTOM, FRAME_GREY, 2, BLACK, false);
    c->line(SEPARATOR_X, FRAME_TOP, SEPARATOR_X, FRAME_BOTTOM, FRAME_GREY, 2);
    draw_rows();
}

// ---- Building ---------------------------------------------------------------------------------

// Builds the table of [ANALYSIS] into the table file from its start, with the progress bar.
int build_table(long& rows)
{
    if (Canvas* c = canvas())
        c->fill(TABLE_LEFT, TABLE_TOP, TABLE_RIGHT, TABLE_BOTTOM, BACKGROUND);
    const std::string path = g_settings.analysis;
    std::rewind(g_viewer.table);
    int rc = with_progress(path, [&](const Progress& p) { return build_view_table(path, g_viewer.table, rows, p); });
    if (rc != BUILD_NO_LOG) {
        g_viewer.log_path = path;
        g_viewer.table_kphormph = g_settings.kphormph;
        g_viewer.table_temperscale = g_settings.temperscale;
    }
    table_built();
    return rc;
}

// The table built again in the units now set, after a dialog changed them. The rows keep their
// places and the selection its row. A log that can no longer be read leaves the table as it was;
// one that has changed length gives as many rows as it now holds, so that every row shown is in
// the same units.
void rebuild_table()
{
    announce(VIEWER_REBUILDING);
    long rows = 0;
    if (build_table(rows) != BUILD_NO_LOG) {
        g_viewer.row_count = rows;
        if (rows != table_rows()) {
            g_viewer.table_size = rows * VIEW_ROW_BYTES;
            g_viewer.scroll.max = rows - 1;
            g_viewer.scroll.pos = accepted_position(g_viewer.scroll.pos);
            if (g_viewer.top_row >= rows)
                g_viewer.top_row = g_viewer.scroll.pos;
        }
        long selected = g_viewer.selected_row;
        g_viewer.selected_row = -1;
        g_viewer.saved_offset = -1;
        if (selected >= 0 && selected < rows)
            select_viewer_row(selected);
        show_scroll();
    }
    announce(VIEWER_REBUILT);
    changed();
}

// Moves the table to scroll position `pos` as far as the bar accepts it.
void scroll_to(long pos)
{
    ScrollInfo& s = g_viewer.scroll;
    long old = s.pos;
    s.pos = accepted_position(pos);
    g_viewer.top_row += s.pos - old;
    show_scroll();
    draw_rows();
    announce(VIEWER_ROWS_MOVED);
    changed();
}

// The row under a press at (x, y) of the page, or -1.
long row_at(int x, int y)
{
    if (x < TABLE_LEFT || x > TABLE_RIGHT || y < TABLE_TOP || y > TABLE_BOTTOM)
        return -1;
    int line = (y - TABLE_TOP) / LINE_HEIGHT;
    return line < VIEW_PAGE_ROWS ? g_viewer.top_row + line : -1;
}

// The second half of a click on the table: selects the row pressed on, or nothing when the press
// was below the last row. Returns whether a row was selected.
bool click_row(int x, int y)
{
    if (g_viewer.table == nullptr || !g_viewer.mouse_down)
        return false;
    int dx = x - g_viewer.down_x, dy = y - g_viewer.down_y;
    if (dx < -CLICK_SLOP || dx > CLICK_SLOP || dy < -CLICK_SLOP || dy > CLICK_SLOP)
        return false;
    long row = row_at(g_viewer.down_x, g_viewer.down_y);
    if (row < 0)
        return false;
    if (row < g_viewer.row_count) {
        select_viewer_row(row);
        announce(VIEWER_ROWS_MOVED);
        return true;
    }
    // Nothing selected: the row that was shows its own colour again.
    if (g_viewer.saved_offset >= 0) {
        write_status(g_viewer.saved_offset, g_viewer.saved_status);
        g_viewer.saved_offset = -1;
        draw_rows();
    }
    g_viewer.selected_row = -1;
    announce(VIEWER_ROWS_MOVED);
    changed();
    return false;
}

void set_export_option(int id, Shared<int32_t>& key) { key = controls().checked(id) ? 1 : 0; }

}  // namespace

// ---- The display ------------------------------------------------------------------------------

void create_analysis_display()
{
    if (g_viewer.created)
        return;
    g_viewer.created = true;
    g_viewer.previous_run_mode = set_run_mode(RUN_ANALYSIS);
    create_controls(PAGE_CONTROLS, analysis_command);
    controls().set_checked(ANALYSIS_SINGLE_HEADER, g_settings.anasheader == 1);
    controls().set_checked(ANALYSIS_CREATE_CSV, g_settings.ana_csv == 1);
    show_scroll();
    ui().request_repaint();
}

void destroy_analysis_display()
{
    if (!g_viewer.created)
        return;
    destroy_controls(ANALYSIS_CONTROLS);
    announce(VIEWER_CLOSING);
    close_table();
    g_viewer.created = false;
    set_run_mode(g_viewer.previous_run_mode);
    changed();
}

void paint_analysis_display()
{
    if (g_ui_state.settings_changed != 0) {
        g_ui_state.settings_changed = 0;
        if (g_viewer.table != nullptr)
            rebuild_table();
    }
    if (Canvas* c = canvas())
        paint_page(c);
}

void analysis_command(int id, int event, int value)
{
    switch (id) {
    case ANALYSIS_VIEW_LOG:
        analysis_view_log();
        break;
    case ANALYSIS_DUMP_LOG:
        analysis_dump_log();
        break;
    case ANALYSIS_SINGLE_HEADER:
        set_export_option(id, g_settings.anasheader);
        break;
    case ANALYSIS_CREATE_CSV:
        set_export_option(id, g_settings.ana_csv);
        break;
    case ANALYSIS_QMILE:
        analysis_quarter_mile();
        break;
    case ANALYSIS_FIND_MARK:
        analysis_find_mark();
        break;
    case ANALYSIS_SCROLL:
        analysis_scroll(event, value);
        break;
    case ANALYSIS_GRAPH:
        announce(VIEWER_GRAPH_ASKED);
        break;
    case ANALYSIS_CELLS:
        if (g_cells_button_action != nullptr)
            g_cells_button_action();
        break;
    default:
        break;
    }
}

void analysis_scroll(int code, int position)
{
    if (g_viewer.table == nullptr)
        return;
    const ScrollInfo& s = g_viewer.scroll;
    long pos = s.pos;
    switch (code) {
    case CONTROL_SCROLL_LINE_UP:
        pos = s.pos - 1;
        break;
    case CONTROL_SCROLL_LINE_DOWN:
        pos = s.pos + 1;
        break;
    case CONTROL_SCROLL_PAGE_UP:
        pos = s.pos - s.page;
        break;
    case CONTROL_SCROLL_PAGE_DOWN:
        pos = s.pos + s.page;
        break;
    case CONTROL_SCROLL_THUMB_TRACK:
        pos = position;
        break;
    case CONTROL_SCROLL_TOP:
        pos = s.min;
        break;
    case CONTROL_SCROLL_BOTTOM:
        pos = s.max;
        break;
    default:   // the thumb let go: it is where the track left it
        return;
    }
    scroll_to(pos);
}

void analysis_mouse_down(int x, int y)
{
    // A new press: the release a double-click left to be ignored is not coming any more.
    g_viewer.double_click = false;
    if (g_viewer.table == nullptr)
        return;
    g_viewer.mouse_down = true;
    g_viewer.down_x = x;
    g_viewer.down_y = y;
}

void analysis_mouse_up(int x, int y)
{
    if (g_viewer.double_click) {
        g_viewer.double_click = false;
        return;
    }
    click_row(x, y);
}

void analysis_double_click(int x, int y)
{
    analysis_mouse_down(x, y);
    if (click_row(x, y))
        analysis_quarter_mile();
    g_viewer.double_click = true;
}

// ---- The buttons ------------------------------------------------------------------------------

void analysis_view_log()
{
    std::string path = choose_log("Select Data Log File to Analyze");
    if (!path.empty())
        analysis_open_log(path);
}

int analysis_open_log(const std::string& path)
{
    if (!regular_file_readable(path)) {
        tell("Can not open Data Log File", "File Open Error");
        return -1;
    }
    announce(VIEWER_LOG_OPENING);
    close_table();
    g_settings.analysis = path;
    g_settings.analysisname = file_name_part(path);
    g_settings.analysispath = folder_part(path);
    save_config();

    g_viewer.table = create_table_file();
    if (g_viewer.table == nullptr) {
        tell("Error Opening a Temporary File\n\nIs the Disk Full?\n\nIf running from the ZOV CD please copy contents "
             "onto the hard drive.",
             "File Open Error");
        show_scroll();
        changed();
        return -1;
    }
    long rows = 0;
    build_table(rows);
    std::fflush(g_viewer.table);
    struct stat st {};
    g_viewer.table_size = fstat(fileno(g_viewer.table), &st) == 0 ? static_cast<long>(st.st_size) : 0;
    g_viewer.row_count = rows;
    g_viewer.scroll = ScrollInfo{0, table_rows() - 1, VIEW_PAGE_ROWS, 0};
    g_viewer.top_row = 0;
    g_viewer.selected_row = -1;
    g_viewer.saved_offset = -1;
    show_scroll();
    ui().request_repaint();
    controls().focus(ANALYSIS_SCROLL);
    announce(VIEWER_LOG_OPENED);
    changed();
    return 0;
}

void analysis_dump_log()
{
    std::string input = choose_log("Select Data Log File to Create Dump From");
    if (input.empty())
        return;
    if (!regular_file_readable(input)) {
        tell("Can not open Data Log File", "File Open Error");
        return;
    }
    ExportOptions options;
    options.csv = g_settings.ana_csv == 1;
    options.single_header = g_settings.anasheader == 1;
    with_progress(input, [&](const Progress& p) {
        return export_log(input, export_output_path(input, options.csv), options, p);
    });
    // The progress bar stood over the table.
    ui().request_repaint();
    controls().focus(ANALYSIS_DUMP_LOG);
}

void analysis_find_mark()
{
    if (g_viewer.table == nullptr) {
        tell("Please open a data log...", "No Data Log Opened");
        return;
    }
    const char* end_text = "Hit the Home key to start over at the beginning";
    const char* end_caption = "End of File Reached";
    if (g_viewer.top_row + VIEW_PAGE_ROWS >= g_viewer.row_count) {
        tell(end_text, end_caption);
        return;
    }
    char row[VIEW_ROW_BYTES + 1];
    long found = g_viewer.top_row + 1;
    FILE* t = g_viewer.table;
    bool ok = std::fseek(t, found * VIEW_ROW_BYTES, SEEK_SET) == 0;
    while (ok && std::fread(row, 1, VIEW_ROW_BYTES, t) == static_cast<size_t>(VIEW_ROW_BYTES)) {
        if (row[ROW_STATUS] != '0') {
            scroll_to(g_viewer.scroll.pos + found - g_viewer.top_row);
            return;
        }
        ++found;
    }
    tell(end_text, end_caption);
}

void analysis_quarter_mile()
{
    if (g_viewer.table == nullptr) {
        tell("Please open a data log...", "No Data Log Opened");
        return;
    }
    if (g_viewer.selected_row < 0)
        select_viewer_row(g_viewer.top_row);
    else
        g_viewer.top_row = g_viewer.selected_row;
    g_viewer.scroll.pos = accepted_position(g_viewer.top_row);
    show_scroll();
    draw_rows();
    announce(VIEWER_QMILE_ASKED);
    changed();
}

// ---- The table for others ---------------------------------------------------------------------

long viewer_rows() { return g_viewer.table != nullptr ? table_rows() : 0; }

bool read_viewer_row(long row, char out[VIEW_ROW_BYTES + 1])
{
    out[VIEW_ROW_BYTES] = 0;
    return read_row_at(row, out);
}

void set_cells_button_action(void (*action)()) { g_cells_button_action = action; }

void select_viewer_row(long row)
{
    if (g_viewer.table == nullptr || row < 0 || row >= table_rows())
        return;
    if (g_viewer.saved_offset >= 0)
        write_status(g_viewer.saved_offset, g_viewer.saved_status);
    long offset = row * VIEW_ROW_BYTES;
    char status = 0;
    if (std::fseek(g_viewer.table, offset, SEEK_SET) != 0 || std::fread(&status, 1, 1, g_viewer.table) != 1) {
        g_viewer.saved_offset = -1;
        g_viewer.selected_row = -1;
        return;
    }
    g_viewer.saved_status = status;
    g_viewer.saved_offset = offset;
    write_status(offset, '9');
    g_viewer.selected_row = row;
    draw_rows();
    changed();
}

void redraw_viewer_rows() { draw_rows(); }

void reset_viewer()
{
    close_table();
    g_viewer = ViewerState{};
    announce(VIEWER_RESET);
}

bool add_viewer_listener(ViewerListener listener)
{
    for (ViewerListener& l : listeners)
        if (l == listener)
            return true;
    for (ViewerListener& l : listeners) {
        if (l == nullptr) {
            l = listener;
            return true;
        }
    }
    return false;
}
