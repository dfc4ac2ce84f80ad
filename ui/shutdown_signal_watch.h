// Carries SIGTERM, SIGINT and SIGHUP to the window thread (see platform/shutdown_signals.h): the
// first one closes the program's window as its close button does, so the window's own close
// handler runs the shutdown, including its waits (a bank procedure finishing its bank, an update
// stopping at its next bank). Later signals are read and ignored: they do not cut that short.
//
// Threading: window thread only. The signals are read from their descriptor by a socket notifier
// in the window thread's event loop (nested loops of dialogs and bank procedures included).
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class QSocketNotifier;

class ShutdownSignalWatch : public QObject {
public:
    // Watches the descriptor block_shutdown_signals opened; nothing when there is none.
    ShutdownSignalWatch();

    // To be called right before the program's main event loop starts (QApplication::exec), with
    // the window the first signal closes (nullptr: every top-level window). A signal that comes
    // earlier, at start-up, cancels the dialogs then open and closes the window once the loop runs.
    void main_loop_starts(QWidget* window);
    // The first signal's number; 0 while none has come.
    int received() const { return signal_; }

private:
    void readable();
    void close_window();

    QSocketNotifier* notifier_ = nullptr;
    QPointer<QWidget> window_;
    bool main_loop_ = false;   // the main loop has started (or is about to, from this very call)
    int main_level_ = 0;       // the event loop level of the main loop
    int signal_ = 0;
    int retries_ = 0;
};
