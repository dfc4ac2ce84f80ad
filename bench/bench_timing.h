// Timing for the benchmarks: wall-clock best of a few rounds, and processor time per call.
#pragma once

#include <time.h>

#include <chrono>

// The best wall-clock time of a few rounds: what the machine can do when nothing else intrudes.
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

// This thread's processor time in seconds: pure work, without the waits of a machine busy with
// other things.
inline double thread_seconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The processor time of one call of `f(i)`: the best of `rounds` rounds of `calls` calls' mean.
template <class F>
double per_call(int rounds, int calls, F&& f)
{
    double best = 1e9;
    for (int round = 0; round < rounds; ++round) {
        double start = thread_seconds();
        for (int i = 0; i < calls; ++i)
            f(i);
        double mean = (thread_seconds() - start) / calls;
        best = mean < best ? mean : best;
    }
    return best;
}
