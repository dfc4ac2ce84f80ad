// The bank select window: a floating window beside the main window, "Flash Bank", that shows the
// ECM's eight banks and switches the active one with a click (the cells and the request are core
// code, flash/bank_select.h). These are its entries in the main window's tool windows.
#pragma once

bool bank_select_is_open();
void open_bank_select_window();
// The program takes the window down (display switch, playback, exit): it comes back where it was
// when the program brings it back; the remembered open state is kept.
void close_bank_select_window();
void focus_bank_select_window();
