#include "engine_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double DT = 1.0 / 17.0;
constexpr double MPS_PER_MPH = 0.44704;
constexpr double TYRE_RADIUS_M = 0.33;
constexpr double FINAL_DRIVE = 3.42;
constexpr double GEARS[] = {2.66, 1.78, 1.30, 1.00, 0.74};
constexpr int SPEED_K = 230;          // bytes 127-128: 920920 / 230 = 4004 pulses per mile
constexpr int FLOW_F = 1416;          // bytes 244-245: 1416 / 188.8 x 8 / 2 = 30
constexpr double GALLONS_PER_COUNT = 0.00390630961 * 30 / 14400;
constexpr double QUARTER_MILE_M = 402.336;
constexpr double BARO_KPA = 100.5;
// Boost at full throttle once the engine speed has built it up, by MAP sensor.
constexpr double FULL_BOOST_KPA[4] = {0, 0, 70, 130};
constexpr double SPOOL_FROM_RPM = 2200, SPOOL_OVER_RPM = 2500;

// Malfunction codes the model sets (byte within a group, mask).
struct Code {
    int byte;
    uint8_t mask;
};
constexpr Code ESC_43 = {2, 0x80};      // spark retarded hard for long
constexpr Code O2_LEAN_44 = {2, 0x40};  // the exhaust read lean for long
constexpr Code CTS_HI_14 = {0, 0x20};   // stored from an earlier drive
constexpr double LEAN_CODE_AFTER_S = 4;
constexpr double ESC_CODE_ABOVE_DEG = 8;

enum Phase { WARM_UP, CRUISE, COAST_TO_STOP, IDLE, LAUNCH, COAST, CRUISE_FAST, BRAKE };

double noise(uint32_t& rng)
{
    rng = rng * 1103515245u + 12345u;
    return static_cast<double>((rng >> 8) & 0xFFFF) / 65535.0 - 0.5;   // -0.5 .. 0.5
}

double noise(EngineModel& m) { return noise(m.rng); }
// Knock draws from its own generator, so that the rest of the drive is the same with or without it.
double chance(EngineModel& m) { return noise(m.knock_rng) + 0.5; }   // 0 .. 1

uint8_t clamp_byte(double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

void put16(FrameRecord& f, int offset, long v)
{
    v = std::clamp(v, 0L, 65535L);
    f.b[offset] = static_cast<uint8_t>(v >> 8);
    f.b[offset + 1] = static_cast<uint8_t>(v & 0xFF);
}

// The count whose sensor-table temperature is closest to `raw` (tables fall with the count).
int sensor_count_for(int raw, int table)
{
    int best = 0;
    for (int c = 0; c < 256; ++c)
        if (std::abs(sensor_temperature(c, table) - raw) < std::abs(sensor_temperature(best, table) - raw))
            best = c;
    return best;
}

void next_phase(EngineModel& m, int phase)
{
    m.phase = phase;
    m.phase_t = 0;
    if (phase == LAUNCH)
        m.run_distance = 0;
}

// Chooses throttle and the car's acceleration for this frame.
double drive(EngineModel& m)
{
    double mph = m.speed / MPS_PER_MPH;
    auto hold = [&](double target_mph) {
        double err = target_mph - mph;
        m.tps = std::clamp(12 + err * 3, 4.0, 40.0);
        return std::clamp(err * 0.4, -1.5, 1.5);
    };
    m.fuel_cut = false;
    m.power_enrich = false;
    switch (m.phase) {
    case WARM_UP:
        m.tps = 0;
        if (m.phase_t > 45)
            next_phase(m, CRUISE);
        return 0;
    case CRUISE:
        if (m.phase_t > 30)
            next_phase(m, COAST_TO_STOP);
        return hold(45);
    case COAST_TO_STOP:
        m.tps = 0;
        m.fuel_cut = mph > 12;
        if (m.speed <= 0)
            next_phase(m, IDLE);
        return -2.2;
    case IDLE:
        m.tps = 0;
        if (m.phase_t > 7)
            next_phase(m, LAUNCH);
        return 0;
    case LAUNCH:
        m.tps = 100;
        m.power_enrich = true;
        if (m.run_distance > QUARTER_MILE_M + 40)
            next_phase(m, COAST);
        return 6.5 * (1 - m.speed / 75.0);
    case COAST:
        m.tps = 0;
        m.fuel_cut = true;
        if (mph < 25)
            next_phase(m, CRUISE_FAST);
        return -1.8;
    case CRUISE_FAST:
        if (m.phase_t > 30)
            next_phase(m, BRAKE);
        return hold(55);
    default:   // BRAKE
        m.tps = 0;
        m.fuel_cut = mph > 12;
        if (m.speed <= 0)
            next_phase(m, IDLE);
        return -3.0;
    }
}

// Knock in bursts under load: the counter advances for a few frames while the ECM pulls spark,
// which then comes back in. In boost knock is likelier and the ECM pulls more.
void knock(EngineModel& m)
{
    double boost = std::max(0.0, m.map_kpa - BARO_KPA);
    bool loaded = m.running && m.map_kpa > 85 && m.rpm > 2400;
    if (!loaded)
        m.knock_frames = 0;   // off the throttle the knock stops at once
    if (m.knock_frames > 0) {
        --m.knock_frames;
        m.knock_count = static_cast<uint16_t>(m.knock_count + 30 + static_cast<int>(chance(m) * (boost > 10 ? 170 : 100)));
        m.retard = std::min(m.retard + 1.5, 6 + boost * 0.06);
        return;
    }
    m.retard = std::max(0.0, m.retard - 0.3);
    double p = !loaded ? 0 : boost > 10 ? 0.03 : m.phase == LAUNCH ? 0.02 : 0.006;
    if (chance(m) < p)
        m.knock_frames = 6 + static_cast<int>(chance(m) * 12);
}

void set_code(uint8_t* group, Code c, bool on)
{
    group[c.byte] = static_cast<uint8_t>(on ? group[c.byte] | c.mask : group[c.byte] & ~c.mask);
}

void malfunctions(EngineModel& m)
{
    m.lean_time = m.running && m.fuel_cut ? m.lean_time + DT : 0;
    set_code(m.codes, O2_LEAN_44, m.lean_time > LEAN_CODE_AFTER_S);
    set_code(m.codes, ESC_43, m.retard > ESC_CODE_ABOVE_DEG);
    for (int i = 0; i < 3; ++i)
        m.history[i] = static_cast<uint8_t>(m.history[i] | m.codes[i]);
}

}  // namespace

