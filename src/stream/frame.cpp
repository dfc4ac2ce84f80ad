#include "stream/frame.h"

#include <cmath>
#include <cstdio>

#include "config/settings.h"

// Temperature in the ECM's unit by sensor count, one row per sensor characteristic: coolant in its
// first range, intake air, coolant in its second range. Each falls from 255 to 0.
const std::array<std::array<uint16_t, 256>, 3> SENSOR_TABLES = {{
    {{ // table 0
        255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
        255, 255, 255, 255, 255, 255, 255, 254, 254, 254, 253, 253, 252, 251, 250, 249,
        248, 246, 245, 244, 242, 240, 239, 237, 235, 233, 231, 230, 228, 226, 225, 223,
        221, 220, 219, 217, 216, 215, 214, 213, 212, 211, 210, 209, 208, 207, 206, 205,
        204, 203, 202, 201, 201, 200, 199, 198, 197, 196, 195, 194, 194, 193, 192, 191,
        190, 189, 188, 188, 187, 186, 185, 184, 183, 183, 182, 181, 180, 180, 179, 178,
        177, 177, 176, 175, 174, 174, 173, 172, 172, 171, 170, 170, 169, 168, 168, 167,
        166, 166, 165, 164, 164, 163, 163, 162, 161, 161, 160, 159, 159, 158, 158, 157,
        156, 156, 155, 155, 154, 153, 153, 152, 151, 151, 150, 150, 149, 148, 148, 147,
        146, 146, 145, 145, 144, 143, 143, 142, 141, 141, 140, 140, 139, 138, 138, 137,
        136, 136, 135, 134, 134, 133, 133, 132, 131, 131, 130, 129, 129, 128, 128, 127,
        126, 126, 125, 125, 124, 123, 123, 122, 122, 121, 120, 120, 119, 118, 118, 117,
        116, 116, 115, 114, 113, 113, 112, 111, 110, 109, 108, 108, 107, 106, 105, 104,
        103, 102, 101, 100,  99,  98,  98,  97,  96,  95,  94,  93,  92,  91,  90,  89,
         88,  87,  86,  85,  84,  83,  82,  81,  79,  78,  77,  75,  73,  71,  69,  67,
         65,  62,  59,  56,  53,  50,  46,  42,  38,  33,  29,  24,  18,  12,   6,   0,
    }},
    {{ // table 1
        255, 253, 251, 249, 247, 246, 244, 242, 240, 238, 236, 234, 233, 231, 229, 227,
        225, 223, 222, 220, 218, 216, 214, 213, 211, 209, 207, 206, 204, 202, 201, 199,
        197, 196, 194, 193, 191, 190, 188, 187, 185, 184, 182, 181, 180, 178, 177, 176,
        175, 174, 173, 172, 171, 170, 169, 168, 167, 166, 165, 164, 163, 163, 162, 161,
        160, 159, 159, 158, 157, 156, 155, 154, 154, 153, 152, 151, 150, 150, 149, 148,
        147, 146, 146, 145, 144, 144, 143, 142, 142, 141, 140, 140, 139, 138, 138, 137,
        136, 136, 135, 135, 134, 133, 133, 132, 132, 131, 131, 130, 130, 129, 129, 128,
        127, 127, 126, 126, 126, 125, 125, 124, 124, 123, 123, 122, 122, 121, 121, 120,
        119, 119, 118, 118, 117, 117, 116, 116, 115, 114, 114, 113, 113, 112, 112, 111,
        110, 110, 109, 109, 108, 108, 107, 107, 106, 106, 105, 105, 104, 104, 103, 103,
        103, 102, 102, 101, 101, 100, 100,  99,  99,  98,  98,  97,  97,  96,  96,  95,
         94,  94,  93,  93,  92,  91,  91,  90,  89,  89,  88,  88,  87,  86,  86,  85,
         84,  84,  83,  83,  82,  81,  81,  80,  80,  79,  78,  78,  77,  76,  76,  75,
         74,  73,  73,  72,  71,  70,  69,  68,  68,  67,  66,  65,  64,  63,  62,  61,
         60,  59,  58,  57,  56,  55,  54,  53,  52,  51,  49,  48,  47,  45,  44,  42,
         40,  38,  37,  35,  32,  30,  28,  25,  23,  20,  17,  14,  11,   7,   4,   0,
    }},
    {{ // table 2
        255, 254, 253, 252, 250, 248, 245, 243, 240, 237, 234, 230, 227, 223, 219, 215,
        211, 207, 203, 199, 195, 190, 186, 182, 178, 175, 171, 167, 164, 161, 158, 155,
        152, 150, 148, 146, 144, 143, 141, 140, 139, 138, 137, 136, 135, 134, 133, 132,
        131, 130, 129, 128, 127, 126, 125, 124, 123, 122, 122, 121, 120, 119, 118, 117,
        116, 115, 115, 114, 113, 112, 112, 111, 110, 110, 109, 108, 108, 107, 107, 106,
        105, 105, 104, 104, 103, 103, 102, 101, 101, 100, 100,  99,  99,  98,  98,  97,
         96,  96,  95,  95,  94,  94,  93,  92,  92,  91,  91,  90,  90,  89,  89,  88,
         88,  87,  87,  86,  86,  85,  85,  84,  84,  83,  83,  83,  82,  82,  81,  81,
         81,  80,  80,  79,  79,  78,  78,  78,  77,  77,  76,  76,  75,  75,  74,  74,
         74,  73,  73,  72,  72,  71,  71,  70,  70,  70,  69,  69,  68,  68,  67,  67,
         67,  66,  66,  65,  65,  64,  64,  64,  63,  63,  62,  62,  61,  61,  60,  60,
         60,  59,  59,  58,  58,  57,  57,  56,  56,  55,  55,  54,  53,  53,  52,  52,
         52,  51,  51,  50,  50,  49,  49,  48,  48,  47,  47,  46,  46,  45,  45,  44,
         43,  43,  42,  42,  41,  40,  40,  39,  39,  38,  37,  37,  36,  35,  35,  34,
         33,  33,  32,  31,  31,  30,  29,  29,  28,  27,  26,  26,  25,  24,  23,  22,
         21,  20,  19,  18,  17,  15,  14,  13,  12,  10,   9,   7,   5,   4,   2,   0,
    }},}};

