// Cell tables: what a channel (Z) did in each cell of a grid over two others (X, Y), over the
// good frames of a log that pass a filter; "what did BLM average in each RPM x MAP cell of my
// VE table while in closed loop?".
//
// A channel's value in a frame is the number the log export prints for it in that frame (flags as
// 1 and 0, RUNTIME in seconds), as a double exactly equal to the printed decimal, so a
// spreadsheet reading the exported CSV finds the same table. Math channels (expressions over the
// channels, in order, each may use those before it) and the filter are evaluated after the
// shifts that delay a channel (a wideband's lag). Sums run in frame order.
//
// The log is read once into LogValues; a changed request only needs plan_cells and compute_cells
// again, which is what keeps a window's table live while the user types.
//
// Window thread only (reading uses the analysis byte source and the ADC channel state).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/channel_expr.h"
#include "analysis/channels.h"

enum class CellStat : uint8_t { Mean, Min, Max, Count, Stdev };
enum class CellWeighting : uint8_t { Nearest, Bilinear };

struct CellStatName {
    const char* name;
    CellStat stat;
};
inline constexpr CellStatName CELL_STATS[] = {
    {"mean", CellStat::Mean}, {"min", CellStat::Min}, {"max", CellStat::Max},
    {"count", CellStat::Count}, {"stdev", CellStat::Stdev},
};
struct CellWeightingName {
    const char* name;
    CellWeighting weighting;
};
inline constexpr CellWeightingName CELL_WEIGHTINGS[] = {
    {"nearest", CellWeighting::Nearest},
    {"bilinear", CellWeighting::Bilinear},
};
const char* cell_stat_name(CellStat stat);
const char* cell_weighting_name(CellWeighting weighting);
// False when `name` is none of the table's.
bool cell_stat_named(const std::string& name, CellStat& out);
bool cell_weighting_named(const std::string& name, CellWeighting& out);

// The export's frame rate: a shift of S seconds is round(S x 17) good frames.
constexpr double CELL_FRAMES_PER_SECOND = 17.0;

struct MathChannelDef {
    std::string name;
    std::string expression;
    bool operator==(const MathChannelDef&) const = default;
};

struct ChannelShift {
    std::string channel;
    double seconds = 0;   // > 0: the value comes from later frames
};

struct CellsRequest {
    std::string x, y, z;                 // channel names
    std::vector<double> x_axis, y_axis;  // breakpoints, strictly increasing, at least two
    CellStat stat = CellStat::Mean;
    CellWeighting weighting = CellWeighting::Nearest;
    std::string where;                   // the filter; empty keeps every frame
    std::vector<MathChannelDef> math;
    std::vector<ChannelShift> shifts;
    long min_hits = 1;
};

// A request checked against a catalogue: channels numbered catalogue rows first, then the math
// channels in order.
struct CellPlan {
    CellsRequest request;
    std::vector<ChannelInfo> catalogue;
    std::vector<ChannelExpression> math;   // channel catalogue.size() + i
    ChannelExpression where;
    bool has_where = false;
    int x = -1, y = -1, z = -1;
    std::vector<std::pair<int, long>> shifts;   // catalogue row, frames
    std::vector<bool> reads;                    // catalogue rows whose values are needed

    int channel_count() const { return static_cast<int>(catalogue.size() + math.size()); }
    std::string channel_name(int channel) const;
};

enum CellsResult : int {
    CELLS_OK = 0,
    CELLS_BAD_REQUEST = -1,   // unknown channel, bad expression or axis: the message says which
    CELLS_NO_LOG = -2,        // the log cannot be opened
};

// The channel a name means: exactly, or else ignoring case; catalogue rows and then the first
// `math_count` math channels. -1 when none.
int resolve_channel(const std::vector<ChannelInfo>& catalogue, const std::vector<MathChannelDef>& math,
                    size_t math_count, const std::string& name);

// Compiles math channels in order (each may use the catalogue and those before it); sets
// reads[row] for the catalogue rows they read. On failure `error` is one line.
int compile_math_channels(const std::vector<MathChannelDef>& math, const std::vector<ChannelInfo>& catalogue,
                          std::vector<ChannelExpression>& out, std::vector<bool>& reads, std::string& error);
// Evaluates compiled math channels at samples [first, end) into out[m] (NaN elsewhere); columns[ch]
// holds channel ch's values (nullptr when not read), and columns[base + m] is set to math channel
// m's as it is done, for those after it.
void evaluate_math_channels(std::vector<ChannelExpression>& math, std::vector<const double*>& columns, size_t base,
                            long first, long end, std::vector<std::vector<double>>& out);

// Checks and compiles `request`; on failure `error` is one line.
int plan_cells(const CellsRequest& request, const std::vector<ChannelInfo>& catalogue, CellPlan& plan,
               std::string& error);

// The exact values of a log's channels, one per good frame.
struct LogValues {
    std::vector<std::vector<double>> values;   // [catalogue row][sample]; empty for rows not read
    long samples = 0;
};

// Reads the log once for the catalogue rows with rows[i] set (every row when `rows` is empty).
// Sets the run mode to analysis while it reads.
int read_log_values(const std::string& path, const std::vector<ChannelInfo>& catalogue, const std::vector<bool>& rows,
                    LogValues& out, const Progress& progress = {});

struct CellStats {
    long hits = 0;        // samples with weight > 0
    double weight = 0;    // their summed weight
    double sum_wz = 0;
    double min = 0, max = 0;
    double mean = 0, stdev = 0;   // valid when hits > 0
};

struct CellTable {
    std::vector<double> x_axis, y_axis;
    std::vector<CellStats> cells;   // [r * columns + c]: y breakpoint r, x breakpoint c
    long samples = 0;               // good frames
    long kept = 0;                  // samples in the table
    // The kept samples (sample numbers) and their X, Y and Z, in frame order.
    std::vector<uint32_t> kept_samples;
    std::vector<double> kept_x, kept_y, kept_z;

    size_t columns() const { return x_axis.size(); }
    size_t rows() const { return y_axis.size(); }
    const CellStats& at(size_t r, size_t c) const { return cells[r * columns() + c]; }
};

// The table of `plan` over `values` (which hold every row the plan reads).
void compute_cells(CellPlan& plan, const LogValues& values, CellTable& out);

// A cell's value by the statistic; NaN (no value) when it has fewer than `min_hits` hits, or no
// hits for a statistic that needs some.
double cell_value(const CellStats& cell, CellStat stat, long min_hits);

// Whether kept sample `k` of `table` has weight > 0 in cell (r, c).
bool kept_sample_in_cell(const CellTable& table, CellWeighting weighting, size_t k, size_t r, size_t c);

// The table as text for a spreadsheet: a heading row "Y\X" and the x breakpoints, then a row per
// y breakpoint with its cells' values (empty where there is none), fields split by `separator`,
// lines ending in "\n". Numbers in their shortest exact form.
std::string cells_text(const CellTable& table, CellStat stat, long min_hits, const std::string& y_name,
                       const std::string& x_name, char separator);

// The shortest text that reads back as `v`.
std::string shortest_number(double v);
