// A plausible engine and car for the simulated ECM: a cold start warming up at idle, gentle
// cruising, fuel-cut coasting, and wide-open acceleration runs from a standstill past a quarter
// mile, with knock and spark retard, closed-loop fuelling with the block learn and integrator
// moving, a wideband and a fuel pressure sensor on ADC channels 0 and 1, and the speed and fuel
// counters with the constants that turn them into trip figures.
//
// Knock comes in bursts under load: the ECM's knock counter advances for a few frames while it
// pulls spark, then the retard decays. With a 2- or 3-bar MAP sensor the engine is boosted: at
// full throttle the manifold pressure rises above the atmosphere as the engine speed builds, the
// boost count follows it, and knock is likelier and pulls more spark in boost. Malfunction codes
// come and go: the current ones in the first group, every one seen since power-on in the second,
// and a code stored from an earlier drive in the third.
#pragma once

#include <cstdint>

#include "stream/frame.h"

// Bytes 90-93 of the record are left unused by the ECM; the simulator numbers its frames there
// (big-endian) so that tests and benchmarks can tell whether a frame was lost.
constexpr int SIM_SEQUENCE_OFFSET = 90;

struct EngineModel {
    uint32_t rng = 1;
    uint32_t knock_rng = 1;
    double t = 0;              // seconds since power-on
    double phase_t = 0;        // seconds in the current phase
    int phase = 0;
    double speed = 0;          // m/s
    double run_distance = 0;   // m since the start of an acceleration run
    double rpm = 0;
    double coolant_c = 18;
    double map_kpa = 100;
    double tps = 0;            // percent
    double afr = 14.7;
    int gear = 1;
    bool running = false;
    bool fuel_cut = false;
    bool power_enrich = false;
    bool closed_loop = false;
    int map_sensor = 1;        // 1, 2 or 3 bar; 2 and 3 go with a boosted engine
    int knock_frames = 0;      // frames of the current knock burst left
    double retard = 0;         // degrees of spark the ECM takes out
    uint16_t knock_count = 0;  // the ECM's counter, wrapping
    double lean_time = 0;      // seconds the exhaust has read lean
    uint8_t codes[3] = {};     // malfunction codes set now (bytes 18-20)
    uint8_t history[3] = {};   // every code set since power-on
    uint8_t vss_counter = 0;
    uint8_t fuel_counter = 0;
    double vss_acc = 0;
    double fuel_acc = 0;
    double integrator_phase = 0;
    uint32_t sequence = 0;
    int bank = 0;
};

// `map_sensor`: the MAP sensor the ECM reports, 1, 2 or 3 bar.
void engine_model_init(EngineModel& m, uint32_t seed, int map_sensor = 1);
// Advances the model by one frame time (1/17 s) and writes the frame record.
void engine_model_step(EngineModel& m, FrameRecord& out);
