#include "ecm/tick.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

Shared<int32_t> g_ticks{0};

namespace {
std::mutex lock;
std::condition_variable stopping;
bool stop_requested = false;
std::thread timer;
}  // namespace

void start_tick_timer()
{
    if (timer.joinable())
        return;
    g_ticks = 0;
    stop_requested = false;
    timer = std::thread([] {
        auto next = std::chrono::steady_clock::now();
        std::unique_lock<std::mutex> guard(lock);
        for (;;) {
            next += std::chrono::milliseconds(100);
            if (stopping.wait_until(guard, next, [] { return stop_requested; }))
                return;
            g_ticks = g_ticks + 1;
        }
    });
}

void stop_tick_timer()
{
    if (!timer.joinable())
        return;
    {
        std::lock_guard<std::mutex> guard(lock);
        stop_requested = true;
    }
    stopping.notify_all();
    timer.join();
}
