// The keys and the mouse wheel as the scroll codes of a table (ControlEvent): what the Analysis
// page and the quarter-mile graph window take from the keyboard and the wheel.
#pragma once

#include <QWheelEvent>

#include "draw/controls.h"

struct ScrollKey {
    int key;
    int code;
    bool sideways;   // only where the table runs sideways (the graph window)
};

constexpr ScrollKey SCROLL_KEYS[] = {
    {Qt::Key_PageUp, CONTROL_SCROLL_PAGE_UP, false},  {Qt::Key_PageDown, CONTROL_SCROLL_PAGE_DOWN, false},
    {Qt::Key_End, CONTROL_SCROLL_BOTTOM, false},      {Qt::Key_Home, CONTROL_SCROLL_TOP, false},
    {Qt::Key_Up, CONTROL_SCROLL_LINE_UP, false},      {Qt::Key_Down, CONTROL_SCROLL_LINE_DOWN, false},
    {Qt::Key_Left, CONTROL_SCROLL_LINE_UP, true},     {Qt::Key_Right, CONTROL_SCROLL_LINE_DOWN, true},
};

// The scroll code of a key, or -1.
inline int scroll_code_of_key(int key, bool sideways)
{
    for (const ScrollKey& k : SCROLL_KEYS)
        if (k.key == key && (sideways || !k.sideways))
            return k.code;
    return -1;
}

// One line per turn of the wheel: toward the user down, away from the user up; -1 for none.
inline int scroll_code_of_wheel(const QWheelEvent* e)
{
    int dy = e->angleDelta().y();
    return dy < 0 ? CONTROL_SCROLL_LINE_DOWN : dy > 0 ? CONTROL_SCROLL_LINE_UP : -1;
}
