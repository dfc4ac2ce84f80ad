// The Analysis display over a one-hour log (61,200 frames): the time to open it (table built,
// first page drawn) beside `cat` of the same file and beside the bare table build; the processor
// time of one page flip (26 rows read at an offset and drawn on the window's canvas) at the first page,
// in the middle and at the last page, beside drawing such pages from memory; and the
// peak memory of a process that opens a log of 6 minutes, 1 hour and 4 hours.
//
// Usage: bench_viewer            the whole run
//        bench_viewer --open LOG  (used by the run) opens LOG once and exits
#include <time.h>
#include <unistd.h>

#include <QGuiApplication>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "analysis/viewer.h"
#include "bench_timing.h"
#include "config/config.h"
#include "config/devices.h"
#include "draw/controls.h"
#include "support/log_builder.h"
#include "ui/qt_canvas.h"

namespace {

// A log of `frames` frames built as the one-hour log is: its first frames repeated.
std::string log_of(const std::string& name, int frames, const std::string& hour)
{
    FILE* in = std::fopen(hour.c_str(), "rb");
    std::string path = temp_dir() + "/" + name;
    FILE* out = std::fopen(path.c_str(), "wb");
    std::vector<char> buf(static_cast<size_t>(frames) * 280);
    size_t n = std::fread(buf.data(), 1, buf.size(), in);
    long total = static_cast<long>(frames) * FRAME_BYTES;
    for (long written = 0; written < total;) {
        size_t chunk = static_cast<size_t>(std::min<long>(static_cast<long>(n), total - written));
        std::fwrite(buf.data(), 1, chunk, out);
        written += static_cast<long>(chunk);
    }
    std::fclose(in);
    std::fclose(out);
    return path;
}

// The peak resident memory (KB) of this process, from its own memory map: a child's rusage would
// count the memory of the parent it was spawned from.
long own_peak_kb()
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (f == nullptr)
        return -1;
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, f) != nullptr)
        if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1)
            break;
    std::fclose(f);
    return kb;
}

// Peak resident memory (KB) of this program run as `--open LOG`, which prints it.
long peak_kb_opening(const std::string& log)
{
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
        return -1;
    std::string command = std::string("'") + self + "' --open '" + log + "' 2>/dev/null";
    FILE* child = popen(command.c_str(), "r");
    if (child == nullptr)
        return -1;
    long kb = -1;
    if (std::fscanf(child, "%ld", &kb) != 1)
        kb = -1;
    return pclose(child) == 0 ? kb : -1;
}

struct Window {
    QtCanvas canvas;
    RecordingControls controls;
};

void set_up(Window& w)
{
    set_config_path(temp_dir() + "/bench_viewer.cfg");
    build_device_catalogue();
    rebuild_channel_state();
    attach_canvas(&w.canvas);
    attach_controls(&w.controls);
    create_analysis_display();
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    Window w;
    set_up(w);

    if (argc == 3 && std::strcmp(argv[1], "--open") == 0) {
        int rc = analysis_open_log(argv[2]);
        analysis_scroll(CONTROL_SCROLL_BOTTOM, 0);
        std::printf("%ld\n", own_peak_kb());
        return rc == 0 && g_viewer.row_count > 0 ? 0 : 1;
    }

    std::string hour = write_hour_log("bench-viewer-hour.dat");
    double cat = best_of(3, [&] {
        if (std::system(("cat '" + hour + "' > /dev/null").c_str()) != 0)
            std::fprintf(stderr, "cat failed\n");
    });
    double build = best_of(3, [&] {
        FILE* t = std::fopen((temp_dir() + "/bench-viewer.tbl").c_str(), "wb");
        long rows = 0;
        build_view_table(hour, t, rows);
        std::fclose(t);
    });
    double open = best_of(3, [&] {
        analysis_open_log(hour);
        paint_analysis_display();
    });
    long rows = g_viewer.row_count;

    // One flip: Page Down and Page Up in turn around the place, so every flip reads and draws a
    // page that is not the one shown.
    auto flips_at = [&](long top) {
        analysis_scroll(CONTROL_SCROLL_THUMB_TRACK, static_cast<int>(top));
        return per_call(9, 50, [](int i) {
            analysis_scroll(i % 2 == 0 ? CONTROL_SCROLL_PAGE_DOWN : CONTROL_SCROLL_PAGE_UP, 0);
        });
    };
    double first = flips_at(0);
    double middle = flips_at(rows / 2);
    double last = flips_at(rows - 2 * VIEW_PAGE_ROWS);
    // The same two pages' lines drawn from memory, without reading the table.
    std::vector<std::string> lines;
    for (long row = 0; row < 2 * VIEW_PAGE_ROWS; ++row) {
        char text[VIEW_ROW_BYTES + 1];
        read_viewer_row(row, text);
        lines.emplace_back(text + ROW_SHOWN_FROM, ROW_SHOWN_CHARS);
    }
    double draw_only = per_call(9, 50, [&](int i) {
        for (int l = 0; l < VIEW_PAGE_ROWS; ++l) {
            w.canvas.fill(2, 104 + 17 * l, 771, 121 + 17 * l, Rgb{0, 0, 0});
            w.canvas.text(3, 104 + 17 * l, lines[static_cast<size_t>((i % 2) * VIEW_PAGE_ROWS + l)], Font::Table,
                          TEXT, Rgb{0, 0, 0}, ALIGN_LEFT, true);
        }
    });
    destroy_analysis_display();

    long kb_6min = peak_kb_opening(log_of("bench-viewer-6min.dat", 6120, hour));
    long kb_hour = peak_kb_opening(hour);
    long kb_4hours = peak_kb_opening(log_of("bench-viewer-4h.dat", 4 * 61200, hour));

    std::printf("one-hour log: %ld rows, %.1f MB\n", rows, static_cast<double>(rows) * FRAME_BYTES / 1e6);
    std::printf("open (table built, first page drawn): %.3f s (target 0.5 s); %.2f x the bare table build, "
                "%.1f x cat of the log\n",
                open, open / build, open / cat);
    std::printf("page flip (processor time): first page %.3f ms, middle %.3f ms, last page %.3f ms (target 2 ms); "
                "middle / first %.2f, last / first %.2f; first / drawing the page alone %.2f\n",
                first * 1e3, middle * 1e3, last * 1e3, middle / first, last / first, first / draw_only);
    std::printf("peak memory opening a log of 6 minutes %ld KB, 1 hour %ld KB, 4 hours %ld KB; "
                "1 hour / 6 minutes %.3f, 4 hours / 6 minutes %.3f\n",
                kb_6min, kb_hour, kb_4hours, static_cast<double>(kb_hour) / static_cast<double>(kb_6min),
                static_cast<double>(kb_4hours) / static_cast<double>(kb_6min));
    return 0;
}
