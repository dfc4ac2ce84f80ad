#include "analysis/export.h"

#include "analysis/text_line.h"

#include <cstring>

#include "config/devices.h"
#include "config/settings.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/ui_services.h"

namespace {
// ---- The columns' conversions -------------------------------------------------------------------

double capped(double v, double cap) { return v >= cap ? cap : v; }
double capped_at(int v, int cap) { return v > cap ? cap : v; }

double run_time_value(const FrameRecord& f) { return run_time_seconds(f); }
double rpm_value(const FrameRecord& f) { return engine_rpm(f); }
double speed_value(const FrameRecord& f) { return vehicle_speed(f.u8(F_SPEED)); }
double map_value(const FrameRecord& f) { return map_sensor_kpa(f.u8(F_MAP_COUNT), map_sensor_bar(f)); }
// A 1-bar sensor measures no boost: the column prints "  0", which is the zero printed as "%3.0f".
double psi_value(const FrameRecord& f)
{
    int bar = map_sensor_bar(f);
    return bar == 1 ? 0.0 : boost_psi(f.u8(F_BOOST_COUNT), bar);
}
double baro_value(const FrameRecord& f) { return baro_kpa(f.u8(F_BARO)); }
double vacuum_value(const FrameRecord& f) { return vacuum(f.u8(F_VACUUM)); }
double ve_value(const FrameRecord& f) { return ve_percent(f.u8(F_VE)); }
double tps_value(const FrameRecord& f) { return tps_percent(f.u8(F_TPS)); }
double cts_value(const FrameRecord& f) { return temperature(f.u8(F_CTS)); }
double iat_value(const FrameRecord& f) { return temperature(f.u8(F_IAT)); }
double ic_value(const FrameRecord& f) { return temperature(f.u8(F_IC_TEMP)); }
double o2_value(const FrameRecord& f) { return o2_millivolts(f.u8(F_O2)); }
double flow_value(const FrameRecord& f) { return f.u8(F_FLOW_VALUE); }
double advance_value(const FrameRecord& f) { return spark_advance_deg(f.u8(F_SPARK_ADVANCE)); }
double retard_value(const FrameRecord& f) { return spark_retard_deg(f.u8(F_SPARK_RETARD)); }
double knock_value(const FrameRecord& f) { return f.u16(F_KNOCK_COUNT); }
double spw_value(const FrameRecord& f) { return capped(pulse_ms(f.u16(F_SYNC_PW)), 99.0); }
double apw_value(const FrameRecord& f) { return capped(pulse_ms(f.u16(F_ASYNC_PW)), 99.9); }
double duty_value(const FrameRecord& f) { return static_cast<long>(injector_duty_cycle(f)); }
template <FlagId ID>
double flag_value(const FrameRecord& f)
{
    return flag(f, ID) ? 1.0 : 0.0;
}
double gear_value(const FrameRecord& f)
{
    if (g_settings.transtype == 1)
        return flag(f, FLAG_PARK_NEUTRAL) ? GEAR_PARK_NEUTRAL
               : flag(f, FLAG_OVERDRIVE)  ? GEAR_OVERDRIVE
               : flag(f, FLAG_THIRD_GEAR) ? GEAR_THIRD
                                          : GEAR_1_2;
    return capped_at(f.u8(F_GEAR), 9);
}
double cl_value(const FrameRecord& f) { return capped_at(f.u8(F_CL_VALUE), 2); }
double int_value(const FrameRecord& f) { return f.u8(F_INTEGRATOR); }
double blm_value(const FrameRecord& f) { return f.u8(F_BLM); }
double iac_value(const FrameRecord& f) { return f.u8(F_IAC); }
double afr_value(const FrameRecord& f) { return afr(f.u8(F_AFR)); }
// The preferred wideband channel as the channel conversion of this frame left it.
double wb_value(const FrameRecord&) { return g_adc.current_wb_afr; }
double dtps_value(const FrameRecord& f) { return dtps_percent(f.u8(F_TPS), f.u8(F_TPS_REF)); }
double tps_ae_value(const FrameRecord& f) { return capped(pulse_ms(f.u8(F_TPS_AE)), 99.9); }
double dmap_value(const FrameRecord& f) { return dmap(f.u8(F_DMAP)); }
double map_ae_value(const FrameRecord& f) { return capped(pulse_ms(f.u8(F_MAP_AE)), 99.9); }
double ae_pw_value(const FrameRecord& f) { return capped(pulse_ms(f.u16(F_AE_PW)), 99.9); }

}  // namespace

using CF = ColumnFormat;
using CU = ColumnUnit;

