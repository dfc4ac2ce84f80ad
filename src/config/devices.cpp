#include "config/devices.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/settings.h"
#include "config/wb_tables.h"

AdcState g_adc;

struct WbTable {
    const std::array<double, WB_TABLE_ROWS>* volts;
    bool a_column;            // the AFR column of the "a" variants, else 10.0 to 20.0
    double lower, upper;      // outside these: 0.0 below, 25.5 above
};

namespace {

constexpr WbTable TABLE_FJO{&VOLTS_FJO, false, 0.8, 3.1};
constexpr WbTable TABLE_ZEIT{&VOLTS_ZEIT, false, 0.41, 3.13};
constexpr WbTable TABLE_WB0{&VOLTS_WB0, false, 0.4, 3.14};
constexpr WbTable TABLE_WB1{&VOLTS_WB1, false, 1.19, 2.92};
constexpr WbTable TABLE_WB0A{&VOLTS_WB0A, true, 0.4, 3.14};
constexpr WbTable TABLE_WB1A{&VOLTS_WB1, true, 1.19, 2.92};

double table_afr(const WbTable& t, double v)
{
    if (v < t.lower)
        return 0.0;
    if (v > t.upper)
        return 25.5;
    const auto& volts = *t.volts;
    for (int i = 0; i < WB_TABLE_ROWS; ++i) {
        // Row 1's band starts halfway between 0 V and its volts.
        double lo = ((i == 0 ? 0.0 : volts[i - 1]) + volts[i]) / 2;
        bool last = i == WB_TABLE_ROWS - 1;
        double hi = last ? 0.0 : (volts[i] + volts[i + 1]) / 2;
        if (v >= lo && (last || v < hi))
            return t.a_column ? AFR_A_COLUMN[i] : 10.0 + 0.1 * i;
    }
    return 0.0;
}

double diy_afr(double v)
{
    if (v < 1.0)
        return 0.0;
    if (v >= 3.0)
        return 25.5;
    double slope = v <= 2.5 ? 0.028340964 : 0.049034882;
    return 1.0 / ((2.5 - v) * slope + 1.0 / 14.7);
}

double clamp(double v, double lo, double hi) { return v < lo ? lo : v > hi ? hi : v; }

// A negative or undefined result counts as 0.
double sane(double v) { return std::isnan(v) || v < 0 ? 0.0 : v; }

}  // namespace

const std::array<WbDevice, WB_DEVICE_COUNT> WB_DEVICES = {{
    {0, "No Device", Conversion::None, 0, 0, nullptr},
    {1, "TT-1 WB      (0V=10:1 - 5V=20:1)", Conversion::Linear, 2.0, 10.0, nullptr},
    {1, "DIY-WB Non-Linear", Conversion::Diy, 0, 0, nullptr},
    {2, "FJO/Holley WB Non-Linear", Conversion::Table, 0, 0, &TABLE_FJO},
    {3, "AEM WB       (0V=10:1 - 5V=20:1)", Conversion::Linear, 2.0, 10.0, nullptr},
    {10, "AFX WB        (0V=9:1 - 5V=16:1)", Conversion::Linear, 1.4, 9.0, nullptr},
    {4, "PLX WB        (0V=10:1 - 5V=20:1)", Conversion::Linear, 2.0, 10.0, nullptr},
    {5, "Innovate WB (0V=7.35 - 5V=22.39)", Conversion::Linear, 3.008, 7.35, nullptr},
    {9, "Innovate WB (0V=10:1 - 5V=20:1)", Conversion::Linear, 2.0, 10.0, nullptr},
    {6, "Zeitronix WB Non-Linear", Conversion::Table, 0, 0, &TABLE_ZEIT},
    {11, "Zeitronix WB (0V=9.6:1 - 5V=19.6:1)", Conversion::Linear, 2.0, 9.6, nullptr},
    {12, "DynoJet WB  (0V=10:1 - 5V=18:1)", Conversion::Linear, 1.6, 10.0, nullptr},
    {7, "   WB0   ", Conversion::Table, 0, 0, &TABLE_WB0},
    {8, "   WB1   ", Conversion::Table, 0, 0, &TABLE_WB1},
    {13, "   WB0a  ", Conversion::Table, 0, 0, &TABLE_WB0A},
    {14, "   WB1a  ", Conversion::Table, 0, 0, &TABLE_WB1A},
}};

const std::array<PressureDevice, PRESSURE_DEVICE_COUNT> PRESSURE_DEVICES = {{
    {0, "No Device                       ", 0, Conversion::None},
    {4, "AutoMeter   15 psi (0.5 - 4.5V) ", 15, Conversion::AutoMeter},
    {1, "AutoMeter   30 psi (0.5 - 4.5V) ", 30, Conversion::AutoMeter},
    {2, "AutoMeter 100 psi (0.5 - 4.5V)  ", 100, Conversion::AutoMeter},
    {5, "BM_fp       100 psi (1.0 - 5.0V)", 100, Conversion::BmFp},
    {3, "0-5V:        0-30 psi (0.0 - 5.0V) ", 30, Conversion::ZeroFive},
    {6, "1-5V:      0-100 psi (1.0 - 5.0V) ", 100, Conversion::OneFive},
}};

