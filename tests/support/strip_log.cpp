#include "support/strip_log.h"

#include <algorithm>
#include <cmath>

namespace {

void put16(FrameRecord& f, int offset, int v)
{
    f.b[offset] = static_cast<uint8_t>(v >> 8);
    f.b[offset + 1] = static_cast<uint8_t>(v);
}

struct Car {
    double mph = 0;
    double pulses = 0;   // pulses counted since the recording began
};

FrameRecord strip_frame(const Car& car, const StripPass& pass, int tps, int run_time_s)
{
    FrameRecord f{};
    f.b[F_ECM_CONFIG] = 0x18;   // multi-port, 8 cylinders, 1-bar MAP
    put16(f, F_RUN_TIME, run_time_s);
    f.b[F_SPEED] = static_cast<uint8_t>(std::lround(car.mph));
    f.b[F_VSS_COUNTER] = static_cast<uint8_t>(static_cast<long>(car.pulses) % 256);
    put16(f, F_SPEED_K, pass.ppm > 0 ? static_cast<int>(std::lround(920920.0 / pass.ppm)) : 0);
    double rpm = std::min(800 + car.mph * 55 + tps * 8.0, 6500.0);
    put16(f, F_REF_PERIOD, static_cast<int>(983040 / rpm));
    f.b[F_TPS] = static_cast<uint8_t>(std::lround(tps / 0.390625));
    f.b[F_O2] = static_cast<uint8_t>(tps > 60 ? 200 : 100);
    f.b[F_MAP_COUNT] = static_cast<uint8_t>(60 + tps * 1.9);
    return f;
}

}  // namespace

void add_strip_recording(StripLog& log, const std::vector<StripPass>& passes, int run_time_s)
{
    append(log.bytes, time_record(6, 14, 2025, 10, 0, 0));
    Car car;
    long frame = 0;
    auto emit = [&](const StripPass& pass, int tps) {
        append(log.bytes, frame_bytes(strip_frame(car, pass, tps, run_time_s + static_cast<int>(frame / 17))));
        ++frame;
        ++log.frames;
        car.pulses += car.mph * pass.ppm / 3600.0 / 17.0;
    };
    for (const StripPass& pass : passes) {
        car.mph = 0;
        for (int n = 0; n < pass.wait_frames; ++n)
            emit(pass, 0);
        log.launch_rows.push_back(log.frames - 1);
        for (int n = 1; n <= pass.run_frames; ++n) {
            car.mph = std::min(car.mph + pass.mph_per_frame, pass.top_mph);
            car.mph = std::max(car.mph, 1.0);   // moving from the first frame on
            emit(pass, n > pass.tps_delay ? pass.tps : 20);
        }
        while (car.mph > 0) {
            car.mph = std::max(car.mph - pass.brake_mph_per_frame, 0.0);
            emit(pass, 0);
        }
    }
}

std::string write_strip_log(const std::string& name, const StripLog& log)
{
    return write_temp_file(name, log.bytes);
}
