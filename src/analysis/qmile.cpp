#include "analysis/qmile.h"

#include <climits>
#include <cstring>

#include "analysis/view_table.h"
#include "config/settings.h"

long view_row_int(const char* row, int offset)
{
    const char* p = row + offset;
    while (*p == ' ' || *p == '\t')
        ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    long v = 0;
    for (int digits = 0; digits < 9 && *p >= '0' && *p <= '9'; ++digits, ++p)
        v = v * 10 + (*p - '0');
    return negative ? -v : v;
}

namespace {

constexpr double FEET_PER_MILE = 5280;
constexpr double KM_PER_MILE = 1.609344;
constexpr double KPH_60_MPH = 96.56064;

long row_int(const char* row, int offset) { return view_row_int(row, offset); }

// A table we wrote holds a counter byte and a speed of at least 0; a damaged one is held to that,
// so that no figure comes out negative.
long clamped(long v, long low, long high) { return v < low ? low : v > high ? high : v; }

bool read_row(FILE* table, char* row)
{
    return std::fread(row, 1, VIEW_ROW_BYTES, table) == static_cast<size_t>(VIEW_ROW_BYTES);
}

}  // namespace

QmileResults compute_qmile(FILE* table, long start_row) { return compute_qmile(table, start_row, g_settings.kphormph == 1); }

QmileResults compute_qmile(FILE* table, long start_row, bool kph)
{
    QmileResults r;
    char row[VIEW_ROW_BYTES + 1] = {};
    if (start_row < 0 || start_row > LONG_MAX / VIEW_ROW_BYTES ||
        std::fseek(table, start_row * VIEW_ROW_BYTES, SEEK_SET) != 0 || !read_row(table, row))
        return r;
    std::memcpy(r.start_run_time, row + ROW_RUNTIME + 1, 7);

    long previous = clamped(row_int(row, ROW_PULSES), 0, 255);
    long n = 0, pulses = 0, eighth_start = 0, quarter_start = 0;
    double eighth_sum = 0, quarter_sum = 0, distance = 0;
    while (read_row(table, row)) {
        ++n;
        long counter = clamped(row_int(row, ROW_PULSES), 0, 255);
        pulses += counter >= previous ? counter - previous : 256 - previous + counter;
        previous = counter;
        long ppm = row_int(row, ROW_PPM - 1);   // from the blank before the field
        if (ppm > 0)
            distance = FEET_PER_MILE / static_cast<double>(ppm) * static_cast<double>(pulses);
        double speed = static_cast<double>(clamped(row_int(row, ROW_SPEED), 0, LONG_MAX));
        double mph = kph ? speed / KM_PER_MILE : speed;
        double t = static_cast<double>(n) / 17.0;

        if (r.zero_to_60_s == 0 && speed >= (kph ? KPH_60_MPH : 60))
            r.zero_to_60_s = t;
        if (r.ft60_s == 0 && distance > 60)
            r.ft60_s = t;
        if (r.ft330_s == 0 && distance > 330)
            r.ft330_s = t;
        if (r.eighth_mph == 0 && distance > 594) {
            if (eighth_start == 0)
                eighth_start = n;
            eighth_sum += mph;
        }
        if (r.quarter_mph == 0 && distance > 1254) {
            if (quarter_start == 0)
                quarter_start = n;
            quarter_sum += mph;
        }
        if (r.eighth_s == 0 && distance > 660) {
            r.eighth_s = t;
            r.eighth_mph = eighth_sum / static_cast<double>(n - eighth_start + 1);
        }
        if (r.quarter_s == 0 && distance > 1320) {
            r.quarter_s = t;
            r.quarter_mph = quarter_sum / static_cast<double>(n - quarter_start + 1);
            break;
        }
    }
    return r;
}
