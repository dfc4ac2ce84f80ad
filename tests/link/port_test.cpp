// The serial link on its own, below everything else: this suite links the link library alone.
#include <gtest/gtest.h>

#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include "link/link_thread.h"
#include "link/port.h"

namespace {

std::atomic<int> starts{0}, stops{0}, write_errors{0};

bool wait_for(const std::function<bool()>& done)
{
    for (int i = 0; i < 1000 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
}

TEST(LinkHooks, StartTheStreamAfterAnOpenStopItBeforeACloseAndReportALogThatCannotBeWritten)
{
    int master = -1, slave = -1;
    char name[256];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    reset_port();
    reset_link();
    g_port.start_stream = [] { ++starts; };
    g_port.stop_stream = [] { ++stops; };
    g_link.on_log_write_error = [] { ++write_errors; };
    ASSERT_EQ(start_link_thread(), 0);

    request_port_state(PORT_OPEN, name);
    ASSERT_TRUE(wait_for([] { return g_port.link_running == 1; }));
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(stops, 0);

    // A log on a device that takes nothing: the first buffer that reaches it fails.
    FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    set_logging(1, full);
    std::vector<char> bytes(3 * BUFSIZ, 'x');
    ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    EXPECT_TRUE(wait_for([] { return write_errors == 1; }));
    EXPECT_EQ(g_link.logging_on, 0);
    set_logging(0, nullptr);
    std::fclose(full);

    request_port_state(PORT_CLOSE, nullptr);
    EXPECT_EQ(stops, 1);
    ASSERT_TRUE(wait_for([] { return g_port.fd < 0; }));
    stop_link_thread();
    g_port.start_stream = nullptr;
    g_port.stop_stream = nullptr;
    g_link.on_log_write_error = nullptr;
    close(master);
    close(slave);
}

}  // namespace
