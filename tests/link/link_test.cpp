// The link thread against the simulated ECM on a pseudo-terminal.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>

#include "config/config.h"
#include "config/settings.h"
#include "ecm/crc.h"
#include "ecm/protocol.h"
#include "link/link_thread.h"
#include "link/port.h"
#include "link/ring.h"
#include "link/serial_devices.h"
#include "stream/connection.h"
#include "stream/display_thread.h"
#include "support/live.h"
#include "support/scripted_ui.h"
#include "support/sim_process.h"

namespace {

class Link : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        start_link_thread();
    }
    void TearDown() override
    {
        stop_link_thread();
        reset_everything();
    }
    ScopedScriptedUi ui_;
};

TEST(Transmit, IsRefusedWhenTheLinkIsDownTheSlotIsFullOrTheMessageTooLong)
{
    reset_everything();
    uint8_t msg[257] = {};
    EXPECT_EQ(transmit(msg, 5), -1) << "no link";
    g_port.link_running = 1;   // no link thread: nothing empties the slot
    EXPECT_EQ(transmit(msg, 257), -1);
    EXPECT_EQ(transmit(msg, 256), 0);
    EXPECT_EQ(transmit(msg, 5), -1) << "the first message is not written yet";
    reset_everything();
}

TEST(Messages, AreFramedWithTheirCrcHighByteFirst)
{
    struct Case {
        uint8_t command, arg;
        uint8_t bytes[5];
    } cases[] = {
        {MS_XMIT, 0, {0x52, 0x58, 0x00, 0xB7, 0xB8}},
        {MS_XMIT, 102, {0x52, 0x58, 0x66, 0xBB, 0xD8}},
        {MS_FLASH, 0, {0x52, 0x46, 0x00, 0x97, 0xC4}},
        {MS_BANK, 3, {0x52, 0x42, 0x03, 0x6B, 0x63}},
    };
    for (const Case& c : cases) {
        uint8_t out[5];
        ASSERT_EQ(frame_message(LEAD_MS, c.command, &c.arg, 1, out), 5);
        EXPECT_EQ(0, std::memcmp(out, c.bytes, 5)) << "command " << c.command;
    }
}

TEST(Dispatcher, KnowsItsCommands)
{
    reset_everything();
    EXPECT_EQ(ecm_command(201, 0), 0);
    EXPECT_EQ(ecm_command(100, 0), 0);
    EXPECT_EQ(ecm_command(199, 0), -1);
    EXPECT_EQ(ecm_command(ECM_STREAM, STREAM_START), -1) << "refused while the link is down";
}

TEST(ReopenDelays, GrowAsEachProgramWants)
{
    auto sequence = [](const LinkProfile& p) {
        std::vector<int> waits;
        int32_t d = REOPEN_FIRST_DELAY_MS;
        for (int i = 0; i < 9; ++i)
            waits.push_back(d = next_reopen_delay(p, d));
        return waits;
    };
    EXPECT_EQ(sequence(MAIN_LINK), (std::vector<int>{250, 500, 1000, 2000, 4000, 5000, 5000, 5000, 5000}));
    EXPECT_EQ(sequence(UPDATER_LINK), (std::vector<int>{250, 500, 1000, 2000, 4000, 8000, 125, 250, 500}));
}

