// The updater's message area: the last 20 lines an update wrote, 80 characters each, with the
// background colour of each line. It is the flash message sink while the window is up.
//
// Threading: the update thread adds lines, the window thread clears the area before a run and
// reads the lines to paint them; all of it under `lock`. After every change `on_change` is called
// (on the changing thread, outside the lock); the window's hook only hands a repaint over to the
// window thread.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "draw/canvas.h"
#include "ecm/sink.h"
#include "platform/shared_word.h"

constexpr int MESSAGE_LINES = 20;
constexpr int MESSAGE_COLUMNS = 80;

struct MessageLine {
    FlashColour colour;
    std::string text;   // always MESSAGE_COLUMNS characters: padded with blanks or cut
};

struct MessageArea {
    std::mutex lock;
    MessageLine lines[MESSAGE_LINES];
    int32_t last_line = -1;                    // index of the newest line; -1 when empty
    Shared<void (*)()> on_change{nullptr};
};

extern MessageArea g_message_area;

// Adds a line below the others; a 21st line drops the oldest and the rest move up.
void add_message_line(FlashColour colour, const std::string& text);
void clear_message_area();
// The kept lines, oldest first.
std::vector<MessageLine> message_lines();
// Empties the area and removes the hook (tests).
void reset_message_area();

// Background of a line of each colour class.
Rgb message_line_colour(FlashColour colour);

// The flash message sink that writes into the message area.
class MessageAreaSink : public FlashSink {
public:
    void add_line(FlashColour colour, const std::string& text) override { add_message_line(colour, text); }
    void clear() override { clear_message_area(); }
};
