// The analysis table, the export and the quarter-mile figures, from logs built here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>

#include "analysis/export.h"
#include "analysis/qmile.h"
#include "analysis/view_table.h"
#include "config/devices.h"
#include "config/settings.h"
#include "support/full_disk.h"
#include "support/live.h"
#include "support/scripted_ui.h"
#include "support/sim_process.h"

namespace {

void put16(FrameRecord& f, int offset, int v)
{
    f.b[offset] = static_cast<uint8_t>(v >> 8);
    f.b[offset + 1] = static_cast<uint8_t>(v);
}

// A frame whose every shown field has a known value (see the expected rows below).
FrameRecord known_frame(int run_time = 3725)
{
    FrameRecord f{};
    f.b[F_VSS_COUNTER] = 12;
    put16(f, F_SPEED_K, 230);           // 4004 pulses per mile
    put16(f, F_RUN_TIME, run_time);
    f.b[F_ECM_CONFIG] = 0x18;           // multi-port, 8 cylinders, 1-bar
    put16(f, F_REF_PERIOD, 384);        // 2560 rpm
    f.b[F_SPEED] = 60;
    f.b[F_MAP_COUNT] = 100;             // 47.3 kPa
    f.b[F_TPS] = 32;                    // 12.5 %: rounds to even
    f.b[F_CTS] = 160;                   // 80 C
    f.b[F_IAT] = 80;                    // 20 C
    f.b[F_IC_TEMP] = 100;               // 35 C
    f.b[F_O2] = 100;                    // 442 mV
    f.b[F_FLOW_VALUE] = 7;
    f.b[F_SPARK_ADVANCE] = 64;          // 22.5 degrees: rounds to even
    put16(f, F_SYNC_PW, 328);           // 5.0049 ms
    f.b[F_FIRMWARE] = 0x02;
    f.b[13] = 0x40;                     // acceleration enrichment
    f.b[14] = 0x82;                     // closed loop, block learn
    f.b[F_INTEGRATOR] = 130;
    f.b[F_BLM] = 136;
    f.b[F_IAC] = 30;
    put16(f, F_AE_PW, 655);             // 9.9945 ms
    f.b[F_BARO] = 200;                  // 84.2 kPa
    f.b[F_VACUUM] = 64;                 // 60
    f.b[F_VE] = 128;                    // 50 %
    put16(f, F_KNOCK_COUNT, 1234);
    f.b[F_GEAR] = 3;
    f.b[F_CL_VALUE] = 5;                // shown as 2
    f.b[F_AFR] = 147;
    put16(f, F_ADC_0, 512);             // TT-1: 15.0 AFR
    return f;
}

const char* const KNOWN_ROW =
    "0 12   4004 1:02:05 2560  60  47  12  80  20  442   7 22  5.0  0.0  21  Y N N N Y Y 130 136  30 15.0  9.99 \r\n";
const char* const KNOWN_BLANK =
    "01:02:05 2560  60  47   0  84  60  50  12  80  20  35  442   7 22  0  1234  5.005  0.00  21  N  N  Y  N  N  N  N  N  "
    "Y  Y  N  N  N  N  N  N  N  N    3  2 130 136  30 14.7 15.0 12.5  0.000  0.0  0.000  9.995  15.0 \r\n";
const char* const KNOWN_CSV =
    "01:02:05,2560, 60, 47,  0, 84, 60, 50, 12, 80, 20, 35, 442,  7,22, 0, 1234, 5.005, 0.00, 21,N,N,Y,N,N,N,N,N,Y,Y,N,N,"
    "N,N,N,N,N,N,  3, 2,130,136, 30,14.7,15.0,12.5, 0.000, 0.0, 0.000, 9.995,15.0,\r\n";

class Analysis : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_settings();
        // A TT-1 wideband on channel 0, preferred.
        g_settings.ad[0].type = DEVICE_WIDEBAND;
        g_settings.ad[0].index = 1;
        g_settings.ad[0].insta = 1;
        g_settings.ad[0].wbpref = 1;
        build_device_catalogue();
        rebuild_channel_state();
    }
    void TearDown() override
    {
        reset_settings();
        build_device_catalogue();
        rebuild_channel_state();
    }

    std::vector<std::string> table_rows(const Bytes& log)
    {
        std::string path = write_temp_file("analysis.dat", log);
        FILE* t = std::tmpfile();
        long rows = 0;
        EXPECT_EQ(build_view_table(path, t, rows), BUILD_OK);
        std::rewind(t);
        std::vector<std::string> out;
        char row[VIEW_ROW_BYTES];
        while (std::fread(row, 1, VIEW_ROW_BYTES, t) == static_cast<size_t>(VIEW_ROW_BYTES))
            out.emplace_back(row, VIEW_ROW_BYTES);
        std::fclose(t);
        EXPECT_EQ(static_cast<long>(out.size()), rows);
        return out;
    }

    std::string exported(const Bytes& log, bool csv, bool single)
    {
        std::string in = write_temp_file("export.dat", log);
        std::string out = export_output_path(in, csv);
        EXPECT_EQ(export_log(in, out, ExportOptions{csv, single}), EXPORT_OK);
        return read_file(out);
    }
};

