// The stream frame reader: finds frames by their sync pair, removes the time and marker records
// that data logs carry among the stream bytes, and checks each frame's CRC.
//
// The byte source is chosen before every byte by the run mode: the receive ring live and while
// flashing, the playback file or the analysis file otherwise. The window thread switches the run
// mode and the file sources; one thread at a time reads a given source.
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/shared_word.h"
#include "stream/frame.h"

enum RunMode : int32_t {
    RUN_ANALYSIS = 0,
    RUN_PLAYBACK = 1,
    RUN_LIVE = 2,
    RUN_FLASH = 3,
};

enum StreamStatus : int {
    STREAM_OK = 0,        // the payload holds a frame whose CRC matched
    STREAM_BAD_CRC = 3,   // a whole frame was read but its CRC did not match
    STREAM_NO_DATA = 4,   // the source had no byte to give
};

constexpr uint8_t SYNC_1 = 0x55;
constexpr uint8_t SYNC_2 = 0xAA;
constexpr int FRAME_BYTES = 277;              // sync pair, payload, CRC
constexpr int FRAMES_PER_SECOND = 17;
constexpr int STREAM_SECOND_BYTES = FRAMES_PER_SECOND * FRAME_BYTES;   // 4709

constexpr int TIME_TEXT_LEN = 22;     // " MM/DD/YYYY - hh:mm:ss"
constexpr int MARKER_TEXT_LEN = 3;    // "007"
constexpr int TIME_RECORD_BYTES = 5 + TIME_TEXT_LEN;                       // "TIME:" + text
constexpr int MARKER_RECORD_BYTES = 4 + MARKER_TEXT_LEN + TIME_RECORD_BYTES;   // "MARK007" + time

// The text of a record read just before a frame. Any byte value is text, NUL included, so the
// length is kept beside the zero-terminated bytes.
struct RecordText {
    char bytes[TIME_TEXT_LEN + 1] = {};
    int len = 0;

    bool empty() const { return len == 0; }
    void clear()
    {
        len = 0;
        bytes[0] = 0;
    }
};

// A playback or analysis file: the owner opens and closes it; the reader only reads it.
struct FileSource {
    Shared<FILE*> file{nullptr};
    Shared<int32_t> exhausted{1};   // set: no file, or its end has been reported
};

struct StreamState {
    Shared<int32_t> run_mode{RUN_LIVE};
    FileSource playback;
    FileSource analysis;
    // Called on the reading thread when the playback file ends (the playback marks itself
    // finished and has the window repainted).
    Shared<void (*)()> on_playback_end{nullptr};
    // Set while the reading thread is being stopped: an ended file source no longer waits.
    Shared<int32_t> stop_waiting{0};
};

extern StreamState g_stream;

// Reads the next frame. `time` receives the text of the last time record read during this call
// (22 bytes, beginning with a blank) and `marker` the digits of the last marker record, each
// empty when there was none; a record cut short by the end of the source leaves its partial text.
int read_frame(FrameRecord& payload, RecordText& time, RecordText& marker);

// A byte 0..255 from the source of the current run mode, or -1 when it has none. An exhausted
// file source gives a zero byte after a 1 ms sleep: its end is reported only once.
int next_stream_byte();
// On a file source, moves back 5 bytes; on the receive ring, does nothing.
void step_back_stream();

int32_t set_run_mode(int32_t mode);   // returns the previous mode
int32_t get_run_mode();

void set_playback_source(int active, FILE* file);
void set_analysis_source(int active, FILE* file);

// Reads a data log the way the analysis does: while it reads, the run mode is RUN_ANALYSIS (the
// display thread takes no frames) and `log` is the byte source; afterwards both are as before.
// `start()` runs once in that state before the first frame; `each(status, frame, time, marker)`
// gets every frame the reader finds, good (STREAM_OK) or not, until the log ends or it returns
// false.
template <class Start, class Each>
void read_log_frames(FILE* log, Start&& start, Each&& each)
{
    int32_t previous_mode = set_run_mode(RUN_ANALYSIS);
    set_analysis_source(1, log);
    start();
    FrameRecord frame{};
    RecordText time, marker;
    for (int status; (status = read_frame(frame, time, marker)) != STREAM_NO_DATA;)
        if (!each(status, frame, time, marker))
            break;
    set_analysis_source(0, nullptr);
    set_run_mode(previous_mode);
}

template <class Each>
void read_log_frames(FILE* log, Each&& each)
{
    read_log_frames(log, [] {}, each);
}

// Back to start-up state: live mode, no file sources, no hook.
void reset_stream();
