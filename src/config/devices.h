// ADC channels and the devices behind them: fifteen built-in wideband controllers (air/fuel
// ratio), six built-in pressure senders (psi), and sixteen user devices, each a straight line
// through two (volts, value) points. Each of the eight channels is bound to one device, smooths its
// value, and may be the preferred wideband or fuel-pressure channel, whose values every display
// reads.
//
// The user device records and the channel configuration are settings (g_settings.ud, .ad); the
// channel state below is rebuilt from them. The display thread converts channels every frame while
// the window thread may rebuild them, so the state is guarded by one lock; the two shared results
// are single words.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

#include "config/settings.h"
#include "platform/shared_word.h"

enum DeviceKind : int32_t { DEVICE_NONE = -1, DEVICE_WIDEBAND = 0, DEVICE_PRESSURE = 1, DEVICE_USER = 2 };

// How a built-in device turns volts into its value.
enum class Conversion : uint8_t {
    None,       // the empty row
    Linear,     // a x V + b
    Diy,        // the DIY wideband formula
    Table,      // a non-linear wideband table
    AutoMeter,  // (V - 0.5) x full scale / 4, within 0 .. full scale, at most 99.9
    BmFp,       // (V - 1.004) x 24.908668 within 0 .. 99.9
    ZeroFive,   // V x 6 at most the full scale
    OneFive,    // (V - 1) x 25 within 0 .. 99.9
};

struct WbTable;

struct WbDevice {
    uint32_t id;
    const char* name;
    Conversion conversion;
    double a, b;              // Linear
    const WbTable* table;     // Table
};

struct PressureDevice {
    uint32_t id;
    const char* name;
    double full_scale;
    Conversion conversion;
};

constexpr int WB_DEVICE_COUNT = 16;
constexpr int PRESSURE_DEVICE_COUNT = 7;
extern const std::array<WbDevice, WB_DEVICE_COUNT> WB_DEVICES;
extern const std::array<PressureDevice, PRESSURE_DEVICE_COUNT> PRESSURE_DEVICES;

double wideband_afr(const WbDevice& d, double volts);
double pressure_psi(const PressureDevice& d, double volts);
// Value of user device `n` at `volts`, from its settings.
double user_device_value(int n, double volts);

struct CatalogueEntry {
    int32_t kind = DEVICE_NONE;
    int32_t position = -1;
    uint32_t id = 0;
    std::string name;
};

constexpr int CATALOGUE_SIZE = 64;

struct AdcChannelState {
    bool active = false;
    int32_t kind = DEVICE_NONE;
    uint32_t id = 0;
    int32_t position = 0;
    int32_t filter = 100;
    bool wb_preferred = false;
    bool fp_preferred = false;
    char label[12] = {};
    double smoothed = 0.0;
    char text[16] = {};
    int width = 0;            // the longer of the text and the label
};

struct AdcState {
    std::mutex lock;          // guards everything but the two shared results
    std::array<CatalogueEntry, CATALOGUE_SIZE> catalogue;
    std::array<AdcChannelState, 8> channels;
    int32_t wb_channel = -1;
    std::string wb_name;
    int32_t fp_channel = -1;
    std::string fp_name;
    Shared<double> current_wb_afr{0.0};
    Shared<double> current_fuel_pressure{0.0};
};

extern AdcState g_adc;

void build_device_catalogue();
void rebuild_channel_state();
void revalidate_user_channels();
// The eight 10-bit ADC counts of one frame, channel 0 first.
using AdcCounts = std::array<int, ADC_CHANNEL_COUNT>;
// A 10-bit ADC count in volts.
double adc_volts(int count);
// Converts every active channel (all = 1) or only the preferred ones (all = 0) from one frame's
// counts.
void convert_channels(const AdcCounts& counts, int all);

// Whether a preferred wideband channel exists.
bool have_preferred_wb();
