// SIGTERM, SIGINT and SIGHUP as a request to shut down, not as an end.
//
// A desktop program is ended by a signal more often than from its menu: the session ends
// (SIGTERM), Ctrl+C is pressed in its terminal (SIGINT), the terminal closes (SIGHUP). It then shuts
// down as its window's close does: settings saved, the data log flushed and closed, the port closed.
//
// No handler runs in signal context. The three signals are blocked in the main thread before any
// other thread exists, so every thread started afterwards (the link, display, update and tick
// threads, the toolkit's own) inherits the blocked mask: a signal never lands in one of them, never
// interrupts a system call there, and waits for the process until it is read from a signalfd. The
// window thread watches that descriptor (ui/shutdown_signal_watch.h); a program without a window
// reads it on a thread of its own (ShutdownSignalThread). A thread started before the block would
// keep the signals unblocked and take their default end, hence "first thing in main".
//
// The mask is inherited through fork and exec too: a child made with fork() gets the signals
// unblocked again (programs this one starts must end on them as usual); one made by other means
// (posix_spawn, vfork) keeps them blocked. Neither program starts other programs today.
#pragma once

#include <functional>
#include <thread>

#include "platform/wakeup.h"

// Blocks the three signals in the calling thread and opens the descriptor they are read from.
// 0, or -1 when no descriptor could be opened: the signals are then unblocked again and end the
// program as they would without this.
int block_shutdown_signals();

// The descriptor (non-blocking, close-on-exec, readable while a signal waits), or -1 before
// block_shutdown_signals or after it failed.
int shutdown_signal_fd();

// Reads one waiting signal: its number, or 0 when none waits.
int take_shutdown_signal();

// For a program without an event loop: calls `on_signal` (on this object's own thread, not in
// signal context) with each shutdown signal that arrives while it exists. Nothing runs when the
// signals were not blocked.
class ShutdownSignalThread {
public:
    explicit ShutdownSignalThread(std::function<void(int signal)> on_signal);
    ~ShutdownSignalThread();
    ShutdownSignalThread(const ShutdownSignalThread&) = delete;
    ShutdownSignalThread& operator=(const ShutdownSignalThread&) = delete;

private:
    void run();

    std::function<void(int)> on_signal_;
    Wakeup stop_;
    std::thread thread_;
};
