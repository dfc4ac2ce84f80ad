// GlanzoFlash live on ecm-sim with the gauge display redrawing on every frame (17 times a
// second): the processor time of the program as a share of one core, and the time from a frame's
// last byte leaving ecm-sim to the gauge display's canvas update it causes (50th and 99th
// percentiles). The baseline, in the same run and on the same simulator, is a bare reader of the
// device: raw, blocking in poll, noting when each whole frame has arrived; the least any program
// can spend and wait to see the stream.
//
//   bench_shell [SECONDS]   (30 when omitted; the baseline runs a third as long)
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "config/config.h"
#include "config/devices.h"
#include "config/settings.h"
#include "displays/display_routines.h"
#include "displays/gauges.h"
#include "stream/display_thread.h"
#include "stream/reader.h"
#include "support/log_builder.h"
#include "support/sim_process.h"

namespace {

constexpr int SEQUENCE_OFFSET = 90;   // where ecm-sim numbers its frames in the payload

int64_t now_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double cpu_seconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

uint32_t sequence_of(const uint8_t* payload)
{
    uint32_t seq = 0;
    for (int i = 0; i < 4; ++i)
        seq = seq << 8 | payload[SEQUENCE_OFFSET + i];
    return seq;
}

// When each frame's last byte left the simulator.
std::map<uint32_t, int64_t> frame_times(const std::string& path)
{
    std::map<uint32_t, int64_t> times;
    std::ifstream in(path);
    uint32_t seq;
    long long ns;
    while (in >> seq >> ns)
        times[seq] = ns;
    return times;
}

struct Seen {
    uint32_t seq;
    int64_t ns;
};

struct Figures {
    double cpu_percent;
    double p50_ms, p99_ms;
    size_t samples;
};

Figures figures(const std::vector<Seen>& seen, const std::string& times_path, double cpu, double wall)
{
    auto sent = frame_times(times_path);
    std::vector<double> ms;
    for (const Seen& s : seen)
        if (auto it = sent.find(s.seq); it != sent.end())
            ms.push_back(static_cast<double>(s.ns - it->second) / 1e6);
    std::sort(ms.begin(), ms.end());
    auto pct = [&](double p) { return ms.empty() ? 0.0 : ms[std::min(ms.size() - 1, static_cast<size_t>(p * static_cast<double>(ms.size())))]; };
    return {100.0 * cpu / wall, pct(0.5), pct(0.99), ms.size()};
}

// The baseline: the device read raw; a frame counts as seen when its last byte has arrived.
std::vector<Seen> bare_reader(const std::string& device, double seconds, double& cpu)
{
    std::vector<Seen> seen;
    int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return seen;
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    std::vector<uint8_t> buf;
    double cpu0 = cpu_seconds();
    int64_t end = now_ns() + static_cast<int64_t>(seconds * 1e9);
    while (now_ns() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        uint8_t chunk[4096];
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0)
            break;
        int64_t at = now_ns();
        buf.insert(buf.end(), chunk, chunk + n);
        size_t i = 0;
        while (i + FRAME_BYTES <= buf.size()) {
            if (buf[i] == SYNC_1 && buf[i + 1] == SYNC_2) {
                seen.push_back({sequence_of(&buf[i + 2]), at});
                i += FRAME_BYTES;
            } else {
                ++i;
            }
        }
        buf.erase(buf.begin(), buf.begin() + static_cast<long>(i));
    }
    cpu = cpu_seconds() - cpu0;
    ::close(fd);
    return seen;
}

// Redraws the gauge display caused, stamped when the canvas holds them.
std::vector<Seen> redraws;
std::atomic<bool> measuring{false};

void timed_gauge_update(const FrameRecord& frame, int draw)
{
    gauge_update(frame, draw);
    if (draw == 1 && g_gauges.frame_count == 0 && measuring.load(std::memory_order_relaxed) &&
        redraws.size() < redraws.capacity())
        redraws.push_back({sequence_of(frame.b), now_ns()});
}

}  // namespace

int main(int argc, char** argv)
{
    double seconds = argc > 1 ? std::atof(argv[1]) : 30;
    if (!(seconds > 0)) {
        std::fprintf(stderr, "usage: bench_shell [SECONDS]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    std::string times = temp_dir() + "/frame_times.txt";
    SimProcess sim({"--frame-times", times});

    double base_cpu = 0;
    double base_seconds = seconds / 3;
    std::vector<Seen> base = bare_reader(sim.device(), base_seconds, base_cpu);

    set_config_path(temp_dir() + "/bench_shell.cfg");
    g_settings.port = sim.device();
    reset_display_routines();
    build_device_catalogue();
    rebuild_channel_state();
    redraws.reserve(static_cast<size_t>(seconds * 40) + 100);
    double cpu0 = 0, wall0 = 0, cpu1 = 0, wall1 = 0;
    {
        MainWindow window;
        window.show();
        install_display_routines();
        g_settings.frame_skip_code = 0;   // "17 Times a Second"
        g_frame_hooks.update[ROUTINE_GAUGE] = timed_gauge_update;
        if (window.start() != 0)
            return 1;
        // Two seconds to open the port and settle, then the measured time.
        QTimer::singleShot(2000, [&] {
            cpu0 = cpu_seconds();
            wall0 = static_cast<double>(now_ns()) / 1e9;
            measuring = true;
        });
        QTimer::singleShot(2000 + static_cast<int>(seconds * 1000), [&] {
            measuring = false;
            cpu1 = cpu_seconds();
            wall1 = static_cast<double>(now_ns()) / 1e9;
            window.close();
        });
        QApplication::exec();
    }
    Figures b = figures(base, times, base_cpu, base_seconds);
    Figures g = figures(redraws, times, cpu1 - cpu0, wall1 - wall0);
    std::printf("bare reader (baseline, %.0f s): CPU %.2f %% of one core, frame seen after p50 %.2f ms, p99 %.2f ms (%zu frames)\n",
                base_seconds, b.cpu_percent, b.p50_ms, b.p99_ms, b.samples);
    std::printf("GlanzoFlash gauges  (%.0f s): CPU %.2f %% of one core, canvas updated after p50 %.2f ms, p99 %.2f ms (%zu redraws)\n",
                seconds, g.cpu_percent, g.p50_ms, g.p99_ms, g.samples);
    std::printf("ratio to the baseline: CPU %.1fx, p99 latency %.1fx (targets: CPU under 3 %%, p99 under 15 ms)\n",
                b.cpu_percent > 0 ? g.cpu_percent / b.cpu_percent : 0.0, b.p99_ms > 0 ? g.p99_ms / b.p99_ms : 0.0);
    std::printf("%s\n", sim.stop().c_str());
    return 0;
}
