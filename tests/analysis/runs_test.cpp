// Runs found in the analysis table by themselves, and glanzo-cli runs over logs of drag-strip
// passes: every run line against glanzo-cli qmile from the same row.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "analysis/runs.h"
#include "analysis/view_table.h"
#include "config/devices.h"
#include "config/settings.h"
#include "support/param_name.h"
#include "support/sim_process.h"
#include "support/strip_log.h"

namespace {

class Runs : public ::testing::Test {
protected:
    void SetUp() override { reset_settings(); }
    void TearDown() override { reset_settings(); }

    // The launch rows and runs of a log, through a table built from it.
    void find(const StripLog& log, double min_tps, std::vector<long>& launches, std::vector<QmileRun>& runs)
    {
        FILE* t = table_of(log);
        ASSERT_EQ(find_launches(t, min_tps, launches), RUNS_OK);
        ASSERT_EQ(find_runs(t, min_tps, runs), RUNS_OK);
        for (const QmileRun& run : runs) {
            QmileResults r = compute_qmile(t, run.row);
            EXPECT_EQ(std::memcmp(&r, &run.results, sizeof r), 0) << "row " << run.row;
        }
        std::fclose(t);
    }

    FILE* table_of(const StripLog& log)
    {
        std::string path = write_strip_log("runs.dat", log);
        FILE* t = std::tmpfile();
        long rows = 0;
        EXPECT_EQ(build_view_table(path, t, rows), BUILD_OK);
        EXPECT_EQ(rows, log.frames);
        return t;
    }
};

std::vector<long> rows_of(const std::vector<QmileRun>& runs)
{
    std::vector<long> rows;
    for (const QmileRun& run : runs)
        rows.push_back(run.row);
    return rows;
}

TEST_F(Runs, EveryPassIsFoundAtItsLastStandingRowWithTheFiguresOfThatStartRow)
{
    StripLog log;
    add_strip_recording(log, {StripPass{}, StripPass{.wait_frames = 300, .mph_per_frame = 0.7},
                              StripPass{.wait_frames = 1, .mph_per_frame = 1.2, .top_mph = 125}});
    std::vector<long> launches;
    std::vector<QmileRun> runs;
    find(log, RUN_MIN_TPS, launches, runs);
    EXPECT_EQ(launches, log.launch_rows);
    EXPECT_EQ(rows_of(runs), log.launch_rows);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_GT(runs[0].results.quarter_s, 10.0);
    EXPECT_GT(runs[1].results.quarter_s, runs[0].results.quarter_s) << "the slower pass is slower";
    EXPECT_STREQ(runs[0].results.start_run_time, "0:01:42");   // 100 s + 39 frames
}

struct LaunchCase {
    const char* name;
    StripPass pass;
    double min_tps;
    bool launch;
};

class LaunchRules : public Runs, public ::testing::WithParamInterface<LaunchCase> {};

TEST_P(LaunchRules, AStandingRowBeforeAMovingOneIsALaunchWhenTheThrottleOpensWithinASecond)
{
    StripLog log;
    add_strip_recording(log, {GetParam().pass});
    std::vector<long> launches;
    std::vector<QmileRun> runs;
    find(log, GetParam().min_tps, launches, runs);
    std::vector<long> expected = GetParam().launch ? log.launch_rows : std::vector<long>{};
    EXPECT_EQ(launches, expected);
    EXPECT_EQ(rows_of(runs), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, LaunchRules,
    ::testing::Values(
        LaunchCase{"the throttle open on the first moving row", StripPass{}, 80, true},
        LaunchCase{"the throttle open on the 17th row after the launch", StripPass{.tps_delay = 16}, 80, true},
        LaunchCase{"the throttle open only on the 18th row", StripPass{.tps_delay = 17}, 80, false},
        LaunchCase{"the throttle exactly at the threshold", StripPass{.tps = 80}, 80, true},
        LaunchCase{"a part-throttle pass under the default threshold", StripPass{.tps = 50}, 80, false},
        LaunchCase{"the same pass with a low threshold", StripPass{.tps = 50}, 40, true},
        LaunchCase{"a low threshold that the creeping throttle reaches", StripPass{.tps = 50, .tps_delay = 30}, 20,
                   true},
        LaunchCase{"a launch from the first row of the log", StripPass{.wait_frames = 1}, 80, true}),
    NameFromSentence());

TEST_F(Runs, ALaunchThatNeverPasses60FeetIsNoRunAndTheLastRowStartsNothing)
{
    // A pass, then a hop of a few feet at the end of the log: a launch, but no run. The log then
    // ends standing, so its last row has no row after it.
    StripLog log;
    add_strip_recording(log, {StripPass{}, StripPass{.run_frames = 6, .brake_mph_per_frame = 3}});
    std::vector<long> launches;
    std::vector<QmileRun> runs;
    find(log, RUN_MIN_TPS, launches, runs);
    EXPECT_EQ(launches, log.launch_rows);
    EXPECT_EQ(rows_of(runs), std::vector<long>{log.launch_rows[0]});

    // The table ends on a launch row's next row: rows r and r + 1 alone still make a launch.
    StripLog cut;
    add_strip_recording(cut, {StripPass{.wait_frames = 5, .run_frames = 1, .brake_mph_per_frame = 5}});
    cut.bytes.resize(cut.bytes.size() - frame_bytes(FrameRecord{}).size());   // the stop is not logged
    --cut.frames;
    find(cut, RUN_MIN_TPS, launches, runs);
    EXPECT_EQ(launches, std::vector<long>{4});
    EXPECT_TRUE(runs.empty());
}

TEST_F(Runs, WithoutASpeedSensorConstantNoLaunchPasses60Feet)
{
    StripLog log;
    add_strip_recording(log, {StripPass{.ppm = 0}, StripPass{.ppm = 0}});
    std::vector<long> launches;
    std::vector<QmileRun> runs;
    find(log, RUN_MIN_TPS, launches, runs);
    EXPECT_EQ(launches.size(), 2u);
    EXPECT_TRUE(runs.empty());
}

TEST_F(Runs, ADamagedTableIsReadWithoutHarm)
{
    // Rows of noise, a partial row at the end and speed fields that are no numbers.
    std::string text;
    for (int n = 0; n < 100; ++n) {
        char row[VIEW_ROW_BYTES];
        for (int i = 0; i < VIEW_ROW_BYTES; ++i)
            row[i] = static_cast<char>((n * 31 + i * 7) % 96 + 32);
        std::memcpy(row + ROW_SPEED, n % 2 ? "999" : "  0", 3);
        text.append(row, VIEW_ROW_BYTES);
    }
    text += "  0 ";
    FILE* t = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), t);
    std::vector<QmileRun> runs;
    EXPECT_EQ(find_runs(t, 0, runs), RUNS_OK);
    for (const QmileRun& run : runs)
        EXPECT_TRUE(run.row >= 0 && run.row < 99 && run.row % 2 == 0);
    std::fclose(t);
}

