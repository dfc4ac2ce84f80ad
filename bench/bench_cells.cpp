// Cell tables over a one-hour log (61,200 frames): the VE grid, two math channels and a filter.
// The whole computation (the log read into exact values, the table binned) beside the log graph's
// series computation of the same channels; a new table after a filter or axis edit with the
// values kept, beside that same series read; and the scatter of every kept sample redrawn.
//
// Usage: bench_cells   (QT_QPA_PLATFORM=offscreen when there is no display)
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>

#include "analysis/cells.h"
#include "analysis/channels.h"
#include "app/cells_scatter.h"
#include "config/devices.h"
#include "support/log_builder.h"
#include "velearn/ve_apply.h"
#include "bench_timing.h"

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    build_device_catalogue();
    rebuild_channel_state();
    std::string hour = write_hour_log("bench-cells-hour.dat");

    CellsRequest rq;
    set_ve_grid(rq);
    rq.math = {{"lambda", "[AFR] / 14.7"}, {"err", "([BLM] - 128) / 1.28 * [lambda]"}};
    rq.z = "err";
    rq.where = "[Cl] == 1 && [CTS] > 100 && [TPS] < 80";
    std::vector<ChannelInfo> catalogue = channel_catalogue();
    CellPlan plan;
    std::string error;
    if (plan_cells(rq, catalogue, plan, error) != CELLS_OK) {
        std::fprintf(stderr, "bench_cells: %s\n", error.c_str());
        return 1;
    }
    std::vector<ChannelInfo> read;
    for (size_t i = 0; i < catalogue.size(); ++i)
        if (plan.reads[i])
            read.push_back(catalogue[i]);

    ChannelSeries series;
    double series_time = best_of(5, [&] { compute_series(hour, read, series); });
    LogValues values;
    CellTable table;
    double whole = best_of(5, [&] {
        CellPlan p;
        std::string e;
        plan_cells(rq, catalogue, p, e);
        read_log_values(hour, p.catalogue, p.reads, values);
        compute_cells(p, values, table);
    });

    // Edits with the values kept: every channel read once, as the window reads them.
    double read_all = best_of(3, [&] { read_log_values(hour, catalogue, {}, values); });
    const char* filters[] = {"[Cl] == 1 && [CTS] > 120", "[TPS] < 50", "[Cl] == 1 && [RPM] > 1500 && [MAP] < 90"};
    double rebin = per_call(5, 6, [&](int i) {
        CellsRequest edited = rq;
        edited.where = filters[i % 3];
        if (i % 2 == 1)
            edited.x_axis = {20, 30, 40, 50, 60, 70, 80, 90, 100};
        CellPlan p;
        std::string e;
        plan_cells(edited, catalogue, p, e);
        compute_cells(p, values, table);
    });

    // The scatter of a table that keeps every sample.
    CellsRequest all = rq;
    all.where.clear();
    all.math = {{"err", "[BLM] - 128"}};
    plan_cells(all, catalogue, plan, error);
    compute_cells(plan, values, table);
    const int width = 900, height = 600;
    QImage image(width, height, QImage::Format_RGB32);
    ScatterView view = scatter_fit(table);
    double fill = per_call(7, 20, [&](int) {
        QPainter p(&image);
        p.fillRect(0, 0, width, height, Qt::black);
    });
    double scatter = per_call(7, 10, [&](int) {
        QPainter p(&image);
        paint_scatter(p, table, view, QRect(0, 0, width, height), "MAP", "RPM");
    });

    std::printf("one-hour log: %ld good frames; VE grid, 2 math channels, a filter; %zu channels read\n",
                values.samples, read.size());
    std::printf("whole cells computation: %.3f s; %.2f x the graph's series of the same channels (%.3f s; target 1.5 x)\n",
                whole, whole / series_time, series_time);
    std::printf("the window's read of all %zu channels: %.3f s; %.2f x the series of the %zu channels above\n",
                catalogue.size(), read_all, read_all / series_time, read.size());
    std::printf("new table after a filter or axis edit, values kept: %.2f ms (target 30 ms); %.3f x the series read\n",
                rebin * 1e3, rebin / series_time);
    std::printf("scatter of %ld points redrawn: %.2f ms (target 16 ms); %.1f x one fill of the picture (%.3f ms)\n",
                table.kept, scatter * 1e3, scatter / fill, fill * 1e3);
    return 0;
}
