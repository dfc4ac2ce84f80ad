// ZOV_J8Update: brings an ECM to firmware 1.2 and converts calibration BIN files.
//
//   ZOV_J8Update [--config FILE] --run --port DEV     update the ECM on DEV, in the current folder
//   ZOV_J8Update [--config FILE] --bin-update FILE    convert FILE to its "_new" name
//
// Both run without a window and print what the window would show: the message lines as
// "colour: TEXT", message boxes as "CAPTION: TEXT". Exit 0 on success.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "config/updater_config.h"
#include "flash/protocol.h"
#include "flash/sink.h"
#include "flash/tick.h"
#include "link/link_thread.h"
#include "link/port.h"
#include "link/ring.h"
#include "updater/update.h"

namespace {

// Prints each line as "colour: TEXT" and keeps the last error line for the failure's own line.
class PrintingSink : public FlashSink {
public:
    void add_line(FlashColour colour, const std::string& text) override
    {
        std::printf("%s: %s\n", flash_colour_name(colour), text.c_str());
        std::fflush(stdout);
        if (colour == FLASH_ERROR)
            last_error = text;
    }
    void clear() override {}
    std::string last_error;
};

int fail(const std::string& message)
{
    std::fprintf(stderr, "ZOV_J8Update: %s\n", message.c_str());
    return 1;
}

// A message box as one line.
std::string one_line(const std::string& caption, const std::string& text)
{
    std::string line = caption + ": ";
    for (char c : text)
        line += c == '\n' ? ' ' : c;
    return line;
}

int run(const std::string& port)
{
    use_updater_profiles();
    PrintingSink sink;
    set_flash_sink(&sink);
    start_tick_timer();
    start_link_thread();
    // As choosing the port does: remember it, open it, flush what the ring holds.
    g_updater_settings.port = port;
    save_updater_config();
    request_port_state(PORT_OPEN, port.c_str());
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (g_port.link_running == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    request_ring_flush();

    int rc;
    if (g_port.link_running == 0) {
        rc = fail("cannot open " + device_path_for(port));
    } else {
        flash_clear();
        rc = run_update();
        flash_message(FLASH_NORMAL, "");
        if (rc == 0)
            flash_message(FLASH_SUCCESS, "    -Update Successful-");
        else
            flash_message(FLASH_FAILURE, "     -Update Failed-");
        if (rc != 0)
            rc = fail("update failed" + (sink.last_error.empty() ? "" : ": " + sink.last_error));
    }
    request_port_state(PORT_CLOSE, nullptr);
    stop_link_thread();
    stop_tick_timer();
    set_flash_sink(nullptr);
    return rc;
}

int convert(const std::string& path)
{
    BinUpdateResult r = bin_update(path);
    save_updater_config();
    if (r.rc != 0) {
        std::fprintf(stderr, "%s\n", one_line(r.caption, r.text).c_str());
        return 1;
    }
    std::printf("%s\n", one_line(r.caption, r.text).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string config, port, bin;
    bool run_asked = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == "--config" && has_value)
            config = argv[++i];
        else if (a == "--port" && has_value)
            port = argv[++i];
        else if (a == "--bin-update" && has_value)
            bin = argv[++i];
        else if (a == "--run")
            run_asked = true;
        else
            return fail("usage: ZOV_J8Update [--config FILE] (--run --port DEV | --bin-update FILE)");
    }
    if (!config.empty())
        set_updater_config_path(config);
    load_updater_config();

    if (run_asked) {
        if (port.empty())
            return fail("--run needs --port DEV");
        return run(port);
    }
    if (!bin.empty())
        return convert(bin);
    return fail("this build has no window yet: use --run --port DEV or --bin-update FILE");
}
