// Log export: one text line per good frame with 50 columns of values, flags and raw counts, and one
// column per active ADC channel; comma-separated (".csv") or blank-aligned (".ZOV"); one heading
// at the top, or a heading every second of run time with marker and time-stamp lines among them.
#pragma once

#include <string>

#include "analysis/view_table.h"

struct ExportOptions {
    bool csv = false;             // [ANA.CSV]
    bool single_header = false;   // [ANASHEADER]
};

// The output name: the input's extension (from the last dot of its file name on) replaced by
// ".csv" or ".ZOV", or appended when it has none.
std::string export_output_path(const std::string& input, bool csv);

// The heading line, ending in CR LF.
std::string export_heading(bool csv);

enum ExportResult : int {
    EXPORT_OK = 0,
    EXPORT_NO_INPUT = -1,      // the input cannot be opened (nothing is said)
    EXPORT_NO_OUTPUT = -2,     // "Can Not Open Output File..." has been shown
    EXPORT_WRITE_ERROR = -3,   // a write failed and has been reported
};

// Exports the log `input` into `output`. Sets the run mode to analysis while it reads.
int export_log(const std::string& input, const std::string& output, const ExportOptions& options,
               const Progress& progress = {});
