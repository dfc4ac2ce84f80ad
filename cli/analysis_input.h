// What the analysis commands share: the table a log or table argument stands for, and the
// quarter-mile figures as JSON.
#pragma once

#include <cstdio>
#include <string>

#include "analysis/qmile.h"

// The view table for `path`: a log (".dat", any case) built into a temporary file that goes when
// closed, anything else opened as a table already built. Null when it cannot be had, with the one
// stderr line said and `rc` the exit code.
FILE* open_analysis_table(const std::string& path, int& rc);

// "zero_to_60_s":..,"ft60_s":..,...,"quarter_mph":.. in that order, without braces; every number
// the shortest text that reads back as the figure.
std::string qmile_json_fields(const QmileResults& r);
