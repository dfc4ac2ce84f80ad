// Writes the desktop programs' icons, as their own code draws them, into PNG files for the
// installation: OUT/SIZE/glanzoflash.png and OUT/SIZE/zov_j8update.png for each icon size.
//
//   make_icons OUT      (runs with QT_QPA_PLATFORM=offscreen at build time)
#include <QApplication>
#include <QDir>

#include <cstdio>

#include "app/app_icon.h"
#include "updater/updater_pictures.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icons OUT\n");
        return 2;
    }
    for (int size : {16, 32, 48, 64}) {
        QString folder = QString("%1/%2").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        if (!QDir().mkpath(folder) || !app_icon().pixmap(size, size).save(folder + "/glanzoflash.png") ||
            !updater_icon_pixmap(size).save(folder + "/zov_j8update.png")) {
            std::fprintf(stderr, "make_icons: cannot write %s\n", folder.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
