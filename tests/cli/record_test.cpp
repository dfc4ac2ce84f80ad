// glanzo-cli record against the simulated ECM.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <set>
#include <sstream>

#include "support/live.h"
#include "support/sim_process.h"

namespace {

TEST(CliRecord, LogsEveryFrameTheSimulatorSentWithMarkers)
{
    SimProcess sim({"--seed", "9"});
    std::string log = temp_dir() + "/record.dat";
    std::string err = temp_dir() + "/record.err";
    int rc = run_command(std::string(GLANZO_CLI) + " record --port " + sim.device() + " -o " + log +
                         " --seconds 2.5 --mark-every 1 2>" + err);
    EXPECT_EQ(rc, 0) << read_file(err);
    LogContents c = read_log_contents(log);
    EXPECT_EQ(c.bad, 0);
    EXPECT_GE(c.good, 25) << "2.5 s hold 42 frames; a loaded machine starts the stream late";
    for (size_t i = 1; i < c.sequence.size(); ++i)
        ASSERT_EQ(c.sequence[i], c.sequence[i - 1] + 1) << "frame lost after " << c.sequence[i - 1];
    EXPECT_EQ(c.markers, (std::vector<std::string>{"000", "001"}));
}

TEST(CliRecord, AFullDiskStopsLoggingWithTheMessageAndKeepsWhatWasWritten)
{
    SimProcess sim;
    std::string log = temp_dir() + "/full.dat";
    std::remove(log.c_str());
    std::string err = temp_dir() + "/full.err";
    // A file size limit of 12 KiB stands in for a full disk; the signal it raises is ignored, so
    // writes past it fail as on a full disk.
    int rc = run_command("bash -c \"trap '' XFSZ; ulimit -f 12; exec " + std::string(GLANZO_CLI) + " record --port " +
                         sim.device() + " -o " + log + " --seconds 10\" 2>" + err);
    EXPECT_NE(rc, 0);
    EXPECT_EQ(read_file(err), "File Write Error: Error Writing to File Disk Full?\n");
    EXPECT_EQ(read_file(log).size(), 12u * 1024u);
    LogContents c = read_log_contents(log);
    EXPECT_EQ(c.bad, 0);
    EXPECT_GE(c.good, 20) << "the frames written before the disk filled are whole";
}

// "WORD NUMBER" lines of a file, in order.
std::vector<std::pair<std::string, long long>> event_lines(const std::string& path)
{
    std::vector<std::pair<std::string, long long>> out;
    std::istringstream in(read_file(path));
    std::string word;
    long long n;
    while (in >> word >> n)
        out.emplace_back(word, n);
    return out;
}

double seconds_between(long long from_ns, long long to_ns) { return static_cast<double>(to_ns - from_ns) / 1e9; }

// The link thread's attempts after it finds the line gone: at once, then after 125, 250, 500, 1000,
// 2000, 4000 and every 5000 ms. The first one at or after `outage` seconds is when the device
// that came back is opened.
double expected_reconnect(double outage)
{
    double at = 0, wait = 0.125;
    while (at < outage) {
        at += wait;
        wait = std::min(wait * 2, 5.0);
    }
    return at;
}

TEST(CliRecord, TenUnplugsLoseNoFrameSentWhileTheLineWasUpAndReconnectOnSchedule)
{
    const std::string dir = temp_dir();
    const std::string link = dir + "/soak-link", log = dir + "/soak.dat";
    const std::string frame_times = dir + "/soak-frames", outage_times = dir + "/soak-outages";
    std::remove(log.c_str());
    // Outages of 0.5 to 2 s, none close to an attempt of the back-off, so the expected reconnect
    // does not depend on a few milliseconds either way.
    const std::vector<double> outages = {0.5, 1.0, 0.7, 2.0, 0.6, 1.4, 0.55, 1.6, 1.2, 1.1};
    std::string list;
    for (double o : outages)
        list += (list.empty() ? "" : ",") + std::to_string(static_cast<int>(o * 1000));
    SimProcess sim({"--link", link, "--outage-ms", list, "--frame-times", frame_times, "--outage-times", outage_times});

    pid_t recorder = fork();
    if (recorder == 0) {
        execl(GLANZO_CLI, GLANZO_CLI, "record", "--port", link.c_str(), "-o", log.c_str(), "--seconds", "600",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(recorder, 0);
    auto heard = [&] {
        int n = 0;
        for (const auto& e : event_lines(outage_times))
            n += e.first == "heard";
        return n;
    };
    for (size_t cycle = 0; cycle < outages.size(); ++cycle) {
        // A second or so of the line up, then the cable is pulled; wait until it is heard again.
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        sim.signal(SIGUSR1);
        ASSERT_TRUE(wait_until([&] { return heard() == static_cast<int>(cycle) + 1; }, 15)) << "cycle " << cycle;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    kill(recorder, SIGINT);
    int status = 0;
    waitpid(recorder, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    sim.stop();

    // The line was up from the start until the first outage, and from each reconnect (the first
    // message heard after it) until the next outage or the end.
    std::vector<long long> down, heard_at;
    for (const auto& e : event_lines(outage_times)) {
        if (e.first == "down")
            down.push_back(e.second);
        else if (e.first == "heard")
            heard_at.push_back(e.second);
        else if (e.first == "up") {
            EXPECT_GT(e.second, down.back());
        }
    }
    ASSERT_EQ(down.size(), outages.size());
    ASSERT_EQ(heard_at.size(), outages.size());
    for (size_t i = 0; i < outages.size(); ++i) {
        double took = seconds_between(down[i], heard_at[i]);
        EXPECT_GE(took, outages[i]) << "outage " << i;
        // The slack is for a busy machine; the attempt after the expected one comes 1 s or more later.
        EXPECT_LE(took, expected_reconnect(outages[i]) + 0.9) << "outage " << i << " of " << outages[i] << " s";
    }

    LogContents c = read_log_contents(log);
    ASSERT_FALSE(c.sequence.empty());
    for (size_t i = 1; i < c.sequence.size(); ++i)
        ASSERT_GT(c.sequence[i], c.sequence[i - 1]) << "in order and none twice";
    std::set<uint32_t> logged(c.sequence.begin(), c.sequence.end());
    std::vector<std::pair<std::string, long long>> sent = event_lines(frame_times);   // "SEQUENCE NS"
    size_t checked = 0;
    for (size_t up = 0; up <= outages.size(); ++up) {
        long long from = up == 0 ? 0 : heard_at[up - 1];
        long long to = up == outages.size() ? LLONG_MAX : down[up];
        std::vector<uint32_t> frames, missing;
        for (const auto& f : sent) {
            uint32_t seq = static_cast<uint32_t>(std::stoul(f.first));
            if (f.second > from && f.second < to && seq >= c.sequence.front() && seq <= c.sequence.back())
                frames.push_back(seq);
        }
        for (uint32_t seq : frames)
            if (logged.count(seq) == 0)
                missing.push_back(seq);
        checked += frames.size();
        // A frame may be cut where the line went down or came back, and the reader, taking a whole
        // frame's length after the cut frame's sync pair, loses the start of the one after it.
        // Nothing is lost between.
        for (uint32_t seq : missing)
            EXPECT_TRUE(seq <= frames.front() + 1 || seq >= frames.back() - 1) << "frame " << seq << " lost while up " << up;
        EXPECT_LE(missing.size(), 3u) << "while up " << up;
    }
    EXPECT_GT(checked, 11u * 14u) << "about a second of stream each time the line was up";
    EXPECT_LE(c.bad, static_cast<int>(2 * outages.size()));
}

TEST(CliRecord, RefusesADeviceThatIsNotThere)
{
    std::string err = temp_dir() + "/nodev.err";
    int rc = run_command(std::string(GLANZO_CLI) + " record --port /dev/nonexistent-port -o " + temp_dir() +
                         "/x.dat --seconds 1 2>" + err);
    EXPECT_NE(rc, 0);
    EXPECT_EQ(read_file(err), "glanzo-cli: cannot open /dev/nonexistent-port: No such file or directory\n");
}

}  // namespace

namespace {

// A log of `frames` frames numbered in bytes 90 to 93, as ecm-sim numbers its own, with a time
// record every ten.
std::string numbered_log(const std::string& name, uint32_t frames)
{
    Bytes source;
    for (uint32_t i = 0; i < frames; ++i) {
        FrameRecord f = sample_frame(i);
        f.b[90] = 0;
        f.b[91] = 0;
        f.b[92] = static_cast<uint8_t>(i >> 8);
        f.b[93] = static_cast<uint8_t>(i);
        append(source, frame_bytes(f));
        if (i % 10 == 0)
            append(source, time_record(1, 2, 2024, 3, 4, 5));
    }
    return write_temp_file(name, source);
}

TEST(EcmSim, ReplaysADataLogsFramesInOrder)
{
    std::string src = numbered_log("replay-src.dat", 200);
    SimProcess sim({"--replay", src});
    std::string log = temp_dir() + "/replayed.dat";
    ASSERT_EQ(run_command(std::string(GLANZO_CLI) + " record --port " + sim.device() + " -o " + log +
                          " --seconds 1.5"),
              0);
    LogContents c = read_log_contents(log);
    EXPECT_EQ(c.bad, 0);
    ASSERT_GT(c.sequence.size(), 15u);
    for (size_t i = 1; i < c.sequence.size(); ++i)
        ASSERT_EQ(c.sequence[i], c.sequence[i - 1] + 1);
    EXPECT_LT(c.sequence.back(), 200u);
}

TEST(EcmSim, AReplayedLogThatHasEndedStaysSilentOnAStreamRequestAndStillEndsOnSigterm)
{
    // Two seconds of log under a four-second recording, which asks for the stream every second.
    SimProcess sim({"--replay", numbered_log("replay-short.dat", 34)});
    std::string log = temp_dir() + "/replayed-short.dat";
    ASSERT_EQ(run_command(std::string(GLANZO_CLI) + " record --port " + sim.device() + " -o " + log + " --seconds 4"),
              0);
    LogContents c = read_log_contents(log);
    ASSERT_FALSE(c.sequence.empty());
    for (size_t i = 1; i < c.sequence.size(); ++i)
        ASSERT_EQ(c.sequence[i], c.sequence[i - 1] + 1);
    EXPECT_EQ(c.sequence.back(), 33u) << "the log to its end, and nothing after it";
    EXPECT_TRUE(sim.terminate_within(3)) << "SIGTERM ends the simulator after the log's end";
}

TEST(EcmSim, WithLoopAReplayedLogStartsAgainAtItsEnd)
{
    SimProcess sim({"--replay", numbered_log("replay-loop.dat", 20), "--loop"});
    std::string log = temp_dir() + "/replayed-loop.dat";
    ASSERT_EQ(run_command(std::string(GLANZO_CLI) + " record --port " + sim.device() + " -o " + log + " --seconds 3"),
              0);
    LogContents c = read_log_contents(log);
    ASSERT_GT(c.sequence.size(), 30u) << "more frames than the log holds";
    int starts_again = 0;
    for (size_t i = 1; i < c.sequence.size(); ++i) {
        if (c.sequence[i - 1] == 19u && c.sequence[i] == 0u)
            ++starts_again;
        else
            ASSERT_EQ(c.sequence[i], c.sequence[i - 1] + 1) << "at " << i;
    }
    EXPECT_GE(starts_again, 1);
    EXPECT_TRUE(sim.terminate_within(3));
}

}  // namespace

namespace {

TEST(CliFlash, ReadsAndProgramsABankPrintingEachLineWithItsColour)
{
    SimProcess sim({"--banks", temp_dir() + "/cli-banks.bin"});
    std::string bin = temp_dir() + "/cli-read.bin";
    std::string out = temp_dir() + "/cli-flash.out";
    int rc = run_command(std::string(GLANZO_CLI) + " flash read --port " + sim.device() + " --bank 1 --file " + bin +
                         " --set-active 0 >" + out);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(read_file(out), "normal: Bank Read Starting\nnormal: Bank Read Successful\nnormal: \n"
                              "success:     -Read Successful-\n");
    rc = run_command(std::string(GLANZO_CLI) + " flash program --port " + sim.device() + " --bank 6 --file " + bin +
                     " --verify 1 >" + out);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(read_file(out), "normal: Bank Flash Program Starting\nnormal: Flash Bank Set\nnormal: Bank Verify Starting\n"
                              "normal: Bank Programmed Successfully\nnormal: \nsuccess:     -Flashing Successful-\n");
    std::string err = temp_dir() + "/cli-flash.err";
    rc = run_command(std::string(GLANZO_CLI) + " flash program --port " + sim.device() + " --bank 6 --file " +
                     temp_dir() + "/missing.bin >" + out + " 2>" + err);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(read_file(out), "error: Failed opening BIN File\nnormal: \nfailure:      -Flashing Failed-\n");
    EXPECT_EQ(read_file(err), "glanzo-cli: programming bank 6 failed: Failed opening BIN File\n");
    rc = run_command(std::string(GLANZO_CLI) + " flash read --port " + sim.device() + " --bank 2 --file " +
                     temp_dir() + "/no/such/dir.bin >" + out + " 2>" + err);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(read_file(err), "glanzo-cli: reading bank 2 failed: Failed opening BIN File\n");
}

}  // namespace
