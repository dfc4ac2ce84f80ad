// Log export: one text line per good frame with 50 columns of values, flags and raw counts, and one
// column per active ADC channel; comma-separated (".csv") or blank-aligned (".ZOV"); one heading
// at the top, or a heading every second of run time with marker and time-stamp lines among them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "analysis/view_table.h"

// ---- The columns ------------------------------------------------------------------------------
// Every value of a data line is a row of EXPORT_COLUMNS: its name, how it is printed and the
// conversion that gives it. The export prints these rows and the graph plots them, so the two
// never disagree. The ADC channel columns that follow them depend on the channel configuration.

enum class ColumnFormat : uint8_t {
    RunTime,   // the value in seconds as "%02d:%02d:%02d", hours not capped
    Integer,   // "%*d"
    Fixed,     // "%*.*f"
    Flag,      // 'Y' (value 1) or 'N' (value 0)
    Gear,      // automatic: "P/N", " OD", "  3", "1_2" by GEAR_* code; manual: "%3d"
};

// What a column measures, for its unit text (which follows the unit settings).
enum class ColumnUnit : uint8_t { None, Seconds, Rpm, Speed, Kpa, Psi, Percent, Temperature, Millivolts, Degrees, Ms, Afr };

// Gear codes of an automatic transmission (a manual gives its gear number, 0 to 9).
enum GearCode : int { GEAR_PARK_NEUTRAL = 0, GEAR_1_2 = 1, GEAR_THIRD = 3, GEAR_OVERDRIVE = 4 };

struct ExportColumn {
    const char* name;        // the heading; "%PH" is the speed column (MPH or KPH)
    ColumnFormat format;
    int width, precision;    // Integer and Fixed
    ColumnUnit unit;
    double (*value)(const FrameRecord&);   // the value printed (caps applied)
    bool blank_after;        // blank form: one more blank after this column
};

constexpr int EXPORT_COLUMN_COUNT = 50;
extern const std::array<ExportColumn, EXPORT_COLUMN_COUNT> EXPORT_COLUMNS;

// A column's name as the heading shows it now (the speed column "MPH" or "KPH").
std::string export_column_name(const ExportColumn& column);
// The unit of a column's values in the current settings ("rpm", "kPa", "\xB0F", ...); empty for
// raw counts and flags.
std::string column_unit_text(ColumnUnit unit);

struct ExportOptions {
    bool csv = false;             // [ANA.CSV]
    bool single_header = false;   // [ANASHEADER]
};

// The output name: the input's extension (from the last dot of its file name on) replaced by
// ".csv" or ".ZOV", or appended when it has none.
std::string export_output_path(const std::string& input, bool csv);

// Readers of a whole log start the ADC channel conversion as the export does: smoothing from zero,
// then once on an all-zero frame, which gives the columns their widths.
void begin_log_conversion();

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
