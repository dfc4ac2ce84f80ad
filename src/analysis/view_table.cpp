#include "analysis/view_table.h"

#include "analysis/text_line.h"

#include <cstring>

#include "config/devices.h"
#include "config/settings.h"
#include "platform/files.h"
#include "platform/ui_services.h"

namespace {

double capped(double v, double cap) { return v >= cap ? cap : v; }

char yn(const FrameRecord& f, FlagId id) { return flag(f, id) ? 'Y' : 'N'; }

}  // namespace

std::string view_heading_line1()
{
    return " RUNTIME          MAP TPS CTS IAT   O2 Air SA  sPW  aPW  DC AE  PE  CL                 WB  aePW";
}

std::string view_heading_line2() { return view_heading_line2(g_settings.kphormph, g_settings.temperscale); }

std::string view_heading_line2(int kphormph, int temperscale)
{
    char speed = kphormph == 1 ? 'K' : 'M';
    char temp = temperscale == 1 ? 'C' : 'F';
    char line[128];
    std::snprintf(line, sizeof line,
                  " h:mm:ss  RPM %cPH KPa   %%  \xB0%c  \xB0%c   mV Flw  \xB0   mS   mS   %%   DE  DC  LN INT BLM IAC  AFR    mS",
                  speed, temp, temp);
    return line;
}

void format_view_row(const FrameRecord& f, const RecordText& time, const RecordText& marker,
                     char row[VIEW_ROW_BYTES + 1])
{
    char status = !marker.empty() ? '1' : !time.empty() ? '2' : '0';
    int k = f.u16(F_SPEED_K);
    int ppm = k == 0 ? 0 : static_cast<int>(920920.0 / k + 0.5);
    RunTime t = split_run_time(run_time_seconds(f));
    // Every field must keep its width: a value that would print wider is held at the widest value
    // that fits (a wideband AFR of 100 or more shows as 99.9, one below -9.9 as -9.9).
    double wb = g_adc.current_wb_afr;
    wb = wb > 99.9 ? 99.9 : wb < -9.9 ? -9.9 : wb;
    TextLine line;
    line.ch(status);
    line.integer(f.u8(F_VSS_COUNTER), 3);
    line.ch(' ');
    line.integer(ppm, 6);
    line.ch(' ');
    line.integer(t.hours > 9 ? 9 : t.hours, 1);
    line.ch(':');
    line.two_digits(t.minutes);
    line.ch(':');
    line.two_digits(t.seconds);
    line.ch(' ');
    auto integer = [&](long v, int width) {
        line.integer(v, width);
        line.ch(' ');
    };
    auto fixed = [&](double v, int width, int precision) {
        line.fixed(v, width, precision);
        line.ch(' ');
    };
    integer(engine_rpm(f), 4);
    fixed(vehicle_speed(f.u8(F_SPEED)), 3, 0);
    fixed(map_sensor_kpa(f.u8(F_MAP_COUNT), map_sensor_bar(f)), 3, 0);
    fixed(tps_percent(f.u8(F_TPS)), 3, 0);
    fixed(temperature(f.u8(F_CTS)), 3, 0);
    fixed(temperature(f.u8(F_IAT)), 3, 0);
    fixed(o2_millivolts(f.u8(F_O2)), 4, 0);
    integer(f.u8(F_FLOW_VALUE), 3);
    fixed(spark_advance_deg(f.u8(F_SPARK_ADVANCE)), 2, 0);
    fixed(capped(pulse_ms(f.u16(F_SYNC_PW)), 99.9), 4, 1);
    fixed(capped(pulse_ms(f.u16(F_ASYNC_PW)), 99.9), 4, 1);
    integer(static_cast<long>(injector_duty_cycle(f)), 3);
    line.ch(' ');
    for (FlagId id : {FLAG_AE, FLAG_DE, FLAG_PE, FLAG_DFCO, FLAG_CLOSED_LOOP, FLAG_BLM_LEARN}) {
        line.ch(yn(f, id));
        line.ch(' ');
    }
    integer(f.u8(F_INTEGRATOR), 3);
    integer(f.u8(F_BLM), 3);
    integer(f.u8(F_IAC), 3);
    fixed(wb, 4, 1);
    fixed(capped(pulse_ms(f.u16(F_AE_PW)), 99.9), 5, 2);
    line.text("\r\n");

    // Every field fits its width with the limits above; the row keeps its length whatever happens.
    size_t n = line.size() < static_cast<size_t>(VIEW_ROW_BYTES) ? line.size() : static_cast<size_t>(VIEW_ROW_BYTES);
    std::memcpy(row, line.data(), n);
    if (n != static_cast<size_t>(VIEW_ROW_BYTES)) {
        std::memset(row + n, ' ', static_cast<size_t>(VIEW_ROW_BYTES) - n);
        row[VIEW_ROW_BYTES - 2] = '\r';
        row[VIEW_ROW_BYTES - 1] = '\n';
    }
    row[VIEW_ROW_BYTES] = 0;
}

int build_view_table(const std::string& log_path, FILE* table, long& rows, const Progress& progress)
{
    rows = 0;
    FILE* log = open_regular_file(log_path);
    if (log == nullptr)
        return BUILD_NO_LOG;
    long total = file_size_rewound(log) / STREAM_SECOND_BYTES;

    char row[VIEW_ROW_BYTES + 1];
    int rc = BUILD_OK;
    read_log_frames(log, [&](int status, const FrameRecord& frame, const RecordText& time, const RecordText& marker) {
        if (status != STREAM_OK)
            return true;
        convert_channels(adc_counts(frame), 0);
        format_view_row(frame, time, marker, row);
        if (std::fwrite(row, 1, VIEW_ROW_BYTES, table) != static_cast<size_t>(VIEW_ROW_BYTES)) {
            ui().message_box("Error Writing to File\nDisk Full?", "File Write Error",
                             MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
            rc = BUILD_WRITE_ERROR;
            return false;
        }
        ++rows;
        if (rows % FRAMES_PER_SECOND == 0 && progress)
            progress(rows / FRAMES_PER_SECOND, total);
        return true;
    });
    std::fclose(log);
    if (rc == BUILD_OK && std::fflush(table) != 0) {
        ui().message_box("Error Writing to File\nDisk Full?", "File Write Error",
                         MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
        rc = BUILD_WRITE_ERROR;
    }
    return rc;
}
