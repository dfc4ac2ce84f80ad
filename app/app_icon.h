// The program's icon, drawn rather than loaded: a small dial with its needle.
#pragma once

#include <QIcon>

QIcon app_icon();
