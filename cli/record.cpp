// glanzo-cli record: data logging from the live stream without a window.
#include <condition_variable>
#include <mutex>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "cli.h"
#include "datalog/datalog.h"
#include "link/link_thread.h"
#include "link/port.h"
#include "platform/numbers.h"
#include "stream/connection.h"
#include "stream/display_thread.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;
void on_interrupt(int) { interrupted = 1; }

// Stands in for the main window's one-second timer.
class OneSecondTicker {
public:
    OneSecondTicker()
        : thread_([this] {
              auto next = std::chrono::steady_clock::now();
              std::unique_lock<std::mutex> lock(lock_);
              for (;;) {
                  next += std::chrono::seconds(1);
                  if (stopped_.wait_until(lock, next, [this] { return stop_; }))
                      return;
                  g_display.one_second_counter = g_display.one_second_counter + 1;
              }
          })
    {
    }
    ~OneSecondTicker()
    {
        {
            std::lock_guard<std::mutex> lock(lock_);
            stop_ = true;
        }
        stopped_.notify_all();
        thread_.join();
    }

private:
    std::mutex lock_;
    std::condition_variable stopped_;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace

int cmd_record(const Args& args)
{
    std::string port, out;
    double seconds = -1, mark_every = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        bool has_value = i + 1 < args.size();
        if (args[i] == "--port" && has_value)
            port = args[++i];
        else if (args[i] == "-o" && has_value)
            out = args[++i];
        else if ((args[i] == "--seconds" || args[i] == "--mark-every") && has_value) {
            // Up to about 30 years: any longer and the end time no longer fits the clock.
            if (!parse_real_number(args[i + 1], 0, 1e9, args[i] == "--seconds" ? seconds : mark_every))
                return fail(args[i] + " takes a number of seconds from 0 to 1e9, not '" + args[i + 1] + "'");
            ++i;
        } else
            return fail("usage: glanzo-cli record --port DEV -o LOG --seconds S [--mark-every N]");
    }
    if (port.empty() || out.empty() || seconds < 0)
        return fail("usage: glanzo-cli record --port DEV -o LOG --seconds S [--mark-every N]");
    if (int rc = check_device(port))
        return rc;

    std::signal(SIGINT, on_interrupt);
    std::signal(SIGTERM, on_interrupt);
    OneSecondTicker ticker;
    install_link_hooks();
    start_link_thread();
    start_display_thread();
    request_port_state(PORT_REOPEN, port.c_str());

    int rc = start_logging(out) == 0 ? 0 : 1;
    if (rc == 0) {
        using Clock = std::chrono::steady_clock;
        auto start = Clock::now();
        auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
        auto next_mark = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(mark_every));
        while (!interrupted && Clock::now() < end && g_datalog.logging_on != 0) {
            if (mark_every > 0 && Clock::now() >= next_mark) {
                log_key_tab();
                next_mark += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(mark_every));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        // Logging that stopped on its own stopped on a write error, which has been reported.
        if (g_datalog.logging_on == 0)
            rc = 1;
        else if (stop_logging() != 0)
            rc = 1;
    }

    request_port_state(PORT_CLOSE, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stop_display_thread();
    stop_link_thread();
    return rc;
}
