// GlanzoFlash's Help box: a greeting and what the program is for, on the displays' dark ground,
// with OK. `modal_dialog_open` is set while it shows.
#pragma once

#include <QPixmap>
#include <QWidget>

void help_dialog(QWidget* owner, const QPixmap& icon);