// ---- glanzo-cli runs ------------------------------------------------------------------------

struct CliOut {
    int exit_code;
    std::string out, err;
};

CliOut cli(const std::string& args)
{
    std::string out = temp_dir() + "/runs.out", err = temp_dir() + "/runs.err";
    int status = std::system((std::string(GLANZO_CLI) + " " + args + " >" + out + " 2>" + err).c_str());
    return CliOut{WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(out), read_file(err)};
}

// What glanzo-cli runs prints for one run: the log, the row, the row's run time and what
// glanzo-cli qmile prints for that row.
std::string expected_line(const std::string& config, const std::string& log, long row, const std::string& runtime)
{
    CliOut q = cli(config + "qmile " + log + " --start-row " + std::to_string(row));
    EXPECT_EQ(q.exit_code, 0);
    EXPECT_EQ(q.out.front(), '{');
    return "{\"log\":\"" + log + "\",\"row\":" + std::to_string(row) + ",\"runtime\":\"" + runtime + "\"," +
           q.out.substr(1);
}

std::string runtime_at(const std::string& config, const std::string& log, long row)
{
    std::string table = temp_dir() + "/runs.tbl";
    EXPECT_EQ(cli(config + "table " + log + " -o " + table).exit_code, 0);
    return read_file(table).substr(static_cast<size_t>(row) * VIEW_ROW_BYTES + ROW_RUNTIME + 1, 7);
}

std::string expected_lines(const std::string& config, const std::string& log, const std::vector<long>& rows)
{
    std::string lines;
    for (long row : rows)
        lines += expected_line(config, log, row, runtime_at(config, log, row));
    return lines;
}

