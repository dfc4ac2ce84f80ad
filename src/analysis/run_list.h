// The runs list of the "1/4 Mile Graph" window: every run of the log the Analysis table shows
// (found again whenever the table is built), and the runs of other logs the user adds, each with
// a table of its own kept for drawing. Choosing a run makes its launch row the table's top row,
// as scrolling there does; a second run ticked is drawn over the graph, aligned at its launch,
// and its figures are set against the graph's.
//
// Window thread only.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "analysis/runs.h"
#include "analysis/view_table.h"

struct RunListLog {
    std::string path;
    std::string name;         // the file name, as the list shows it
    FILE* table = nullptr;    // an added log's own table; the open log's is the viewer's
    bool kph = false;         // the units its table was built in
    std::vector<QmileRun> runs;
};

// A run of the list: the log (-1 the open log, else an added one) and its launch row.
struct RunRef {
    int log = -1;
    long row = -1;
    bool operator==(const RunRef&) const = default;
};

struct RunListState {
    RunListLog open;                   // the Analysis table's log
    std::vector<RunListLog> added;     // with "Add Log...", in the order added
    RunRef compared{-2, -1};           // the ticked run, or log -2: none
    void (*on_change)() = nullptr;     // the list or the ticked run changed (the window refills)
};

extern RunListState g_run_list;

// The list in its order: the open log's runs, then each added log's (an added log that is now
// the open one is not listed twice).
std::vector<RunRef> run_list_entries();
const RunListLog* run_list_log(int log);
const QmileRun* run_list_run(const RunRef& ref);

// Hooks the list into the Analysis table (told of every table built, asked for the rows to mark)
// and the quarter-mile graph (told of every computation, drawing the ticked run); the program
// attaches it with the Analysis page.
void attach_run_list();
void detach_run_list();

// The Analysis table has been built (or closed): the open log's runs found again; a ticked run
// of it that is no longer there is let go.
void run_list_table_built();
// Whether `row` of the Analysis table starts a run.
bool run_list_starts_run(long row);

// "Add Log...": the log's table built into a temporary file and its runs listed. 0, or -1 when
// it cannot be opened or built ("Can not open Data Log File" has been shown).
int run_list_add_log(const std::string& path);
// The button: the file dialog, then run_list_add_log.
void run_list_add_log_dialog();

// Makes the run's launch row the table's top row, as scrolling there does (the graph follows).
// A run of an added log opens that log in the Analysis table first.
void run_list_choose(const RunRef& ref);
// Ticks `ref` as the run compared with the graph's (log -2: none).
void run_list_compare(const RunRef& ref);

// The compared run's row `k` rows after its launch (false past its table's end), and its units.
bool run_list_compared_row(long k, char out[VIEW_ROW_BYTES + 1]);
bool run_list_compared_kph();
const QmileRun* run_list_compared();

// One figure of two runs side by side: the difference is second minus first, and `faster` says
// whether the second run is faster there (+1), slower (-1), or neither (0: equal, or a figure
// one of them never reached, when there is no difference to show).
struct FigureComparison {
    const char* label;
    double first = 0, second = 0, difference = 0;
    bool speed = false;       // a trap speed (higher is faster) rather than a time
    bool comparable = false;  // both runs reached it
    int faster = 0;
};
std::vector<FigureComparison> compare_figures(const QmileResults& first, const QmileResults& second);

void reset_run_list();
