// Where the flash protocol and the bank procedures report: one line at a time, each with a colour
// class. The Flash window shows 8 lines of 48 characters, the updater 20 of 80, glanzo-cli prints
// them; tests record them.
#pragma once

#include <string>

enum FlashColour : int {
    FLASH_NORMAL = 0,
    FLASH_ERROR = 1,
    FLASH_SUCCESS = 2,
    FLASH_FAILURE = 3,
};

class FlashSink {
public:
    virtual ~FlashSink() = default;
    virtual void add_line(FlashColour colour, const std::string& text) = 0;
    virtual void clear() = 0;
};

// The headless programs' sink: prints each line to stdout as "colour: TEXT" and keeps the last
// error line for the failure's own line on stderr.
class PrintingSink : public FlashSink {
public:
    void add_line(FlashColour colour, const std::string& text) override;
    void clear() override {}
    std::string last_error;
};

// The sink in force; lines go nowhere until one is installed.
void set_flash_sink(FlashSink* sink);
void flash_message(FlashColour colour, const std::string& text);
void flash_clear();

// "normal", "error", "success" or "failure".
const char* flash_colour_name(FlashColour colour);
