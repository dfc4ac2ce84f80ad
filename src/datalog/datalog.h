// Data logging: the recording header, start and stop, pause, time stamps and markers.
//
// A recording is a 27-byte time record, the whole configuration as the configuration file holds
// it, then every byte received while logging is on and not paused, with the time and marker
// records the user asks for written in among them by the link thread. Starting on an existing file
// appends a new recording.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/shared_word.h"

struct DatalogState {
    Shared<int16_t> logging_on{0};       // as the window shows it
    Shared<int16_t> logging_paused{0};
    // The window thread stops logging, and so does the link thread on a write error: the file is
    // taken back under this lock by whichever comes first.
    std::mutex lock;
    FILE* file = nullptr;                // the open log
    std::string path;
    // Menu and status panel refresh after a change; none without a window.
    Shared<void (*)()> on_change{nullptr};
};

extern DatalogState g_datalog;

// Opens `path` for appending, writes the recording header, hands the file to the link thread and
// remembers the path in [DLOG], [DLOGNAME], [DLOGPATH] and as the file to analyse. Does nothing
// when logging is already on. Shows "Can not open Data Logging File" and returns -1 when the file
// cannot be opened or the header cannot be written; else 0.
int start_logging(const std::string& path);
// The File menu's "&DataLog...": asks for the file (starting from the last log's name and folder)
// and starts logging on it. Returns 1 when logging was on already or the user cancelled, else
// start_logging's status.
int choose_and_start_logging();
// Takes the file back from the link thread and closes it. Returns -1 when the close reports a
// write error (the message has then been shown), else 0.
int stop_logging();
// The link thread could not write the log: message, then stop.
void log_write_error();

// Keys while logging: Space writes a time record, TAB a marker record (both resume a paused log),
// Enter pauses when [ENTERPAUSE] is 1.
void log_key_space();
void log_key_tab();
void log_key_enter();

// The keys the main window acts on, whichever control has the focus: '1' to '5' switch displays,
// and while logging TAB, Enter and Space are the keys above. The control hosts hand these on.
bool display_key(char c);

// Back to the state at program start (tests).
void reset_datalog();
