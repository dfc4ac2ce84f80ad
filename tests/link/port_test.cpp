// The serial link on its own, below everything else: this suite links the link library alone.
#include <gtest/gtest.h>

#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
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

// Root opens any device, whatever its mode and whoever holds it: while this lives, the whole
// process (every thread) acts as the unprivileged user "nobody" when the tests run as root.
class AsUnprivilegedUser {
public:
    AsUnprivilegedUser() { dropped_ = geteuid() == 0 && setegid(NOBODY) == 0 && seteuid(NOBODY) == 0; }
    ~AsUnprivilegedUser()
    {
        if (dropped_ && seteuid(0) == 0)
            (void)setegid(0);
    }
    AsUnprivilegedUser(const AsUnprivilegedUser&) = delete;
    AsUnprivilegedUser& operator=(const AsUnprivilegedUser&) = delete;
    static constexpr uid_t NOBODY = 65534;

private:
    bool dropped_ = false;
};

std::mutex told_lock;
std::vector<std::string> told;

struct Refusal {
    const char* name;
    bool held_by_another;   // else: the device's mode forbids the user
    const char* reason;     // what follows "cannot open DEVICE: "
};

class PortRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(PortRefusal, IsToldOnceWhileTheAttemptsGoOnAndTheDeviceOpensOnceItIsAllowed)
{
    const Refusal& r = GetParam();
    int master = -1, slave = -1;
    char name[256];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    // The user may change the mode of a device that is theirs: the test lifts the refusal so.
    if (geteuid() == 0) {
        ASSERT_EQ(chown(name, AsUnprivilegedUser::NOBODY, AsUnprivilegedUser::NOBODY), 0);
    }
    if (r.held_by_another) {
        ASSERT_EQ(chmod(name, 0666), 0);
        ASSERT_EQ(ioctl(slave, TIOCEXCL), 0);
    } else {
        ASSERT_EQ(chmod(name, 0), 0);
    }
    reset_port();
    reset_link();
    told.clear();
    g_port.on_open_refused = [](const std::string& text) {
        std::lock_guard<std::mutex> lock(told_lock);
        told.push_back(text);
    };
    auto told_count = [] {
        std::lock_guard<std::mutex> lock(told_lock);
        return told.size();
    };
    {
        AsUnprivilegedUser as_nobody;
        ASSERT_EQ(start_link_thread(), 0);
        request_port_state(PORT_OPEN, name);
        // Four attempts: the first, then after 125, 250 and 500 ms.
        EXPECT_TRUE(wait_for([] { return g_port.reopen_delay >= 1000; }));
        EXPECT_EQ(g_port.open_error, r.held_by_another ? EBUSY : EACCES);
        EXPECT_EQ(g_port.indicator, 0);
        EXPECT_EQ(g_port.link_running, 0);
        {
            std::lock_guard<std::mutex> lock(told_lock);
            ASSERT_EQ(told.size(), 1u);
            EXPECT_EQ(told[0], std::string("cannot open ") + name + ": " + r.reason);
        }

        // The same port chosen again is not told again.
        request_port_state(PORT_REOPEN, name);
        EXPECT_TRUE(wait_for([] { return g_port.reopen_delay < 500; })) << "the back-off starts over";
        EXPECT_TRUE(wait_for([] { return g_port.reopen_delay >= 500; }));
        EXPECT_EQ(told_count(), 1u);

        // Once allowed, the next attempt opens it.
        if (r.held_by_another)
            ASSERT_EQ(ioctl(slave, TIOCNXCL), 0);
        else
            ASSERT_EQ(chmod(name, 0600), 0);
        EXPECT_TRUE(wait_for([] { return g_port.link_running == 1; }));
        EXPECT_EQ(g_port.indicator, 1);
        EXPECT_EQ(g_port.open_error, 0);
        EXPECT_EQ(told_count(), 1u);
        request_port_state(PORT_CLOSE, nullptr);
        EXPECT_TRUE(wait_for([] { return g_port.fd < 0; }));
        stop_link_thread();
    }
    g_port.on_open_refused = nullptr;
    reset_port();
    close(master);
    close(slave);
}

INSTANTIATE_TEST_SUITE_P(
    Port, PortRefusal,
    ::testing::Values(Refusal{"ADeviceWhoseModeForbidsTheUser", false,
                              "permission denied; add your user to the dialout group: sudo usermod -aG dialout "
                              "$USER, then log in again"},
                      Refusal{"ADeviceAnotherProgramHoldsExclusively", true,
                              "another program has it open; close that program first"}),
    [](const ::testing::TestParamInfo<Refusal>& param) { return std::string(param.param.name); });

TEST(Port, AnOpenThatFailsForAnotherReasonNamesTheReasonOnly)
{
    EXPECT_FALSE(open_error_remediable(ENOENT));
    EXPECT_EQ(port_open_error_text("/dev/ttyUSB7", ENOENT), "cannot open /dev/ttyUSB7: No such file or directory");
}

}  // namespace