const std::array<ExportColumn, EXPORT_COLUMN_COUNT> EXPORT_COLUMNS = {{
    {"RUNTIME", CF::RunTime, 0, 0, CU::Seconds, run_time_value, false},
    {"RPM", CF::Integer, 4, 0, CU::Rpm, rpm_value, false},
    {"%PH", CF::Fixed, 3, 0, CU::Speed, speed_value, false},
    {"MAP", CF::Fixed, 3, 0, CU::Kpa, map_value, false},
    {"PSI", CF::Fixed, 3, 0, CU::Psi, psi_value, false},
    {"BRO", CF::Fixed, 3, 0, CU::Kpa, baro_value, false},
    {"VAC", CF::Fixed, 3, 0, CU::None, vacuum_value, false},
    {"VE%", CF::Fixed, 3, 0, CU::Percent, ve_value, false},
    {"TPS", CF::Fixed, 3, 0, CU::Percent, tps_value, false},
    {"CTS", CF::Fixed, 3, 0, CU::Temperature, cts_value, false},
    {"IAT", CF::Fixed, 3, 0, CU::Temperature, iat_value, false},
    {"I/C", CF::Fixed, 3, 0, CU::Temperature, ic_value, false},
    {"O2", CF::Fixed, 4, 0, CU::Millivolts, o2_value, false},
    {"Flw", CF::Integer, 3, 0, CU::None, flow_value, false},
    {"SA", CF::Fixed, 2, 0, CU::Degrees, advance_value, false},
    {"Rt", CF::Fixed, 2, 0, CU::Degrees, retard_value, false},
    {"KnkCt", CF::Integer, 5, 0, CU::None, knock_value, false},
    {"sPW", CF::Fixed, 6, 3, CU::Ms, spw_value, false},
    {"aPW", CF::Fixed, 5, 2, CU::Ms, apw_value, false},
    {"DC%", CF::Integer, 3, 0, CU::Percent, duty_value, true},
    {"Sf", CF::Flag, 0, 0, CU::None, flag_value<FLAG_SEQUENTIAL>, false},
    {"Ay", CF::Flag, 0, 0, CU::None, flag_value<FLAG_ASYNC_FUELLING>, false},
    {"Ae", CF::Flag, 0, 0, CU::None, flag_value<FLAG_AE>, false},
    {"De", CF::Flag, 0, 0, CU::None, flag_value<FLAG_DE>, false},
    {"Id", CF::Flag, 0, 0, CU::None, flag_value<FLAG_IDLE>, false},
    {"Hw", CF::Flag, 0, 0, CU::None, flag_value<FLAG_LEAN_CRUISE>, false},
    {"Pe", CF::Flag, 0, 0, CU::None, flag_value<FLAG_PE>, false},
    {"Dc", CF::Flag, 0, 0, CU::None, flag_value<FLAG_DFCO>, false},
    {"Cl", CF::Flag, 0, 0, CU::None, flag_value<FLAG_CLOSED_LOOP>, false},
    {"Ln", CF::Flag, 0, 0, CU::None, flag_value<FLAG_BLM_LEARN>, false},
    {"F1", CF::Flag, 0, 0, CU::None, flag_value<FLAG_FAN_1>, false},
    {"F2", CF::Flag, 0, 0, CU::None, flag_value<FLAG_FAN_2>, false},
    {"Ac", CF::Flag, 0, 0, CU::None, flag_value<FLAG_AC_COMMANDED>, false},
    {"Tc", CF::Flag, 0, 0, CU::None, flag_value<FLAG_TCC>, false},
    {"Cp", CF::Flag, 0, 0, CU::None, flag_value<FLAG_PURGE>, false},
    {"Eg", CF::Flag, 0, 0, CU::None, flag_value<FLAG_EGR>, false},
    {"Pt", CF::Flag, 0, 0, CU::None, flag_value<FLAG_AIR_PORT>, false},
    {"Cv", CF::Flag, 0, 0, CU::None, flag_value<FLAG_AIR_CONVERTER>, false},
    {"Gr", CF::Gear, 3, 0, CU::None, gear_value, false},
    {"Cl", CF::Integer, 2, 0, CU::None, cl_value, false},
    {"INT", CF::Integer, 3, 0, CU::None, int_value, false},
    {"BLM", CF::Integer, 3, 0, CU::None, blm_value, false},
    {"IAC", CF::Integer, 3, 0, CU::None, iac_value, false},
    {"AFR", CF::Fixed, 4, 1, CU::Afr, afr_value, false},
    {"WB", CF::Fixed, 4, 1, CU::Afr, wb_value, false},
    {"dTPS", CF::Fixed, 4, 1, CU::Percent, dtps_value, false},
    {"tpsAE", CF::Fixed, 6, 3, CU::Ms, tps_ae_value, false},
    {"dMAP", CF::Fixed, 4, 1, CU::None, dmap_value, false},
    {"mapAE", CF::Fixed, 6, 3, CU::Ms, map_ae_value, false},
    {"aePW", CF::Fixed, 6, 3, CU::Ms, ae_pw_value, true},
}};

std::string export_column_name(const ExportColumn& column)
{
    std::string name = column.name;
    if (name == "%PH")
        name[0] = g_settings.kphormph == 1 ? 'K' : 'M';
    return name;
}

