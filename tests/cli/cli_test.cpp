// glanzo-cli as a user runs it: the program, its arguments, its output and exit code.
#include <gtest/gtest.h>

#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "analysis/channels.h"
#include "config/config.h"
#include "config/devices.h"
#include "config/settings.h"
#include "support/live.h"
#include "support/log_builder.h"
#include "support/sim_process.h"

namespace {

struct CliRun {
    int exit_code;
    std::string out, err;
};

CliRun run_cli(const std::string& args)
{
    std::string out = temp_dir() + "/cli.out", err = temp_dir() + "/cli.err";
    std::string cmd = std::string(GLANZO_CLI) + " " + args + " >" + out + " 2>" + err;
    int status = std::system(cmd.c_str());
    return CliRun{WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(out), read_file(err)};
}

std::string hex(const FrameRecord& f)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t b : f.b) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

TEST(CliFrames, PrintsOneJsonObjectPerFrameWithMarkerAndTimeTexts)
{
    Bytes log = frame_bytes(sample_frame(1));
    append(log, insert_at(frame_bytes(sample_frame(2)), 60, marker_record(7, 3, 7, 2013, 14, 5, 9)));
    append(log, frame_bytes_bad_crc(sample_frame(3)));
    Bytes t = time_record(12, 31, 2024, 23, 59, 58);
    t[8] = '"';    // text bytes are any bytes: a quote, a control byte and a high byte
    t[9] = 0x01;
    t[10] = 0xE9;
    append(log, t);
    append(log, frame_bytes(sample_frame(4)));
    std::string path = write_temp_file("cli-frames.dat", log);

    CliRun r = run_cli("frames " + path);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "");
    std::string expected =
        "{\"status\":\"ok\",\"marker\":null,\"time\":null,\"payload\":\"" + hex(sample_frame(1)) + "\"}\n" +
        "{\"status\":\"ok\",\"marker\":\"007\",\"time\":\" 03/07/2013 - 14:05:09\",\"payload\":\"" +
        hex(sample_frame(2)) + "\"}\n" + "{\"status\":\"bad_crc\",\"marker\":null,\"time\":null}\n" +
        "{\"status\":\"ok\",\"marker\":null,\"time\":\" 12\\\"\\u0001\xC3\xA9/2024 - 23:59:58\",\"payload\":\"" +
        hex(sample_frame(4)) + "\"}\n";
    EXPECT_EQ(r.out, expected);
}

TEST(CliFrames, FailsWithOneLineForAMissingLogAndPrintsNothingForAnEmptyOne)
{
    CliRun missing = run_cli("frames " + temp_dir() + "/absent.dat");
    EXPECT_NE(missing.exit_code, 0);
    EXPECT_EQ(missing.err, "glanzo-cli: cannot open " + temp_dir() + "/absent.dat: No such file or directory\n");

    CliRun empty = run_cli("frames " + write_temp_file("empty.dat", Bytes()));
    EXPECT_EQ(empty.exit_code, 0);
    EXPECT_EQ(empty.out, "");
}