struct CliCase {
    const char* name;
    bool metric;
};

class CliRuns : public Runs, public ::testing::WithParamInterface<CliCase> {};

TEST_P(CliRuns, PrintsEveryRunOfEveryLogInOrderAsQmilePrintsItsRow)
{
    std::string config;
    if (GetParam().metric) {
        std::string path = temp_dir() + "/runs-metric.cfg";
        FILE* f = std::fopen(path.c_str(), "w");
        std::fputs("[KPHORMPH] 1\n", f);
        std::fclose(f);
        config = "--config " + path + " ";
    }
    // Two recordings in the first log (the run time starts again in the second); in the second
    // log a pass at part throttle and a hop that never reaches 60 feet.
    StripLog day;
    add_strip_recording(day, {StripPass{}, StripPass{.wait_frames = 200, .mph_per_frame = 0.6}});
    add_strip_recording(day, {StripPass{.wait_frames = 20, .mph_per_frame = 1.1}}, 5);
    StripLog evening;
    add_strip_recording(evening, {StripPass{.tps = 60}, StripPass{.mph_per_frame = 0.8},
                                  StripPass{.run_frames = 5, .brake_mph_per_frame = 3}});
    std::string a = write_strip_log("runs-day.dat", day), b = write_strip_log("runs-evening.dat", evening);

    CliOut both = cli(config + "runs " + a + " " + b);
    EXPECT_EQ(both.exit_code, 0);
    EXPECT_EQ(both.err, "");
    std::vector<long> evening_runs = {evening.launch_rows[1]};
    EXPECT_EQ(both.out, expected_lines(config, a, day.launch_rows) + expected_lines(config, b, evening_runs));
    EXPECT_NE(both.out.find("\"runtime\":\"0:00:06\""), std::string::npos) << "the second recording's run time";

    CliOut low = cli(config + "runs " + b + " --min-tps 55");
    EXPECT_EQ(low.exit_code, 0);
    EXPECT_EQ(low.out, expected_lines(config, b, {evening.launch_rows[0], evening.launch_rows[1]}));
}

INSTANTIATE_TEST_SUITE_P(Runs, CliRuns,
                         ::testing::Values(CliCase{"miles", false}, CliCase{"kilometres", true}),
                         NameFromSentence());

TEST_F(Runs, TheCommandPrintsNothingWithoutARunAndStopsAtALogItCannotRead)
{
    StripLog pass;
    add_strip_recording(pass, {StripPass{}});
    StripLog idle;
    add_strip_recording(idle, {StripPass{.tps = 30}});
    std::string good = write_strip_log("runs-good.dat", pass), quiet = write_strip_log("runs-quiet.dat", idle);
    std::string missing = temp_dir() + "/runs-missing.dat";

    CliOut none = cli("runs " + quiet);
    EXPECT_EQ(none.exit_code, 0);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, "");

    CliOut stopped = cli("runs " + good + " " + missing + " " + good);
    EXPECT_EQ(stopped.exit_code, 1);
    EXPECT_EQ(stopped.out, expected_lines("", good, pass.launch_rows)) << "the first log's lines, no more";
    EXPECT_EQ(stopped.err, "glanzo-cli: cannot open " + missing + ": No such file or directory\n");

    // Every argument is a log, whatever its name: not read as a built table as qmile would.
    std::string unnamed = temp_dir() + "/runs-good-log";
    std::filesystem::copy_file(good, unnamed, std::filesystem::copy_options::overwrite_existing);
    std::string expected = expected_lines("", good, pass.launch_rows);
    for (size_t at; (at = expected.find(good)) != std::string::npos;)
        expected.replace(at, good.size(), unnamed);
    EXPECT_EQ(cli("runs " + unnamed).out, expected);

    for (const char* bad : {"", " --min-tps", " --min-tps x", " --min-tps -1", " --fast"}) {
        CliOut usage = cli("runs" + (std::strlen(bad) == 0 ? std::string() : " " + good) + bad);
        EXPECT_EQ(usage.exit_code, 2) << bad;
        EXPECT_EQ(usage.out, "") << bad;
        EXPECT_EQ(std::count(usage.err.begin(), usage.err.end(), '\n'), 1) << bad;
    }
}

}  // namespace