std::string column_unit_text(ColumnUnit unit)
{
    switch (unit) {
    case ColumnUnit::None:
        return "";
    case ColumnUnit::Seconds:
        return "s";
    case ColumnUnit::Rpm:
        return "rpm";
    case ColumnUnit::Speed:
        return g_settings.kphormph == 1 ? "km/h" : "mph";
    case ColumnUnit::Kpa:
        return "kPa";
    case ColumnUnit::Psi:
        return "psi";
    case ColumnUnit::Percent:
        return "%";
    case ColumnUnit::Temperature:
        return g_settings.temperscale == 1 ? "\xB0" "C" : "\xB0" "F";
    case ColumnUnit::Millivolts:
        return "mV";
    case ColumnUnit::Degrees:
        return "\xB0";
    case ColumnUnit::Ms:
        return "ms";
    case ColumnUnit::Afr:
        return "AFR";
    }
    return "";
}

namespace {

const char* const BLANK_HEADING =
    "RUNTIME   RPM %PH MAP PSI BRO VAC VE% TPS CTS IAT I/C   O2 Flw SA Rt KnkCt   sPW    aPW DC% Sf Ay Ae De Id Hw "
    "Pe Dc Cl Ln F1 F2 Ac Tc Cp Eg Pt Cv   Gr Cl INT BLM IAC  AFR  WB  dTPS  tpsAE dMAP  mapAE   aePW  ";
const char* const CSV_HEADING =
    "RUNTIME,RPM,%PH,MAP,PSI,BRO,VAC,VE%,TPS,CTS,IAT,I/C,O2,Flw,SA,Rt,KnkCt,sPW,aPW,DC%,Sf,Ay,Ae,De,Id,Hw,Pe,Dc,Cl,"
    "Ln,F1,F2,Ac,Tc,Cp,Eg,Pt,Cv,Gr,Cl,INT,BLM,IAC,AFR,WB,dTPS,tpsAE,dMAP,mapAE,aePW,";

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
    for (const ExportColumn& c : EXPORT_COLUMNS) {
        double v = c.value(f);
        switch (c.format) {
        case ColumnFormat::RunTime: {
            RunTime t = split_run_time(static_cast<int>(v));
            line.two_digits(t.hours);
            line.ch(':');
            line.two_digits(t.minutes);
            line.ch(':');
            line.two_digits(t.seconds);
            line.ch(s);
            break;
        }
        case ColumnFormat::Integer:
            line.integer(static_cast<long>(v), c.width);
            line.ch(s);
            break;
        case ColumnFormat::Fixed:
            line.fixed(v, c.width, c.precision);
            line.ch(s);
            break;
        case ColumnFormat::Flag:
            line.ch(v != 0 ? 'Y' : 'N');
            line.text(csv ? "," : "  ");
            break;
        case ColumnFormat::Gear:
            if (g_settings.transtype == 1) {
                int code = static_cast<int>(v);
                line.text(code == GEAR_PARK_NEUTRAL ? "P/N" : code == GEAR_OVERDRIVE ? " OD" : code == GEAR_THIRD ? "  3" : "1_2");
            } else {
                line.integer(static_cast<long>(v), c.width);
            }
            line.ch(s);
            break;
        }
        if (c.blank_after && !csv)
            line.ch(' ');
    }
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

void begin_log_conversion()
{
    // Smoothing starts afresh: a log converts to the same values whatever was read before it.
    {
        std::lock_guard<std::mutex> lock(g_adc.lock);
        for (AdcChannelState& ch : g_adc.channels)
            ch.smoothed = 0.0;
    }
    convert_channels(AdcCounts{}, 1);
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
    long total = file_size_rewound(in) / STREAM_SECOND_BYTES;

    int rc = EXPORT_OK;
    auto start = [&] {
        begin_log_conversion();
        if (options.single_header) {
            TextLine heading;
            add_heading(heading, options.csv);
            if (std::fwrite(heading.data(), 1, heading.size(), out) != heading.size()) {
                report_write_error("Error Writing to File\n\nDisk Full?");
                rc = EXPORT_WRITE_ERROR;
            }
        }
    };

    TextLine line;
    int previous_seconds = -1;
    long frames = 0;
    auto each = [&](int status, const FrameRecord& frame, const RecordText& time, const RecordText& marker) {
        if (status != STREAM_OK)
            return true;
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
        convert_channels(adc_counts(frame), 1);
        add_fields(line, frame, options.csv);
        line.text("\r\n");
        if (std::fwrite(line.data(), 1, line.size(), out) != line.size()) {
            report_write_error("Error Writing to File\n\nDisk Full?");
            rc = EXPORT_WRITE_ERROR;
            return false;
        }
        if (++frames % FRAMES_PER_SECOND == 0 && progress)
            progress(frames / FRAMES_PER_SECOND, total);
        return true;
    };
    read_log_frames(in, start, each);
    std::fclose(in);
    if (rc == EXPORT_OK && replacing.commit() != 0) {
        report_write_error("Error Writing to File\nDisk Full?");
        rc = EXPORT_WRITE_ERROR;
    }
    return rc;
}
