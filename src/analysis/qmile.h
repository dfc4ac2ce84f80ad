// Quarter-mile figures from the analysis table: 0-60 mph, 60 and 330 feet, eighth and quarter mile
// with their trap speeds, for a run that starts at a chosen row. Distance comes from the ECM's
// speed pulse counter; times have the resolution of one frame (1/17 s).
#pragma once

#include <cstdio>

struct QmileResults {
    double zero_to_60_s = 0;
    double ft60_s = 0;
    double ft330_s = 0;
    double eighth_s = 0;
    double eighth_mph = 0;
    double quarter_s = 0;
    double quarter_mph = 0;
    char start_run_time[8] = {};   // "h:mm:ss" of the start row
};

// Computes the figures for the run starting at `start_row` of the table. A mark the run never
// passes leaves its figures at 0. Rows with no pulses-per-mile figure (the ECM reported no speed
// sensor constant) add their pulses but leave the distance where it was.
// Speeds in the rows are in the unit [KPHORMPH] names, or km/h when `kph` says so.
QmileResults compute_qmile(FILE* table, long start_row);
// The integer at `offset` of a table row, as integer parsing
// reads it (leading blanks skipped, an optional sign, the digits), but from nine digits at most:
// a damaged table cannot overflow it. How the figures read the speed and every other field.
long view_row_int(const char* row, int offset);
QmileResults compute_qmile(FILE* table, long start_row, bool kph);
