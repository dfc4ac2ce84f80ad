// Frame reader throughput over a one-hour data log, against `cat` of the same file.
//
// Builds a log of 61,200 frames (one hour at 17 a second) with a time record every few seconds and
// a marker now and then, some of them inside payloads, then reads it with read_frame through the
// analysis source. Prints MB/s of log for both and the reader's share of cat's speed.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "stream/reader.h"
#include "support/log_builder.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double time_cat(const std::string& path)
{
    auto start = Clock::now();
    std::string cmd = "cat '" + path + "' > /dev/null";
    if (std::system(cmd.c_str()) != 0)
        std::fprintf(stderr, "cat failed\n");
    return seconds_since(start);
}

double time_reader(const std::string& path, int& frames)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    auto start = Clock::now();
    set_run_mode(RUN_ANALYSIS);
    set_analysis_source(1, f);
    FrameRecord fr;
    RecordText time, marker;
    frames = 0;
    int status;
    while ((status = read_frame(fr, time, marker)) != STREAM_NO_DATA)
        frames += status == STREAM_OK;
    double s = seconds_since(start);
    set_analysis_source(0, nullptr);
    std::fclose(f);
    return s;
}

}  // namespace

int main()
{
    std::string path = write_hour_log("bench-hour.dat");
    FILE* f = std::fopen(path.c_str(), "rb");
    std::fseek(f, 0, SEEK_END);
    double mb = static_cast<double>(std::ftell(f)) / 1e6;
    std::fclose(f);

    double best_cat = 1e9, best_reader = 1e9;
    int frames = 0;
    for (int round = 0; round < 5; ++round) {
        double c = time_cat(path);
        double r = time_reader(path, frames);
        best_cat = c < best_cat ? c : best_cat;
        best_reader = r < best_reader ? r : best_reader;
    }
    std::remove(path.c_str());

    std::printf("log: %.1f MB, %d good frames of 61200\n", mb, frames);
    std::printf("cat:        %8.1f MB/s\n", mb / best_cat);
    std::printf("read_frame: %8.1f MB/s (target 150), %.2f x cat\n", mb / best_reader, best_cat / best_reader);
    return frames == 61200 ? 0 : 1;
}
