// What the tool windows (malfunction codes, bank select, the two graphs) and the Flash page need of
// the main window, without knowing it: their owner, and where keys, a redraw and a command go. The
// main window fills it in while it exists; without one the parent is nullptr and the calls do
// nothing.
#pragma once

#include <QChar>
#include <QWidget>

struct ToolWindowHost {
    QWidget* parent = nullptr;
    void (*character)(QChar c) = nullptr;   // the display and logging keys, as if typed on it
    void (*activate)() = nullptr;           // it takes the focus back
    void (*show_drawn)() = nullptr;         // its canvas shown at once (during a long procedure)
    void (*command)(int id) = nullptr;      // a menu command
};

extern ToolWindowHost g_tool_window_host;

inline void host_character(QChar c)
{
    if (g_tool_window_host.character != nullptr)
        g_tool_window_host.character(c);
}
inline void host_activate()
{
    if (g_tool_window_host.activate != nullptr)
        g_tool_window_host.activate();
}
inline void host_show_drawn()
{
    if (g_tool_window_host.show_drawn != nullptr)
        g_tool_window_host.show_drawn();
}
inline void host_command(int id)
{
    if (g_tool_window_host.command != nullptr)
        g_tool_window_host.command(id);
}
