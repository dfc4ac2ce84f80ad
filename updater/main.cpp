// ZOV_J8Update: brings an ECM to firmware 1.2 and converts calibration BIN files.
//
//   ZOV_J8Update [--config FILE] [--screenshot PNG --after SECONDS]   the window
//   ZOV_J8Update [--config FILE] --run --port DEV     update the ECM on DEV, in the current folder
//   ZOV_J8Update [--config FILE] --bin-update FILE    convert FILE to its "_new" name
//
// The last two run without a window and print what the window would show: the message lines as
// "colour: TEXT", message boxes as "CAPTION: TEXT". Exit 0 on success.
//
// SIGTERM, SIGINT and SIGHUP end the window as its close does, and an update (window or --run) at
// its next bank boundary ("Update Stopped"); --run then fails.
//
// Without --config the configuration file is ZOV_J8Update.cfg beside the program, or in the user's
// configuration folder when the program's folder cannot be written.
#include <QApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "config/updater_config.h"
#include "ecm/sink.h"
#include "link/port.h"
#include "link/ring.h"
#include "platform/shutdown_signals.h"
#include "platform/version.h"
#include "ui/config_location.h"
#include "ui/qt_ui.h"
#include "ui/shutdown_signal_watch.h"
#include "update/commands.h"
#include "update/update.h"
#include "update/update_thread.h"
#include "updater/updater_window.h"

namespace {

const char* const USAGE =
    "usage: ZOV_J8Update [--config FILE] [--screenshot PNG --after SECONDS | --run --port DEV | --bin-update FILE]\n"
    "       ZOV_J8Update --help | --version\n";

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
    PrintingSink sink;
    set_flash_sink(&sink);
    // A signal stops the update where the window's close would: before the next bank.
    g_update.stop_request = 0;
    ShutdownSignalThread signal_thread([](int) { request_update_stop(); });
    // As choosing the port does: remember it, open it, flush what the ring holds.
    g_updater_settings.port = port;
    if (start_updater_link() != 0) {
        set_flash_sink(nullptr);
        return fail("cannot start the link thread");
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    // A refusal the user must put right (permission, another program) is not waited out.
    while (g_port.link_running == 0 && !open_error_remediable(g_port.open_error) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    request_ring_flush();

    int rc;
    if (g_update.stop_request != 0) {
        rc = fail("stopped before the update began");
    } else if (g_port.link_running == 0) {
        rc = fail(g_port.open_error != 0 ? port_open_error_text(device_path_for(port), g_port.open_error)
                                         : "cannot open " + device_path_for(port));
    } else {
        flash_clear();
        rc = run_update_and_report();
        if (rc != 0)
            rc = fail("update failed" + (sink.last_error.empty() ? "" : ": " + sink.last_error));
    }
    stop_updater_link();
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

int window(const std::string& screenshot, double after)
{
    // A configuration that cannot be opened is reported in a window already.
    QtUi startup_ui;
    set_ui(&startup_ui);
    ShutdownSignalWatch signal_watch;
    load_updater_config();
    int status = 0;
    {
        UpdaterWindow w;
        w.show();
        if (w.start() != 0)
            return 1;
        if (!screenshot.empty()) {
            QTimer::singleShot(static_cast<int>(after * 1000), &w, [&] {
                if (!w.grab().save(QString::fromLocal8Bit(screenshot.c_str()), "PNG"))
                    status = fail("cannot write " + screenshot);
                w.close();
            });
        }
        QApplication::setQuitOnLastWindowClosed(true);
        signal_watch.main_loop_starts(&w);
        int rc = QApplication::exec();
        if (status == 0)
            status = rc;
    }
    set_ui(nullptr);
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    // Before any thread starts (the toolkit's own included), so that all of them inherit the mask.
    block_shutdown_signals();
    std::string config, port, bin, screenshot;
    double after = 0;
    bool run_asked = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == "--version") {
            std::printf("ZOV_J8Update %s\n", GLANZO_VERSION);
            return 0;
        } else if (a == "--help") {
            std::fputs(USAGE, stdout);
            return 0;
        } else if (a == "--config" && has_value) {
            config = argv[++i];
        } else if (a == "--port" && has_value) {
            port = argv[++i];
        } else if (a == "--bin-update" && has_value) {
            bin = argv[++i];
        } else if (a == "--run") {
            run_asked = true;
        } else if (a == "--screenshot" && has_value) {
            screenshot = argv[++i];
        } else if (a == "--after" && has_value) {
            char* end = nullptr;
            after = std::strtod(argv[++i], &end);
            if (*end != '\0' || !(after >= 0 && after < 86400))
                return fail("--after takes a number of seconds");
        } else {
            return fail("unknown option or missing value: '" + a + "' (ZOV_J8Update --help shows the usage)");
        }
    }
    QCoreApplication::setApplicationName("ZOV_J8Update");
    set_updater_config_path(config.empty() ? desktop_config_path(UPDATER_CONFIG_FILE_NAME) : config);

    if (run_asked) {
        if (port.empty())
            return fail("--run needs --port DEV");
        load_updater_config();
        return run(port);
    }
    if (!bin.empty()) {
        load_updater_config();
        return convert(bin);
    }
    provide_runtime_dir();
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName("ZOV_J8Update");
    return window(screenshot, after);
}
