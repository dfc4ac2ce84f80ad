// The frame record: the 273 payload bytes of a stream frame, and every conversion of its fields.
// Multi-byte fields are big-endian unsigned; bits are numbered from 0, the least significant.
#pragma once

#include <array>
#include <cstdint>

#include "config/settings.h"

constexpr int FRAME_PAYLOAD_BYTES = 273;

struct FrameRecord {
    uint8_t b[FRAME_PAYLOAD_BYTES];

    int u8(int offset) const { return b[offset]; }
    int u16(int offset) const { return b[offset] * 256 + b[offset + 1]; }
    bool bit(int offset, int bit_number) const { return (b[offset] >> bit_number) & 1; }
};

// Offsets of the fields the program interprets.
enum FrameField : int {
    F_SPARK_ADVANCE = 10,
    F_PROM_ID = 16,          // 2 bytes
    F_MALF_SET_1 = 18,       // bytes 18-20
    F_MALF_SET_2 = 21,       // bytes 21-23
    F_REF_PERIOD = 24,       // 2 bytes, 1/65536 s
    F_RPM_12_5_ABOVE_400 = 27,
    F_RPM_25 = 28,
    F_RPM_12_5 = 31,
    F_CTS_COUNT = 37,
    F_MAP_LOAD = 38,
    F_BOOST_COUNT = 44,
    F_MAP_COUNT = 45,
    F_VACUUM = 49,
    F_DMAP = 50,
    F_IAT_COUNT = 51,
    F_SPEED = 52,
    F_FIRMWARE = 54,
    F_O2 = 62,
    F_IGN_VOLTS = 69,
    F_PUMP_VOLTS = 70,
    F_TPS_COUNT = 72,
    F_TPS = 73,
    F_TPS_REF = 75,
    F_OIL_TEMP = 88,
    F_KNOCK_COUNT = 115,     // 2 bytes
    F_SPARK_RETARD = 119,
    F_IC_TEMP = 125,
    F_IAT = 126,
    F_SPEED_K = 127,         // 2 bytes
    F_ASYNC_PW = 138,        // 2 bytes
    F_MAP_AE = 153,
    F_TPS_AE = 154,
    F_CL_VALUE = 162,
    F_BLM = 163,
    F_INTEGRATOR = 164,
    F_AFR = 165,
    F_VSS_COUNTER = 166,
    F_SYNC_PW = 167,         // 2 bytes
    F_VE = 169,
    F_GEAR = 187,
    F_ECM_CONFIG = 204,
    F_MALF_SET_3 = 224,      // bytes 224-226
    F_CTS = 227,
    F_RUN_TIME = 235,        // 2 bytes, seconds
    F_FLOW_VALUE = 240,
    F_FUEL_COUNTER = 241,
    F_RPM_31_25 = 243,
    F_INJ_FLOW = 244,        // 2 bytes
    F_AE_PW = 250,           // 2 bytes
    F_IAC = 253,
    F_BARO = 254,
    F_BANK = 256,
    F_ADC_0 = 257,           // 8 channels of 2 bytes, to 272
};

// One flag bit of the record, with the labels the lamps and the export columns use.
struct FlagInfo {
    int offset;
    int bit;
    const char* lamp;         // gauge display lamp label, or nullptr
    const char* column;       // export Y/N column heading, or nullptr
    bool lit_when_clear;      // the condition holds when the bit is clear (fuel cut)
    const char* meaning;
};

enum FlagId : int {
    FLAG_ENGINE_STOP, FLAG_RUNNING, FLAG_IDLE, FLAG_CLOSED_THROTTLE, FLAG_LEAN_CRUISE, FLAG_TCC,
    FLAG_SHIFT, FLAG_AC_COMMANDED, FLAG_PURGE, FLAG_LAUNCH, FLAG_NITROUS, FLAG_FUEL_CUT, FLAG_DFCO,
    FLAG_SES, FLAG_PE, FLAG_AE, FLAG_ASYNC_PULSE, FLAG_DE, FLAG_CLOSED_LOOP, FLAG_ASYNC_FUELLING,
    FLAG_BLM_LEARN, FLAG_PARK_NEUTRAL, FLAG_AC_REQUESTED, FLAG_SEQUENTIAL, FLAG_SIBLING_FIRMWARE,
    FLAG_FAN_1, FLAG_FAN_2, FLAG_CTS_SUPPRESSED, FLAG_AIR_PORT, FLAG_AIR_CONVERTER, FLAG_EGR,
    FLAG_MPFI, FLAG_MAP_3_BAR, FLAG_MAP_2_BAR, FLAG_CTS_RANGE, FLAG_AC_ON, FLAG_OVERDRIVE,
    FLAG_THIRD_GEAR, FLAG_VALET, FLAG_BANK_VALID,
    FLAG_COUNT
};

