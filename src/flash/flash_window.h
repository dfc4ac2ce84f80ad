// The Flash page (display 6): choose a bank, an action (program the bank from a BIN file, or read
// it into one), the options "Verify" and "Set Bank Active" and the BIN file; "Apply" runs the bank
// procedure and the "Messages" area shows its progress line by line.
//
// While the page is shown it owns the serial link: the run mode is RUN_FLASH (the display thread
// reads no frames and stops asking for the stream), log copying is paused and the tick counter
// runs. Closing the page puts the run mode and the pause back.
//
// Threading: everything here runs on the window thread, the procedures too: "Apply" blocks that
// thread until the procedure ends. Each message line is drawn as it is added, and the window is
// then asked (through `show_line`) to show it at once, without taking the user's input, which
// waits until the procedure has ended. While a procedure runs `busy` is set; the page's command
// routine ignores everything meanwhile and the main window does not switch displays.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "draw/canvas.h"
#include "draw/controls.h"
#include "ecm/sink.h"
#include "platform/shared_word.h"

constexpr int FLASH_MESSAGE_LINES = 8;
constexpr int FLASH_MESSAGE_CHARS = 48;

// The page's controls, in the order they are created.
enum FlashControl : int {
    FLASH_BANK_GROUP = CONTROL_IDS_FLASH,
    FLASH_BANK_0,   // "0" to "7": FLASH_BANK_0 + bank
    FLASH_ACTION_GROUP = FLASH_BANK_0 + 8,
    FLASH_PROGRAM,
    FLASH_READ,
    FLASH_PROGRAM_NAME,
    FLASH_READ_NAME,
    FLASH_SELECT_BIN,
    FLASH_OPTIONS_GROUP,
    FLASH_VERIFY,
    FLASH_SET_ACTIVE,
    FLASH_MESSAGES,
    FLASH_CLOSE,
    FLASH_APPLY,
};

enum FlashAction : int { ACTION_NONE = 0, ACTION_PROGRAM = 1, ACTION_READ = 2 };

struct FlashMessageLine {
    std::string text;   // padded or cut to 48 characters
    FlashColour colour = FLASH_NORMAL;
};

struct FlashWindowState {
    bool open = false;
    // What opening the page found, put back when it closes.
    int32_t previous_run_mode = 0;
    int previous_logging_paused = 0;
    // The message area: the lines shown, oldest first; line_count is the last one's index (-1: empty).
    std::array<FlashMessageLine, FLASH_MESSAGE_LINES> lines;
    int line_count = -1;
    // Set while "Apply" runs a procedure.
    Shared<int32_t> busy{0};

    // What the window does for the page; each may be unset (tests, no window).
    void (*show_line)() = nullptr;        // a message line was drawn: show it now
    void (*switch_to_gauges)() = nullptr; // "Close": the main window's gauge display command, posted
    void (*procedure_ended)() = nullptr;  // input that came while the procedure ran is dropped
};

extern FlashWindowState g_flash_window;

// Opening and closing the page (the display table's create and destroy of display 6).
void open_flash_window();
void close_flash_window();
// The page's part of the window's paint: bitmap, message area with its kept lines, file names.
void paint_flash_window();
void flash_window_command(int id, int event, int value);

// Whether a bank procedure is running (the main window does not switch displays meanwhile).
bool flash_procedure_running();

// The message area's two operations (the flash message sink of the page).
void flash_window_add_line(FlashColour colour, const std::string& text);
void flash_window_clear();

// "Apply": runs the chosen action with the flash parameters set from the page; returns its result
// (0 success).
int flash_window_apply();

// The colour a line of this class has behind its text.
Rgb flash_line_colour(FlashColour colour);

// The picture at the top right of the page, 200 x 100 pixels, ARGB, drawn by code.
constexpr int FLASH_PICTURE_W = 200;
constexpr int FLASH_PICTURE_H = 100;
const uint32_t* flash_picture();

// Back to program-start state (tests); what an open page took is given back, its controls are not
// touched.
void reset_flash_window();