TEST_F(Analysis, ATableRowHoldsEveryFieldAtItsPlace)
{
    std::vector<std::string> rows = table_rows(frame_bytes(known_frame()));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], KNOWN_ROW);
}

TEST_F(Analysis, RowsAreMarkedForMarkersAndTimeStampsAndBadFramesLeaveNoRow)
{
    Bytes log = frame_bytes(known_frame());
    append(log, insert_at(frame_bytes(known_frame()), 100, marker_record(0, 3, 7, 2013, 14, 5, 9)));
    append(log, time_record(3, 7, 2013, 14, 5, 10));
    append(log, frame_bytes(known_frame()));
    append(log, time_record(3, 7, 2013, 14, 5, 11));
    append(log, frame_bytes_bad_crc(known_frame()));   // its time stamp is lost with it
    append(log, frame_bytes(known_frame()));
    std::vector<std::string> rows = table_rows(log);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0][0], '0');
    EXPECT_EQ(rows[1][0], '1');
    EXPECT_EQ(rows[2][0], '2');
    EXPECT_EQ(rows[3][0], '0');
}

TEST_F(Analysis, UnitsScalesAndSensorsChangeTheRow)
{
    g_settings.kphormph = 1;
    g_settings.temperscale = 0;
    FrameRecord f = known_frame(10 * 3600 + 5);   // ten hours: shown as 9
    f.b[F_ECM_CONFIG] = 0x98;                     // 2-bar
    std::string row = table_rows(frame_bytes(f))[0];
    EXPECT_EQ(row.substr(ROW_RUNTIME, 9), " 9:00:05 ");
    EXPECT_EQ(row.substr(ROW_SPEED, 4), " 97 ") << "60 mph in km/h";
    EXPECT_EQ(row.substr(ROW_MAP, 4), " 85 ") << "2-bar: 100 x 0.7705 + 8";
    EXPECT_EQ(row.substr(ROW_CTS, 8), "176  68 ") << "Fahrenheit";
    EXPECT_EQ(view_heading_line2().substr(0, 29), " h:mm:ss  RPM KPH KPa   %  \xB0" "F");
    g_settings.temperscale = 1;
    f.b[F_ECM_CONFIG] = 0x58;                     // 3-bar
    EXPECT_EQ(table_rows(frame_bytes(f))[0].substr(ROW_MAP, 4), "124 ");
}

TEST_F(Analysis, AWidebandValueTooWideForItsFieldKeepsTheRowWhole)
{
    // A user device reading 500 as the preferred wideband channel.
    g_settings.ud[0].active = 1;
    g_settings.ud[0].unit_j = 5000000;
    g_settings.ud[0].unit_k = 5000000;
    g_settings.ad[0].type = DEVICE_USER;
    g_settings.ad[0].index = 0;
    rebuild_channel_state();
    std::string row = table_rows(frame_bytes(known_frame()))[0];
    ASSERT_EQ(row.size(), 109u);
    EXPECT_EQ(row.substr(ROW_WB, 5), "99.9 ");
    EXPECT_EQ(row.substr(107), "\r\n");
}

