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

std::string build_log()
{
    Bytes log;
    log.reserve(61200 * 280);
    uint32_t x = 1;
    int marker = 0;
    for (int i = 0; i < 61200; ++i) {
        Bytes f = frame_bytes(sample_frame(static_cast<uint32_t>(i)));
        x = x * 1103515245u + 12345u;
        if (i % 85 == 0) {
            // A time stamp every five seconds, anywhere in the payload or between frames.
            size_t at = i % 170 == 0 ? 0 : 2 + (x >> 8) % 200;
            f = insert_at(f, at, time_record(3, 7, 2013, 14, i / 1020 % 60, i / 17 % 60));
        }
        if (i % 997 == 0)
            f = insert_at(f, 2 + (x >> 12) % 200, marker_record(marker++, 3, 7, 2013, 14, 5, 9));
        append(log, f);
    }
    return write_temp_file("bench-hour.dat", log);
}

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
    std::string path = build_log();
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
