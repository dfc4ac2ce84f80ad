// Playback: a data log fed through the live path, so that every display, learner and the status
// panel run as if the ECM were connected; and its control bar (Pause, back-up, rate, progress).
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
#include <string>

#include "displays/controls.h"
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

// The control bar, in the order the controls are created.
enum PlaybackControl : int {
    PLAYBACK_PROGRESS = CONTROL_IDS_PLAYBACK,
    PLAYBACK_PAUSE,
    PLAYBACK_BACKUP,
    PLAYBACK_RATE,
};

// Start playback from the File menu: the file dialog, then start_playback_file. Returns 0 when
// playback runs, 1 when it was running already or the user cancelled, -1 when the file could not
// be opened (the message has been shown).
int start_playback();
// Starts playback of `path` as the menu does once the file is chosen; the same returns.
int start_playback_file(const std::string& path);
// Stops playback: live mode again, the file closed, the bar gone, the trip restarted. Returns 1
// when nothing was playing, else 0.
int stop_playback();

// The playback-ended routine the frame reader calls on the display thread at the file's end.
void playback_ended();

// The control bar for the display now shown: the progress bar and Pause everywhere, back-up and the
// rate trackbar on the gauge display; only what is missing is created. Nothing while not playing.
void create_playback_bar();
// Takes the bar down (the progress bar stays while playing; stop_playback removes it).
void destroy_playback_bar();
// Clicks and moves of the bar's controls.
void playback_command(int id, int event, int value);
// Moves the rate trackbar, where there is one, to 100 - [PBSPD] (after the settings changed).
void playback_rate_changed();

// Back-up: `seconds` more to step back, aimed at the frame shown now unless a back-up is pending.
void playback_back_up(int seconds);

// Replays `file` through the frame dispatch as a playback at full speed, on the calling thread,
// until the file ends; for the command-line tool. Returns the number of good frames.
long replay_log(FILE* file);

void reset_playback_state();
