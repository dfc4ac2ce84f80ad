// glanzo-cli flash and bin: the bank procedures and the BIN file check without a window.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "cli.h"
#include "config/settings.h"
#include "ecm/protocol.h"
#include "ecm/sink.h"
#include "ecm/tick.h"
#include "flash/bank.h"
#include "flash/bin_file.h"
#include "link/link_thread.h"
#include "link/port.h"
#include "platform/files.h"
#include "stream/connection.h"
#include "stream/display_thread.h"
#include "stream/reader.h"
#include "update/update.h"

namespace {

bool parse_flag(const std::string& v, int& out)
{
    if (v != "0" && v != "1")
        return false;
    out = v == "1";
    return true;
}

}  // namespace

int cmd_flash(const Args& args)
{
    const char* usage = "usage: glanzo-cli flash program --port DEV --bank N --file F [--verify 0|1] "
                        "[--set-active 0|1] | flash read --port DEV --bank N --file F [--set-active 0|1]";
    if (args.empty() || (args[0] != "program" && args[0] != "read"))
        return fail(usage);
    bool program = args[0] == "program";
    std::string port, file;
    int bank = -1;
    int verify = g_settings.flshverify, set_active = g_settings.flshsetbank;
    for (size_t i = 1; i < args.size(); ++i) {
        bool has_value = i + 1 < args.size();
        const std::string& a = args[i];
        if (a == "--port" && has_value)
            port = args[++i];
        else if (a == "--file" && has_value)
            file = args[++i];
        else if (a == "--bank" && has_value && args[i + 1].size() == 1 && args[i + 1][0] >= '0' && args[i + 1][0] <= '7')
            bank = args[++i][0] - '0';
        else if (a == "--verify" && has_value && program && parse_flag(args[i + 1], verify))
            ++i;
        else if (a == "--set-active" && has_value && parse_flag(args[i + 1], set_active))
            ++i;
        else
            return fail(usage);
    }
    if (port.empty() || file.empty() || bank < 0)
        return fail(usage);
    if (int rc = check_device(port))
        return rc;

    PrintingSink sink;
    set_flash_sink(&sink);
    start_tick_timer();
    install_link_hooks();
    start_link_thread();
    start_display_thread();
    request_port_state(PORT_OPEN, port.c_str());
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (g_port.link_running == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));

    int rc;
    if (g_port.link_running == 0) {
        rc = fail("cannot open " + device_path_for(port));
    } else {
        // As the Flash window does: stop the stream, hold off the display thread's requests for
        // it, and set the parameters "Apply" sets.
        ecm_command(ECM_STREAM, STREAM_STOP);
        int32_t previous_mode = set_run_mode(RUN_FLASH);
        g_flash.params.bank = bank;
        g_flash.params.verify = verify;
        g_flash.params.set_active = set_active;
        const int info[4] = {1, 1, 1, 25};
        for (int k = 0; k < 4; ++k)
            g_flash.params.info[k] = info[k];
        rc = (program ? program_bank_from_file(file) : read_bank_to_file(file)) == 0 ? 0 : 1;
        set_run_mode(previous_mode);
        if (rc != 0) {
            std::string what = std::string(program ? "programming" : "reading") + " bank " + std::to_string(bank);
            fail(what + " failed" + (sink.last_error.empty() ? "" : ": " + sink.last_error));
        }
    }

    request_port_state(PORT_CLOSE, nullptr);
    stop_display_thread();
    stop_link_thread();
    stop_tick_timer();
    set_flash_sink(nullptr);
    return rc;
}

int cmd_bin(const Args& args)
{
    if (args.size() == 3 && args[0] == "convert") {
        std::string error;
        if (convert_calibration(args[1], args[2], error) != 0)
            return fail(error);
        return 0;
    }
    if (args.size() != 2 || args[0] != "check")
        return fail("usage: glanzo-cli bin check FILE | bin convert OLD NEW");
    FILE* f = open_regular_file(args[1]);
    if (f == nullptr)
        return fail(open_error(args[1]));
    uint8_t head[6];
    size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    if (!bin_signature_ok(head, n)) {
        fail(args[1] + " is not a calibration BIN");   // counted, so that it stays the only line
        return 2;
    }
    std::printf("%d\n", head[0] * 256 + head[1]);
    return 0;
}
