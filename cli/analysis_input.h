// What the analysis commands share: the table a log or table argument stands for, and the
// quarter-mile figures as JSON.
#pragma once

#include <cstdio>
#include <string>

#include "analysis/qmile.h"

enum class TableArgument {
    LogOrTable,   // a log (".dat", any case) is built; anything else is a table already built
    Log,          // always a log, whatever its name
};

// The view table for `path`: a log built into a temporary file that goes when closed, or a table
// already built (see TableArgument). Null when it cannot be had, with the one stderr line said and
// `rc` the exit code.
FILE* open_analysis_table(const std::string& path, int& rc, TableArgument kind = TableArgument::LogOrTable);

// "zero_to_60_s":..,"ft60_s":..,...,"quarter_mph":.. in that order, without braces; every number
// the shortest text that reads back as the figure.
std::string qmile_json_fields(const QmileResults& r);
