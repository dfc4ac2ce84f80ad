// The link to the ECM as the program above the serial link sees it: the COM menu's connect and
// disconnect, which look at the display and playback state, and the hooks through which the link
// thread starts and stops the ECM's stream. (The data log's write-error routine is handed to the
// link thread by start_logging.)
#pragma once

// Sets the link's hooks: stream start after an open, stream stop before a close (ECM command 203).
// Called once at start-up, before the link thread runs.
void install_link_hooks();

// Main window: re-open the link on [PORT] (unless analysing or playing back), then save the
// configuration.
void connect_port();
// Closes the link (playback start, the Analysis display).
void disconnect_port();
