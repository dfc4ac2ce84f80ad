// Helpers for tests that run the link and display threads against ecm-sim.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/log_builder.h"

// Waits until `done` holds or the time is up; returns whether it held.
inline bool wait_until(const std::function<bool()>& done, double seconds)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// What a data log holds, read back with the frame reader.
struct LogContents {
    int good = 0;
    int bad = 0;
    std::vector<uint32_t> sequence;       // the simulator's frame numbers, in order
    std::vector<std::string> markers;     // marker texts in order
    std::vector<std::string> times;       // time texts in order (markers' included)
};
LogContents read_log_contents(const std::string& path);

// Puts every subsystem back to its start-up state.
void reset_everything();
