// The Cells window's settings file ("cells.conf", beside the log graph's): the last choices and
// the math channel definitions, one "KEY VALUE" line each, written whole and then put in place.
// Lines that do not read are skipped; a missing file gives the defaults.
#pragma once

#include <string>
#include <vector>

#include "analysis/cells.h"

constexpr const char* CELLS_SETTINGS_FILE = "cells.conf";

struct CellsSettings {
    std::string x = "MAP", y = "RPM", z = "BLM";
    bool ve_grid = true;
    std::vector<double> x_axis{0, 100}, y_axis{0, 8000};   // own breakpoints
    CellStat stat = CellStat::Mean;
    CellWeighting weighting = CellWeighting::Nearest;
    long min_hits = 1;
    std::string where;
    std::vector<MathChannelDef> math;
    double wideband_delay = 0;   // seconds the wideband channel is read later
    double centre = 128;         // of the colour scale: 0 (a correction in per cent) or 128 (BLM)
    bool scatter = false;        // the scatter view shown instead of the table
    bool operator==(const CellsSettings&) const = default;
};

CellsSettings read_cells_settings(const std::string& path);
// 0, or -1 when the file could not be written (the old one then stays).
int write_cells_settings(const std::string& path, const CellsSettings& settings);

// "20,25,30" and back; false for anything but numbers split by commas.
bool parse_breakpoints(const std::string& text, std::vector<double>& out);
std::string breakpoints_text(const std::vector<double>& axis);
// Even steps from `a` to `b` by `step` (b included when a step lands on it); false when they do
// not make an axis of 2 to 1000 breakpoints.
bool even_steps(double a, double b, double step, std::vector<double>& out);
