#include "analysis/runs.h"

#include "analysis/view_table.h"
#include "config/settings.h"

int find_launches(FILE* table, double min_tps, std::vector<long>& launches)
{
    launches.clear();
    if (std::fseek(table, 0, SEEK_SET) != 0)
        return RUNS_READ_ERROR;

    // One pass in large blocks. A launch row waits in `pending` until one of its 17 rows opens
    // the throttle (it becomes a launch) or the 17th has gone by (it is dropped); at most one row
    // in two can start a launch, so a handful wait at any time, always in row order.
    constexpr size_t BLOCK_ROWS = 1024;
    std::vector<char> block(BLOCK_ROWS * VIEW_ROW_BYTES);
    std::vector<long> pending;
    long row = 0, previous_speed = -1;
    for (;;) {
        size_t got = std::fread(block.data(), 1, block.size(), table);
        for (size_t at = 0; at + VIEW_ROW_BYTES <= got; at += VIEW_ROW_BYTES, ++row) {
            const char* text = block.data() + at;
            long speed = view_row_int(text, ROW_SPEED);
            if (previous_speed == 0 && speed > 0)
                pending.push_back(row - 1);
            if (!pending.empty() && static_cast<double>(view_row_int(text, ROW_TPS)) >= min_tps) {
                launches.insert(launches.end(), pending.begin(), pending.end());
                pending.clear();
            }
            while (!pending.empty() && pending.front() + RUN_TPS_ROWS <= row)
                pending.erase(pending.begin());
            previous_speed = speed;
        }
        if (got < block.size())
            break;
    }
    return std::ferror(table) ? RUNS_READ_ERROR : RUNS_OK;
}

int find_runs(FILE* table, double min_tps, bool kph, std::vector<QmileRun>& runs)
{
    runs.clear();
    std::vector<long> launches;
    if (int rc = find_launches(table, min_tps, launches))
        return rc;
    for (long row : launches) {
        QmileRun run;
        run.row = row;
        run.results = compute_qmile(table, row, kph);
        // A launch that never passes 60 feet has been followed to the table's end. From any later
        // row the car covers no more (the pulses counted from there are a part of those counted
        // from here, over the same pulses-per-mile figures), so no later launch passes 60 feet
        // either, and a log of launches that go nowhere is not read to its end once for each.
        if (run.results.ft60_s == 0)
            break;
        runs.push_back(run);
    }
    return std::ferror(table) ? RUNS_READ_ERROR : RUNS_OK;
}

int find_runs(FILE* table, double min_tps, std::vector<QmileRun>& runs)
{
    return find_runs(table, min_tps, g_settings.kphormph == 1, runs);
}