double wideband_afr(const WbDevice& d, double v)
{
    switch (d.conversion) {
    case Conversion::Linear:
        return sane(d.a * v + d.b);
    case Conversion::Diy:
        return sane(diy_afr(v));
    case Conversion::Table:
        return sane(table_afr(*d.table, v));
    default:
        return 0.0;
    }
}

double pressure_psi(const PressureDevice& d, double v)
{
    double psi;
    switch (d.conversion) {
    case Conversion::AutoMeter:
        psi = clamp((v - 0.5) * (d.full_scale / 4.0), 0.0, d.full_scale);
        psi = psi > 99.9 ? 99.9 : psi;
        break;
    case Conversion::BmFp:
        psi = clamp((v - 1.004) * 24.908668, 0.0, 99.9);
        break;
    case Conversion::ZeroFive:
        psi = v * 6.0;
        psi = psi > d.full_scale ? d.full_scale : psi;
        break;
    case Conversion::OneFive:
        psi = clamp((v - 1.0) * 25.0, 0.0, 99.9);
        break;
    default:
        return 0.0;
    }
    return sane(psi);
}

double user_device_value(int n, double volts)
{
    const UserDeviceSettings& d = g_settings.ud[n];
    int64_t uj = d.unit_j, uk = d.unit_k, vj = d.volt_j, vk = d.volt_k;
    int64_t du = std::llabs(uk - uj), dv = std::llabs(vk - vj);
    double umin = static_cast<double>(std::min(uj, uk)), umax = static_cast<double>(std::max(uj, uk));
    double vmin = static_cast<double>(std::min(vj, vk));
    double raw;
    if (dv == 0) {
        // Two equal voltages make a step: below it the smaller value, at or above it the larger.
        raw = volts * 1000.0 < vmin ? umin : umax;
    } else {
        raw = static_cast<double>(du) / static_cast<double>(dv) * (volts * 1000.0 - vmin) + umin;
    }
    return clamp(raw, umin, umax) / 10000.0;
}

void build_device_catalogue()
{
    std::lock_guard<std::mutex> lock(g_adc.lock);
    auto& c = g_adc.catalogue;
    for (CatalogueEntry& e : c)
        e = CatalogueEntry{};
    int k = 0;
    c[k++] = {DEVICE_NONE, -1, 0, "None"};
    for (int p = 1; p < WB_DEVICE_COUNT; ++p)
        c[k++] = {DEVICE_WIDEBAND, p, WB_DEVICES[p].id, WB_DEVICES[p].name};
    for (int p = 1; p < PRESSURE_DEVICE_COUNT; ++p)
        c[k++] = {DEVICE_PRESSURE, p, PRESSURE_DEVICES[p].id, PRESSURE_DEVICES[p].name};
    for (int n = 0; n < USER_DEVICE_COUNT && k < CATALOGUE_SIZE; ++n)
        if (g_settings.ud[n].active == 1)
            c[k++] = {DEVICE_USER, n, static_cast<uint32_t>(n), g_settings.ud[n].name.substr(0, 52)};
}

void rebuild_channel_state()
{
    std::lock_guard<std::mutex> lock(g_adc.lock);
    g_adc.wb_channel = -1;
    g_adc.fp_channel = -1;
    g_adc.wb_name.clear();
    g_adc.fp_name.clear();
    for (int n = 0; n < ADC_CHANNEL_COUNT; ++n) {
        const AdcChannelSettings& cfg = g_settings.ad[n];
        AdcChannelState& ch = g_adc.channels[n];
        ch = AdcChannelState{};
        if (cfg.type == DEVICE_NONE)
            continue;
        ch.active = true;
        ch.kind = cfg.type;
        ch.id = static_cast<uint32_t>(cfg.insta);
        ch.position = cfg.index;
        ch.filter = cfg.filter;
        ch.wb_preferred = cfg.wbpref == 1;
        ch.fp_preferred = cfg.fppref == 1;
        if (ch.kind == DEVICE_WIDEBAND) {
            std::snprintf(ch.label, sizeof ch.label, "WB_%d", n);
        } else if (ch.kind == DEVICE_PRESSURE) {
            std::snprintf(ch.label, sizeof ch.label, "PSI_%d", n);
        } else {
            int d = ch.position >= 0 && ch.position < USER_DEVICE_COUNT ? ch.position : 0;
            std::snprintf(ch.label, sizeof ch.label, "%*s_%d", 4, g_settings.ud[d].unit.substr(0, 4).c_str(), n);
        }
        ch.width = static_cast<int>(std::strlen(ch.label));
        if (ch.wb_preferred) {
            g_adc.wb_channel = n;
            g_adc.wb_name = cfg.name.substr(0, 12);
        }
        if (ch.fp_preferred) {
            g_adc.fp_channel = n;
            g_adc.fp_name = cfg.name.substr(0, 12);
        }
    }
}

