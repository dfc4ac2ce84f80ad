// The About box of both desktop programs: the program's icon, its name and version, the release
// (the program's file name and the version --version prints), and OK;
// closed by OK or Cancel (Esc). `modal_dialog_open` is set while it shows.
#pragma once

#include <QPixmap>
#include <QWidget>

void about_dialog(QWidget* owner, const QPixmap& icon, const char* name, const char* version);
