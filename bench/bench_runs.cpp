// Finding the drag-strip runs of a one-hour log (61,200 frames of passes one after another): the
// table built and its runs found, beside the bare table build, as glanzo-cli runs does it; and the
// search alone over a table already built (what the Runs list does for the open log); and a log
// of the same length whose 20,000 launches go nowhere (no speed sensor figure), which must not be
// read once for each.
#include <cstdio>
#include <vector>

#include "analysis/runs.h"
#include "analysis/view_table.h"
#include "bench_timing.h"
#include "config/devices.h"
#include "support/strip_log.h"

int main()
{
    build_device_catalogue();
    rebuild_channel_state();

    // Passes of differing launches until the hour is full, cut at 61,200 frames.
    StripLog day;
    for (int i = 0; day.frames < 61200; ++i)
        add_strip_recording(day, {StripPass{.wait_frames = 300 + 7 * (i % 11), .mph_per_frame = 0.6 + 0.05 * (i % 9)}},
                            100 + static_cast<int>(day.frames / 17));
    long excess = day.frames - 61200;   // the last pass's last frames: no record follows them
    day.bytes.resize(day.bytes.size() - static_cast<size_t>(excess) * frame_bytes(FrameRecord{}).size());
    std::string log = write_strip_log("bench-runs-hour.dat", day);

    long rows = 0;
    double build = best_of(3, [&] {
        FILE* t = std::tmpfile();
        build_view_table(log, t, rows);
        std::fclose(t);
    });
    std::vector<QmileRun> runs;
    double whole = best_of(3, [&] {
        FILE* t = std::tmpfile();
        build_view_table(log, t, rows);
        find_runs(t, RUN_MIN_TPS, runs);
        std::fclose(t);
    });
    FILE* t = std::tmpfile();
    build_view_table(log, t, rows);
    double search = best_of(5, [&] { find_runs(t, RUN_MIN_TPS, runs); });
    std::fclose(t);

    // Hops of a frame from a standstill, the ECM reporting no pulses-per-mile figure.
    StripLog hops;
    std::vector<StripPass> passes(20400, StripPass{.wait_frames = 1, .run_frames = 1, .ppm = 0});
    add_strip_recording(hops, passes);
    std::string hop_log = write_strip_log("bench-runs-hops.dat", hops);
    long hop_rows = 0;
    FILE* ht = std::tmpfile();
    build_view_table(hop_log, ht, hop_rows);
    std::vector<long> launches;
    find_launches(ht, RUN_MIN_TPS, launches);
    double hop_build = best_of(3, [&] {
        FILE* t2 = std::tmpfile();
        build_view_table(hop_log, t2, hop_rows);
        std::fclose(t2);
    });
    std::vector<QmileRun> hop_runs;
    double hop_search = best_of(3, [&] { find_runs(ht, RUN_MIN_TPS, hop_runs); });
    std::fclose(ht);

    std::printf("one-hour log: %ld rows, %zu runs\n", rows, runs.size());
    std::printf("table built and runs found: %.3f s, %.3f x the bare table build (%.3f s; target 1.2 x)\n", whole,
                whole / build, build);
    std::printf("runs found over a built table: %.1f ms, %.3f of the table build\n", search * 1e3, search / build);
    std::printf("a log of %ld rows and %zu launches that go nowhere: runs found in %.1f ms, %.3f of its table build\n",
                hop_rows, launches.size(), hop_search * 1e3, hop_search / hop_build);
    return 0;
}
