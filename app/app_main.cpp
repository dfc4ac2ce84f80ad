#include "app/app_main.h"

#include <QApplication>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include "analysis/graph.h"
#include "app/cells_window.h"
#include "app/graph_window.h"
#include "app/main_window.h"
#include "config/config.h"
#include "config/devices.h"
#include "config/settings.h"
#include "datalog/datalog.h"
#include "displays/display_routines.h"
#include "platform/paths.h"
#include "stream/display_thread.h"
#include "ui/config_location.h"
#include "ui/qt_ui.h"
#include "ui/shutdown_signal_watch.h"

const char* const APP_USAGE =
    "usage: GlanzoFlash [--config FILE] [--display N] [--playback LOG] [--datalog LOG] [--screenshot PNG --after SECONDS]\n"
    "       GlanzoFlash [--config FILE] --graph LOG [--channels NAME,NAME,...] "
    "[--compare LOG2 [--align start|marker:N|run]] [--screenshot PNG]\n"
    "       GlanzoFlash [--config FILE] --cells LOG [cells options] [--screenshot PNG]\n"
    "       GlanzoFlash --help | --version\n";

int parse_app_options(int argc, char** argv, AppOptions& o, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == "--version") {
            o.version = true;
        } else if (a == "--help") {
            o.help = true;
        } else if (a == "--config" && has_value) {
            o.config = argv[++i];
        } else if (a == "--display" && has_value) {
            char* end = nullptr;
            long n = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || n < 1 || n > 7) {
                error = "--display takes a display number from 1 to 7";
                return -1;
            }
            o.display = static_cast<int>(n);
        } else if (a == "--playback" && has_value) {
            o.playback = argv[++i];
        } else if (a == "--datalog" && has_value) {
            o.datalog = argv[++i];
        } else if (a == "--screenshot" && has_value) {
            o.screenshot = argv[++i];
        } else if (a == "--graph" && has_value) {
            o.graph = argv[++i];
        } else if (a == "--cells" && has_value) {
            // The rest is the cell table's: its log and options (--config and --screenshot apart).
            for (++i; i < argc; ++i) {
                std::string c = argv[i];
                if ((c == "--config" || c == "--screenshot") && i + 1 < argc)
                    (c == "--config" ? o.config : o.screenshot) = argv[++i];
                else
                    o.cells.push_back(c);
            }
        } else if (a == "--channels" && has_value) {
            o.channels = argv[++i];
        } else if (a == "--compare" && has_value) {
            o.compare = argv[++i];
        } else if (a == "--align" && has_value) {
            o.align = argv[++i];
        } else if (a == "--after" && has_value) {
            char* end = nullptr;
            o.after = std::strtod(argv[++i], &end);
            if (*end != '\0' || !(o.after >= 0 && o.after < 86400)) {
                error = "--after takes a number of seconds";
                return -1;
            }
        } else {
            error = "unknown option or missing value: '" + a + "' (GlanzoFlash --help shows the usage)";
            return -1;
        }
    }
    if (!o.datalog.empty() && (!o.playback.empty() || o.display == DISPLAY_ANALYSIS)) {
        error = "--datalog records the live stream: not with --playback or the Analysis display";
        return -1;
    }
    if (!o.channels.empty() && o.graph.empty()) {
        error = "--channels goes with --graph LOG";
        return -1;
    }
    if (!o.compare.empty() && o.graph.empty()) {
        error = "--compare goes with --graph LOG";
        return -1;
    }
    if (!o.align.empty() && o.compare.empty()) {
        error = "--align goes with --compare LOG2";
        return -1;
    }
    return 0;
}

namespace {

// The settings files of the log graph and the cell tables: in the user's configuration folder,
// or beside the configuration file a --config names (so that a configuration kept apart keeps
// its graph apart too).
std::string settings_file_path(const AppOptions& options, const char* name)
{
    if (!options.config.empty()) {
        std::string folder = directory_part(options.config);
        return (folder.empty() ? std::string(".") : folder) + "/" + name;
    }
    QString user = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    return user.isEmpty() ? std::string() : user.toLocal8Bit().toStdString() + "/" + name;
}

}  // namespace

int app_main(const AppOptions& options)
{
    // Messages of the start-up (a configuration that cannot be read) already come as windows.
    QtUi startup_ui;
    set_ui(&startup_ui);
    // SIGTERM, SIGINT and SIGHUP close the main window (the log graph's or the cell tables' when
    // one of those is shown instead).
    ShutdownSignalWatch signal_watch;

    if (!options.config.empty())
        set_config_path(options.config);
    else
        set_config_path(desktop_config_path(CONFIG_FILE_NAME));
    g_settings.port = "COM2";
    reset_display_routines();   // the needles rest at zero, the wheel at its first spoke
    if (!config_path().empty())
        load_config();
    build_device_catalogue();
    rebuild_channel_state();
    g_graph.settings_path = settings_file_path(options, GRAPH_SETTINGS_FILE);
    const std::string cells_settings = settings_file_path(options, CELLS_SETTINGS_FILE);
    if (!options.cells.empty()) {
        signal_watch.main_loop_starts(nullptr);
        int rc = run_cells_command(options.cells, options.screenshot, cells_settings);
        set_ui(nullptr);
        return rc;
    }
    if (!options.graph.empty()) {
        signal_watch.main_loop_starts(nullptr);
        int rc = run_graph_command(options.graph, options.channels, options.screenshot, options.compare, options.align);
        set_ui(nullptr);
        return rc;
    }

    MainWindow window;
    attach_graph_window();
    attach_cells_window(cells_settings);
    window.show();
    install_display_routines();
    if (window.start() != 0)
        return 0;
    if (const DisplayEntry* d = display_entry(options.display); d != nullptr && d->id != DISPLAY_GAUGES)
        window.switch_display(d->menu_command);
    if (!options.playback.empty())
        window.play(options.playback);
    if (!options.datalog.empty())
        start_logging(options.datalog);

    int status = 0;
    if (!options.screenshot.empty()) {
        QTimer::singleShot(static_cast<int>(options.after * 1000), &window, [&] {
            if (!window.grab().save(QString::fromLocal8Bit(options.screenshot.c_str()), "PNG")) {
                std::fprintf(stderr, "GlanzoFlash: cannot write %s\n", options.screenshot.c_str());
                status = 1;
            }
            window.close();
        });
    }
    QApplication::setQuitOnLastWindowClosed(true);
    signal_watch.main_loop_starts(&window);
    int rc = QApplication::exec();
    window.shutdown();
    detach_graph_window();
    set_ui(nullptr);
    return status != 0 ? status : rc;
}
