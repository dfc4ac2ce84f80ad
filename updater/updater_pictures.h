// The updater's own pictures, drawn rather than loaded: the module picture at the top of its
// window and the program icon (a module with an arrow pointing up).
#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>

constexpr int MODULE_PICTURE_WIDTH = 200;
constexpr int MODULE_PICTURE_HEIGHT = 100;

// 200 x 100: the module, an arrow and the new version in a green badge. Only the top 58 rows are
// drawn on; the rest is transparent, so the picture never covers the text and message lines
// that run beneath its box.
QImage module_picture();

// The icon at `size` x `size` pixels, and as a QIcon at the usual sizes.
QPixmap updater_icon_pixmap(int size);
QIcon updater_icon();
