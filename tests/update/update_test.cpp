// The updater against the simulated ECM, and the calibration conversion.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "flash/bin_file.h"
#include "support/full_disk.h"
#include "support/live.h"
#include "support/sim_process.h"
#include "update/firmware.h"
#include "update/update.h"

#ifndef GLANZO_UPDATER
#error "GLANZO_UPDATER must name the ZOV_J8Update program"
#endif

namespace {

struct UpdateRun {
    int exit_code;
    std::vector<std::string> lines;
    std::string err;
};

// Lines as one text, so that a failure shows where they differ.
std::string joined(const std::vector<std::string>& lines)
{
    std::string s;
    for (const std::string& l : lines)
        s += l + "\n";
    return s;
}

// Runs the updater headless in `dir` against the simulator keeping its banks in `banks`.
UpdateRun run_updater(const std::string& dir, const std::string& banks, const std::vector<std::string>& faults = {})
{
    std::vector<std::string> args = {"--banks", banks, "--baud", "921600"};
    for (const std::string& f : faults) {
        args.push_back("--fault");
        args.push_back(f);
    }
    SimProcess sim(args);
    std::string out = dir + "/run.out", err = dir + "/run.err";
    int rc = run_command("cd '" + dir + "' && " + GLANZO_UPDATER + " --config '" + dir + "/u.cfg' --run --port " +
                         sim.device() + " > '" + out + "' 2> '" + err + "'");
    sim.stop();
    UpdateRun r{rc, {}, read_file(err)};
    std::string text = read_file(out);
    size_t start = 0, end;
    while ((end = text.find('\n', start)) != std::string::npos) {
        r.lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return r;
}

std::vector<std::string> reading_lines(bool exist)
{
    std::vector<std::string> l = {"normal: Updating your ZOV J8 Flash ECM", "normal: Reading Calibrations"};
    for (int n = 0; n < 8; ++n) {
        l.push_back("normal: Bank #: " + std::to_string(n) + " ");
        l.push_back(exist ? "normal:     -Calibration Exists-" : "normal: Bank Read Successful");
    }
    l.push_back("normal: Creating New Calibrations");
    for (int n = 0; n < 8; ++n)
        l.push_back("normal: Bank #: " + std::to_string(n) + " ");
    l.push_back("normal: Programming Banks...");
    return l;
}

void add_bank(std::vector<std::string>& l, int n, bool already)
{
    l.push_back("normal: Bank #: " + std::to_string(n) + " ");
    l.push_back(already ? "normal: Bank Already Updated" : "success: Bank Updated/Verified Successfully");
}

std::vector<uint8_t> read_bytes(const std::string& path)
{
    std::string s = read_file(path);
    return std::vector<uint8_t>(s.begin(), s.end());
}

TEST(Updater, UpdatesEveryBankAndARunAfterAFailureReusesTheSavedCalibrations)
{
    std::string dir = fresh_dir("update");
    std::string banks = dir + "/ecm-banks.bin";

    // First run: the second erase of bank 2 is refused. Messages: 16 while reading, 268 for each
    // bank programmed, then bank 2's info, bin request and erases.
    UpdateRun first = run_updater(dir, banks, {"nak:" + std::to_string(16 + 2 * 268 + 2 + 2)});
    std::vector<std::string> want = reading_lines(false);
    add_bank(want, 0, false);
    add_bank(want, 1, false);
    want.push_back("normal: Bank #: 2 ");
    want.insert(want.end(), {"error: TxSlEraseSector Failed", "failure: BIN Programing FAILED!", "normal: ",
                             "failure:      -Update Failed-"});
    EXPECT_EQ(first.exit_code, 1);
    EXPECT_EQ(joined(first.lines), joined(want));
    EXPECT_EQ(first.err, "ZOV_J8Update: update failed: TxSlEraseSector Failed\n");

    for (int n = 0; n < 8; ++n) {
        struct stat st;
        ASSERT_EQ(stat((dir + "/" + old_bin_name(n)).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0444u) << "the old calibration is kept read-only";
        EXPECT_EQ(st.st_size, 32768);
    }

    // Bank 1 now carries the new firmware but one byte of it is spoilt.
    std::vector<uint8_t> flash = read_bytes(banks);
    ASSERT_EQ(flash.size(), 8u * 32768u);
    flash[32768 + 20000] ^= 0x01;
    write_temp_file("update/ecm-banks.bin", Bytes(flash.begin(), flash.end()));

    UpdateRun second = run_updater(dir, banks);
    want = reading_lines(true);
    add_bank(want, 0, true);
    for (int n = 1; n < 8; ++n)
        add_bank(want, n, false);
    want.insert(want.end(), {"normal: ZOV J8 Flash Update Completed...", "normal: ", "success:     -Update Successful-"});
    EXPECT_EQ(second.exit_code, 0);
    EXPECT_EQ(joined(second.lines), joined(want));
    EXPECT_EQ(second.err, "");

    flash = read_bytes(banks);
    const auto& firmware = firmware_block();
    for (int n = 0; n < 8; ++n) {
        std::vector<uint8_t> cal = read_bytes(dir + "/" + new_bin_name(n));
        ASSERT_EQ(cal.size(), 32768u);
        EXPECT_EQ(0, std::memcmp(flash.data() + n * 32768, cal.data(), 8192)) << "bank " << n;
        EXPECT_EQ(0, std::memcmp(flash.data() + n * 32768 + 8192, firmware.data(), firmware.size())) << "bank " << n;
        EXPECT_EQ(cal[9], 1);
        EXPECT_EQ(cal[10], 2);
    }
}

TEST(Updater, AFailedSaveDeletesItsHalfWrittenFile)
{
    std::string dir = fresh_dir("failed-save");
    // Message 8 is bank 3's calibration request.
    UpdateRun r = run_updater(dir, dir + "/ecm-banks.bin", {"no-reply:8"});
    EXPECT_EQ(r.exit_code, 1);
    ASSERT_GE(r.lines.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(r.lines.end() - 4, r.lines.end()),
              (std::vector<std::string>{"error: RX Timeout 1", "error: TxSlRequestCal Failed", "normal: ",
                                        "failure:      -Update Failed-"}));
    EXPECT_EQ(access((dir + "/" + old_bin_name(2)).c_str(), F_OK), 0);
    EXPECT_NE(access((dir + "/" + old_bin_name(3)).c_str(), F_OK), 0);
}

// An old calibration of this version, as a bank read leaves it.
std::string old_calibration(const std::string& name, uint8_t major, uint8_t minor, size_t size = 32768)
{
    Bytes b(size, 0xFF);
    for (size_t i = 0; i < size && i < 8192; ++i)
        b[i] = static_cast<uint8_t>(i * 7 + 3);
    if (size > 10) {
        std::memcpy(b.data() + 2, "ZOV8", 4);
        b[9] = major;
        b[10] = minor;
    }
    return write_temp_file(name, b);
}

TEST(Conversion, SetsVersion12AndPatchesOnlyVersions10And11)
{
    const int patched[] = {1899, 1900, 1901, 1902, 1903, 1904, 1905, 1906, 1907, 2254};
    const uint8_t values[] = {0xFE, 0xC8, 0xC0, 0xC0, 0xC0, 0xC0, 0xC0, 0xC0, 0x10, 0x05};
    for (auto [major, minor, patches] : {std::tuple{1, 0, true}, {1, 1, true}, {1, 2, false}, {2, 3, false}}) {
        SCOPED_TRACE(std::to_string(major) + "." + std::to_string(minor));
        std::string old_path = old_calibration("old.bin", static_cast<uint8_t>(major), static_cast<uint8_t>(minor));
        std::string new_path = temp_dir() + "/new.bin";
        std::string error;
        ASSERT_EQ(convert_calibration(old_path, new_path, error), 0) << error;
        std::vector<uint8_t> o = read_bytes(old_path), n = read_bytes(new_path);
        ASSERT_EQ(n.size(), 32768u);
        EXPECT_EQ(n[9], 1);
        EXPECT_EQ(n[10], 2);
        for (int i = 0; i < 8192; ++i) {
            if (i == 6 || i == 7 || i == 9 || i == 10)
                continue;
            const int* p = std::find(std::begin(patched), std::end(patched), i);
            if (patches && p != std::end(patched))
                ASSERT_EQ(n[i], values[p - patched]) << "offset " << i;
            else
                ASSERT_EQ(n[i], o[i]) << "offset " << i;
        }
        BinImage img;
        std::memcpy(img.data(), n.data(), img.size());
        uint32_t cal_sum = 0;
        for (int i = 8; i < 8192; ++i)
            cal_sum += n[i];
        EXPECT_EQ(stored_checksum(img), static_cast<uint16_t>(cal_sum));
        EXPECT_EQ(bin_checksum(img), stored_checksum(img));
        EXPECT_EQ(n[8192], 0xFF);
        EXPECT_EQ(0, std::memcmp(n.data() + 32000 + 528, "  ZOV_J8 Flash  ", 16));
    }
}

TEST(Conversion, ReportsShortMissingAndUnwritableFiles)
{
    std::string error;
    EXPECT_EQ(convert_calibration(old_calibration("short.bin", 1, 0, 8191), temp_dir() + "/n.bin", error), -1);
    EXPECT_EQ(error, "Calibration File Read Failure");
    EXPECT_EQ(convert_calibration(temp_dir() + "/missing.bin", temp_dir() + "/n.bin", error), -1);
    EXPECT_EQ(error, "Calibration File Open Failed");
    EXPECT_EQ(convert_calibration(old_calibration("ok.bin", 1, 2, 8192), temp_dir() + "/no/dir/n.bin", error), -1);
    EXPECT_EQ(error, "New Calibration File Open Failed");
    EXPECT_EQ(convert_calibration(old_calibration("ok2.bin", 1, 2, 8192), "/dev/null", error), -1);
    EXPECT_EQ(error, "New Calibration File Open Failed") << "a device is no BIN file";
    EXPECT_EQ(convert_calibration(temp_dir(), temp_dir() + "/n.bin", error), -1);
    EXPECT_EQ(error, "Calibration File Open Failed") << "a folder is no BIN file";
    FullDisk disk;
    std::string ok = old_calibration("ok3.bin", 1, 2, 8192);
    disk.fill(0);
    EXPECT_EQ(convert_calibration(ok, disk.folder() + "/n.bin", error), -1);
    EXPECT_EQ(error, "New Calibration File Write Failure");
    disk.empty();
    EXPECT_TRUE(files_in(disk.folder()).empty()) << "no half-written file is left";
}

TEST(BinUpdate, NamesTheNewFileAndReportsAsTheWindowWould)
{
    EXPECT_EQ(bin_update_name("/cal/my.bin"), "/cal/my_new.bin");
    EXPECT_EQ(bin_update_name("cal"), "cal_new.bin");
    EXPECT_EQ(bin_update_name("/a.b/cal"), "/a.b/cal_new.bin");
    EXPECT_EQ(bin_update_name("/x/tune.BIN"), "/x/tune_new.BIN");

    std::string dir = fresh_dir("binupdate");
    std::string cal = old_calibration("binupdate/cal", 1, 1);
    std::string out = dir + "/out.txt", err = dir + "/err.txt";
    int rc = run_command(std::string(GLANZO_UPDATER) + " --config " + dir + "/u.cfg --bin-update " + cal + " >" + out +
                         " 2>" + err);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(read_file(out), "SUCCESS!:             New BIN has been Created             \n");
    EXPECT_EQ(read_file(dir + "/cal_new.bin").size(), 32768u);
    EXPECT_NE(read_file(dir + "/u.cfg").find("[FLSHBIN] " + cal + "\r\n"), std::string::npos);

    // glanzo-cli converts the same way.
    ASSERT_EQ(run_command(std::string(GLANZO_CLI) + " bin convert " + cal + " " + dir + "/cli.bin"), 0);
    EXPECT_EQ(read_file(dir + "/cli.bin"), read_file(dir + "/cal_new.bin"));

    std::string not_bin = write_temp_file("binupdate/text.bin", Bytes{'h', 'e', 'l', 'l', 'o', '!', '!'});
    rc = run_command(std::string(GLANZO_UPDATER) + " --config " + dir + "/u.cfg --bin-update " + not_bin + " >" +
                     out + " 2>" + err);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(read_file(err), "Incorrect BIN File: Not an ZOV Flash BIN\n");
}

}  // namespace