int cylinder_count(const FrameRecord& f) { return f.u8(F_ECM_CONFIG) & 0x0F; }
bool multi_port_injection(const FrameRecord& f) { return flag(f, FLAG_MPFI); }

int map_sensor_bar(const FrameRecord& f)
{
    if (flag(f, FLAG_MAP_2_BAR))
        return 2;
    return flag(f, FLAG_MAP_3_BAR) ? 3 : 1;
}

namespace {

// Reference period to engine speed: 60 x 65536 divided by the reference pulses per revolution
// (cylinders / 2); quotients below the floor count as a stopped engine.
struct PeriodConstant {
    int cylinders;
    int constant;
    int floor;
};

constexpr std::array<PeriodConstant, 5> PERIOD_CONSTANTS = {{
    {4, 1966080, 31},
    {5, 1572864, 25},
    {6, 1310720, 21},
    {7, 1123474, 18},
    {8, 983040, 16},
}};

constexpr int RPM_LIMIT = 9999;   // this and above is noise, shown as 0

int rpm_from_period(const FrameRecord& f)
{
    int period = f.u16(F_REF_PERIOD);
    if (period == 0)
        return 0;
    int cylinders = cylinder_count(f);
    for (const PeriodConstant& p : PERIOD_CONSTANTS) {
        if (p.cylinders == cylinders) {
            int rpm = p.constant / period;
            return rpm < p.floor ? 0 : rpm;
        }
    }
    return 0;
}

int rpm_from_steps(const FrameRecord& f)
{
    int b27 = f.u8(F_RPM_12_5_ABOVE_400);
    if (b27 == 0)
        return static_cast<int>(f.u8(F_RPM_12_5) * 12.5);
    if (b27 == 255) {
        int b28 = f.u8(F_RPM_25);
        return b28 < 255 ? b28 * 25 : static_cast<int>(f.u8(F_RPM_31_25) * 31.25);
    }
    return static_cast<int>(b27 * 12.5) + 400;
}

}  // namespace

int engine_rpm(const FrameRecord& f)
{
    int rpm = f.u8(F_RPM_12_5) != 0 ? rpm_from_steps(f) : rpm_from_period(f);
    return rpm >= RPM_LIMIT ? 0 : rpm;
}

