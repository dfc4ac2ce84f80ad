// Operations behind menu items whose windows and dialogs plug in as they are built; an unset one
// makes its item do nothing.
#pragma once

struct MenuOperations {
    void (*start_playback)() = nullptr;
    void (*stop_playback)() = nullptr;
    void (*create_playback_bar)() = nullptr;
    void (*destroy_playback_bar)() = nullptr;
    void (*start_ve_learn)() = nullptr;
    void (*stop_ve_learn)() = nullptr;
    void (*preferences)() = nullptr;
    void (*user_devices)() = nullptr;
};

extern MenuOperations g_menu_operations;
