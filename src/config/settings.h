// Every persistent setting of GlanzoFlash, named by its configuration key.
//
// One process-wide record, `g_settings`. The window thread writes it (configuration load,
// dialogs); the display and link threads read numbers from it on every frame, so numbers are
// shared words. Texts are read and written on the window thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/shared_word.h"

constexpr int USER_DEVICE_COUNT = 16;
constexpr int ADC_CHANNEL_COUNT = 8;

// One user-defined device: a straight line through two calibration points ([UDn...] keys).
struct UserDeviceSettings {
    Shared<int32_t> active;    // [UDnACTIVE] entry in use
    std::string name;          // [UDnNAME]
    std::string unit;          // [UDnUNIT]
    Shared<int32_t> volt_j;    // [UDnVOLTJ] first calibration point, mV
    Shared<int32_t> volt_k;    // [UDnVOLTK] second calibration point, mV
    Shared<int32_t> unit_j;    // [UDnUNITJ] value at the first point
    Shared<int32_t> unit_k;    // [UDnUNITK] value at the second point
    Shared<int32_t> width;     // [UDnWIDTH] display width
    Shared<int32_t> preci;     // [UDnPRECI] display precision
};

// The device bound to one ADC channel ([ADn...] keys).
struct AdcChannelSettings {
    Shared<int32_t> type;      // [ADnTYPE] -1 none, 0 wideband, 1 pressure, 2 user device
    Shared<int32_t> insta;     // [ADnINSTA] identifier of the chosen device
    Shared<int32_t> index;     // [ADnINDEX] its position in its table, or user device number
    std::string name;          // [ADnNAME]
    Shared<int32_t> filter;    // [ADnFILTER] weight of a new sample, percent
    Shared<int32_t> wbpref;    // [ADnWBPREF] preferred wideband channel
    Shared<int32_t> fppref;    // [ADnFPPREF] preferred fuel pressure channel
};

struct Settings {
    std::string port;                         // [PORT]
    std::string dlog, dlogname, dlogpath;     // [DLOG] [DLOGNAME] [DLOGPATH]
    std::string play, playname, playpath;     // [PLAY] ...
    std::string learnve, learnvename, learnvepath;
    std::string newve, newvename, newvepath;
    std::string analysis, analysisname, analysispath;
    Shared<int32_t> temperscale;   // 1 Celsius, 0 Fahrenheit
    Shared<int32_t> lrnlwr, lrnupr, lrninp;
    Shared<int32_t> pbspd;
    Shared<int32_t> rdln, rpmrange, mphrange;
    Shared<int32_t> kphormph;      // 1 km/h, 0 mph
    Shared<int32_t> smoothfac;
    Shared<int32_t> autovsave, autovtime, autovshow;
    Shared<int32_t> knockalert;
    Shared<int32_t> savetrip;
    Shared<int32_t> bfrvssppm, bfrflwcnst;
    Shared<double> totalpw, totalvss;
    Shared<int32_t> xposmalf, yposmalf, actvmalf;
    Shared<int32_t> xposfbnk, yposfbnk, actvfbnk;
    Shared<int32_t> xposhwnd, yposhwnd;
    Shared<int16_t> flshbank, flshverify, flshsetbank, flshaction;
    std::string flshbin, flshbinfile, flshbinpath;
    std::string readbin, readbinfile, readbinpath;
    Shared<int32_t> anasheader, ana_csv;
    Shared<int32_t> enterpause;
    Shared<int32_t> transtype;     // 0 manual, 1 automatic
    Shared<int32_t> updaterate;    // display refresh rate index 0..3
    UserDeviceSettings ud[USER_DEVICE_COUNT];
    AdcChannelSettings ad[ADC_CHANNEL_COUNT];

    // Derived after every load: a display redraws on every (frame_skip_code + 1)-th frame.
    Shared<int32_t> frame_skip_code{3};
};

extern Settings g_settings;

// Puts every setting back to its initial value (program start, and between tests).
void reset_settings();

// Frame-skip code for a refresh rate index: 0, 1, 2, 3 give 3, 2, 1, 0.
constexpr int32_t frame_skip_code_for(int32_t update_rate) { return 3 - update_rate; }