void revalidate_user_channels()
{
    std::lock_guard<std::mutex> lock(g_adc.lock);
    for (int n = 0; n < ADC_CHANNEL_COUNT; ++n) {
        AdcChannelSettings& cfg = g_settings.ad[n];
        if (cfg.type != DEVICE_USER)
            continue;
        int d = cfg.index;
        if (d < 0 || d >= USER_DEVICE_COUNT || g_settings.ud[d].active != 1) {
            cfg.type = DEVICE_NONE;
            cfg.index = 0;
            cfg.insta = 0;
            cfg.filter = 100;
            if (cfg.wbpref == 1 && g_adc.wb_channel == n) {
                g_adc.wb_channel = -1;
                g_adc.wb_name.clear();
            }
            if (cfg.fppref == 1 && g_adc.fp_channel == n) {
                g_adc.fp_channel = -1;
                g_adc.fp_name.clear();
            }
            cfg.wbpref = 0;
            cfg.fppref = 0;
            cfg.name = "None";
        } else {
            cfg.name = g_settings.ud[d].name;
        }
    }
}

namespace {

// "%*.*f" into a buffer of `size` bytes (cut to fit), without printf's cost: this runs for every
// channel of every exported frame.
void format_fixed(char* out, size_t size, double v, int width, int precision)
{
    char tmp[64];
    auto r = std::to_chars(tmp, tmp + sizeof tmp, v, std::chars_format::fixed, precision);
    size_t n = static_cast<size_t>(r.ptr - tmp);
    size_t pad = width > 0 && static_cast<size_t>(width) > n ? static_cast<size_t>(width) - n : 0;
    size_t k = 0;
    for (; k < pad && k + 1 < size; ++k)
        out[k] = ' ';
    for (size_t i = 0; i < n && k + 1 < size; ++i)
        out[k++] = tmp[i];
    out[k] = 0;
}

double channel_value(const AdcChannelState& ch, double volts)
{
    switch (ch.kind) {
    case DEVICE_WIDEBAND:
        return ch.position >= 0 && ch.position < WB_DEVICE_COUNT ? wideband_afr(WB_DEVICES[ch.position], volts) : 0.0;
    case DEVICE_PRESSURE:
        return ch.position >= 0 && ch.position < PRESSURE_DEVICE_COUNT
                   ? pressure_psi(PRESSURE_DEVICES[ch.position], volts)
                   : 0.0;
    case DEVICE_USER:
        return ch.position >= 0 && ch.position < USER_DEVICE_COUNT ? user_device_value(ch.position, volts) : 0.0;
    default:
        return 0.0;
    }
}

}  // namespace

double adc_volts(int count) { return count * 5.0 / 1023.0 + 0.004; }

void convert_channels(const AdcCounts& counts, int all)
{
    std::lock_guard<std::mutex> lock(g_adc.lock);
    for (int n = 0; n < ADC_CHANNEL_COUNT; ++n) {
        AdcChannelState& ch = g_adc.channels[n];
        bool preferred = n == g_adc.wb_channel || n == g_adc.fp_channel;
        if (!ch.active || (all == 0 && !preferred))
            continue;
        double value = channel_value(ch, adc_volts(counts[n]));
        int f = ch.filter <= 0 ? 1 : ch.filter;
        ch.smoothed = f >= 100 ? value : f / 100.0 * value + (100 - f) / 100.0 * ch.smoothed;
        if (ch.kind == DEVICE_USER && ch.position >= 0 && ch.position < USER_DEVICE_COUNT) {
            const UserDeviceSettings& d = g_settings.ud[ch.position];
            int width = d.width, precision = d.preci;
            format_fixed(ch.text, sizeof ch.text, ch.smoothed, width + precision + 1, precision);
        } else {
            format_fixed(ch.text, sizeof ch.text, ch.smoothed, 4, 1);
        }
        int text_len = static_cast<int>(std::strlen(ch.text)), label_len = static_cast<int>(std::strlen(ch.label));
        ch.width = text_len > label_len ? text_len : label_len;
        if (n == g_adc.wb_channel)
            g_adc.current_wb_afr = ch.smoothed;
        else if (n == g_adc.fp_channel)
            g_adc.current_fuel_pressure = ch.smoothed;
    }
}

bool have_preferred_wb()
{
    std::lock_guard<std::mutex> lock(g_adc.lock);
    return g_adc.wb_channel >= 0;
}
