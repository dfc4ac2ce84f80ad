#include <QApplication>

#include <cstdio>

#include "app/app_main.h"

int main(int argc, char** argv)
{
    AppOptions options;
    std::string error;
    if (parse_app_options(argc, argv, options, error) != 0) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("GlanzoFlash");
    return app_main(options);
}
