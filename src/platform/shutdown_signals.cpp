#include "platform/shutdown_signals.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

namespace {

int signal_fd = -1;   // written once, in main before any thread starts

sigset_t shutdown_set()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

// A program started from here begins with the signals as a program normally does.
void unblock_in_child()
{
    sigset_t set = shutdown_set();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

}  // namespace

int block_shutdown_signals()
{
    if (signal_fd >= 0)
        return 0;
    sigset_t set = shutdown_set();
    if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0)
        return -1;
    pthread_atfork(nullptr, nullptr, unblock_in_child);
    signal_fd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signal_fd < 0) {
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        return -1;
    }
    return 0;
}

int shutdown_signal_fd() { return signal_fd; }

int take_shutdown_signal()
{
    if (signal_fd < 0)
        return 0;
    signalfd_siginfo info;
    ssize_t n;
    do
        n = ::read(signal_fd, &info, sizeof info);
    while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(sizeof info) ? static_cast<int>(info.ssi_signo) : 0;
}

ShutdownSignalThread::ShutdownSignalThread(std::function<void(int)> on_signal) : on_signal_(std::move(on_signal))
{
    if (signal_fd >= 0 && stop_.fd() >= 0)
        thread_ = std::thread([this] { run(); });
}

ShutdownSignalThread::~ShutdownSignalThread()
{
    if (thread_.joinable()) {
        stop_.signal();
        thread_.join();
    }
}

void ShutdownSignalThread::run()
{
    for (;;) {
        pollfd fds[2] = {{signal_fd, POLLIN, 0}, {stop_.fd(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0)
            return;
        while (int sig = take_shutdown_signal())
            on_signal_(sig);
    }
}
