// glanzo-cli record on the live stream of ecm-sim: CPU time as a share of one core, and frames
// lost. The baseline is `cat` reading the same simulator's device for the same time, the least
// any program can spend to receive the stream.
//
//   bench_record [SECONDS]   (30 when omitted)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/live.h"
#include "support/sim_process.h"

namespace {

struct Usage {
    double cpu_seconds;
    double wall_seconds;
    int exit_code;
};

// Runs a program and measures the CPU time it used.
Usage run_measured(const std::vector<std::string>& args, const std::string& stdout_path)
{
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int out = ::open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                 static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    return {cpu, wall, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

}  // namespace

int main(int argc, char** argv)
{
    int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    std::string dir = temp_dir();

    SimProcess baseline_sim;
    Usage cat = run_measured({"timeout", std::to_string(seconds), "cat", baseline_sim.device()}, dir + "/cat.out");
    baseline_sim.stop();

    SimProcess sim({"--seed", "5"});
    std::string log = dir + "/bench-record.dat";
    Usage rec = run_measured({GLANZO_CLI, "record", "--port", sim.device(), "-o", log, "--seconds",
                              std::to_string(seconds)},
                             dir + "/record.out");
    std::string sim_counts = sim.stop();

    LogContents c = read_log_contents(log);
    long lost = 0;
    for (size_t i = 1; i < c.sequence.size(); ++i)
        lost += static_cast<long>(c.sequence[i] - c.sequence[i - 1] - 1);
    double expected = seconds * 17.0;

    std::printf("record:   %.3f s CPU over %.1f s = %.2f %% of one core (target under 2 %%), exit %d\n",
                rec.cpu_seconds, rec.wall_seconds, 100 * rec.cpu_seconds / rec.wall_seconds, rec.exit_code);
    std::printf("baseline: cat %.3f s CPU over %.1f s = %.2f %% of one core; record uses %.1f x cat\n",
                cat.cpu_seconds, cat.wall_seconds, 100 * cat.cpu_seconds / cat.wall_seconds,
                cat.cpu_seconds > 0 ? rec.cpu_seconds / cat.cpu_seconds : 0.0);
    std::printf("frames:   %d good, %d bad CRC, %ld lost between the first and the last (target 0); "
                "about %.0f sent while logging\n",
                c.good, c.bad, lost, expected);
    std::printf("%s", sim_counts.c_str());
    return lost == 0 && c.bad == 0 && rec.exit_code == 0 ? 0 : 1;
}
