// glanzo-cli record against the simulated ECM.
#include <gtest/gtest.h>

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
    EXPECT_GE(c.good, 35);
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

TEST(EcmSim, ReplaysADataLogsFramesInOrder)
{
    Bytes source;
    for (uint32_t i = 0; i < 200; ++i) {
        FrameRecord f = sample_frame(i);
        f.b[90] = 0;
        f.b[91] = 0;
        f.b[92] = static_cast<uint8_t>(i >> 8);
        f.b[93] = static_cast<uint8_t>(i);
        append(source, frame_bytes(f));
        if (i % 10 == 0)
            append(source, time_record(1, 2, 2024, 3, 4, 5));
    }
    std::string src = write_temp_file("replay-src.dat", source);
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
