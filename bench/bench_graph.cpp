// The log graph over a one-hour log (61,200 frames) with 8 channels: the time to compute the
// series beside the bare frame reader over the same log; the processor time of one full redraw
// (scene built and painted into a 960 x 620 picture) at fit-all and at a 10-second zoom, beside
// filling that picture once; and the memory the series hold.
//
// Usage: bench_graph   (QT_QPA_PLATFORM=offscreen when there is no display)
#include <time.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>

#include "analysis/channels.h"
#include "analysis/graph.h"
#include "app/graph_window.h"
#include "config/devices.h"
#include "stream/reader.h"
#include "support/log_builder.h"
#include "bench_timing.h"

namespace {

long read_all_frames(const std::string& path)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    int32_t previous = set_run_mode(RUN_ANALYSIS);
    set_analysis_source(1, f);
    FrameRecord frame;
    RecordText time, marker;
    long frames = 0;
    while (read_frame(frame, time, marker) != STREAM_NO_DATA)
        ++frames;
    set_analysis_source(0, nullptr);
    set_run_mode(previous);
    std::fclose(f);
    return frames;
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    build_device_catalogue();
    rebuild_channel_state();
    std::string hour = write_hour_log("bench-graph-hour.dat");

    long frames = 0;
    double reader = best_of(5, [&] { frames = read_all_frames(hour); });

    std::vector<GraphPick> picks = {{"RPM", 0}, {"MAP", 1}, {"TPS", 2}, {"O2", 3},
                                    {"SA", 4},  {"Rt", 5},  {"BLM", 6}, {"DC%", 7}};
    std::vector<ChannelInfo> catalogue = channel_catalogue();
    std::vector<ChannelInfo> channels;
    for (const GraphPick& p : picks)
        channels.push_back(catalogue[static_cast<size_t>(find_channel(catalogue, p.name))]);
    ChannelSeries series;
    double compute = best_of(5, [&] { compute_series(hour, channels, series); });

    const int width = 960, height = 620;
    QImage image(width, height, QImage::Format_RGB32);
    double fill = per_call(7, 20, [&](int) {
        QPainter p(&image);
        p.fillRect(0, 0, width, height, Qt::black);
    });
    auto redraw = [&](const GraphView& view) {
        return per_call(7, 20, [&](int) {
            GraphScene sc = build_graph_scene(series, picks, view, width, height, width / 2, -1);
            QPainter p(&image);
            paint_graph_scene(p, sc);
        });
    };
    GraphView view;
    view_fit(view, 0, series.duration);
    double fit_all = redraw(view);
    view.t0 = series.duration / 2;
    view.t1 = view.t0 + 10;
    double zoomed = redraw(view);

    std::printf("one-hour log: %ld frames read, %ld good, 8 channels\n", frames, series.samples());
    std::printf("series computed: %.3f s (target 0.3 s); %.2f x the bare frame reader (%.3f s)\n", compute,
                compute / reader, reader);
    std::printf("redraw at fit-all: %.2f ms (target 8 ms); %.1f x one fill of the picture (%.3f ms)\n", fit_all * 1e3,
                fit_all / fill, fill * 1e3);
    std::printf("redraw at a 10-second zoom: %.2f ms (target 8 ms); %.1f x one fill of the picture\n", zoomed * 1e3,
                zoomed / fill);
    std::printf("series memory: %.2f MB (target 4 MB); %.2f x the 8 channels' floats alone\n",
                static_cast<double>(series.memory_bytes()) / 1e6,
                static_cast<double>(series.memory_bytes()) / (8.0 * sizeof(float) * static_cast<double>(series.samples())));
    return 0;
}
