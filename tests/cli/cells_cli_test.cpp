// glanzo-cli cells as a user runs it: the JSON object, the table a spreadsheet finds from the
// exported CSV, the corrected BIN byte for byte, and the failures (exit code, one line, nothing
// written).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "support/cells_log.h"
#include "velearn/smoother.h"
#include "support/log_builder.h"
#include "support/param_name.h"

namespace {

struct CliRun {
    int exit_code;
    std::string out, err;
};

CliRun run_cli(const std::string& args)
{
    std::string out = temp_dir() + "/cells.out", err = temp_dir() + "/cells.err";
    std::string cmd = std::string(GLANZO_CLI) + " " + args + " >" + out + " 2>" + err;
    int status = std::system(cmd.c_str());
    return CliRun{WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(out), read_file(err)};
}

std::string number(double v)
{
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

TEST(CliCells, PrintsTheTableAsOneJsonObjectOnOneLine)
{
    std::string log = cells_log("cli-cells.dat", {{10, 100, 50}, {15, 100, 60}, {16, 100, 71}, {40, 250, 80}});
    CliRun r = run_cli("cells " + log + " --z blm --x INT --x-axis 10,20.5 --y IAC --y-axis 100,200 --stat mean");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "{\"x\":{\"channel\":\"INT\",\"axis\":[10,20.5]},\"y\":{\"channel\":\"IAC\",\"axis\":[100,200]},"
              "\"z\":\"BLM\",\"stat\":\"mean\",\"weighting\":\"nearest\",\"samples\":4,\"kept\":4,\"cells\":["
              "[{\"hits\":2,\"weight\":2,\"value\":55},{\"hits\":1,\"weight\":1,\"value\":71}],"
              "[{\"hits\":0,\"weight\":0,\"value\":null},{\"hits\":1,\"weight\":1,\"value\":80}]]}\n");

    CliRun counted = run_cli("cells " + log + " --z BLM --x INT --x-axis 10,20.5 --y IAC --y-axis 100,200 "
                             "--stat count --min-hits 2 --weighting nearest");
    EXPECT_NE(counted.out.find("\"stat\":\"count\""), std::string::npos);
    EXPECT_NE(counted.out.find("[{\"hits\":2,\"weight\":2,\"value\":2},{\"hits\":1,\"weight\":1,\"value\":null}]"),
              std::string::npos)
        << counted.out;
}

// ---- The exported CSV, read as a spreadsheet reads it ------------------------------------------

struct Csv {
    std::vector<std::string> heading;
    std::vector<std::vector<std::string>> rows;

    // The values of the first column named `name`, as numbers (Y/N as 1/0, hh:mm:ss in seconds).
    std::vector<double> column(const std::string& name) const
    {
        size_t c = 0;
        while (c < heading.size() && heading[c] != name)
            ++c;
        std::vector<double> out;
        for (const auto& row : rows) {
            const std::string& t = row.at(c);
            if (t == "Y" || t == "N")
                out.push_back(t == "Y" ? 1 : 0);
            else if (t.size() == 8 && t[2] == ':')
                out.push_back(std::stoi(t.substr(0, 2)) * 3600 + std::stoi(t.substr(3, 2)) * 60 + std::stoi(t.substr(6)));
            else
                out.push_back(std::strtod(t.c_str(), nullptr));
        }
        return out;
    }
};

Csv read_csv(const std::string& path)
{
    Csv csv;
    std::istringstream in(read_file(path));
    std::string line;
    bool first = true;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> fields;
        std::string field;
        std::istringstream split(line);
        while (std::getline(split, field, ','))
            fields.push_back(field);
        if (first)
            csv.heading = fields;
        else
            csv.rows.push_back(fields);
        first = false;
    }
    return csv;
}

const std::vector<double> VE_MAP = {20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 80, 90, 100};
const std::vector<double> VE_RPM = {400,  500,  600,  700,  800,  900,  1000, 1100, 1200, 1300, 1400, 1500,
                                    1600, 1700, 1800, 1900, 2000, 2200, 2400, 2600, 2800, 3000, 3200, 3400,
                                    3600, 4000, 4400, 4800, 5200, 5600, 6000, 6500, 7000, 7500, 8000};

