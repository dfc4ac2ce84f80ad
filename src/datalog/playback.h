// Playback: a data log fed through the live path, so that every display, learner and the status
// panel run as if the ECM were connected; and its control bar (Pause, back-up, rate, progress).
//
// The playback byte source (the file, pacing, back-up, progress words) is the stream layer's
// (stream/playback_source.h); this is its start, stop and control bar on the window thread.
#pragma once

#include <cstdio>
#include <string>

#include "draw/controls.h"
#include "stream/playback_source.h"

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
// The gauge display's caption of the rate trackbar, "Playback Rate", while playing; part of that
// display's paint (destroy_playback_bar blanks it again).
void paint_playback_captions();
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
