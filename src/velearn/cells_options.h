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
