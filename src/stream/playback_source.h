// The playback byte source: a data log read by the display thread in place of the receive ring,
// paced, stepped back and counted as it goes. Started, stopped and controlled from the window
// thread (datalog/playback.h).
//
// Threading:
// - The window thread opens and closes the file, writes `paused`, the back-up target and
//   `[PBSPD]`, and adds to `backup_seconds`.
// - The display thread reads the file (pacing, pausing and seeking back in its playback pass),
//   takes `backup_seconds` with an exchange, steps the progress counter and sets `end_of_file`.
// - `file_lock` is held by the display thread for each playback pass; stopping takes it after it
//   has switched the run mode, so the file is never closed under a read or a seek.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>

#include "platform/shared_word.h"

struct PlaybackState {
    Shared<int16_t> playing{0};          // a playback file is open
    Shared<int16_t> end_of_file{0};      // the reader has reached its end
    Shared<int16_t> paused{0};
    Shared<int16_t> backup_seconds{0};   // seconds of stream still to step back
    Shared<int32_t> progress_count{0};   // frames since the last progress step (display thread)
    Shared<int32_t> pending_backup{0};   // replaying up to where back-up was pressed
    Shared<int32_t> backup_target_seconds{0};
    Shared<int32_t> backup_target_index{0};
    // Where the furthest frame read from the file ends (display thread). A frame that ends at or
    // before it was counted when it was first read, so a replay never counts it again, however
    // the pending back-up ends.
    Shared<int64_t> read_up_to{0};
    // Steps the progress bar by one second of stream; none without a window.
    Shared<void (*)()> on_progress_step{nullptr};

    std::mutex file_lock;                // held across a playback pass of the display thread
    FILE* file = nullptr;                // window thread only
    long file_size = 0;
};

extern PlaybackState g_playback;