size_t nearest(const std::vector<double>& axis, double v)
{
    size_t best = 0;
    for (size_t i = 1; i < axis.size(); ++i)
        if (std::fabs(v - axis[i]) < std::fabs(v - axis[best]))
            best = i;
    return best;
}

// A calibration BIN whose bytes follow from a seed, with the signature and serial 0x12FF.
std::vector<uint8_t> source_bin()
{
    std::vector<uint8_t> bin(32768);
    uint32_t x = 7;
    for (uint8_t& b : bin) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    bin[0] = 0x12;
    bin[1] = 0xFF;
    bin[2] = 'Z';
    bin[3] = 'O';
    bin[4] = 'V';
    bin[5] = '8';
    return bin;
}

// Where VE grid row r (0 = 400 RPM) lies in a BIN: rows up to 2000 RPM in the low-speed block
// at 12, from 2000 to 6000 RPM in the main block at 253, from 6000 RPM in the high-speed block at
// 3587; 2000 and 6000 RPM are read from the higher block and written into both.
std::vector<long> ve_row_offsets(size_t r, bool writing)
{
    std::vector<long> at;
    if (r <= 16 && (writing || r < 16))
        at.push_back(12 + static_cast<long>(r) * 14);
    if (r >= 16 && r <= 30 && (writing || r < 30))
        at.push_back(253 + static_cast<long>(r - 16) * 14);
    if (r >= 30)
        at.push_back(3587 + static_cast<long>(r - 30) * 14);
    return at;
}

