// The displays that share the main window, and the tool windows beside it.
#pragma once

#include <array>

#include "app/commands.h"

struct DisplayEntry {
    int id;                          // active_display
    int menu_command;                // its item in the Display menu
    int quick_command = 0;           // its item on the menu bar, or 0
    char key = 0;                    // the key ('1' to '5') that chooses it, or 0
    const char* title = nullptr;     // drawn at the top in the title font, or nullptr
    int title_x = 0;
    bool status_panel = false;       // the status panel is drawn first
    // A page of its own (Analysis, Flash): the stream stops, playback and VE learning end and the
    // tool windows close before it is shown, and it is built again even when shown already.
    // Otherwise an ordinary display: built only when it changes, the playback bar and the
    // remembered tool windows come back, its menu item is greyed.
    bool page = false;
    // Only with page: logging stops too and the link closes, and the display thread stays held
    // while it is shown (Analysis).
    bool closes_link = false;
    bool keeps_playback_bar = false; // the playback bar stays up when this display comes (gauges)
    bool destroy_only_when_shown = false;   // its destroy is for its own page only (Flash)
    void (*create)() = nullptr;      // nullptr: nothing to create
    void (*destroy)() = nullptr;
    void (*paint)() = nullptr;       // the display's own part of the window's paint
};

constexpr int DISPLAY_COUNT = 7;
extern const std::array<DisplayEntry, DISPLAY_COUNT> DISPLAYS;

// The entry for a menu or quick command, for a display number, or for a key; nullptr when none.
const DisplayEntry* display_for_command(int command);
const DisplayEntry* display_entry(int id);
const DisplayEntry* display_for_key(char key);

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