inline constexpr std::array<FlagInfo, FLAG_COUNT> FLAGS = {{
    {0, 4, nullptr, nullptr, false, "engine stop indication"},
    {1, 7, "Running", nullptr, false, "engine running"},
    {2, 7, "Idle", "Id", false, "idle"},
    {3, 3, "ClsdThrt", nullptr, false, "closed throttle"},
    {3, 2, "LeanCr", "Hw", false, "lean cruise"},
    {5, 7, "TCC", "Tc", false, "torque converter clutch"},
    {5, 4, "Shift", nullptr, false, "shift light"},
    {5, 3, "A/C Cmd", "Ac", false, "A/C commanded"},
    {6, 0, "CCP", "Cp", false, "canister purge"},
    {6, 2, "Launch", nullptr, false, "launch"},
    {6, 3, "N2O", nullptr, false, "nitrous"},
    {6, 7, "FuelCut", nullptr, true, "fuel enabled; the fuel cut lamp is lit when clear"},
    {8, 3, "DFCO", "Dc", false, "deceleration fuel cut-off"},
    {11, 0, "SES", nullptr, false, "service engine soon"},
    {13, 7, "PE", "Pe", false, "power enrichment"},
    {13, 6, "AE", "Ae", false, "acceleration enrichment"},
    {13, 5, "Async", nullptr, false, "asynchronous pulse"},
    {13, 4, "DE", "De", false, "deceleration enleanment"},
    {14, 7, "ClsdLp", "Cl", false, "closed loop"},
    {14, 4, nullptr, "Ay", false, "asynchronous fuelling in force"},
    {14, 1, "BLM Ln", "Ln", false, "block learn enabled"},
    {15, 4, nullptr, nullptr, false, "park/neutral (automatic)"},
    {15, 3, "A/C Rq", nullptr, false, "A/C requested"},
    {54, 7, "S/F", "Sf", false, "sequential fire"},
    {54, 4, nullptr, nullptr, false, "firmware of the sibling system"},
    {140, 0, "Fan1", "F1", false, "fan 1"},
    {140, 1, "Fan2", "F2", false, "fan 2"},
    {149, 0, nullptr, nullptr, false, "coolant sensor count conversion suppressed"},
    {149, 4, "AIR Pt", "Pt", false, "secondary air, port"},
    {149, 5, "AIR Cv", "Cv", false, "secondary air, converter"},
    {180, 7, "EGR", "Eg", false, "EGR"},
    {204, 4, nullptr, nullptr, false, "multi-port injection; clear = throttle body"},
    {204, 6, nullptr, nullptr, false, "3-bar MAP sensor (when bit 7 is clear)"},
    {204, 7, nullptr, nullptr, false, "2-bar MAP sensor"},
    {212, 0, nullptr, nullptr, false, "coolant sensor range: set table 0, clear table 2"},
    {213, 7, "A/C On", nullptr, false, "A/C on"},
    {213, 2, nullptr, nullptr, false, "overdrive (automatic)"},
    {213, 1, nullptr, nullptr, false, "third gear (automatic)"},
    {252, 7, "Valet", nullptr, false, "valet mode"},
    {256, 7, nullptr, nullptr, false, "flash bank number valid"},
}};

inline bool flag(const FrameRecord& f, FlagId id) { return f.bit(FLAGS[id].offset, FLAGS[id].bit); }
// Whether the flag's condition holds (the fuel cut lamp is lit when its bit is clear).
inline bool flag_condition(const FrameRecord& f, FlagId id) { return flag(f, id) != FLAGS[id].lit_when_clear; }

// ECM configuration, from byte 204.
int cylinder_count(const FrameRecord& f);    // bits 0-3
bool multi_port_injection(const FrameRecord& f);
int map_sensor_bar(const FrameRecord& f);    // 1, 2 or 3

// Derived values.
int engine_rpm(const FrameRecord& f);
double injector_duty_cycle(const FrameRecord& f);   // percent, 0 to 255

struct RunTime {
    int hours, minutes, seconds;
};
RunTime split_run_time(int seconds);
inline int run_time_seconds(const FrameRecord& f) { return f.u16(F_RUN_TIME); }

// Temperature in the ECM's unit from a sensor count; table 0 and 2 are the coolant sensor's two
// ranges, table 1 the intake air sensor.
int sensor_temperature(int count, int table);
extern const std::array<std::array<uint16_t, 256>, 3> SENSOR_TABLES;

// ECM temperature unit to the scale of [TEMPERSCALE] (1 Celsius, 0 Fahrenheit, other 0).
double temperature(int raw);
double temperature_on_scale(int raw, int scale);
// Vehicle speed in mph, or km/h when [KPHORMPH] is 1.
double vehicle_speed(int raw);

double sensor_volts(int count);         // 8-bit sensor count (bytes 45 and 72)
inline int adc_count(const FrameRecord& f, int channel) { return f.u16(F_ADC_0 + 2 * channel); }
// The frame's eight ADC counts, as the channel conversion takes them.
inline std::array<int, ADC_CHANNEL_COUNT> adc_counts(const FrameRecord& f)
{
    std::array<int, ADC_CHANNEL_COUNT> counts;
    for (int n = 0; n < ADC_CHANNEL_COUNT; ++n)
        counts[n] = adc_count(f, n);
    return counts;
}

double map_load_kpa(int raw);                 // byte 38
double map_sensor_kpa(int raw, int bar);      // byte 45
double boost_kpa(int raw, int bar);           // byte 44; 0 for a 1-bar sensor
double boost_psi(int raw, int bar);
double baro_kpa(int raw);
double vacuum(int raw);
double dmap(int raw);

double spark_advance_deg(int raw);
double spark_retard_deg(int raw);
double o2_millivolts(int raw);
double tenth_volts(int raw);                  // ignition and fuel pump voltage
double tps_percent(int raw);
double dtps_percent(int tps, int tps_ref);
double ve_percent(int raw);
double pulse_ms(int raw);                     // injector and enrichment pulses
double afr(int raw);

int pulses_per_mile(int k);                   // from bytes 127-128; 0 when K is 0

// Gear text: automatic "P/N", "OD", "3" or "1/2"; manual the gear number capped at 9.
// Writes at most 3 characters and a terminator into `out`.
void gear_text(const FrameRecord& f, int trans_type, char out[4]);
