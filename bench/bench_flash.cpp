// Programming and verifying one bank against ecm-sim through glanzo-cli, next to the time the
// same bytes need on a 115200-baud wire (10 bits a byte, messages and replies one after another).
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "support/log_builder.h"
#include "support/sim_process.h"

int main()
{
    Bytes cal(32768);
    for (size_t i = 0; i < cal.size(); ++i)
        cal[i] = static_cast<uint8_t>(i * 13 + (i >> 9));
    std::memcpy(cal.data() + 2, "ZOV8", 4);   // a calibration BIN
    std::string file = write_temp_file("bench.bin", cal);
    SimProcess sim({"--banks", temp_dir() + "/bench-banks.bin"});

    double best = 1e9;
    int failures = 0;
    for (int round = 0; round < 3; ++round) {
        auto start = std::chrono::steady_clock::now();
        int rc = run_command(std::string(GLANZO_CLI) + " flash program --port " + sim.device() +
                             " --bank 4 --file " + file + " --verify 1 --set-active 1 > /dev/null");
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        failures += rc != 0;
        best = s < best ? s : best;
    }

    // Stream stop, bank twice, flash mode: 4 messages of 5 bytes. Loader: info, two erases, info,
    // 64 pages, the calibration request and the stop: 70 messages of 133 bytes. Replies: 69
    // acknowledgements of 16 bytes and the calibration of 8197.
    const double bytes = 4 * 5 + 70 * 133 + 69 * 16 + 8197;
    const double wire = bytes * 10 / 115200;
    std::printf("program + verify one bank: %.2f s (target under 2.5 s); the same %.0f bytes take %.2f s on a "
                "115200-baud wire: %.2f x wire time\n",
                best, bytes, wire, best / wire);
    return failures == 0 ? 0 : 1;
}
