// What the displays draw on: the main window's 800 x 600 client area.
//
// The window thread (full paints) and the display thread (per-frame redraws) both draw; each call
// is one indivisible operation on the implementation's side. Coordinates and conventions are
// those the displays are laid out in: text at (x, y) is the top of its cell, left-aligned from x,
// right-aligned ending at x, or centred on x; rectangles include their left and top edges and end
// before right and bottom for fills; colours are red, green, blue. Text is bytes in Latin-1
// (0xB0 is the degree sign).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/shared_word.h"

struct Rgb {
    uint8_t r, g, b;
    constexpr bool operator==(const Rgb&) const = default;
};

enum class Font : uint8_t {
    Default,   // the window's own font
    Small,     // 14 px fixed pitch
    Table,     // 17 px fixed pitch
    Title,     // 24 px
    Large,     // 28 px bold
    Oem,       // 8 x 12 cells; the block glyphs 0xDB (full), 0xDF (upper half), 0xDC (lower half)
};

enum Align : uint8_t { ALIGN_LEFT, ALIGN_RIGHT, ALIGN_CENTRE };

enum PenStyle : uint8_t { PEN_SOLID, PEN_DASH, PEN_DOT };

class Canvas {
public:
    virtual ~Canvas() = default;
    // Text; an opaque one fills its cell with `bg` first.
    virtual void text(int x, int y, std::string_view s, Font font, Rgb fg, Rgb bg, Align align = ALIGN_LEFT,
                      bool opaque = true) = 0;
    virtual void line(int x1, int y1, int x2, int y2, Rgb colour, int width = 1, PenStyle style = PEN_SOLID) = 0;
    // Outline of `width` pixels, filled inside with `fill` unless `filled` is false.
    virtual void rectangle(int left, int top, int right, int bottom, Rgb pen, int width, Rgb fill,
                           bool filled = true) = 0;
    virtual void fill(int left, int top, int right, int bottom, Rgb colour) = 0;
    virtual void ellipse(int left, int top, int right, int bottom, Rgb pen, int width, Rgb fill) = 0;
    // An arc of a circle: angles in degrees counter-clockwise from three o'clock.
    virtual void arc(int cx, int cy, int radius, double start_deg, double span_deg, Rgb colour, int width) = 0;
    // Moves the rectangle's contents up by `dy` pixels and fills what is uncovered with `fill`.
    virtual void scroll(int left, int top, int right, int bottom, int dy, Rgb fill) = 0;
    // Moves the rectangle's contents left by `dx` pixels and fills what is uncovered with `fill`.
    virtual void scroll_left(int left, int top, int right, int bottom, int dx, Rgb fill) = 0;
    // A one-pixel line that inverts what it crosses; drawing it twice restores the picture.
    virtual void xor_line(int x1, int y1, int x2, int y2) = 0;
    virtual void bitmap(int x, int y, int w, int h, const uint32_t* argb) = 0;
    // Width in pixels of `s` in `font`.
    virtual int text_width(std::string_view s, Font font) = 0;
};

// The canvas the displays draw on; none until the window attaches one (then they only keep their
// values current).
Canvas* canvas();
void attach_canvas(Canvas* c);

// A display's text from a printf format (read-outs are short: up to 95 characters).
template <class... Args>
std::string format_text(const char* format, Args... args)
{
    char buf[96];
    std::snprintf(buf, sizeof buf, format, args...);
    return buf;
}

// Colours every display shares.
inline constexpr Rgb BACKGROUND{20, 20, 20};
inline constexpr Rgb TEXT{240, 240, 240};