TEST(CliCells, AgreesWithTheExportedCsvAndMultipliesTheTableOntoTheBinByteForByte)
{
    std::string log = temp_dir() + "/cells-drive.dat";
    ASSERT_EQ(std::system((std::string(GLANZO_ECM_SIM) + " --write-log " + log + " --seconds 240 >/dev/null").c_str()), 0);
    std::string csv_path = temp_dir() + "/cells-drive.csv";
    ASSERT_EQ(run_cli("export " + log + " -o " + csv_path + " --csv --single-header").exit_code, 0);
    Csv csv = read_csv(csv_path);
    std::vector<double> map = csv.column("MAP"), rpm = csv.column("RPM"), blm = csv.column("BLM"),
                        cl = csv.column("Cl");
    const long n = static_cast<long>(map.size());
    ASSERT_GT(n, 1000);

    // BLM read 0.2 s late (round(3.4) = 3 frames), as a correction in per cent, in closed loop.
    const long lag = 3;
    std::vector<double> sum(VE_RPM.size() * VE_MAP.size()), hits(sum.size());
    long kept = 0;
    for (long i = 0; i + lag < n; ++i) {
        if (cl[static_cast<size_t>(i)] != 1)
            continue;
        double z = (blm[static_cast<size_t>(i + lag)] - 128) / 1.28;
        size_t cell = nearest(VE_RPM, rpm[static_cast<size_t>(i)]) * VE_MAP.size() + nearest(VE_MAP, map[static_cast<size_t>(i)]);
        sum[cell] += z;
        hits[cell] += 1;
        ++kept;
    }
    ASSERT_GT(kept, 100);
    const double min_hits = 3;
    std::string cells;
    for (size_t r = 0; r < VE_RPM.size(); ++r) {
        cells += r > 0 ? ",[" : "[";
        for (size_t c = 0; c < VE_MAP.size(); ++c) {
            double h = hits[r * VE_MAP.size() + c];
            cells += c > 0 ? "," : "";
            cells += "{\"hits\":" + number(h) + ",\"weight\":" + number(h) + ",\"value\":" +
                     (h >= min_hits ? number(sum[r * VE_MAP.size() + c] / h) : "null") + "}";
        }
        cells += "]";
    }

    std::vector<uint8_t> src = source_bin();
    std::string src_path = write_temp_file("cells-src.bin", src);
    std::string new_path = temp_dir() + "/cells-new.bin";
    std::filesystem::remove(new_path);
    CliRun r = run_cli("cells " + log + " --grid ve --z err --channel 'corr=[BLM] - 128' --channel 'err=[corr] / 1.28'" +
                       " --shift BLM=0.2 --where '[Cl] == 1' --min-hits 3 --apply " + src_path + " --to " + new_path);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::string axis_map, axis_rpm;
    for (double v : VE_MAP)
        axis_map += (axis_map.empty() ? "" : ",") + number(v);
    for (double v : VE_RPM)
        axis_rpm += (axis_rpm.empty() ? "" : ",") + number(v);
    EXPECT_EQ(r.out, "{\"x\":{\"channel\":\"MAP\",\"axis\":[" + axis_map + "]},\"y\":{\"channel\":\"RPM\",\"axis\":[" +
                         axis_rpm + "]},\"z\":\"err\",\"stat\":\"mean\",\"weighting\":\"nearest\",\"samples\":" +
                         std::to_string(n) + ",\"kept\":" + std::to_string(kept) + ",\"cells\":[" + cells + "]}\n");

    std::vector<uint8_t> expected = src;
    long changed = 0;
    for (size_t row = 0; row < VE_RPM.size(); ++row) {
        for (size_t c = 0; c < VE_MAP.size(); ++c) {
            double old = src[static_cast<size_t>(ve_row_offsets(row, false).back()) + c];
            double v = old;
            double h = hits[row * VE_MAP.size() + c];
            if (h >= min_hits)
                v = std::floor(old * (1 + sum[row * VE_MAP.size() + c] / h / 100) + 0.5);
            v = v < 0 ? 0 : v > 255 ? 255 : v;
            changed += v != old;
            for (long at : ve_row_offsets(row, true))
                expected[static_cast<size_t>(at) + c] = static_cast<uint8_t>(v);
        }
    }
    EXPECT_GT(changed, 0);
    auto finished = [](std::vector<uint8_t> image) {
        image[0] = 0x13;
        image[1] = 0x00;
        unsigned sum16 = 0;
        for (size_t i = 8; i < image.size(); ++i)
            sum16 += image[i];
        image[6] = static_cast<uint8_t>(sum16 >> 8);
        image[7] = static_cast<uint8_t>(sum16);
        return image;
    };
    auto same_bytes = [](const std::vector<uint8_t>& want, const std::string& got) {
        return got.size() == want.size() && std::equal(want.begin(), want.end(), got.begin(), [](uint8_t a, char b) {
                   return a == static_cast<uint8_t>(b);
               });
    };
    EXPECT_TRUE(same_bytes(finished(expected), read_file(new_path)));

    // With --smooth the corrected table is smoothed before it is written, as a learn run smooths.
    VeTable table = empty_ve_table();
    for (size_t row = 0; row < VE_RPM.size(); ++row)
        for (size_t c = 0; c < VE_MAP.size(); ++c)
            table[row + 1][c + 1] = expected[static_cast<size_t>(ve_row_offsets(row, true).front()) + c];
    ASSERT_EQ(smooth_ve_table(table, 5.0), 0);
    for (size_t row = 0; row < VE_RPM.size(); ++row)
        for (size_t c = 0; c < VE_MAP.size(); ++c)
            for (long at : ve_row_offsets(row, true))
                expected[static_cast<size_t>(at) + c] = static_cast<uint8_t>(table[row + 1][c + 1]);
    std::string smoothed_path = temp_dir() + "/cells-smoothed.bin";
    CliRun smoothed = run_cli("cells " + log + " --grid ve --z err --channel 'corr=[BLM] - 128' --channel 'err=[corr] / 1.28'" +
                              " --shift BLM=0.2 --where '[Cl] == 1' --min-hits 3 --apply " + src_path + " --to " +
                              smoothed_path + " --smooth 5");
    ASSERT_EQ(smoothed.exit_code, 0) << smoothed.err;
    EXPECT_EQ(smoothed.out, r.out);
    EXPECT_TRUE(same_bytes(finished(expected), read_file(smoothed_path)));
}

// ---- Failures ----------------------------------------------------------------------------------

struct CellsFailure {
    const char* name;
    std::string args;   // after "cells"; LOG, SRC and NEW stand for the paths
    int exit_code;
    const char* error;  // the start of the one line on stderr
};

