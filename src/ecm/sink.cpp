#include "ecm/sink.h"

#include <atomic>
#include <cstdio>

namespace {
std::atomic<FlashSink*> installed{nullptr};
}  // namespace

void set_flash_sink(FlashSink* sink) { installed.store(sink, std::memory_order_release); }

void flash_message(FlashColour colour, const std::string& text)
{
    if (FlashSink* s = installed.load(std::memory_order_acquire))
        s->add_line(colour, text);
}

void flash_clear()
{
    if (FlashSink* s = installed.load(std::memory_order_acquire))
        s->clear();
}

const char* flash_colour_name(FlashColour colour)
{
    static const char* const names[] = {"normal", "error", "success", "failure"};
    return colour >= FLASH_NORMAL && colour <= FLASH_FAILURE ? names[colour] : "normal";
}

void PrintingSink::add_line(FlashColour colour, const std::string& text)
{
    std::printf("%s: %s\n", flash_colour_name(colour), text.c_str());
    std::fflush(stdout);
    if (colour == FLASH_ERROR)
        last_error = text;
}
