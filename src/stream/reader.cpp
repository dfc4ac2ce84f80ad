#include "stream/reader.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "ecm/crc.h"
#include "link/ring.h"

StreamState g_stream;

namespace {

// Out of line: taken once per file end, and per millisecond afterwards.
[[gnu::noinline]] int exhausted_or_ended(FileSource& src, bool is_playback)
{
    if (src.exhausted.load_acquire() != 0) {
        // The reader waits at the end until the source is switched; a thread being stopped
        // gets out at once.
        if (g_stream.stop_waiting != 0)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 0;
    }
    src.exhausted = 1;
    if (is_playback) {
        if (void (*ended)() = g_stream.on_playback_end)
            ended();
    }
    return -1;
}

// The reader takes every byte through here, so it is kept inline in the frame loop.
[[gnu::always_inline]] inline int file_source_byte(FileSource& src, bool is_playback)
{
    if (src.exhausted.load_acquire() == 0) {
        // The reading thread is the file's only user while the source is active.
        int c = getc_unlocked(src.file);
        if (c != EOF)
            return c;
    }
    return exhausted_or_ended(src, is_playback);
}

[[gnu::always_inline]] inline int fetch_byte()
{
    switch (g_stream.run_mode) {
    case RUN_ANALYSIS:
        return file_source_byte(g_stream.analysis, false);
    case RUN_PLAYBACK:
        return file_source_byte(g_stream.playback, true);
    default:
        return ring_get();
    }
}

enum MatchResult { NO_RECORD, RECORD_COMPLETE, RECORD_ABANDONED };

// A kind of text record: its pattern, and the text bytes that follow it.
struct RecordPattern {
    const char* text;
    int len;
    int text_len;
};

constexpr RecordPattern TIME_PATTERN{"TIME:", 5, TIME_TEXT_LEN};
constexpr RecordPattern MARKER_PATTERN{"MARK", 4, MARKER_TEXT_LEN};

// Takes a record's text bytes from the source once its pattern is complete.
[[gnu::noinline]] MatchResult take_text(int text_len, RecordText& out)
{
    out.len = 0;
    for (int i = 0; i < text_len; ++i) {
        int c = next_stream_byte();
        if (c < 0) {
            out.bytes[out.len] = 0;
            return RECORD_ABANDONED;
        }
        out.bytes[out.len++] = static_cast<char>(c);
    }
    out.bytes[out.len] = 0;
    return RECORD_COMPLETE;
}

// Offers one byte to a record matcher whose position in its pattern is `pos`. The position lives
// in the caller's frame so that it stays in a register while the payload is collected.
[[gnu::always_inline]] inline MatchResult offer(const RecordPattern& p, int& pos, int byte, RecordText& out)
{
    if (byte != static_cast<unsigned char>(p.text[pos])) {
        // The byte that broke a partial match is not tried again as a first character.
        pos = 0;
        return NO_RECORD;
    }
    if (++pos < p.len)
        return NO_RECORD;
    pos = 0;
    return take_text(p.text_len, out);
}

}  // namespace

int next_stream_byte() { return fetch_byte(); }

void step_back_stream()
{
    FileSource* src = nullptr;
    switch (g_stream.run_mode) {
    case RUN_ANALYSIS:
        src = &g_stream.analysis;
        break;
    case RUN_PLAYBACK:
        src = &g_stream.playback;
        break;
    default:
        return;
    }
    if (src->exhausted.load_acquire() == 0)
        std::fseek(src->file, -5, SEEK_CUR);
}

int read_frame(FrameRecord& payload, RecordText& time, RecordText& marker)
{
    int time_pos = 0;
    int marker_pos = 0;
    time.clear();
    marker.clear();

    // Hunt for the sync pair.
    int previous = -1;
    for (;;) {
        int c = fetch_byte();
        if (c < 0)
            return STREAM_NO_DATA;
        MatchResult m = offer(TIME_PATTERN, time_pos, c, time);
        if (m == RECORD_COMPLETE)
            continue;
        if (m == RECORD_ABANDONED)
            return STREAM_NO_DATA;
        m = offer(MARKER_PATTERN, marker_pos, c, marker);
        if (m == RECORD_COMPLETE)
            continue;
        if (m == RECORD_ABANDONED)
            return STREAM_NO_DATA;
        if (previous == SYNC_1 && c == SYNC_2)
            break;
        previous = c;
    }

    // Collect the payload. A record inside it is dropped again: its pattern bytes were stored at
    // the places before this one, so the index goes back over them.
    std::memset(payload.b, 0, sizeof payload.b);
    int index = 0;
    while (index < FRAME_PAYLOAD_BYTES) {
        int c = fetch_byte();
        if (c < 0)
            return STREAM_NO_DATA;
        payload.b[index] = static_cast<uint8_t>(c);
        MatchResult m = offer(TIME_PATTERN, time_pos, c, time);
        if (m == RECORD_COMPLETE) {
            index -= 4;
            continue;
        }
        if (m == RECORD_ABANDONED)
            return STREAM_NO_DATA;
        m = offer(MARKER_PATTERN, marker_pos, c, marker);
        if (m == RECORD_COMPLETE) {
            index -= 3;
            continue;
        }
        if (m == RECORD_ABANDONED)
            return STREAM_NO_DATA;
        ++index;
    }

    int high = next_stream_byte();
    if (high < 0)
        return STREAM_NO_DATA;
    int low = next_stream_byte();
    if (low < 0)
        return STREAM_NO_DATA;
    if (stream_crc(payload.b, SYNC_1, SYNC_2, FRAME_PAYLOAD_BYTES) == high * 256 + low)
        return STREAM_OK;
    step_back_stream();
    return STREAM_BAD_CRC;
}

int32_t set_run_mode(int32_t mode)
{
    int32_t previous = g_stream.run_mode;
    g_stream.run_mode = mode;
    return previous;
}

int32_t get_run_mode() { return g_stream.run_mode; }

namespace {
void set_source(FileSource& src, int active, FILE* file)
{
    src.file = file;
    src.exhausted.store_release(active ? 0 : 1);
}
}  // namespace

void set_playback_source(int active, FILE* file) { set_source(g_stream.playback, active, file); }
void set_analysis_source(int active, FILE* file) { set_source(g_stream.analysis, active, file); }

void reset_stream()
{
    g_stream.run_mode = RUN_LIVE;
    set_source(g_stream.playback, 0, nullptr);
    set_source(g_stream.analysis, 0, nullptr);
    g_stream.on_playback_end = nullptr;
    g_stream.stop_waiting = 0;
}
