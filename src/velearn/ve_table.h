// The VE table: 35 engine-speed rows by 14 manifold-pressure columns of VE bytes, held as 36 x 15
// words with the pressure axis in row 0 and the speed axis in column 0.
#pragma once

#include <array>
#include <cstdint>

constexpr int VE_ROWS = 35;
constexpr int VE_COLS = 14;

using VeTable = std::array<std::array<uint32_t, VE_COLS + 1>, VE_ROWS + 1>;

inline constexpr std::array<int, VE_ROWS> VE_RPM_AXIS = {
    400,  500,  600,  700,  800,  900,  1000, 1100, 1200, 1300, 1400, 1500, 1600, 1700, 1800, 1900, 2000, 2200,
    2400, 2600, 2800, 3000, 3200, 3400, 3600, 4000, 4400, 4800, 5200, 5600, 6000, 6500, 7000, 7500, 8000};
inline constexpr std::array<int, VE_COLS> VE_MAP_AXIS = {20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 80, 90, 100};

// A table with its axes filled in and every cell 0.
VeTable empty_ve_table();
