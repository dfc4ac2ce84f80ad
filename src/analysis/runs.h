// Drag-strip runs found in the analysis table by themselves: a launch is a row where the car
// stands (its speed field reads 0) and the next row moves (above 0) while the throttle is opened
// to at least a threshold within the following second (17 rows); a run is a launch whose figures,
// computed from that row exactly as the quarter-mile graph computes them with the row at the top,
// pass 60 feet.
#pragma once

#include <cstdio>
#include <vector>

#include "analysis/qmile.h"

constexpr double RUN_MIN_TPS = 80;   // throttle %, the default threshold
constexpr int RUN_TPS_ROWS = 17;     // rows after the launch row that may open the throttle

struct QmileRun {
    long row = 0;             // the launch row, counted from 0
    QmileResults results;     // the figures with that row as the start row (and its run time)
};

enum RunsResult : int {
    RUNS_OK = 0,
    RUNS_READ_ERROR = -1,   // the table cannot be read
};

// The launch rows of `table` in row order: row r reads speed 0, row r + 1 above 0, and one of rows
// r + 1 to r + 17 (those the table has) reads a throttle of at least `min_tps`. The last row starts
// no launch. Reads the table once from its start.
int find_launches(FILE* table, double min_tps, std::vector<long>& launches);

// The runs of `table` in row order: its launches whose 60-foot time is not 0, with the figures
// compute_qmile gives from their rows. Speeds in the rows are in km/h when `kph` says so, else in
// the unit [KPHORMPH] names.
int find_runs(FILE* table, double min_tps, bool kph, std::vector<QmileRun>& runs);
int find_runs(FILE* table, double min_tps, std::vector<QmileRun>& runs);
