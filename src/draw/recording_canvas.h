// A canvas that keeps a list of what was drawn, for tests: texts with their places, fonts and
// colours, and the shapes.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "draw/canvas.h"

class RecordingCanvas : public Canvas {
public:
    struct Text {
        int x, y;
        std::string s;
        Font font;
        Rgb fg, bg;
        Align align;
    };
    struct Shape {
        char kind;   // 'l' line, 'r' rectangle, 'f' fill, 'e' ellipse, 'a' arc, 's' scroll up, 'h' scroll
                     // left, 'x' xor line
        int a, b, c, d;
        Rgb colour;
        int width;
        PenStyle style = PEN_SOLID;
    };

    std::vector<Text> texts() const;
    std::vector<Shape> shapes() const;
    void clear();
    // The last text drawn at (x, y), or an empty string.
    std::string text_at(int x, int y) const;
    bool has_text(const std::string& s) const;

    void text(int x, int y, std::string_view s, Font font, Rgb fg, Rgb bg, Align align, bool opaque) override;
    void line(int x1, int y1, int x2, int y2, Rgb colour, int width, PenStyle style) override;
    void rectangle(int left, int top, int right, int bottom, Rgb pen, int width, Rgb fill, bool filled) override;
    void fill(int left, int top, int right, int bottom, Rgb colour) override;
    void ellipse(int left, int top, int right, int bottom, Rgb pen, int width, Rgb fill) override;
    void arc(int cx, int cy, int radius, double start_deg, double span_deg, Rgb colour, int width) override;
    void scroll(int left, int top, int right, int bottom, int dy, Rgb fill) override;
    void scroll_left(int left, int top, int right, int bottom, int dx, Rgb fill) override;
    void xor_line(int x1, int y1, int x2, int y2) override;
    void bitmap(int x, int y, int w, int h, const uint32_t* argb) override;
    int text_width(std::string_view s, Font font) override;

private:
    mutable std::mutex lock_;
    std::vector<Text> texts_;
    std::vector<Shape> shapes_;
};
