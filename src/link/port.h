// The serial port: opening and configuring the device, closing it, re-opening it with a growing
// back-off, and the request through which other threads ask for a change.
//
// Threading: only the link thread opens, closes, reads and writes the device. Other threads ask
// with request_port_state, which stores the device path (under a small lock: it is a text), the
// requested state and then the pending flag (release); the link thread takes the flag (acquire)
// at the top of its loop and acts. `link_running` is set by the link thread after an open and
// cleared by every request, which makes the link thread leave its transfer loop.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/shared_word.h"

enum PortRequest : int32_t {
    PORT_CLOSE = 0,
    PORT_OPEN = 1,
    PORT_REOPEN = 99,
};

constexpr int32_t REOPEN_FIRST_DELAY_MS = 125;

// What the updater's link does differently from the main program's.
struct LinkProfile {
    bool stop_stream_before_reopen;   // a close or re-open first stops the stream and waits 100 ms
    bool start_stream_on_open;        // after an open the stream is asked for
    int32_t longest_delay_ms;         // the back-off doubles up to this
    bool delay_starts_over;           // beyond it: start again at 125 ms (else stay at the longest)
};

inline constexpr LinkProfile MAIN_LINK = {true, true, 5000, false};
inline constexpr LinkProfile UPDATER_LINK = {false, false, 8000, true};

struct PortState {
    Shared<const LinkProfile*> profile{&MAIN_LINK};
    Shared<int> fd{-1};                   // the open device, or -1; written by the link thread only
    std::mutex path_lock;                 // guards device_path
    std::string device_path;              // empty when no name was given
    Shared<int32_t> requested{PORT_CLOSE};
    Shared<int32_t> request_pending{0};
    Shared<int32_t> link_running{0};
    Shared<int32_t> reopen_delay{REOPEN_FIRST_DELAY_MS};
    Shared<int32_t> indicator{0};         // 1 open, 0 closed, as last shown
    // Draws the "Port:" field of the status panel; none without a window.
    Shared<void (*)(int open)> on_port_state{nullptr};
    // The ECM's stream, asked for after an open and stopped before a close or re-open when the
    // profile says so. The link sits below the ECM's messages: these are set at start-up
    // (install_link_hooks) and stay, whatever a reset does.
    Shared<void (*)()> start_stream{nullptr};
    Shared<void (*)()> stop_stream{nullptr};
    // Sleeps of the back-off loop go through here so that a stopping program is not held 5 s.
    Shared<int32_t> stop{0};
    // Why the last open of the device failed (its errno); 0 once an open succeeds.
    Shared<int32_t> open_error{0};
    // Tells the user why the device cannot be opened, when it is something they can put right
    // (port_open_error_text); run on the link thread once per device and reason, not at every
    // retry. Set at start-up by a program with a window and kept by resets; without it the
    // attempts go on silently.
    Shared<void (*)(const std::string& text)> on_open_refused{nullptr};
    // The "device\nerrno" refusals told so far; link thread only. An open of the device that
    // succeeds forgets its entries, so a later refusal is told again.
    std::vector<std::string> refusals_told;
};

extern PortState g_port;

// The device a port name stands for: "COMn" is /dev/ttyS(n-1), a name beginning with "/" is used
// as it is, anything else is taken as a name under /dev.
std::string device_path_for(const std::string& port_name);

// True when an open that failed with `error` is something the user can put right: no permission
// for the device (EACCES, EPERM), or another program holding it open exclusively (EBUSY).
bool open_error_remediable(int error);
// "cannot open DEVICE: REASON", and for a failure the user can put right, what to do about it.
std::string port_open_error_text(const std::string& device, int error);
// What a program with a window sets as `on_open_refused`: the text in a message box (which holds
// the link thread, and with it the next attempt, until the user has read it).
void show_port_refusal(const std::string& text);

// The wait after a failed attempt that waited `delay_ms`: doubled, then held at (main program) or
// started over from (updater) the profile's longest wait.
int32_t next_reopen_delay(const LinkProfile& profile, int32_t delay_ms);

// Link thread.
int open_port();                  // 1 on success, 0 on failure
int configure_port();             // 1 on success, 0 on failure
void close_port();
void reopen_port_with_backoff();

// Any thread.
int request_port_state(int32_t state, const char* port_name);
void show_port_state(int open);
bool port_is_open();

// Closes any open device and clears every request (tests, program end).
void reset_port();