TEST_F(Analysis, TheExportWritesEveryColumnInBothForms)
{
    std::string blank = exported(frame_bytes(known_frame()), false, true);
    EXPECT_EQ(blank, export_heading(false) + KNOWN_BLANK);
    EXPECT_EQ(export_heading(false).substr(export_heading(false).size() - 9), "  WB_0 \r\n");
    std::string csv = exported(frame_bytes(known_frame()), true, true);
    EXPECT_EQ(csv, export_heading(true) + KNOWN_CSV);
    EXPECT_EQ(export_heading(true).substr(0, 15), "RUNTIME,RPM,MPH");
}

// Throttle-body injection fires cylinders / 4 times a revolution, a real quotient.
TEST_F(Analysis, ThrottleBodyDutyCycleWithFiveAndSixCylindersReachesTableAndExport)
{
    struct Case {
        uint8_t config;   // throttle body, cylinder count
        int period;
        const char* dc;
    };
    for (Case c : {Case{0x06, 512, "32"}, Case{0x05, 1000, "16"}}) {   // 2560 rpm, 1572 rpm
        FrameRecord f = known_frame();
        f.b[F_ECM_CONFIG] = c.config;
        put16(f, F_REF_PERIOD, c.period);
        SCOPED_TRACE(c.dc);
        EXPECT_EQ(table_rows(frame_bytes(f))[0].substr(ROW_DC, 4), std::string(" ") + c.dc + " ");
        for (bool csv : {false, true}) {
            std::string text = exported(frame_bytes(f), csv, true);
            std::string line = text.substr(text.find("\r\n") + 2);
            for (char& ch : line)
                if (ch == ',')
                    ch = ' ';
            std::istringstream fields(line);
            std::string field;
            for (int i = 0; i < 20; ++i)   // the 20th column
                fields >> field;
            EXPECT_EQ(field, c.dc);
        }
    }
}

TEST_F(Analysis, HeadingsComeEverySecondWithMarkerAndTimeStampLines)
{
    Bytes log = marker_record(0, 3, 7, 2013, 14, 5, 9);
    append(log, frame_bytes(known_frame(100)));
    append(log, time_record(3, 7, 2013, 14, 5, 9));
    append(log, frame_bytes(known_frame(100)));
    append(log, frame_bytes(known_frame(101)));
    std::string text = exported(log, false, false);
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "Marker: 000 @  03/07/2013 - 14:05:09");
    EXPECT_EQ(lines[1] + "\r\n", export_heading(false));
    EXPECT_EQ(lines[2].substr(0, 9), "00:01:40 ");
    EXPECT_EQ(lines[3], "TimeStamp:  03/07/2013 - 14:05:09");
    EXPECT_EQ(lines[4].substr(0, 9), "00:01:40 ");
    EXPECT_EQ(lines[5] + "\r\n", export_heading(false));
    EXPECT_EQ(lines[6].substr(0, 9), "00:01:41 ");
}

TEST_F(Analysis, TheExportCapsPulsesAndShowsGearsBoostAndLongRunTimes)
{
    g_settings.transtype = 1;
    FrameRecord f = known_frame(36000);
    put16(f, F_SYNC_PW, 65535);    // 999 ms: 99.000
    put16(f, F_ASYNC_PW, 65535);   // 99.90
    f.b[15] = 0x10;                // park/neutral wins over overdrive
    f.b[213] = 0x04;
    f.b[F_ECM_CONFIG] = 0x98;      // 2-bar: boost shown
    f.b[F_BOOST_COUNT] = 160;      // 100 kPa = 14.5 psi
    std::string line = exported(frame_bytes(f), true, true);
    line = line.substr(line.find("\r\n") + 2);
    EXPECT_EQ(line.substr(0, 9), "10:00:00,");
    EXPECT_NE(line.find(",99.000,99.90,"), std::string::npos) << line;
    EXPECT_NE(line.find(",P/N,"), std::string::npos) << line;
    EXPECT_EQ(line.substr(22, 4), " 15,") << "boost in psi";
    f.b[15] = 0;
    line = exported(frame_bytes(f), true, true);
    EXPECT_NE(line.find(", OD,"), std::string::npos);
}

