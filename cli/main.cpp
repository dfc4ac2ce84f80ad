// glanzo-cli [--config FILE] COMMAND [ARGS...]
//
// Exits 0 on success, non-zero with one line on stderr on failure.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <unistd.h>

#include "cli.h"
#include "config/config.h"
#include "config/devices.h"
#include "link/port.h"
#include "platform/files.h"
#include "platform/ui_services.h"
#include "platform/version.h"

namespace {

// Lines printed on stderr so far: the core's message boxes (one line each) and our own failures.
// A failure the core has reported is not reported again, and one nobody reported still gets a line.
int stderr_lines = 0;

class CliUi : public ConsoleUi {
public:
    int message_box(const std::string& text, const std::string& caption, unsigned flags) override
    {
        ++stderr_lines;
        return ConsoleUi::message_box(text, caption, flags);
    }
};

struct Command {
    const char* name;
    const char* usage;
    int (*run)(const Args&);
};

constexpr Command COMMANDS[] = {
    {"frames", "frames LOG", cmd_frames},
    {"config", "config rewrite IN OUT", cmd_config},
    {"table", "table LOG -o FILE", cmd_table},
    {"export", "export LOG [-o OUT] [--csv|--blank] [--single-header|--header-every-second]", cmd_export},
    {"qmile", "qmile TABLE_OR_LOG [--start-row N]", cmd_qmile},
    {"runs", "runs LOG... [--min-tps P]", cmd_runs},
    {"record", "record --port DEV -o LOG --seconds S [--mark-every N]", cmd_record},
    {"flash", "flash program --port DEV --bank N --file F [--verify 0|1] [--set-active 0|1]\n"
              "  flash read --port DEV --bank N --file F [--set-active 0|1]", cmd_flash},
    {"bin", "bin check FILE\n  bin convert OLD NEW", cmd_bin},
    {"smooth", "smooth FACTOR   (490 integers on stdin)", cmd_smooth},
    {"velearn", "velearn LOG --from SRC.bin --to NEW.bin", cmd_velearn},
    {"trip", "trip LOG", cmd_trip},
    {"knock", "knock LOG", cmd_knock},
    {"channels", "channels LOG   (the log graph's channel names, one a line)", cmd_channels},
    {"cells", "cells LOG --z CH (--grid ve | --x CH --x-axis V,... --y CH --y-axis V,...) [OPTIONS]", cmd_cells},
};

void print_usage(FILE* out)
{
    std::fprintf(out, "usage: glanzo-cli [--config FILE] COMMAND [ARGS...]\ncommands:\n");
    for (const Command& c : COMMANDS)
        std::fprintf(out, "  %s\n", c.usage);
}

// Loads the configuration as start-up does, then builds the devices and channels from it.
int load_configuration(const std::string& path)
{
    if (!path.empty()) {
        if (access(path.c_str(), R_OK) != 0)
            return fail(open_error(path));
        set_config_path(path);
        if (load_config() != 0)
            return 1;   // the reader has said why
    }
    build_device_catalogue();
    rebuild_channel_state();
    return 0;
}

}  // namespace

int fail(const std::string& message)
{
    ++stderr_lines;
    std::fprintf(stderr, "glanzo-cli: %s\n", message.c_str());
    return 1;
}

int fail_unless_reported(int rc, const std::string& message)
{
    if (rc != 0 && stderr_lines == 0)
        fail(message);
    return rc;
}

std::string open_error(const std::string& path)
{
    return "cannot open " + path + ": " + file_error_text(errno);
}

int check_device(const std::string& port)
{
    std::string device = device_path_for(port);
    int probe = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (probe < 0)
        return fail(port_open_error_text(device, errno));
    ::close(probe);
    return 0;
}

int main(int argc, char** argv)
{
    Args args;
    std::string config;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--config") {
            if (i + 1 >= argc)
                return fail("--config needs a file");
            config = argv[++i];
        } else if (a == "--help" || a == "-h") {
            print_usage(stdout);
            return 0;
        } else if (a == "--version") {
            std::printf("glanzo-cli %s\n", GLANZO_VERSION);
            return 0;
        } else {
            args.push_back(a);
        }
    }
    if (args.empty()) {
        fail("no command given (try --help)");
        return 2;
    }
    static CliUi console;   // outlives every thread a command starts
    set_ui(&console);
    if (config.empty())
        disable_config_file();   // every setting keeps its initial value, and nothing is written
    if (int rc = load_configuration(config))
        return fail_unless_reported(rc, "cannot load " + config);
    for (const Command& c : COMMANDS)
        if (args[0] == c.name)
            return fail_unless_reported(c.run(Args(args.begin() + 1, args.end())), args[0] + " failed");
    return fail("unknown command '" + args[0] + "' (try --help)");
}