void engine_model_init(EngineModel& m, uint32_t seed, int map_sensor)
{
    m = EngineModel{};
    m.rng = seed * 2654435761u + 1;
    m.knock_rng = seed * 40503u + 7;
    m.map_sensor = map_sensor == 2 || map_sensor == 3 ? map_sensor : 1;
}

void engine_model_step(EngineModel& m, FrameRecord& f)
{
    m.t += DT;
    m.phase_t += DT;
    m.running = m.t > 1.0;   // cranking for the first second

    double accel = drive(m);
    m.speed = std::max(0.0, m.speed + accel * DT);
    m.run_distance += m.speed * DT;
    double mph = m.speed / MPS_PER_MPH;

    // Engine speed from the road speed through the gears; idle below that.
    double wheel_rpm = m.speed / (2 * M_PI * TYRE_RADIUS_M) * 60;
    int g = 0;
    while (g < 4 && wheel_rpm * FINAL_DRIVE * GEARS[g] > (m.phase == LAUNCH ? 5800 : 2200))
        ++g;
    m.gear = m.speed > 0.5 ? g + 1 : 0;
    double idle = m.coolant_c < 60 ? 1100 - m.coolant_c * 4 : 800;
    double target_rpm = std::max(idle, wheel_rpm * FINAL_DRIVE * GEARS[g]);
    if (!m.running)
        target_rpm = 180;
    m.rpm += (target_rpm - m.rpm) * 0.5 + noise(m) * 10;

    m.coolant_c = std::min(92.0, m.coolant_c + (m.running ? 0.08 + m.rpm / 200000 : 0));
    double target_map = m.tps >= 99 ? 98 : m.fuel_cut ? 22 : 30 + m.tps * 0.8 + m.rpm / 400;
    if (m.tps >= 99)
        target_map += FULL_BOOST_KPA[m.map_sensor] * std::clamp((m.rpm - SPOOL_FROM_RPM) / SPOOL_OVER_RPM, 0.0, 1.0);
    m.map_kpa += (target_map - m.map_kpa) * 0.4;
    m.closed_loop = m.coolant_c > 60 && !m.power_enrich && !m.fuel_cut && m.running;
    m.afr = m.fuel_cut ? 20.0 : m.power_enrich ? 12.4 + noise(m) * 0.2 : m.closed_loop ? 14.7 + noise(m) * 0.3 : 13.8;

    knock(m);
    malfunctions(m);

    // Counters: speed sensor pulses and injector on-time.
    double ppm = 920920.0 / SPEED_K;
    m.vss_acc += mph * ppm / 3600 * DT;
    m.vss_counter = static_cast<uint8_t>(m.vss_counter + static_cast<int>(m.vss_acc));
    m.vss_acc -= static_cast<int>(m.vss_acc);
    // Gallons an hour: about 0.6 at idle, 20 MPG at a steady 45 to 55 mph, far more at full load.
    double gph = !m.running || m.fuel_cut ? 0 : m.power_enrich ? 24 : mph < 1 ? 0.6 : 0.5 + mph / 30 + m.tps * 0.02;
    m.fuel_acc += gph / 3600 / GALLONS_PER_COUNT * DT;
    m.fuel_counter = static_cast<uint8_t>(m.fuel_counter + static_cast<int>(m.fuel_acc));
    m.fuel_acc -= static_cast<int>(m.fuel_acc);

    std::memset(f.b, 0, sizeof f.b);
    const int cylinders = 8;
    f.b[0] = m.running ? 0x00 : 0x10;
    f.b[1] = m.running ? 0x80 : 0x00;
    f.b[2] = (m.running && m.tps < 1 && m.speed < 1) ? 0x80 : 0x00;
    // Lean cruise once a warm engine has held a steady cruise for a few seconds.
    bool lean_cruise = (m.phase == CRUISE || m.phase == CRUISE_FAST) && m.closed_loop && m.coolant_c > 80 && m.phase_t > 5;
    f.b[3] = static_cast<uint8_t>((m.tps < 1 ? 0x08 : 0) | (lean_cruise ? 0x04 : 0));
    f.b[5] = static_cast<uint8_t>((m.phase == CRUISE_FAST ? 0x80 : 0) | (m.rpm > 5600 ? 0x10 : 0));
    f.b[6] = static_cast<uint8_t>((m.fuel_cut ? 0 : 0x80) | (m.closed_loop ? 0x01 : 0));
    f.b[8] = m.fuel_cut ? 0x08 : 0x00;
    f.b[11] = (m.codes[0] | m.codes[1] | m.codes[2]) != 0 ? 0x01 : 0x00;   // service engine soon
    f.b[13] = static_cast<uint8_t>((m.power_enrich ? 0x80 : 0) | (m.phase == LAUNCH && m.phase_t < 0.5 ? 0x40 : 0));
    f.b[14] = static_cast<uint8_t>(m.closed_loop ? 0x82 : 0x00);
    double advance = m.power_enrich ? 28 : 12 + m.rpm / 200;
    f.b[F_SPARK_ADVANCE] = clamp_byte((advance - m.retard) / 0.3515625);
    put16(f, F_PROM_ID, 4242);
    for (int i = 0; i < 3; ++i) {
        f.b[F_MALF_SET_1 + i] = m.codes[i];
        f.b[F_MALF_SET_2 + i] = m.history[i];
    }
    // Stored from an earlier drive and reported once the ECM has looked: the coolant sensor read high.
    if (m.t > 20)
        f.b[F_MALF_SET_3 + CTS_HI_14.byte] = CTS_HI_14.mask;
    put16(f, F_REF_PERIOD, m.rpm > 30 ? std::lround(983040 / m.rpm) : 0);
    f.b[F_RPM_25] = clamp_byte(m.rpm / 25);
    f.b[F_RPM_31_25] = clamp_byte(m.rpm / 31.25);
    int cts_raw = static_cast<int>(std::lround((m.coolant_c + 40) / 0.75));
    f.b[F_CTS] = clamp_byte(cts_raw);
    f.b[F_CTS_COUNT] = static_cast<uint8_t>(sensor_count_for(cts_raw, 0));
    f.b[212] = 0x01;   // coolant sensor in its first range
    f.b[F_MAP_LOAD] = clamp_byte((std::min(m.map_kpa, 99.6) - 20) / 0.3125);
    f.b[F_MAP_COUNT] = m.map_sensor == 2   ? clamp_byte((m.map_kpa - 8.0) / 0.7705)
                       : m.map_sensor == 3 ? clamp_byte((m.map_kpa - 1.1) / 1.2335)
                                           : clamp_byte((m.map_kpa - 10.415) / 0.369);
    double boost = std::max(0.0, m.map_kpa - BARO_KPA);
    f.b[F_BOOST_COUNT] = m.map_sensor == 2 ? clamp_byte(boost / 0.625) : m.map_sensor == 3 ? clamp_byte(boost / 1.2335) : 0;
    f.b[F_VACUUM] = clamp_byte((80 - (101 - m.map_kpa)) / 0.3125);
    f.b[F_IAT] = clamp_byte((28 + 40) / 0.75);
    f.b[F_IAT_COUNT] = static_cast<uint8_t>(sensor_count_for(f.b[F_IAT], 1));
    f.b[F_SPEED] = clamp_byte(mph);
    f.b[F_FIRMWARE] = 0x82;   // sequential fire, firmware 1.2
    f.b[F_O2] = clamp_byte((m.afr < 14.7 ? 800 : 150) / 4.42 + noise(m) * 20);
    f.b[F_IGN_VOLTS] = clamp_byte(m.running ? 141 + noise(m) * 2 : 118);
    f.b[F_PUMP_VOLTS] = clamp_byte(m.running ? 138 + noise(m) * 2 : 0);
    f.b[F_TPS_COUNT] = clamp_byte((0.5 + m.tps * 0.04) * 255 / 5);
    f.b[F_TPS] = clamp_byte(m.tps / 0.390625);
    f.b[F_TPS_REF] = clamp_byte(std::max(0.0, m.tps - (m.phase == LAUNCH && m.phase_t < 0.3 ? 60 : 0)) / 0.390625);
    f.b[F_OIL_TEMP] = clamp_byte((m.coolant_c * 0.95 + 40) / 0.75);
    put16(f, F_KNOCK_COUNT, m.knock_count);
    f.b[F_SPARK_RETARD] = clamp_byte(m.retard / 0.17578125);
    f.b[F_IC_TEMP] = clamp_byte((30 + 40) / 0.75);
    put16(f, F_SPEED_K, SPEED_K);
    double pulse_ms = !m.running || m.fuel_cut ? 0 : m.power_enrich ? 14 : 2 + m.map_kpa / 20;
    put16(f, F_SYNC_PW, std::lround(pulse_ms * 65.536));
    f.b[140] = static_cast<uint8_t>(m.coolant_c > 90 ? 0x03 : m.coolant_c > 88 ? 0x01 : 0);
    f.b[F_CL_VALUE] = m.closed_loop ? 1 : 0;
    // Block learn: steadily rich in the light-load cells around 2000 rpm, near 128 elsewhere.
    double blm = 128;
    if (m.closed_loop && m.rpm > 1500 && m.rpm < 2600 && m.map_kpa > 35 && m.map_kpa < 60)
        blm = 136;
    m.integrator_phase += 0.9;
    f.b[F_BLM] = clamp_byte(blm + noise(m) * 2);
    f.b[F_INTEGRATOR] = clamp_byte(m.closed_loop ? 128 + 4 * std::sin(m.integrator_phase) : 128);
    f.b[F_AFR] = clamp_byte(m.afr * 10);
    f.b[F_VSS_COUNTER] = m.vss_counter;
    f.b[F_VE] = clamp_byte((40 + m.map_kpa * 0.5) / 0.390625);
    f.b[F_GEAR] = static_cast<uint8_t>(m.gear);
    // Multi-port; the MAP sensor in bit 7 (2 bar) or bit 6 (3 bar).
    f.b[F_ECM_CONFIG] = static_cast<uint8_t>(0x10 | cylinders | (m.map_sensor == 2 ? 0x80 : m.map_sensor == 3 ? 0x40 : 0));
    put16(f, F_RUN_TIME, static_cast<long>(m.t));
    f.b[F_FLOW_VALUE] = clamp_byte(gph * 4);
    f.b[F_FUEL_COUNTER] = m.fuel_counter;
    put16(f, F_INJ_FLOW, FLOW_F);
    f.b[F_IAC] = clamp_byte(m.tps < 1 ? 30 + (m.coolant_c < 60 ? 20 : 0) : 60);
    f.b[F_BARO] = clamp_byte((100.5 - 10.415) / 0.369);
    f.b[F_BANK] = static_cast<uint8_t>(0x80 | (m.bank & 7));
    // ADC channel 0: wideband, 0-5 V for 10-20 AFR. Channel 1: fuel pressure, 0.5-4.5 V for 0-100 psi.
    double wb_volts = std::clamp((m.afr - 10) / 2, 0.0, 5.0);
    double fp_psi = m.running ? 43 + noise(m) * 1.5 - (m.map_kpa - 30) * 0.05 : 0;
    put16(f, F_ADC_0, std::lround((wb_volts - 0.004) * 1023 / 5));
    put16(f, F_ADC_0 + 2, std::lround((0.5 + 4 * fp_psi / 100 - 0.004) * 1023 / 5));
    for (int i = 0; i < 4; ++i)
        f.b[SIM_SEQUENCE_OFFSET + i] = static_cast<uint8_t>(m.sequence >> (24 - 8 * i));
    ++m.sequence;
}