TEST_F(Analysis, ExportFailuresAreReportedWithTheirMessages)
{
    ScopedScriptedUi ui;
    std::string in = write_temp_file("fail.dat", frame_bytes(known_frame()));
    EXPECT_EQ(export_log(in, temp_dir() + "/no/such/dir.csv", ExportOptions{}), EXPORT_NO_OUTPUT);
    EXPECT_EQ(export_log(in, "/dev/null", ExportOptions{}), EXPORT_NO_OUTPUT) << "a device is no export file";
    {
        FullDisk disk;
        std::string out = disk.folder() + "/x.csv";
        write_temp_file(out.substr(temp_dir().size() + 1), Bytes{'o', 'l', 'd'});
        disk.fill(0);
        EXPECT_EQ(export_log(in, out, ExportOptions{}), EXPORT_WRITE_ERROR);
        disk.empty();
        EXPECT_EQ(files_in(disk.folder()), std::vector<std::string>{"x.csv"});
        EXPECT_EQ(read_file(out), "old") << "the export it would have replaced is untouched";
    }
    EXPECT_EQ(export_log(temp_dir() + "/absent.dat", temp_dir() + "/x.csv", ExportOptions{}), EXPORT_NO_INPUT);
    EXPECT_EQ(export_log(temp_dir(), temp_dir() + "/x.csv", ExportOptions{}), EXPORT_NO_INPUT) << "a folder";
    ASSERT_EQ(ui.shown.size(), 3u);
    EXPECT_EQ(ui.shown[0].text, "Can Not Open Output File\n\nIs it open elsewhere?");
    EXPECT_EQ(ui.shown[0].caption, "File Open Error");
    EXPECT_EQ(ui.shown[1].text, ui.shown[0].text);
    EXPECT_EQ(ui.shown[2].text, "Error Writing to File\nDisk Full?") << "found when the file is closed";
    EXPECT_EQ(ui.shown[2].caption, "File Write Error");
}

TEST_F(Analysis, OutputNamesReplaceOrAddTheExtension)
{
    EXPECT_EQ(export_output_path("/logs/run1.dat", true), "/logs/run1.csv");
    EXPECT_EQ(export_output_path("/logs/run1.dat", false), "/logs/run1.ZOV");
    EXPECT_EQ(export_output_path("/logs.d/run1", true), "/logs.d/run1.csv");
    EXPECT_EQ(export_output_path("run.v2.dat", false), "run.v2.ZOV");
}

// A run from a standstill: 10 speed pulses a frame at 4004 pulses a mile (13.19 ft a frame), the
// speed rising 2 mph a frame up to 120.
Bytes acceleration_run(int frames, int k = 230)
{
    Bytes log;
    for (int n = 0; n < frames; ++n) {
        FrameRecord f = known_frame(100 + n / 17);
        f.b[F_VSS_COUNTER] = static_cast<uint8_t>(10 * n);
        f.b[F_SPEED] = static_cast<uint8_t>(std::min(2 * n, 120));
        put16(f, F_SPEED_K, k);
        append(log, frame_bytes(f));
    }
    return log;
}

QmileResults qmile_of(const Bytes& log, long start)
{
    std::string path = write_temp_file("qmile.dat", log);
    FILE* t = std::tmpfile();
    long rows = 0;
    build_view_table(path, t, rows);
    QmileResults r = compute_qmile(t, start);
    std::fclose(t);
    return r;
}

TEST_F(Analysis, QuarterMileFiguresCountFramesFromTheStartRow)
{
    QmileResults r = qmile_of(acceleration_run(130), 0);
    EXPECT_DOUBLE_EQ(r.zero_to_60_s, 30 / 17.0);
    EXPECT_DOUBLE_EQ(r.ft60_s, 5 / 17.0);        // 65.9 ft: the first row past 60
    EXPECT_DOUBLE_EQ(r.ft330_s, 26 / 17.0);      // the counter wraps from 250 to 4 on this row
    EXPECT_DOUBLE_EQ(r.eighth_s, 51 / 17.0);
    EXPECT_DOUBLE_EQ(r.eighth_mph, 97.0);        // rows 46 to 51: 92 to 102 mph
    EXPECT_DOUBLE_EQ(r.quarter_s, 101 / 17.0);
    EXPECT_DOUBLE_EQ(r.quarter_mph, 120.0);
    EXPECT_STREQ(r.start_run_time, "0:01:40");
}

