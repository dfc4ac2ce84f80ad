// Playback of a five-minute drive (5,100 frames, written by ecm-sim) on the trip display, which
// redraws on every frame, in GlanzoFlash's window offscreen:
// - paced at the slowest pace but one ([PBSPD] 1, 8 ms a frame): the time from start to the end of
//   the file against the floor the pacing sets (frames x 8 ms), and the processor time as a share
//   of one core;
// - unpaced ([PBSPD] 0): the time against a baseline measured in the same run, the bare frame
//   reader over the same file.
//
//   bench_playback [FRAMES]   (5100 when omitted)
#include <sys/resource.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/main_window.h"
#include "config/config.h"
#include "config/settings.h"
#include "datalog/playback.h"
#include "displays/display_routines.h"
#include "stream/display_thread.h"
#include "stream/reader.h"
#include "support/log_builder.h"
#include "support/sim_process.h"

namespace {

double cpu_seconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double wall_seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Run {
    double wall, cpu;
};

// Plays `log` to its end in the window and stops playback.
Run play(MainWindow& w, const std::string& log, int pbspd)
{
    g_settings.pbspd = pbspd;
    double wall = wall_seconds(), cpu = cpu_seconds();
    w.play(log);
    // The window's own event loop runs meanwhile, looked in on now and then.
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (g_playback.end_of_file != 0)
            loop.quit();
    });
    check.start(20);
    loop.exec();
    Run r{wall_seconds() - wall, cpu_seconds() - cpu};
    w.stop_playing();
    return r;
}

// The bare frame reader over the same file.
double read_only(const std::string& log)
{
    FILE* f = std::fopen(log.c_str(), "rb");
    double start = wall_seconds();
    int32_t mode = set_run_mode(RUN_ANALYSIS);
    set_analysis_source(1, f);
    static FrameRecord frame;
    RecordText time, marker;
    long frames = 0;
    for (int s; (s = read_frame(frame, time, marker)) != STREAM_NO_DATA;)
        frames += s == STREAM_OK;
    set_analysis_source(0, nullptr);
    set_run_mode(mode);
    std::fclose(f);
    return wall_seconds() - start;
}

}  // namespace

int main(int argc, char** argv)
{
    long frames = argc > 1 ? std::atol(argv[1]) : 5100;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::string log = temp_dir() + "/bench_playback.dat";
    long seconds = (frames + 16) / 17;
    if (run_command(std::string(GLANZO_ECM_SIM) + " --write-log " + log + " --seconds " + std::to_string(seconds)) != 0)
        return 1;
    set_config_path(temp_dir() + "/bench_playback.cfg");
    g_settings.frame_skip_code = 0;   // the trip display redraws on every frame

    MainWindow w(false);
    w.show();
    install_display_routines();
    if (w.start() != 0)
        return 1;
    w.command(CMD_TRIP);

    Run paced = play(w, log, 1);
    double floor = static_cast<double>(frames) * 0.008;
    Run fast = play(w, log, 0);
    double baseline = read_only(log);
    w.close();

    std::printf("playback of %ld frames on the trip display, redrawn every frame\n", frames);
    std::printf("  [PBSPD] 1: %.2f s, floor %.2f s (frames x 8 ms): %.3f x the floor; CPU %.2f %% of one core\n",
                paced.wall, floor, paced.wall / floor, 100 * paced.cpu / paced.wall);
    std::printf("  [PBSPD] 0: %.3f s, CPU %.3f s; baseline (frame reader alone) %.3f s: %.1f x the baseline\n", fast.wall,
                fast.cpu, baseline, fast.wall / baseline);
    return 0;
}