TEST(PortNames, MapToDevices)
{
    EXPECT_EQ(device_path_for("COM1"), "/dev/ttyS0");
    EXPECT_EQ(device_path_for("COM12"), "/dev/ttyS11");
    EXPECT_EQ(device_path_for("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(device_path_for("ttyACM0"), "/dev/ttyACM0");
    EXPECT_EQ(device_path_for("COMX"), "/dev/COMX");
}

TEST_F(Link, StreamsFromTheSimulatorIntoTheRingAndStopsTheStreamOnClose)
{
    SimProcess sim;
    request_port_state(PORT_OPEN, sim.device().c_str());
    ASSERT_TRUE(wait_until([] { return g_port.indicator == 1; }, 3));
    ASSERT_TRUE(wait_until([] { return ring_count() >= 3 * 277; }, 3)) << "frames arrive";
    request_port_state(PORT_CLOSE, nullptr);
    ASSERT_TRUE(wait_until([] { return g_port.indicator == 0; }, 3));
    std::string counts = sim.stop();
    // The open sent the stream start, the close the stream stop.
    EXPECT_NE(counts.find("2 messages received (0 bad)"), std::string::npos) << counts;
}

TEST_F(Link, ARingFlushEmptiesTheRingWhileBytesKeepArriving)
{
    SimProcess sim;
    request_port_state(PORT_OPEN, sim.device().c_str());
    ASSERT_TRUE(wait_until([] { return ring_count() > 2000; }, 3));
    request_ring_flush();
    ASSERT_TRUE(wait_until([] { return g_ring.reset_request == 0; }, 1));
    EXPECT_LT(ring_count(), 600);
    ASSERT_TRUE(wait_until([] { return ring_count() > 1000; }, 3)) << "bytes read after the flush stay";
}

TEST(PortNames, ListTheStableUsbNamesBeforeTheNumberedOnes)
{
    std::string dev = temp_dir() + "/fake-dev";
    std::filesystem::remove_all(dev);
    std::filesystem::create_directories(dev + "/serial/by-id");
    for (const char* name : {"ttyUSB1", "ttyUSB0", "ttyACM0", "ttyS0"})
        write_temp_file(std::string("fake-dev/") + name, Bytes());
    std::filesystem::create_symlink("../../ttyUSB1", dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A6008isP-if00-port0");
    std::filesystem::create_symlink("../../ttyACM0", dev + "/serial/by-id/usb-Arduino_Uno_7563-if00");
    EXPECT_EQ(serial_device_names(dev),
              (std::vector<std::string>{dev + "/serial/by-id/usb-Arduino_Uno_7563-if00",
                                        dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A6008isP-if00-port0",
                                        dev + "/ttyUSB0", dev + "/ttyUSB1", dev + "/ttyACM0"}));
    EXPECT_TRUE(serial_device_names(temp_dir() + "/no-dev").empty());
}

TEST(PortNames, AStableNameSurvivesTheConfiguration)
{
    reset_settings();
    const std::string by_id = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A6008isP-if00-port0";
    g_settings.port = by_id;
    std::string path = temp_dir() + "/by-id.cfg";
    set_config_path(path);
    ScopedScriptedUi ui;
    ASSERT_EQ(save_config(), 0);
    g_settings.port = "COM1";
    ASSERT_EQ(load_config(), 0);
    EXPECT_EQ(g_settings.port, by_id);
    EXPECT_EQ(device_path_for(by_id), by_id);
    reset_settings();
}

TEST_F(Link, ReopensWithAGrowingBackOffUntilTheDeviceAppears)
{
    SimProcess sim;
    std::string link = temp_dir() + "/late-port";
    ::unlink(link.c_str());
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    request_port_state(PORT_OPEN, link.c_str());
    // Attempts at 0, 125, 375, 875, 1875 ms. The device appears once the fourth has failed (the
    // wait has grown to 1000 ms) and is opened by the fifth, however late a busy machine runs us.
    ASSERT_TRUE(wait_until([] { return g_port.reopen_delay == 1000; }, 4));
    auto appeared = Clock::now();
    ASSERT_EQ(symlink(sim.device().c_str(), link.c_str()), 0);
    ASSERT_TRUE(wait_until([] { return g_port.indicator == 1; }, 4));
    auto opened = Clock::now();
    EXPECT_GT(std::chrono::duration<double>(opened - start).count(), 1.85);
    EXPECT_GT(std::chrono::duration<double>(opened - appeared).count(), 0.9) << "no attempt in between";
    EXPECT_LT(std::chrono::duration<double>(opened - appeared).count(), 2.0) << "nor one left out";
    ::unlink(link.c_str());
}

TEST_F(Link, ACloseAskedForDuringTheBackOffIsServed)
{
    request_port_state(PORT_OPEN, (temp_dir() + "/never-there").c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    request_port_state(PORT_CLOSE, nullptr);
    ASSERT_TRUE(wait_until([] { return g_port.request_pending == 0; }, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(g_port.requested, PORT_CLOSE);
    EXPECT_EQ(g_port.link_running, 0);
}

TEST_F(Link, ChoosingAPortWhileAnalysingOnlySavesTheChoice)
{
    std::string cfg = temp_dir() + "/connect.cfg";
    set_config_path(cfg);
    g_settings.port = "COM7";
    g_display.active_display = DISPLAY_ANALYSIS;
    connect_port();
    EXPECT_EQ(g_port.requested, PORT_CLOSE) << "the port is not touched";
    EXPECT_NE(read_file(cfg).find("[PORT] COM7\r\n"), std::string::npos);
    g_display.active_display = DISPLAY_GAUGES;
    connect_port();
    EXPECT_NE(g_port.requested, PORT_CLOSE) << "a re-open (which the link thread may already serve)";
    std::lock_guard<std::mutex> lock(g_port.path_lock);
    EXPECT_EQ(g_port.device_path, "/dev/ttyS6");
}

}  // namespace
