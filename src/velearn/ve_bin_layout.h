// Where the VE table lies in a calibration BIN: three blocks of 14-byte rows, two rows of the grid
// held twice, and the checksum over everything from offset 8.
#pragma once

namespace ve_bin {

constexpr long BIN_BYTES = 32768;
constexpr long SIGNATURE_OFFSET = 2;
constexpr long CHECKSUM_OFFSET = 6;
constexpr long SUMMED_FROM = 8;

// A block of VE rows in the BIN: where it is, and which grid rows it holds for reading and for
// writing (the main block's row 16 is the learner's to neither read nor write).
struct VeBlock {
    long offset;
    int first_grid_row;
    int read_rows;
    int write_rows;
};
constexpr VeBlock VE_BLOCKS[] = {
    {12, 1, 16, 17},    // low speed: 400..2000 RPM
    {253, 17, 14, 15},  // main: 2000..6000 RPM
    {3587, 31, 5, 5},   // high speed: 6000..8000 RPM
};
// Reading takes grid rows 1-16, 17-30 and 31-35 from the three blocks; writing puts rows 1-17,
// 17-31 and 31-35, so 2000 and 6000 RPM go into both blocks that have a place for them.

}  // namespace ve_bin
