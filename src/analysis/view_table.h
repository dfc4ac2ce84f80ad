// The analysis view table: one fixed-width text row per good frame of a data log, 107 characters
// and CR LF, so that any page of an hours-long log is a direct seek away.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "stream/frame.h"
#include "stream/reader.h"

constexpr int VIEW_ROW_BYTES = 109;
constexpr int VIEW_PAGE_ROWS = 26;

// Row fields: offsets and widths.
enum ViewRowOffset : int {
    ROW_STATUS = 0,        // '1' marker, '2' time stamp, '0' none; '9' while selected
    ROW_PULSES = 1,        // speed pulse counter "%3d "
    ROW_PPM = 5,           // pulses per mile "%6d"
    ROW_RUNTIME = 11,      // " h:mm:ss "
    ROW_SECONDS_UNITS = 18,
    ROW_RPM = 20,
    ROW_SPEED = 25,
    ROW_MAP = 29,
    ROW_TPS = 33,
    ROW_CTS = 37,
    ROW_IAT = 41,
    ROW_O2 = 45,
    ROW_AIR = 50,
    ROW_SA = 54,
    ROW_SPW = 57,
    ROW_APW = 62,
    ROW_DC = 67,
    ROW_FLAGS = 72,
    ROW_INT = 84,
    ROW_BLM = 88,
    ROW_IAC = 92,
    ROW_WB = 96,
    ROW_AEPW = 101,
    ROW_SHOWN_FROM = 11,   // characters 11 to 106 are what the table shows
    ROW_SHOWN_CHARS = 96,
};

// The two heading lines for the current units (the degree sign is the byte 0xB0), or for the
// units of a table built earlier ([KPHORMPH] and [TEMPERSCALE] values).
std::string view_heading_line1();
std::string view_heading_line2();
std::string view_heading_line2(int kphormph, int temperscale);

// Formats one row (109 bytes with CR LF, plus a terminating zero) for a frame read with these
// record texts. Uses the current settings and the preferred wideband channel's current value.
void format_view_row(const FrameRecord& frame, const RecordText& time, const RecordText& marker,
                     char row[VIEW_ROW_BYTES + 1]);

// Progress through a log: called with the number of seconds of stream read so far and the number
// in the whole log (file size / 4709), every 17 rows.
using Progress = std::function<void(long done, long total)>;

enum BuildResult : int {
    BUILD_OK = 0,
    BUILD_NO_LOG = -1,       // the log cannot be opened (nothing is said)
    BUILD_WRITE_ERROR = -2,  // "Error Writing to File\nDisk Full?" has been shown
};

// Builds the table from the log at `log_path` into `table` from its current position. Sets the
// run mode to analysis while it reads and restores it. `rows` receives the rows written.
int build_view_table(const std::string& log_path, FILE* table, long& rows, const Progress& progress = {});
