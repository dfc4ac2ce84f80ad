#include "analysis/run_list.h"

#include <algorithm>

#include "analysis/qmile_graph.h"
#include "analysis/viewer.h"
#include "config/settings.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/ui_services.h"

RunListState g_run_list;

namespace {

void changed()
{
    if (g_run_list.on_change != nullptr)
        g_run_list.on_change();
}

bool compared_row(long k, char out[VIEW_ROW_BYTES + 1]) { return run_list_compared_row(k, out); }

// The graph draws the ticked run, or none.
void show_compared()
{
    const QmileRun* run = run_list_compared();
    if (run == nullptr) {
        g_qmile_graph.overlay = QmileOverlay{};
        return;
    }
    const RunListLog* log = run_list_log(g_run_list.compared.log);
    g_qmile_graph.overlay = QmileOverlay{compared_row, "Dashed: " + log->name.substr(0, 24) + " " +
                                                           run->results.start_run_time};
}

void tell(const char* text, const char* caption)
{
    ui().message_box(text, caption, MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
}

bool listed(const RunListLog& log, long row)
{
    return std::any_of(log.runs.begin(), log.runs.end(), [&](const QmileRun& r) { return r.row == row; });
}

// An added log that the Analysis table now shows is listed once, as the open log.
bool shown_as_open(const RunListLog& log)
{
    return g_viewer.table != nullptr && log.path == g_run_list.open.path;
}

bool read_table_row(FILE* table, long row, char out[VIEW_ROW_BYTES + 1])
{
    out[VIEW_ROW_BYTES] = 0;
    return table != nullptr && row >= 0 && std::fseek(table, row * VIEW_ROW_BYTES, SEEK_SET) == 0 &&
           std::fread(out, 1, VIEW_ROW_BYTES, table) == static_cast<size_t>(VIEW_ROW_BYTES);
}

}  // namespace

std::vector<RunRef> run_list_entries()
{
    std::vector<RunRef> out;
    for (const QmileRun& r : g_run_list.open.runs)
        out.push_back({-1, r.row});
    for (size_t i = 0; i < g_run_list.added.size(); ++i) {
        if (shown_as_open(g_run_list.added[i]))
            continue;
        for (const QmileRun& r : g_run_list.added[i].runs)
            out.push_back({static_cast<int>(i), r.row});
    }
    return out;
}

const RunListLog* run_list_log(int log)
{
    if (log == -1)
        return &g_run_list.open;
    return log >= 0 && log < static_cast<int>(g_run_list.added.size()) ? &g_run_list.added[static_cast<size_t>(log)]
                                                                       : nullptr;
}

const QmileRun* run_list_run(const RunRef& ref)
{
    const RunListLog* log = run_list_log(ref.log);
    if (log == nullptr)
        return nullptr;
    auto it = std::find_if(log->runs.begin(), log->runs.end(), [&](const QmileRun& r) { return r.row == ref.row; });
    return it == log->runs.end() ? nullptr : &*it;
}

void run_list_table_built()
{
    RunListLog& open = g_run_list.open;
    open.runs.clear();
    open.path = g_viewer.table != nullptr ? g_viewer.log_path : std::string();
    open.name = file_name_part(open.path);
    open.kph = g_viewer.table_kphormph == 1;
    if (g_viewer.table != nullptr)
        find_runs(g_viewer.table, RUN_MIN_TPS, open.kph, open.runs);
    // The table was built in other units (the preferences changed): the added logs' tables follow,
    // so that a ticked run is drawn on the graph's speed scale.
    std::vector<std::string> stale;
    for (const RunListLog& log : g_run_list.added)
        if (g_viewer.table != nullptr && log.kph != open.kph)
            stale.push_back(log.path);
    for (const std::string& path : stale)
        run_list_add_log(path);
    if (g_run_list.compared.log == -1 && !listed(open, g_run_list.compared.row))
        g_run_list.compared = RunRef{-2, -1};
    show_compared();
    changed();
}

void attach_run_list()
{
    g_viewer.on_table_built = run_list_table_built;
    g_viewer.starts_run = run_list_starts_run;
    g_qmile_graph.on_compute = changed;
    show_compared();
}

void detach_run_list()
{
    g_viewer.on_table_built = nullptr;
    g_viewer.starts_run = nullptr;
    g_qmile_graph.on_compute = nullptr;
    g_qmile_graph.overlay = QmileOverlay{};
}

bool run_list_starts_run(long row)
{
    const std::vector<QmileRun>& runs = g_run_list.open.runs;
    auto it = std::lower_bound(runs.begin(), runs.end(), row, [](const QmileRun& r, long v) { return r.row < v; });
    return it != runs.end() && it->row == row;
}

int run_list_add_log(const std::string& path)
{
    FILE* check = open_regular_file(path);
    if (check == nullptr) {
        tell("Can not open Data Log File", "File Open Error");
        return -1;
    }
    std::fclose(check);
    RunListLog log;
    log.path = path;
    log.name = file_name_part(path);
    log.kph = g_settings.kphormph == 1;
    log.table = std::tmpfile();
    long rows = 0;
    if (log.table == nullptr || build_view_table(path, log.table, rows) != BUILD_OK) {
        if (log.table != nullptr)
            std::fclose(log.table);
        else
            tell("Error Opening a Temporary File\n\nIs the Disk Full?", "File Open Error");
        return -1;   // a write error has been shown by the build
    }
    find_runs(log.table, RUN_MIN_TPS, log.kph, log.runs);
    // A log added again replaces its earlier table: it may have grown since.
    auto same = std::find_if(g_run_list.added.begin(), g_run_list.added.end(),
                             [&](const RunListLog& l) { return l.path == path; });
    if (same != g_run_list.added.end()) {
        std::fclose(same->table);
        int index = static_cast<int>(same - g_run_list.added.begin());
        if (g_run_list.compared.log == index && !listed(log, g_run_list.compared.row))
            g_run_list.compared = RunRef{-2, -1};
        *same = std::move(log);
    } else {
        g_run_list.added.push_back(std::move(log));
    }
    show_compared();
    changed();
    qmile_graph_recompute();
    return 0;
}

void run_list_add_log_dialog()
{
    FileDialogRequest request;
    request.title = "Select Data Log File to Add";
    request.filters = {{"DataLogs (*.dat)", "*.dat"}, {"All (*.*)", "*.*"}};
    request.initial_folder = g_settings.analysispath;
    request.file_must_exist = true;
    std::string path = choose_file(request);
    if (!path.empty())
        run_list_add_log(path);
}

void run_list_choose(const RunRef& ref)
{
    const RunListLog* log = run_list_log(ref.log);
    if (log == nullptr || run_list_run(ref) == nullptr)
        return;
    if (ref.log >= 0 && !shown_as_open(*log)) {
        // Another log: the table shows it first (which closes the graph), then the graph comes
        // back on the run.
        std::string path = log->path;
        if (analysis_open_log(path) != 0)
            return;
        analysis_scroll(CONTROL_SCROLL_THUMB_TRACK, static_cast<int>(g_viewer.scroll.pos + ref.row - g_viewer.top_row));
        qmile_graph_show();
        return;
    }
    analysis_scroll(CONTROL_SCROLL_THUMB_TRACK, static_cast<int>(g_viewer.scroll.pos + ref.row - g_viewer.top_row));
}

void run_list_compare(const RunRef& ref)
{
    g_run_list.compared = run_list_run(ref) != nullptr ? ref : RunRef{-2, -1};
    show_compared();
    changed();
    qmile_graph_recompute();
}

const QmileRun* run_list_compared() { return run_list_run(g_run_list.compared); }

bool run_list_compared_row(long k, char out[VIEW_ROW_BYTES + 1])
{
    const QmileRun* run = run_list_compared();
    if (run == nullptr || k < 0)
        return false;
    if (g_run_list.compared.log == -1 || shown_as_open(*run_list_log(g_run_list.compared.log)))
        return read_viewer_row(run->row + k, out);
    return read_table_row(run_list_log(g_run_list.compared.log)->table, run->row + k, out);
}

bool run_list_compared_kph()
{
    const RunListLog* log = run_list_log(g_run_list.compared.log);
    return log != nullptr && log->kph;
}

std::vector<FigureComparison> compare_figures(const QmileResults& a, const QmileResults& b)
{
    struct Figure {
        const char* label;
        double QmileResults::*value;
        bool speed;
    };
    static constexpr Figure FIGURES[] = {
        {"0-60 mph", &QmileResults::zero_to_60_s, false}, {"60 foot", &QmileResults::ft60_s, false},
        {"330 foot", &QmileResults::ft330_s, false},      {"1/8 Mile", &QmileResults::eighth_s, false},
        {"1/8 mph", &QmileResults::eighth_mph, true},     {"1/4 Mile", &QmileResults::quarter_s, false},
        {"1/4 mph", &QmileResults::quarter_mph, true},
    };
    std::vector<FigureComparison> out;
    for (const Figure& f : FIGURES) {
        FigureComparison c{f.label, a.*f.value, b.*f.value};
        c.speed = f.speed;
        c.comparable = c.first != 0 && c.second != 0;
        if (c.comparable) {
            c.difference = c.second - c.first;
            double better = f.speed ? c.difference : -c.difference;
            c.faster = better > 0 ? 1 : better < 0 ? -1 : 0;
        }
        out.push_back(c);
    }
    return out;
}

void reset_run_list()
{
    for (RunListLog& log : g_run_list.added)
        if (log.table != nullptr)
            std::fclose(log.table);
    g_run_list = RunListState{};
    g_qmile_graph.overlay = QmileOverlay{};
}
