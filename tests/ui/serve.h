// Waiting in window tests while the event loop keeps turning.
#pragma once

#include <QApplication>

#include <chrono>
#include <functional>
#include <thread>

// Serves events until `done` holds or the time is up; returns whether it held.
inline bool serve_until(const std::function<bool()>& done, double seconds)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

inline void serve_for(double seconds)
{
    serve_until([] { return false; }, seconds);
}
