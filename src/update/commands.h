// What the updater's window does, without the window: its start-up and shutdown around the link,
// choosing a port, "&Bin Update...", and where the window opens and what it keeps of its place.
// The window (and the headless runs) only call these.
#pragma once

#include <string>

// Start-up: the updater's ways of link and protocol, the tick counter, the link thread, then
// [PORT] opened as choosing it does. 0, or -1 when the link thread cannot be started (the caller
// shows "CreateThread failed").
int start_updater_link();
// Shutdown: the port closed, the link thread and the tick counter stopped.
void stop_updater_link();

// Stores the port name in [PORT], shows the port closed until the link thread has it open again,
// asks the link thread to re-open on that name and writes the configuration file.
void choose_updater_port(const std::string& name);

// "&Bin Update...": the file dialog, then the BIN file's conversion to its "_new" name with its
// message box. A file that is not a calibration BIN is refused and the dialog shown again; Cancel
// ends the command. The configuration is written once a file has been taken.
void bin_update_command();

// Top-left corner of the window on a desktop of this size: [XPOSHWND], [YPOSHWND], or centred
// when [XPOSHWND] is -1.
struct WindowPlace {
    int x, y;
};
WindowPlace updater_window_place(int desktop_width, int desktop_height);

// The window closes: its place is kept unless it is minimised, and the configuration written.
void save_updater_window(int x, int y, bool minimised);
