// The analysis table build and the log export (blank and CSV) over a one-hour log, in MB/s of log
// and against `cat` of the same file. Memory stays flat: nothing holds more than a line.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "analysis/export.h"
#include "analysis/view_table.h"
#include "config/devices.h"
#include "config/settings.h"
#include "best_of.h"
#include "support/log_builder.h"

namespace {

// Peak resident memory of a child process that runs `work`, in KB.
template <class F>
long child_peak_kb(F&& work)
{
    pid_t pid = fork();
    if (pid == 0) {
        work();
        _exit(0);
    }
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    return ru.ru_maxrss;
}

}  // namespace

int main()
{
    // Two channels so that the ADC columns are exported too.
    g_settings.ad[0].type = DEVICE_WIDEBAND;
    g_settings.ad[0].index = 1;
    g_settings.ad[0].wbpref = 1;
    g_settings.ad[1].type = DEVICE_PRESSURE;
    g_settings.ad[1].index = 3;
    build_device_catalogue();
    rebuild_channel_state();

    std::string log = write_hour_log("bench-analysis.dat");
    FILE* f = std::fopen(log.c_str(), "rb");
    std::fseek(f, 0, SEEK_END);
    double mb = static_cast<double>(std::ftell(f)) / 1e6;
    std::fclose(f);
    std::string dir = temp_dir();

    double cat = best_of(3, [&] {
        if (std::system(("cat '" + log + "' > /dev/null").c_str()) != 0)
            std::fprintf(stderr, "cat failed\n");
    });
    double table = best_of(3, [&] {
        FILE* t = std::fopen((dir + "/bench.tbl").c_str(), "wb");
        long rows = 0;
        build_view_table(log, t, rows);
        std::fclose(t);
    });
    double blank = best_of(3, [&] { export_log(log, dir + "/bench.ZOV", ExportOptions{false, false}); });
    double csv = best_of(3, [&] { export_log(log, dir + "/bench.csv", ExportOptions{true, false}); });
    long idle_kb = child_peak_kb([] {});
    long work_kb = child_peak_kb([&] {
        FILE* t = std::fopen((dir + "/bench.tbl").c_str(), "wb");
        long rows = 0;
        build_view_table(log, t, rows);
        std::fclose(t);
        export_log(log, dir + "/bench.csv", ExportOptions{true, false});
    });

    std::printf("log %.1f MB; cat %.0f MB/s\n", mb, mb / cat);
    std::printf("table build:  %6.1f MB/s of log (target 60), %.3f x cat\n", mb / table, cat / table);
    std::printf("export blank: %6.1f MB/s of log (target 40), %.3f x cat\n", mb / blank, cat / blank);
    std::printf("export CSV:   %6.1f MB/s of log (target 40), %.3f x cat\n", mb / csv, cat / csv);
    std::printf("peak memory of a process that builds and exports: %ld KB, of one that does nothing: %ld KB "
                "(the log is %.0f KB)\n",
                work_kb, idle_kb, mb * 1000);
    return 0;
}
