// Operations behind menu items whose windows and dialogs plug in as they are built; an unset one
// makes its item do nothing.
#pragma once

struct MenuOperations {
    void (*start_ve_learn)() = nullptr;
    void (*stop_ve_learn)() = nullptr;
    void (*preferences)() = nullptr;
    void (*user_devices)() = nullptr;
};

extern MenuOperations g_menu_operations;
