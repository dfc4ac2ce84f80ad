// The quarter-mile figures over a view table of any bytes, from a start row the input chooses.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "analysis/qmile.h"
#include "config/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    g_settings.kphormph = data[0] & 1;
    long start = (data[1] << 8 | data[2]) - 2;   // a few rows before the table, too
    FILE* table = fmemopen(const_cast<uint8_t*>(data + 3), size - 3, "rb");
    if (table == nullptr)
        return 0;   // no bytes left for the table
    QmileResults r = compute_qmile(table, start);
    std::fclose(table);
    for (double v : {r.zero_to_60_s, r.ft60_s, r.ft330_s, r.eighth_s, r.eighth_mph, r.quarter_s, r.quarter_mph})
        if (!std::isfinite(v) || v < 0)
            std::abort();
    return 0;
}