TEST(CliConfig, RewriteLoadsWithTheReaderAndWritesWithTheWriter)
{
    std::string in = write_temp_file("in.cfg", Bytes());
    {
        std::string text = "[PORT] /dev/ttyUSB1\n[LRNLWR] 500\n[UD10NAME] Boost gauge \n[TOTALPW] 5\n";
        FILE* f = std::fopen(in.c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    std::string out = temp_dir() + "/out.cfg";
    CliRun r = run_cli("config rewrite " + in + " " + out);
    EXPECT_EQ(r.exit_code, 0) << r.err;

    // The same result in this process, from the same reader and writer.
    reset_settings();
    g_settings.port = "/dev/ttyUSB1";
    g_settings.lrnlwr = 80;
    g_settings.ud[10].name = "Boost gauge";
    std::string expected_path = temp_dir() + "/expected.cfg";
    set_config_path(expected_path);
    ASSERT_EQ(save_config(), 0);
    EXPECT_EQ(read_file(out), read_file(expected_path));
    reset_settings();
}

TEST(CliConfig, RefusesAMissingInputOrAnUnwritableOutputWithOneLine)
{
    CliRun missing = run_cli("config rewrite " + temp_dir() + "/none.cfg " + temp_dir() + "/o.cfg");
    EXPECT_NE(missing.exit_code, 0);
    EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1);

    std::string in = write_temp_file("in2.cfg", Bytes());
    CliRun unwritable = run_cli("config rewrite " + in + " " + temp_dir() + "/no/such/dir.cfg");
    EXPECT_NE(unwritable.exit_code, 0);
    EXPECT_EQ(unwritable.err, "Configuration File Error: Can not open Configuration File:    " + temp_dir() +
                                  "/no/such/dir.cfg\n");
}

// A BIN file the VE learner accepts: its serial, the signature, any table.
Bytes learnable_bin()
{
    Bytes bin(32768, 0x40);
    bin[0] = 0;
    bin[1] = 5;
    bin[2] = 'Z';
    bin[3] = 'O';
    bin[4] = 'V';
    bin[5] = '8';
    return bin;
}

TEST(Cli, EveryFailurePrintsExactlyOneLineOnStderr)
{
    const std::string dir = temp_dir();
    const std::string log = write_temp_file("one-line.dat", frame_bytes(sample_frame(1)));
    const std::string bin = write_temp_file("one-line.bin", learnable_bin());
    const std::string missing = dir + "/absent.dat";
    const std::string table = write_temp_file("three-rows.tbl", Bytes(3 * 109, ' '));
    const std::string not_bin = write_temp_file("not-a-calibration.bin", Bytes{0x01, 0x2C, 'Z', 'O', 'X', '8', 0});
    // A table the smoother cannot fit at this factor (ier 3), from its fixtures.
    std::string noisy;
    {
        std::string fixtures = read_file(std::string(GLANZO_SOURCE_DIR) + "/tests/velearn/smoother_fixtures.txt");
        size_t at = fixtures.find("case noise-a 1e-06 3\n");
        ASSERT_NE(at, std::string::npos);
        at += std::strlen("case noise-a 1e-06 3\n");
        size_t end = at;
        for (int row = 0; row < 35; ++row)
            end = fixtures.find('\n', end) + 1;
        std::string rows = fixtures.substr(at, end - at);
        noisy = write_temp_file("noisy.txt", Bytes(rows.begin(), rows.end()));
    }
    struct Case {
        const char* what;
        std::string args;
    };
    const Case cases[] = {
        {"no command", ""},
        {"an unknown command", "frobnicate"},
        {"a usage error", "table " + log},
        {"a configuration that is not there", "--config " + dir + "/missing.cfg frames " + log},
        {"a missing log to decode", "frames " + missing},
        {"a missing configuration to rewrite", "config rewrite " + dir + "/none.cfg " + dir + "/o.cfg"},
        {"a configuration written into no folder", "config rewrite " + bin + " " + dir + "/no/such/o.cfg"},
        {"a missing log to tabulate", "table " + missing + " -o " + dir + "/t.tbl"},
        {"a table written into no folder", "table " + log + " -o " + dir + "/no/such/t.tbl"},
        {"a missing log to export", "export " + missing},
        {"an export written into no folder", "export " + log + " -o " + dir + "/no/such/x.csv"},
        {"a missing table to time", "qmile " + missing},
        {"a missing BIN to check", "bin check " + missing},
        {"a file to check that is no calibration BIN", "bin check " + not_bin},
        {"a table the smoother cannot fit", "smooth 1e-06 <" + noisy},
        {"a missing BIN to convert", "bin convert " + missing + " " + dir + "/c.bin"},
        {"a smoothing factor that is no number", "smooth abc"},
        {"a smoothing factor that is not finite", "smooth inf"},
        {"a start row beyond 64 bits", "qmile " + table + " --start-row 18446744073709551615"},
        {"a start row beyond the multiplication", "qmile " + table + " --start-row 9223372036854775807"},
        {"a start row past the table", "qmile " + table + " --start-row 3"},
        {"a negative start row", "qmile " + table + " --start-row -1"},
        {"a start row with more after it", "qmile " + table + " --start-row 1x"},
        {"recording seconds beyond a double", "record --port /dev/null -o " + dir + "/r.dat --seconds 1e400"},
        {"recording seconds beyond the clock", "record --port /dev/null -o " + dir + "/r.dat --seconds 1e12"},
        {"a marker interval that is no number", "record --port /dev/null -o " + dir + "/r.dat --seconds 1 --mark-every x"},
        {"a learn run from a missing BIN", "velearn " + log + " --from " + missing + " --to " + dir + "/n.bin"},
        {"a learn run from a file that is no BIN", "velearn " + log + " --from " + log + " --to " + dir + "/n.bin"},
        {"a learned BIN written into no folder",
         "velearn " + log + " --from " + bin + " --to " + dir + "/no/such/n.bin"},
        {"a recording from no device", "record --port /dev/nonexistent-port -o " + dir + "/r.dat --seconds 1"},
        {"flashing over no device", "flash read --port /dev/nonexistent-port --bank 1 --file " + dir + "/f.bin"},
        {"the channels of a missing log", "channels " + missing},
        {"the channels of two logs", "channels " + log + " " + log},
    };
    for (const Case& c : cases) {
        CliRun r = run_cli(c.args.find('<') == std::string::npos ? c.args + " </dev/null" : c.args);
        EXPECT_NE(r.exit_code, 0) << c.what;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.what << ":\n" << r.err;
    }
}

TEST(CliQmile, AStartRowMustBeARowOfTheTable)
{
    std::string table = write_temp_file("two-rows.tbl", Bytes(2 * 109, ' '));
    CliRun last = run_cli("qmile " + table + " --start-row 1");
    EXPECT_EQ(last.exit_code, 0) << last.err;
    CliRun past = run_cli("qmile " + table + " --start-row 2");
    EXPECT_EQ(past.exit_code, 1);
    EXPECT_EQ(past.err, "glanzo-cli: --start-row 2 is past the table's last row (it has 2)\n");
    CliRun huge = run_cli("qmile " + table + " --start-row 18446744073709551615");
    EXPECT_EQ(huge.exit_code, 1);
    EXPECT_EQ(huge.err, "glanzo-cli: --start-row takes a row number from 0, not '18446744073709551615'\n");
    EXPECT_EQ(huge.out, "");
}

TEST(Cli, AFolderWhereAFileIsReadCannotBeOpened)
{
    std::string dir = temp_dir() + "/in.dat";
    std::filesystem::create_directories(dir);
    std::string bin = write_temp_file("folder-test.bin", learnable_bin());
    const std::string commands[] = {
        "frames " + dir,
        "table " + dir + " -o " + temp_dir() + "/out.tbl",
        "export " + dir + " -o " + temp_dir() + "/out.csv",
        "qmile " + dir,
        "qmile " + temp_dir(),
        "velearn " + dir + " --from " + bin + " --to " + temp_dir() + "/folder-new.bin",
        "bin check " + temp_dir(),
        "config rewrite " + temp_dir() + " " + temp_dir() + "/o.cfg",
        "channels " + dir,
    };
    for (const std::string& c : commands) {
        CliRun r = run_cli(c);
        EXPECT_EQ(r.exit_code, 1) << c;
        EXPECT_NE(r.err.find("glanzo-cli: cannot open "), std::string::npos) << c << ": " << r.err;
        EXPECT_NE(r.err.find(": Is a directory\n"), std::string::npos) << c << ": " << r.err;
    }
    EXPECT_EQ(access((temp_dir() + "/out.tbl").c_str(), F_OK), -1) << "no empty result is left";
}

TEST(CliConfig, RewriteWritesThroughALinkAndRefusesWhatIsNoRegularFile)
{
    std::string in = write_temp_file("link-in.cfg", Bytes{'[', 'R', 'D', 'L', 'N', ']', ' ', '9', '\n'});
    std::string target = write_temp_file("link-target.cfg", Bytes{'x'});
    std::string link = temp_dir() + "/link-out.cfg";
    std::remove(link.c_str());
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    CliRun r = run_cli("config rewrite " + in + " " + link);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(std::filesystem::is_symlink(link)) << "the link is kept";
    EXPECT_NE(read_file(target).find("[ID] "), std::string::npos) << "and its target rewritten";

    std::string fifo = temp_dir() + "/out-pipe.cfg";
    std::remove(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    r = run_cli("config rewrite " + in + " " + fifo);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "Configuration File Error: Can not open Configuration File:    " + fifo + "\n");
    EXPECT_EQ(std::filesystem::status(fifo).type(), std::filesystem::file_type::fifo);
}

// The names, one a line, that the settings in force give the log graph.
std::string catalogue_lines()
{
    build_device_catalogue();
    rebuild_channel_state();
    std::string lines;
    for (const ChannelInfo& channel : channel_catalogue())
        lines += channel.name + "\n";
    return lines;
}

TEST(CliChannels, ListTheLogGraphsChannelsOfTheConfigurationWhateverTheLogHolds)
{
    reset_everything();
    const std::string defaults = catalogue_lines();
    // Any readable file is a log, if a damaged one: its channels are still the settings' own.
    const std::string logs[] = {write_temp_file("channels.dat", frame_bytes(sample_frame(1))),
                                write_temp_file("channels-empty.dat", Bytes()),
                                write_temp_file("channels-noise.dat", Bytes(5000, 0xA5))};
    for (const std::string& log : logs) {
        CliRun r = run_cli("channels " + log);
        EXPECT_EQ(r.exit_code, 0) << log << ": " << r.err;
        EXPECT_EQ(r.out, defaults) << log;
        EXPECT_EQ(r.err, "");
    }
    EXPECT_EQ(defaults.substr(0, defaults.find('\n')), channel_catalogue().front().name);

    // A wideband on ADC channel 2 adds its channel, named as the graph names it.
    g_settings.ad[2].type = DEVICE_WIDEBAND;
    g_settings.ad[2].index = 1;
    g_settings.ad[2].insta = 1;
    const std::string with_wideband = catalogue_lines();
    ASSERT_NE(with_wideband, defaults);
    std::string config = temp_dir() + "/channels.cfg";
    set_config_path(config);
    ASSERT_EQ(save_config(), 0);
    CliRun r = run_cli("--config " + config + " channels " + logs[0]);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, with_wideband);
    reset_everything();
}