class CliCellsFails : public ::testing::TestWithParam<CellsFailure> {};

std::string with_paths(std::string s, const std::string& log, const std::string& src, const std::string& dst)
{
    for (auto [word, path] : {std::pair<std::string, std::string>{"LOG", log}, {"SRC", src}, {"NEW", dst}})
        for (size_t at = s.find(word); at != std::string::npos; at = s.find(word, at + path.size()))
            s.replace(at, word.size(), path);
    return s;
}

TEST_P(CliCellsFails, WithItsExitCodeOneLineAndNothingWritten)
{
    std::string log = cells_log("cli-cells-fail.dat", {{10, 100, 50}, {15, 100, 60}});
    std::string src = write_temp_file("cells-fail-src.bin", source_bin());
    std::string dst = temp_dir() + "/cells-fail-new.bin";
    std::filesystem::remove(dst);
    CliRun r = run_cli("cells " + with_paths(GetParam().args, log, src, dst));
    EXPECT_EQ(r.exit_code, GetParam().exit_code);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.err.rfind(with_paths(GetParam().error, log, src, dst), 0), 0u) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dst));
}

INSTANTIATE_TEST_SUITE_P(
    CliCells, CliCellsFails,
    ::testing::Values(
        CellsFailure{"an unknown channel", "LOG --z Boost --grid ve", 2, "glanzo-cli: unknown channel 'Boost'"},
        CellsFailure{"a bad expression gives muParser's message", "LOG --z BLM --grid ve --where '[RPM] >'", 2,
                     "glanzo-cli: filter: Unexpected end of expression at position 8"},
        CellsFailure{"a bad math channel", "LOG --z BLM --grid ve --channel 'x=sin('", 2, "glanzo-cli: x: "},
        CellsFailure{"an axis not increasing", "LOG --z BLM --x INT --x-axis 1,3,2 --y IAC --y-axis 1,2", 2,
                     "glanzo-cli: X axis needs at least two breakpoints"},
        CellsFailure{"an axis that is no list of numbers", "LOG --z BLM --x INT --x-axis 1,,2 --y IAC --y-axis 1,2", 2,
                     "glanzo-cli: --x-axis needs numbers"},
        CellsFailure{"a missing axis", "LOG --z BLM --x INT --x-axis 1,2 --y IAC", 2, "glanzo-cli: --y-axis is missing"},
        CellsFailure{"the VE grid and an own axis", "LOG --z BLM --grid ve --x RPM", 2, "glanzo-cli: --grid ve sets"},
        CellsFailure{"--apply without the VE grid",
                     "LOG --z BLM --x INT --x-axis 1,2 --y IAC --y-axis 1,2 --apply SRC --to NEW", 2,
                     "glanzo-cli: --apply needs --grid ve"},
        CellsFailure{"--apply without --to", "LOG --z BLM --grid ve --apply SRC", 2, "glanzo-cli: --apply and --to"},
        CellsFailure{"an unknown statistic", "LOG --z BLM --grid ve --stat median", 2, "glanzo-cli: --stat takes"},
        CellsFailure{"a negative minimum", "LOG --z BLM --grid ve --min-hits -1", 2, "glanzo-cli: --min-hits takes"},
        CellsFailure{"a log that cannot be read", "LOG.absent --z BLM --grid ve --apply SRC --to NEW", 1,
                     "glanzo-cli: cannot open LOG.absent"},
        CellsFailure{"a source BIN that cannot be read", "LOG --z BLM --grid ve --apply SRC.absent --to NEW", 1,
                     "glanzo-cli: cannot open SRC.absent"},
        CellsFailure{"a source that is no BIN", "LOG --z BLM --grid ve --apply LOG --to NEW", 1,
                     "glanzo-cli: LOG is not a calibration BIN"},
        CellsFailure{"a new BIN that cannot be written", "LOG --z BLM --grid ve --apply SRC --to /proc/NEW", 1,
                     "glanzo-cli: cannot write /proc/NEW"}),
    NameFromSentence());

}  // namespace
