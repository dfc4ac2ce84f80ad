// The options of a cell table as a command line gives them (glanzo-cli cells, GlanzoFlash --cells):
//
//   LOG --z CH (--grid ve | --x CH --x-axis V,V,... --y CH --y-axis V,V,...)
//   [--stat mean|min|max|count|stdev] [--weighting nearest|bilinear] [--where EXPR]
//   [--channel NAME=EXPR]... [--shift CH=SECONDS]... [--min-hits N]
//   [--apply SRC.bin --to NEW.bin [--smooth FACTOR]]
#pragma once

#include <string>
#include <vector>

#include "analysis/cells.h"
#include "analysis/cells_settings.h"

struct CellsOptions {
    std::string log;
    CellsRequest request;
    bool ve_grid = false;
    std::string apply_source, apply_target;   // both or neither
    double smooth = 0;                        // --smooth: 0 leaves the table unsmoothed
};

extern const char* const CELLS_USAGE;

// Parses `args`. Returns 0, or -1 with `error` set to one line (a usage error). Channels and
// expressions are checked later, against a catalogue, by plan_cells.
int parse_cells_options(const std::vector<std::string>& args, CellsOptions& out, std::string& error);

// The channel the Cells window's wideband delay shifts.
constexpr const char* WIDEBAND_CHANNEL = "WB";

// The request the Cells window's settings make.
CellsRequest cells_request(const CellsSettings& settings);
// The options given to the window put over `settings`. -1 with `error` for what the window has no
// place for (--apply, a shift of another channel than the wideband's).
int settings_from_options(const CellsOptions& options, CellsSettings& settings, std::string& error);