TEST(Cli, RejectsUnknownCommandsAndAMissingConfig)
{
    EXPECT_NE(run_cli("frobnicate").exit_code, 0);
    EXPECT_NE(run_cli("").exit_code, 0);
    CliRun r = run_cli("--config " + temp_dir() + "/missing.cfg frames x");
    EXPECT_NE(r.exit_code, 0);
    EXPECT_NE(r.err.find("missing.cfg"), std::string::npos);
}

}  // namespace

namespace {

TEST(CliBin, CheckPrintsTheSerialNumberOrExitsWith2)
{
    CliRun good = run_cli("bin check " + write_temp_file("serial.bin", Bytes{0x01, 0x2C, 'Z', 'O', 'V', '8', 0}));
    EXPECT_EQ(good.exit_code, 0);
    EXPECT_EQ(good.out, "300\n");
    CliRun bad = run_cli("bin check " + write_temp_file("notbin.bin", Bytes{0x01, 0x2C, 'Z', 'O', 'V'}));
    EXPECT_EQ(bad.exit_code, 2);
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(run_cli("bin check " + temp_dir() + "/absent.bin").exit_code, 0);
}

// A device the user may not open, or one another program holds exclusively: the commands that
// talk to the ECM say why, and what to do, as their one line. Root opens any device whatever its
// mode and holder, so as root the programs run as the unprivileged user "nobody".
struct RefusedPort {
    const char* what;
    bool held_by_another;
    const char* reason;
};

class CliPortRefusal : public ::testing::TestWithParam<RefusedPort> {};

TEST_P(CliPortRefusal, RecordFlashAndTheUpdaterSayWhyAndWhatToDoInTheirOneLine)
{
    const RefusedPort& p = GetParam();
    int master = -1, slave = -1;
    char name[256];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    if (p.held_by_another) {
        ASSERT_EQ(chmod(name, 0666), 0);
        ASSERT_EQ(ioctl(slave, TIOCEXCL), 0);
    } else {
        ASSERT_EQ(chmod(name, 0), 0);
    }
    // A folder the programs may reach and write, whoever they run as.
    char folder[] = "/tmp/glanzo-refused-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string dir = folder;
    ASSERT_EQ(chmod(folder, 0777), 0);
    std::string as_user = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    const std::string line = std::string("cannot open ") + name + ": " + p.reason + "\n";
    struct Program {
        std::string command, prefix;
    };
    const Program programs[] = {
        {std::string(GLANZO_CLI) + " record --port " + name + " -o " + dir + "/r.dat --seconds 1", "glanzo-cli: "},
        {std::string(GLANZO_CLI) + " flash read --port " + name + " --bank 1 --file " + dir + "/f.bin", "glanzo-cli: "},
        {std::string(GLANZO_UPDATER) + " --config " + dir + "/u.cfg --run --port " + name, "ZOV_J8Update: "},
    };
    for (const Program& program : programs) {
        std::string err = dir + "/err";
        int rc = run_command("cd " + dir + " && " + as_user + program.command + " >/dev/null 2>" + err);
        EXPECT_EQ(rc, 1) << program.command;
        EXPECT_EQ(read_file(err), program.prefix + line) << program.command;
    }
    std::filesystem::remove_all(dir);
    close(master);
    close(slave);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliPortRefusal,
    ::testing::Values(RefusedPort{"ADeviceWhoseModeForbidsTheUser", false,
                                  "permission denied; add your user to the dialout group: sudo usermod -aG "
                                  "dialout $USER, then log in again"},
                      RefusedPort{"ADeviceAnotherProgramHoldsExclusively", true,
                                  "another program has it open; close that program first"}),
    [](const ::testing::TestParamInfo<RefusedPort>& param) { return std::string(param.param.what); });

}  // namespace
