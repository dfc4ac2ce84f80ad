// The best wall-clock time of a few rounds: what the machine can do when nothing else intrudes.
#pragma once

#include <chrono>

template <class F>
double best_of(int rounds, F&& f)
{
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) {
        auto start = std::chrono::steady_clock::now();
        f();
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = s < best ? s : best;
    }
    return best;
}
