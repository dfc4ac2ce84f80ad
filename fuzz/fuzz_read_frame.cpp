// The frame reader over a data log (the analysis source), and over the receive ring as live.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/ring.h"
#include "stream/reader.h"

namespace {

// What every result must satisfy, whatever the bytes.
void check(int status, const RecordText& time, const RecordText& marker)
{
    if (status != STREAM_OK && status != STREAM_BAD_CRC && status != STREAM_NO_DATA)
        std::abort();
    if (time.len < 0 || time.len > TIME_TEXT_LEN || marker.len < 0 || marker.len > MARKER_TEXT_LEN)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    FrameRecord frame;
    RecordText time, marker;

    FILE* log = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (log == nullptr)
        std::abort();
    set_run_mode(RUN_ANALYSIS);
    set_analysis_source(1, log);
    // Every call takes at least one byte, so the reader must end within size + 1 calls.
    size_t calls = 0;
    for (int status = 0; status != STREAM_NO_DATA; ++calls) {
        status = read_frame(frame, time, marker);
        check(status, time, marker);
        if (calls > size + 1)
            std::abort();
    }
    set_analysis_source(0, nullptr);
    std::fclose(log);

    // Live: the same bytes as the link thread would store them, as many as the ring takes.
    reset_ring();
    for (size_t i = 0; i < size && ring_put(data[i]); ++i) {
    }
    set_run_mode(RUN_LIVE);
    for (int status = 0; status != STREAM_NO_DATA;) {
        status = read_frame(frame, time, marker);
        check(status, time, marker);
    }
    set_run_mode(RUN_ANALYSIS);
    return 0;
}
