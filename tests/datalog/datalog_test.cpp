// Data logging through the live link from the simulated ECM.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "config/config.h"
#include "config/settings.h"
#include "datalog/datalog.h"
#include "link/link_thread.h"
#include "link/port.h"
#include "stream/display_thread.h"
#include "stream/reader.h"
#include "support/full_disk.h"
#include "support/live.h"
#include "support/scripted_ui.h"
#include "support/sim_process.h"

namespace {

class Datalog : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        disable_config_file();
        start_link_thread();
    }
    void TearDown() override
    {
        stop_logging();
        stop_link_thread();
        reset_everything();
    }

    void open_port_on(const SimProcess& sim)
    {
        request_port_state(PORT_OPEN, sim.device().c_str());
        ASSERT_TRUE(wait_until([] { return g_port.link_running == 1; }, 3));
    }

    std::string fresh_log(const std::string& name)
    {
        std::string path = temp_dir() + "/" + name;
        std::remove(path.c_str());
        return path;
    }

    // Waits for `frames` more frames to arrive (slow machines stretch any fixed sleep).
    static bool receive_frames(int frames)
    {
        int64_t target = g_link.bytes_received + int64_t{frames} * FRAME_BYTES;
        return wait_until([target] { return g_link.bytes_received >= target; }, 10);
    }

    static bool requests_served()
    {
        return g_link.time_request == 0 && g_link.marker_request == 0 && g_link.flush_request == 0;
    }

    ScopedScriptedUi ui_;
};

// The recording header: a time record and the whole configuration.
std::string header_of(const std::string& log)
{
    size_t end = log.find("[AD7FPPREF] 0\r\n");
    return end == std::string::npos ? std::string() : log.substr(0, end + 15);
}

TEST_F(Datalog, ALogOfASilentEcmHoldsTheHeaderAndTheRequestedRecordsOnly)
{
    SimProcess sim({"--silent"});
    open_port_on(sim);
    std::string path = fresh_log("silent.dat");
    ASSERT_EQ(start_logging(path), 0);
    // Both asked for together (the link thread cannot serve either while we hold the log): the
    // time record is written first.
    {
        std::lock_guard<std::mutex> hold(g_link.log_lock);
        log_key_tab();
        log_key_space();
    }
    ASSERT_TRUE(wait_until(requests_served, 2));
    ASSERT_EQ(stop_logging(), 0);

    std::string log = read_file(path);
    std::string header = header_of(log);
    ASSERT_FALSE(header.empty());
    EXPECT_EQ(header.compare(0, 6, "TIME: "), 0);
    EXPECT_EQ(header.compare(27, 28, "[ID] ZOV J8 Glanzo Display\r\n"), 0);
    std::string body = log.substr(header.size());
    ASSERT_EQ(body.size(), 27u + 34u) << body;
    EXPECT_EQ(body.compare(0, 6, "TIME: "), 0);
    EXPECT_EQ(body.compare(27, 13, "MARK000TIME: "), 0);
}

TEST_F(Datalog, MarkersCountFromZeroInEachRecordingAndARecordingIsAppended)
{
    SimProcess sim;
    open_port_on(sim);
    std::string path = fresh_log("markers.dat");
    ASSERT_EQ(start_logging(path), 0);
    for (int i = 0; i < 3; ++i) {
        log_key_tab();
        ASSERT_TRUE(wait_until(requests_served, 2));
        ASSERT_TRUE(receive_frames(4));
    }
    ASSERT_EQ(stop_logging(), 0);
    std::string first = read_file(path);

    ASSERT_EQ(start_logging(path), 0);
    ASSERT_TRUE(receive_frames(3));
    log_key_tab();
    ASSERT_TRUE(wait_until(requests_served, 2));
    ASSERT_TRUE(receive_frames(4));
    ASSERT_EQ(stop_logging(), 0);

    std::string both = read_file(path);
    EXPECT_EQ(both.compare(0, first.size(), first), 0) << "the first recording is untouched";
    LogContents c = read_log_contents(path);
    EXPECT_EQ(c.markers, (std::vector<std::string>{"000", "001", "002", "000"}));
    // A stop can fall inside a frame; that frame's start, followed by the next recording's
    // header, then reads as one frame with a bad CRC.
    EXPECT_LE(c.bad, 1);
    EXPECT_GT(c.good, 10);
    EXPECT_EQ(g_settings.dlog, path);
    EXPECT_EQ(g_settings.dlogname, "markers.dat");
    EXPECT_EQ(g_settings.dlogpath, temp_dir() + "/");
    EXPECT_EQ(g_settings.analysis, path);
}

