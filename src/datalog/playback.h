// Playback state: what the display thread needs to pace, pause and back up a log played through
// the live path. The control bar and the start and stop of playback build on it.
#pragma once

#include <cstdint>

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
    // Steps the progress bar by one second of stream; none without a window.
    Shared<void (*)()> on_progress_step{nullptr};
};

extern PlaybackState g_playback;

void reset_playback_state();
