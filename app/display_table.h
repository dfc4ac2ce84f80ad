// The displays that share the main window, and the tool windows beside it.
#pragma once

#include <array>

#include "app/commands.h"

struct DisplayEntry {
    int id;                  // active_display
    int menu_command;        // its item in the Display menu
    int quick_command;       // its item on the menu bar, or 0
    char key;                // the key that selects it, or 0
    const char* title;       // drawn at the top in the title font, or nullptr
    int title_x;
    bool status_panel;       // the status panel is drawn first
    bool switch_by_menu;     // an ordinary display switch (not Analysis or Flash)
    void (*create)();        // nullptr: nothing to create
    void (*destroy)();
    void (*paint)();         // the display's own part of the window's paint
};

constexpr int DISPLAY_COUNT = 7;
extern const std::array<DisplayEntry, DISPLAY_COUNT> DISPLAYS;

// The entry for a menu or quick command, or for a display number; nullptr when none.
const DisplayEntry* display_for_command(int command);
const DisplayEntry* display_entry(int id);

// A display that takes the main window's own input (the Analysis page): its keys and wheel as
// scroll codes (ControlEvent), and the left button on the page.
struct DisplayInput {
    int id;   // active_display
    void (*scroll)(int code, int position);
    void (*mouse_down)(int x, int y);
    void (*mouse_up)(int x, int y);
    void (*double_click)(int x, int y);
};

// The input routines of display `id`; nullptr when the main window keeps its input.
const DisplayInput* display_input(int id);

// The floating tool windows (malfunction codes, bank select); their windows plug in here.
struct ToolWindow {
    int command;
    bool (*is_open)();
    void (*open)();
    void (*close)();
    void (*focus)();
};
