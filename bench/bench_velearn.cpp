// VE learning: one smoothing run of the whole table, the learning step for one frame and one
// recompute of the learned table, each beside a baseline measured in the same run: for the
// smoother the least-squares polynomial fit of the same table (the least work a fit can do), for
// the learning step a copy of the frame record, for the recompute one plain pass over both fine
// grids.
//
//   bench_velearn
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "config/settings.h"
#include "stream/display_thread.h"
#include "velearn/smoother.h"
#include "velearn/ve_learn_state.h"

namespace {

using Clock = std::chrono::steady_clock;

// Median-free and simple: the best of `rounds` runs of `n` calls, in nanoseconds per call.
template <class F>
double best_ns(int rounds, int n, F&& f)
{
    double best = 1e30;
    for (int r = 0; r < rounds; ++r) {
        auto t0 = Clock::now();
        for (int i = 0; i < n; ++i)
            f(i);
        double ns = std::chrono::duration<double, std::nano>(Clock::now() - t0).count() / n;
        best = std::min(best, ns);
    }
    return best;
}

VeTable patchy_table()
{
    VeTable t = empty_ve_table();
    for (int i = 1; i <= VE_ROWS; ++i)
        for (int j = 1; j <= VE_COLS; ++j)
            t[i][j] = static_cast<uint32_t>(70 + 60 * std::sin(i / 12.0) + 2.2 * j + ((i * 7 + j * 3) % 11 == 0 ? 12 : 0));
    return t;
}

volatile uint32_t sink;

}  // namespace

int main()
{
    VeTable table = patchy_table();
    double smooth = best_ns(5, 200, [&](int) {
        VeTable t = table;
        smooth_ve_table(t, 12);
        sink = t[18][7];
    });
    double polynomial = best_ns(5, 200, [&](int) {
        VeTable t = table;
        smooth_ve_table(t, 1e9);   // s above the polynomial's residual: no knots to place
        sink = t[18][7];
    });

    // Frames that pass every condition, in a few neighbouring cells.
    g_ve_learn.active = 1;
    g_display.engine_running = 1;
    g_settings.frame_skip_code = 3;
    FrameRecord frames[16] = {};
    for (int k = 0; k < 16; ++k) {
        FrameRecord& f = frames[k];
        f.b[F_RPM_25] = static_cast<uint8_t>(80 + k % 4);
        f.b[F_MAP_LOAD] = static_cast<uint8_t>(80 + k / 4);
        f.b[F_TPS] = 30;
        f.b[F_CTS] = 173;
        f.b[F_BLM] = static_cast<uint8_t>(134 + k % 3);
        f.b[F_INTEGRATOR] = 128;
        f.b[FLAGS[FLAG_BLM_LEARN].offset] |= static_cast<uint8_t>(1 << FLAGS[FLAG_BLM_LEARN].bit);
    }
    g_ve_learn.previous_map = 45;
    g_ve_learn.previous_throttle = 12;
    // The step itself, without the once-a-second recompute it triggers every 17th frame.
    double step = best_ns(5, 200000, [&](int i) {
        g_ve_learn.recompute_frames = 0;
        ve_learn_update(frames[i & 15], 0);
    });
    FrameRecord copy;
    double copy_ns = best_ns(5, 200000, [&](int i) {
        std::memcpy(&copy, &frames[i & 15], sizeof copy);
        sink = copy.b[i % FRAME_PAYLOAD_BYTES];
    });

    // Samples spread over the grid so that every window finds some.
    for (int r = 0; r < FINE_ROWS; r += 3)
        for (int c = 0; c < FINE_COLS; c += 2) {
            g_ve_learn.sample_value[r][c] = 120 + static_cast<uint32_t>((r + c) % 17);
            g_ve_learn.sample_count[r][c] = 5;
        }
    double recompute = best_ns(5, 200, [&](int) { recompute_learned_ve(); });
    double pass = best_ns(5, 200, [&](int) {
        uint32_t sum = 0;
        for (int r = 0; r < FINE_ROWS; ++r)
            for (int c = 0; c < FINE_COLS; ++c)
                sum += g_ve_learn.sample_value[r][c] + g_ve_learn.sample_count[r][c];
        sink = sum;
    });

    std::printf("smoothing run:  %8.3f ms   baseline (least-squares polynomial fit) %8.3f ms   ratio %5.1fx   target under 2 ms\n",
                smooth / 1e6, polynomial / 1e6, smooth / polynomial);
    std::printf("learning step:  %8.1f ns   baseline (copy of the frame record)     %8.1f ns   ratio %5.1fx   target under 1 us\n",
                step, copy_ns, step / copy_ns);
    std::printf("recompute:      %8.3f ms   baseline (one pass over the fine grids) %8.3f ms   ratio %5.1fx   target under 1 ms\n",
                recompute / 1e6, pass / 1e6, recompute / pass);
    return 0;
}
