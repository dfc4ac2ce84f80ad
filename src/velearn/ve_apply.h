// Corrections multiplied onto the VE table of a calibration BIN: a table of per-cent corrections
// (from a log's cell table) turns a source BIN into a new one, as a learn run writes its result.
#pragma once

#include <array>
#include <string>

#include "analysis/cells.h"
#include "velearn/ve_table.h"

// One correction per VE cell in per cent; [r][c] is RPM row r (VE_RPM_AXIS) and MAP column c
// (VE_MAP_AXIS). A cell without a correction keeps its value.
struct VeCorrections {
    std::array<std::array<double, VE_COLS>, VE_ROWS> percent{};
    std::array<std::array<bool, VE_COLS>, VE_ROWS> has{};
};

enum VeApplyResult : int {
    VE_APPLY_OK = 0,
    VE_APPLY_NO_SOURCE = -1,   // the source cannot be read
    VE_APPLY_NOT_BIN = -2,     // the source is no calibration BIN
    VE_APPLY_NO_WRITE = -3,    // the new BIN could not be written (nothing was)
};

struct VeApplyOutcome {
    int smoother_error = 0;    // > 0: the smoother failed and the table went unsmoothed, as a learn run does
    int32_t serial = 0;        // the serial number written
};

// Writes `new_path` whole: the source's first 32768 bytes (0xFF beyond a shorter file) with each
// VE cell that has a correction set to floor(old x (1 + percent / 100) + 0.5), kept to 0..255;
// then, for `smooth_factor` > 0, the table smoothed with it; then the VE rows, the serial number
// + 1 and the checksum put in as a learn run puts them. Nothing is written on failure.
int apply_ve_corrections(const std::string& source_path, const std::string& new_path, const VeCorrections& corrections,
                         double smooth_factor, VeApplyOutcome& outcome);

// The VE table a BIN image holds, read as a learn run reads it.
VeTable ve_table_of_image(const unsigned char* image);

// The VE grid of a cell table: X MAP on the VE table's pressure columns, Y RPM on its speed rows,
// so that cells line up with the table and its display.
void set_ve_grid(CellsRequest& request);
bool is_ve_grid(const CellsRequest& request);
// The values of a VE-grid table (by its statistic and minimum hits) as corrections in per cent.
VeCorrections ve_corrections(const CellTable& table, CellStat stat, long min_hits);

// The Cells window's "Write BIN...": the source and the new BIN chosen as a learn run chooses
// them, then apply_ve_corrections with [SMOOTHFAC]; failures are told in message boxes. 0 when
// written, 1 when cancelled, -1 on failure.
int choose_and_apply_ve_corrections(const VeCorrections& corrections);
