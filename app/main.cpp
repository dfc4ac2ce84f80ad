#include <QApplication>

#include <cstdio>

#include "app/app_main.h"
#include "platform/shutdown_signals.h"
#include "platform/version.h"
#include "ui/config_location.h"

int main(int argc, char** argv)
{
    // Before any thread starts (the toolkit's own included), so that all of them inherit the mask.
    block_shutdown_signals();
    AppOptions options;
    std::string error;
    if (parse_app_options(argc, argv, options, error) != 0) {
        std::fprintf(stderr, "GlanzoFlash: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(APP_USAGE, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("GlanzoFlash %s\n", GLANZO_VERSION);
        return 0;
    }
    // The toolkit reads options of its own from the command line (an X11 "--display" among them):
    // it gets only the program's name, ours are parsed above.
    int qt_argc = 1;
    provide_runtime_dir();
    QApplication app(qt_argc, argv);
    QApplication::setApplicationName("GlanzoFlash");
    return app_main(options);
}