double injector_duty_cycle(const FrameRecord& f)
{
    double period_ms;
    double pulse;
    if (flag(f, FLAG_ASYNC_FUELLING)) {
        period_ms = 12.5;
        pulse = pulse_ms(f.u16(F_ASYNC_PW));
    } else {
        int rpm = engine_rpm(f);
        double rev = rpm == 0 ? INFINITY : 60.0 / rpm;
        pulse = pulse_ms(f.u16(F_SYNC_PW));
        if (!multi_port_injection(f)) {
            // Throttle body: cylinders / 4 injections a revolution, a real quotient (six cylinders
            // fire 1.5 times a revolution). No cylinders leave no period: the duty is then 0.
            period_ms = rev / (cylinder_count(f) / 4.0) * 1000.0;
        } else {
            period_ms = rev * 1000.0;
            if (flag(f, FLAG_SEQUENTIAL))
                period_ms *= 2.0;
        }
    }
    double duty = pulse / period_ms * 100.0;
    return duty < 255.0 ? duty : 255.0;   // also 255 when not a number
}

RunTime split_run_time(int seconds)
{
    return RunTime{seconds / 3600, seconds % 3600 / 60, seconds % 60};
}

int sensor_temperature(int count, int table)
{
    if (table < 0 || table > 2)
        return 0;
    int index = count < 0 ? 0 : count;
    if (table == 2)
        index += 10;
    if (index > 255)
        index = 255;
    return SENSOR_TABLES[table][index];
}

double temperature_on_scale(int raw, int scale)
{
    if (scale == 1)
        return raw * 0.75 - 40.0;
    if (scale == 0)
        return raw * 1.35 - 40.0;
    return 0.0;
}

double temperature(int raw) { return temperature_on_scale(raw, g_settings.temperscale); }

double vehicle_speed(int raw) { return g_settings.kphormph == 1 ? raw * 1.609344 : raw; }

double sensor_volts(int count) { return count * 5.0 / 255.0; }

double map_load_kpa(int raw) { return raw * 0.3125 + 20.0; }

double map_sensor_kpa(int raw, int bar)
{
    switch (bar) {
    case 2:
        return raw * 0.7705 + 8.0;
    case 3:
        return raw * 1.2335 + 1.1;
    default:
        return raw * 0.369 + 10.415;
    }
}

double boost_kpa(int raw, int bar)
{
    switch (bar) {
    case 2:
        return raw * 0.625;
    case 3:
        return raw * 1.2335;
    default:
        return 0.0;
    }
}

double boost_psi(int raw, int bar) { return boost_kpa(raw, bar) * 0.145037738; }
double baro_kpa(int raw) { return raw * 0.369 + 10.415; }
double vacuum(int raw) { return 80.0 - raw * 0.3125; }
double dmap(int raw) { return raw * 0.3125; }

double spark_advance_deg(int raw) { return raw * 0.3515625; }
double spark_retard_deg(int raw) { return raw * 0.17578125; }
double o2_millivolts(int raw) { return raw * 4.42; }
double tenth_volts(int raw) { return raw / 10.0; }
double tps_percent(int raw) { return raw * 0.390625; }
double dtps_percent(int tps, int tps_ref) { return tps > tps_ref ? (tps - tps_ref) * 0.390625 : 0.0; }
double ve_percent(int raw) { return raw * 0.390625; }
double pulse_ms(int raw) { return raw * 0.0152587890625; }
double afr(int raw) { return raw / 10.0; }

int pulses_per_mile(int k)
{
    if (k == 0)
        return 0;
    return static_cast<int>(std::lround(920920.0 / k));
}

void gear_text(const FrameRecord& f, int trans_type, char out[4])
{
    if (trans_type == 1) {
        const char* t = flag(f, FLAG_PARK_NEUTRAL) ? "P/N"
                        : flag(f, FLAG_OVERDRIVE)  ? "OD"
                        : flag(f, FLAG_THIRD_GEAR) ? "3"
                                                   : "1/2";
        std::snprintf(out, 4, "%s", t);
        return;
    }
    int gear = f.u8(F_GEAR);
    out[0] = static_cast<char>('0' + (gear > 9 ? 9 : gear));
    out[1] = 0;
}
