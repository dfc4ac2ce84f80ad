// The link thread: the only code that touches the open serial port.
//
// Threading design:
// - The link thread acts on port requests (link/port.h), writes the transmit slot, reads the port
//   into the receive ring (link/ring.h) and, while logging, appends every received byte to the
//   data log and writes the time and marker records asked for.
// - Transmit slot: a sender (one at a time) fills `tx_buf` and then publishes `tx_len` (release);
//   the link thread takes the length (acquire), writes the bytes and clears the length, which frees
//   the slot.
// - Record and flush requests are flags set by the window or display thread and cleared by the
//   link thread once served.
// - The log target (on, file, marker counter) is switched under `log_lock`, which the link thread
//   holds while it writes to the log, so a file handed back by set_logging(0, ...) is no longer
//   touched when the call returns and may be closed at once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <thread>

#include "link/link_wakeup.h"
#include "platform/shared_word.h"

constexpr int TX_SLOT_BYTES = 256;

struct LinkState {
    uint8_t tx_buf[TX_SLOT_BYTES];
    Shared<int32_t> tx_len{0};             // 0 = slot empty

    Shared<int32_t> time_request{0};
    Shared<int32_t> marker_request{0};
    Shared<int32_t> flush_request{0};

    std::mutex log_lock;                   // guards log_file and marker_counter
    Shared<int32_t> logging_on{0};
    Shared<int32_t> logging_paused{0};
    FILE* log_file = nullptr;
    int32_t marker_counter = 0;

    Shared<int32_t> stop{0};               // asks the thread to end (program end, tests)
    Shared<int64_t> bytes_received{0};     // statistics for tests and benchmarks
    Shared<int64_t> bytes_dropped{0};      // bytes the full ring could not take

    // The data log's write-error routine (message, then the log is closed), run on the link
    // thread when a log write fails; set by start_logging and kept by resets.
    Shared<void (*)()> on_log_write_error{nullptr};
};

extern LinkState g_link;

// Hands a message to the link thread. 0 when accepted; -1 when the link is not running, the slot
// still holds a message not yet written, or the message is longer than the slot.
int transmit(const uint8_t* bytes, int length);

void set_logging(int on, FILE* log_file);
int set_logging_paused(int paused);   // returns the previous flag
void request_time_record();
void request_marker_record();
void request_log_flush();

// The thread body; returns when g_link.stop is set.
void link_thread_main();

// Starts and stops the thread (stop closes the port).
int start_link_thread();   // 0, or -1 when the thread cannot be created
void stop_link_thread();

// Clears every request, the slot and the log target (tests).
void reset_link();
