// Wakes a thread that waits in poll() for its device: one side signals, the waiting side polls
// fd() together with its device and clears the signal when it wakes.
#pragma once

class Wakeup {
public:
    Wakeup();
    ~Wakeup();
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    void signal();
    void clear();
    int fd() const { return fd_; }

private:
    int fd_;
};