TEST_F(Datalog, EnterPausesOnlyWhenEnabledAndSpaceResumesWithATimeRecord)
{
    SimProcess sim;
    open_port_on(sim);
    std::string path = fresh_log("pause.dat");
    ASSERT_EQ(start_logging(path), 0);
    g_settings.enterpause = 0;
    log_key_enter();
    EXPECT_EQ(g_link.logging_paused, 0);
    g_settings.enterpause = 1;
    log_key_enter();
    EXPECT_EQ(g_link.logging_paused, 1);
    EXPECT_EQ(g_datalog.logging_paused, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    long paused_size = static_cast<long>(read_file(path).size());
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(static_cast<long>(read_file(path).size()), paused_size) << "nothing is copied while paused";
    log_key_space();
    EXPECT_EQ(g_link.logging_paused, 0);
    EXPECT_EQ(g_datalog.logging_paused, 0);
    ASSERT_TRUE(wait_until(requests_served, 2));
    ASSERT_EQ(stop_logging(), 0);
    std::string log = read_file(path);
    EXPECT_EQ(log.compare(static_cast<size_t>(paused_size), 6, "TIME: "), 0)
        << "copying resumes with the time record";
}

TEST_F(Datalog, ALogKeptOpenAcrossALineOutageHoldsEveryFrameReceived)
{
    std::string link = temp_dir() + "/ecm-link";
    SimProcess sim({"--link", link, "--outage-ms", "1200"});
    request_port_state(PORT_OPEN, link.c_str());
    ASSERT_TRUE(wait_until([] { return g_port.link_running == 1; }, 3));
    start_display_thread();   // keeps asking for the stream, as live mode does
    std::string path = fresh_log("outage.dat");
    ASSERT_EQ(start_logging(path), 0);
    ASSERT_TRUE(receive_frames(20));
    sim.signal(SIGUSR1);
    ASSERT_TRUE(wait_until([] { return g_port.indicator == 0; }, 2)) << "the link notices the outage";
    ASSERT_TRUE(wait_until([] { return g_port.indicator == 1; }, 6)) << "and reconnects";
    ASSERT_TRUE(receive_frames(20));
    ASSERT_EQ(stop_logging(), 0);
    stop_display_thread();

    LogContents c = read_log_contents(path);
    EXPECT_LE(c.bad, 1) << "only a frame cut where the line went down";
    ASSERT_GT(c.sequence.size(), 20u);
    int gaps = 0;
    for (size_t i = 1; i < c.sequence.size(); ++i) {
        ASSERT_GT(c.sequence[i], c.sequence[i - 1]);
        gaps += c.sequence[i] != c.sequence[i - 1] + 1;
    }
    EXPECT_LE(gaps, 1) << "frames are missing only where the line was down";
    EXPECT_GT(c.sequence.back() - c.sequence.front(), 30u) << "the stream came back";
}

TEST_F(Datalog, AHeaderThatDoesNotFitOnTheDiskIsAWriteFailure)
{
    SimProcess sim;
    open_port_on(sim);
    FullDisk disk;
    disk.fill(1024);   // the configuration in the header is larger
    EXPECT_EQ(start_logging(disk.folder() + "/header.dat"), -1);
    ASSERT_EQ(ui_.shown.size(), 1u);
    EXPECT_EQ(ui_.shown[0].text, "Error Writing to File\nDisk Full?");
    EXPECT_EQ(ui_.shown[0].caption, "File Write Error");
    EXPECT_EQ(g_datalog.logging_on, 0);
}

TEST_F(Datalog, ADiskThatFillsUpStopsLoggingKeepsAReadableLogAndTheDisplaysGoOn)
{
    SimProcess sim;
    open_port_on(sim);
    start_display_thread();
    FullDisk disk;
    disk.fill(24 * 1024);   // the header and some forty frames
    std::string path = disk.folder() + "/filling.dat";
    ASSERT_EQ(start_logging(path), 0);
    ASSERT_TRUE(wait_until([] { return g_datalog.logging_on == 0; }, 10)) << "the disk fills up";
    // The link thread showed the message before it took the log back under this lock, inside which
    // it cleared the flag just seen: once the lock is ours, what it recorded is ours to read.
    { std::lock_guard<std::mutex> lock(g_datalog.lock); }
    ASSERT_EQ(ui_.shown.size(), 1u);
    EXPECT_EQ(ui_.shown[0].text, "Error Writing to File\nDisk Full?");
    EXPECT_EQ(ui_.shown[0].caption, "File Write Error");
    EXPECT_EQ(g_link.logging_on, 0);

    // What reached the disk is a log: whole frames in order, the last perhaps cut short.
    LogContents c = read_log_contents(path);
    EXPECT_GE(c.good, 20);
    EXPECT_LE(c.bad, 1);
    for (size_t i = 1; i < c.sequence.size(); ++i)
        ASSERT_EQ(c.sequence[i], c.sequence[i - 1] + 1);

    // The live side goes on, and logging starts again on another disk.
    int64_t dispatched = g_display.frames_dispatched;
    EXPECT_TRUE(wait_until([&] { return g_display.frames_dispatched > dispatched + 10; }, 3));
    std::string other = fresh_log("other-disk.dat");
    ASSERT_EQ(start_logging(other), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    ASSERT_EQ(stop_logging(), 0);
    stop_display_thread();
    EXPECT_GT(read_log_contents(other).good, 5);
    EXPECT_EQ(ui_.shown.size(), 1u);
}

TEST_F(Datalog, NoFolderADeviceOrAPipeIsALogToOpen)
{
    std::string fifo = fresh_log("pipe.dat");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {temp_dir() + "/no/such/folder.dat", temp_dir(), std::string("/dev/null"), fifo}) {
        SCOPED_TRACE(path);
        ui_.shown.clear();
        EXPECT_EQ(start_logging(path), -1);
        ASSERT_EQ(ui_.shown.size(), 1u);
        EXPECT_EQ(ui_.shown[0].text, "Can not open Data Logging File");
        EXPECT_EQ(ui_.shown[0].caption, "File Open Error");
    }
    // Logging through a link appends to the file it points at.
    std::string target = fresh_log("target.dat"), link = fresh_log("link.dat");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    ASSERT_EQ(start_logging(link), 0);
    ASSERT_EQ(stop_logging(), 0);
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(read_file(target).compare(0, 6, "TIME: "), 0);
}

}  // namespace
