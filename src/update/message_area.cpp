#include "update/message_area.h"

MessageArea g_message_area;

namespace {

constexpr Rgb LINE_COLOURS[] = {
    {220, 220, 220},   // normal
    {255, 255, 0},     // error
    {103, 245, 103},   // success
    {245, 80, 80},     // failure
};
static_assert(std::size(LINE_COLOURS) == FLASH_FAILURE + 1);

void changed()
{
    if (void (*hook)() = g_message_area.on_change)
        hook();
}

}  // namespace

Rgb message_line_colour(FlashColour colour)
{
    return colour >= FLASH_NORMAL && colour <= FLASH_FAILURE ? LINE_COLOURS[colour] : LINE_COLOURS[FLASH_NORMAL];
}

void add_message_line(FlashColour colour, const std::string& text)
{
    {
        std::lock_guard<std::mutex> guard(g_message_area.lock);
        MessageArea& a = g_message_area;
        if (++a.last_line == MESSAGE_LINES) {
            a.last_line = MESSAGE_LINES - 1;
            for (int i = 0; i + 1 < MESSAGE_LINES; ++i)
                a.lines[i] = std::move(a.lines[i + 1]);
        }
        MessageLine& line = a.lines[a.last_line];
        line.colour = colour;
        line.text = text.substr(0, MESSAGE_COLUMNS);
        line.text.resize(MESSAGE_COLUMNS, ' ');
    }
    changed();
}

void clear_message_area()
{
    {
        std::lock_guard<std::mutex> guard(g_message_area.lock);
        g_message_area.last_line = -1;
    }
    changed();
}

std::vector<MessageLine> message_lines()
{
    std::lock_guard<std::mutex> guard(g_message_area.lock);
    return std::vector<MessageLine>(g_message_area.lines, g_message_area.lines + g_message_area.last_line + 1);
}

void reset_message_area()
{
    g_message_area.on_change = nullptr;
    clear_message_area();
}