TEST_F(Analysis, ARunStartedNearTheEndLeavesTheMarksItNeverPassesAtZero)
{
    QmileResults r = qmile_of(acceleration_run(120), 95);
    EXPECT_DOUBLE_EQ(r.zero_to_60_s, 1 / 17.0) << "already moving: the first row after the start";
    EXPECT_DOUBLE_EQ(r.ft60_s, 5 / 17.0);
    EXPECT_EQ(r.ft330_s, 0.0);
    EXPECT_EQ(r.quarter_s, 0.0);
    EXPECT_EQ(r.quarter_mph, 0.0);
    QmileResults past = qmile_of(acceleration_run(10), 50);
    EXPECT_EQ(past.zero_to_60_s, 0.0);
}

TEST_F(Analysis, RowsWithoutASpeedSensorConstantCoverNoDistance)
{
    QmileResults r = qmile_of(acceleration_run(130, 0), 0);
    EXPECT_EQ(r.ft60_s, 0.0);
    EXPECT_EQ(r.quarter_s, 0.0);
    EXPECT_DOUBLE_EQ(r.zero_to_60_s, 30 / 17.0);
}

TEST_F(Analysis, ADamagedTableGivesNoNegativeOrOverflowingFigures)
{
    // A run past the eighth mile in a damaged table: a speed field of -50, then one longer than
    // any number, and a counter beyond a byte in between.
    std::string rows;
    for (int n = 0; n < 60; ++n) {
        char row[VIEW_ROW_BYTES + 1] = {};
        std::memset(row, ' ', VIEW_ROW_BYTES);
        std::snprintf(row + ROW_PULSES, 4, "%3d", n == 30 ? 999 : 10 * n % 256);
        std::snprintf(row + ROW_PPM, 7, "%6d", 4004);
        std::snprintf(row + ROW_SPEED, 4, "%s", n < 40 ? "-50" : "999");
        for (int i = 0; i < VIEW_ROW_BYTES; ++i)
            row[i] = row[i] == 0 ? (n < 40 ? ' ' : '9') : row[i];   // the 9s run on past the field
        rows.append(row, VIEW_ROW_BYTES);
    }
    FILE* t = std::tmpfile();
    std::fwrite(rows.data(), 1, rows.size(), t);
    QmileResults r = compute_qmile(t, 0);
    std::fclose(t);
    for (double v : {r.zero_to_60_s, r.ft60_s, r.ft330_s, r.eighth_s, r.eighth_mph, r.quarter_s, r.quarter_mph}) {
        EXPECT_TRUE(std::isfinite(v));
        EXPECT_GE(v, 0);
    }
    EXPECT_GT(r.eighth_s, 0) << "the run did pass the eighth mile";
}

TEST_F(Analysis, TheCommandLineBuildsExportsAndTimes)
{
    std::string log = write_temp_file("cli-run.dat", acceleration_run(130));
    std::string dir = temp_dir();
    ASSERT_EQ(run_command(std::string(GLANZO_CLI) + " table " + log + " -o " + dir + "/cli-run.tbl"), 0);
    EXPECT_EQ(read_file(dir + "/cli-run.tbl").size(), 130u * 109u);
    ASSERT_EQ(run_command(std::string(GLANZO_CLI) + " export " + log + " --csv --single-header"), 0);
    EXPECT_EQ(read_file(dir + "/cli-run.csv").substr(0, 12), "RUNTIME,RPM,");
    std::string out = dir + "/qmile.json";
    ASSERT_EQ(run_command(std::string(GLANZO_CLI) + " qmile " + dir + "/cli-run.tbl > " + out), 0);
    std::string from_table = read_file(out);
    ASSERT_EQ(run_command(std::string(GLANZO_CLI) + " qmile " + log + " > " + out), 0);
    EXPECT_EQ(read_file(out), from_table);
    EXPECT_EQ(from_table, "{\"zero_to_60_s\":1.7647058823529411,\"ft60_s\":0.29411764705882354,"
                          "\"ft330_s\":1.5294117647058822,\"eighth_s\":3,\"eighth_mph\":97,"
                          "\"quarter_s\":5.9411764705882355,\"quarter_mph\":120}\n");
    EXPECT_NE(run_command(std::string(GLANZO_CLI) + " export " + dir + "/missing.dat 2>/dev/null"), 0);
}

}  // namespace
