#include "analysis/export.h"

#include "analysis/text_line.h"

#include <cstring>

#include "config/devices.h"
#include "config/settings.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/ui_services.h"

namespace {

// The export's Y/N columns, in order.
constexpr FlagId FLAG_COLUMNS[] = {
    FLAG_SEQUENTIAL, FLAG_ASYNC_FUELLING, FLAG_AE,    FLAG_DE,     FLAG_IDLE,       FLAG_LEAN_CRUISE,
    FLAG_PE,         FLAG_DFCO,           FLAG_CLOSED_LOOP, FLAG_BLM_LEARN, FLAG_FAN_1, FLAG_FAN_2,
    FLAG_AC_COMMANDED, FLAG_TCC,          FLAG_PURGE, FLAG_EGR,    FLAG_AIR_PORT,   FLAG_AIR_CONVERTER,
};
static_assert(std::size(FLAG_COLUMNS) == 18);

const char* const BLANK_HEADING =
    "RUNTIME   RPM %PH MAP PSI BRO VAC VE% TPS CTS IAT I/C   O2 Flw SA Rt KnkCt   sPW    aPW DC% Sf Ay Ae De Id Hw "
    "Pe Dc Cl Ln F1 F2 Ac Tc Cp Eg Pt Cv   Gr Cl INT BLM IAC  AFR  WB  dTPS  tpsAE dMAP  mapAE   aePW  ";
const char* const CSV_HEADING =
    "RUNTIME,RPM,%PH,MAP,PSI,BRO,VAC,VE%,TPS,CTS,IAT,I/C,O2,Flw,SA,Rt,KnkCt,sPW,aPW,DC%,Sf,Ay,Ae,De,Id,Hw,Pe,Dc,Cl,"
    "Ln,F1,F2,Ac,Tc,Cp,Eg,Pt,Cv,Gr,Cl,INT,BLM,IAC,AFR,WB,dTPS,tpsAE,dMAP,mapAE,aePW,";

double capped(double v, double cap) { return v >= cap ? cap : v; }

void add_heading(TextLine& line, bool csv)
{
    // The first "%" of the heading is the speed unit's place ("%cPH"); "VE%" and "DC%" print as is.
    const char* heading = csv ? CSV_HEADING : BLANK_HEADING;
    const char* unit = std::strchr(heading, '%');
    line.text(std::string(heading, static_cast<size_t>(unit - heading)));
    line.ch(g_settings.kphormph == 1 ? 'K' : 'M');
    line.text(unit + 1);
    const char s = csv ? ',' : ' ';
    {
        std::lock_guard<std::mutex> lock(g_adc.lock);
        for (const AdcChannelState& ch : g_adc.channels) {
            if (ch.active) {
                line.text(ch.label, ch.width);
                line.ch(s);
            }
        }
    }
    line.text("\r\n");
}

void add_fields(TextLine& line, const FrameRecord& f, bool csv)
{
    const char s = csv ? ',' : ' ';
    auto fixed = [&](double v, int width, int precision) {
        line.fixed(v, width, precision);
        line.ch(s);
    };
    auto integer = [&](long v, int width) {
        line.integer(v, width);
        line.ch(s);
    };
    int bar = map_sensor_bar(f);
    RunTime t = split_run_time(run_time_seconds(f));
    line.two_digits(t.hours);
    line.ch(':');
    line.two_digits(t.minutes);
    line.ch(':');
    line.two_digits(t.seconds);
    line.ch(s);
    integer(engine_rpm(f), 4);
    fixed(vehicle_speed(f.u8(F_SPEED)), 3, 0);
    fixed(map_sensor_kpa(f.u8(F_MAP_COUNT), bar), 3, 0);
    if (bar == 1) {
        line.text("  0");
        line.ch(s);
    } else {
        fixed(boost_psi(f.u8(F_BOOST_COUNT), bar), 3, 0);
    }
    fixed(baro_kpa(f.u8(F_BARO)), 3, 0);
    fixed(vacuum(f.u8(F_VACUUM)), 3, 0);
    fixed(ve_percent(f.u8(F_VE)), 3, 0);
    fixed(tps_percent(f.u8(F_TPS)), 3, 0);
    fixed(temperature(f.u8(F_CTS)), 3, 0);
    fixed(temperature(f.u8(F_IAT)), 3, 0);
    fixed(temperature(f.u8(F_IC_TEMP)), 3, 0);
    fixed(o2_millivolts(f.u8(F_O2)), 4, 0);
    integer(f.u8(F_FLOW_VALUE), 3);
    fixed(spark_advance_deg(f.u8(F_SPARK_ADVANCE)), 2, 0);
    fixed(spark_retard_deg(f.u8(F_SPARK_RETARD)), 2, 0);
    integer(f.u16(F_KNOCK_COUNT), 5);
    fixed(capped(pulse_ms(f.u16(F_SYNC_PW)), 99.0), 6, 3);
    fixed(capped(pulse_ms(f.u16(F_ASYNC_PW)), 99.9), 5, 2);
    integer(static_cast<long>(injector_duty_cycle(f)), 3);
    if (!csv)
        line.ch(' ');
    for (FlagId id : FLAG_COLUMNS) {
        line.ch(flag(f, id) ? 'Y' : 'N');
        line.text(csv ? "," : "  ");
    }
    if (g_settings.transtype == 1) {
        line.text(flag(f, FLAG_PARK_NEUTRAL) ? "P/N" : flag(f, FLAG_OVERDRIVE) ? " OD" : flag(f, FLAG_THIRD_GEAR) ? "  3" : "1_2");
        line.ch(s);
    } else {
        int gear = f.u8(F_GEAR);
        integer(gear > 9 ? 9 : gear, 3);
    }
    int cl = f.u8(F_CL_VALUE);
    integer(cl > 2 ? 2 : cl, 2);
    integer(f.u8(F_INTEGRATOR), 3);
    integer(f.u8(F_BLM), 3);
    integer(f.u8(F_IAC), 3);
    fixed(afr(f.u8(F_AFR)), 4, 1);
    fixed(g_adc.current_wb_afr, 4, 1);
    fixed(dtps_percent(f.u8(F_TPS), f.u8(F_TPS_REF)), 4, 1);
    fixed(capped(pulse_ms(f.u8(F_TPS_AE)), 99.9), 6, 3);
    fixed(dmap(f.u8(F_DMAP)), 4, 1);
    fixed(capped(pulse_ms(f.u8(F_MAP_AE)), 99.9), 6, 3);
    fixed(capped(pulse_ms(f.u16(F_AE_PW)), 99.9), 6, 3);
    if (!csv)
        line.ch(' ');
    std::lock_guard<std::mutex> lock(g_adc.lock);
    for (const AdcChannelState& ch : g_adc.channels) {
        if (ch.active) {
            line.text(ch.text, ch.width);
            line.ch(s);
        }
    }
}

void report_write_error(const char* text)
{
    ui().message_box(text, "File Write Error", MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
}

}  // namespace

std::string export_output_path(const std::string& input, bool csv)
{
    std::string name = file_name_part(input);
    size_t dot = name.rfind('.');
    std::string base = dot == std::string::npos ? input : input.substr(0, input.size() - (name.size() - dot));
    return base + (csv ? ".csv" : ".ZOV");
}

std::string export_heading(bool csv)
{
    TextLine line;
    add_heading(line, csv);
    return std::string(line.data(), line.size());
}

int export_log(const std::string& input, const std::string& output, const ExportOptions& options,
               const Progress& progress)
{
    FILE* in = open_regular_file(input);
    if (in == nullptr)
        return EXPORT_NO_INPUT;
    ReplacingFile replacing(output);
    FILE* out = replacing.get();
    if (out == nullptr) {
        ui().message_box("Can Not Open Output File\n\nIs it open elsewhere?", "File Open Error",
                         MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
        std::fclose(in);
        return EXPORT_NO_OUTPUT;
    }
    std::fseek(in, 0, SEEK_END);
    long total = std::ftell(in) / STREAM_SECOND_BYTES;
    std::rewind(in);

    int32_t previous_mode = set_run_mode(RUN_ANALYSIS);
    set_analysis_source(1, in);
    int rc = EXPORT_OK;

    // Column widths exist before the first frame: convert an all-zero frame once.
    FrameRecord frame{};
    convert_channels(frame, 1);
    if (options.single_header) {
        TextLine heading;
        add_heading(heading, options.csv);
        if (std::fwrite(heading.data(), 1, heading.size(), out) != heading.size()) {
            report_write_error("Error Writing to File\n\nDisk Full?");
            rc = EXPORT_WRITE_ERROR;
        }
    }

    RecordText time, marker;
    TextLine line;
    int previous_seconds = -1;
    long frames = 0;
    int status;
    while ((status = read_frame(frame, time, marker)) != STREAM_NO_DATA) {
        if (status != STREAM_OK)
            continue;
        line.clear();
        if (!options.single_header) {
            if (!marker.empty()) {
                line.text("Marker: ");
                line.text(marker.bytes);
                line.text(" @ ");
                line.text(time.bytes);
                line.text("\r\n");
            } else if (!time.empty()) {
                line.text("TimeStamp: ");
                line.text(time.bytes);
                line.text("\r\n");
            }
            int seconds = split_run_time(run_time_seconds(frame)).seconds;
            if (seconds != previous_seconds) {
                previous_seconds = seconds;
                add_heading(line, options.csv);
            }
        }
        convert_channels(frame, 1);
        add_fields(line, frame, options.csv);
        line.text("\r\n");
        if (std::fwrite(line.data(), 1, line.size(), out) != line.size()) {
            report_write_error("Error Writing to File\n\nDisk Full?");
            rc = EXPORT_WRITE_ERROR;
            break;
        }
        if (++frames % FRAMES_PER_SECOND == 0 && progress)
            progress(frames / FRAMES_PER_SECOND, total);
    }

    set_analysis_source(0, nullptr);
    set_run_mode(previous_mode);
    std::fclose(in);
    if (rc == EXPORT_OK && replacing.commit() != 0) {
        report_write_error("Error Writing to File\nDisk Full?");
        rc = EXPORT_WRITE_ERROR;
    }
    return rc;
}
