#include "platform/wakeup.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

Wakeup::Wakeup() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

Wakeup::~Wakeup()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void Wakeup::signal()
{
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(fd_, &one, sizeof one);
}

void Wakeup::clear()
{
    uint64_t count;
    [[maybe_unused]] ssize_t n = ::read(fd_, &count, sizeof count);
}
