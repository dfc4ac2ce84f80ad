// The canvas of the desktop programs: an 800 x 600 image that the window thread and the display
// thread both draw into, one lock per draw call. The window shows the image; after a draw the
// window is asked (once, however many draws follow before it gets to it) to show it again.
#pragma once

#include <QFont>
#include <QImage>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "draw/canvas.h"

constexpr int CANVAS_WIDTH = 800;
constexpr int CANVAS_HEIGHT = 600;

class QPainter;

// The fonts the displays are laid out for (also what their controls are labelled in).
QFont display_font(Font f);

class QtCanvas : public Canvas {
public:
    QtCanvas();

    // Called (from any thread) when the picture has changed and the window has not yet been told.
    // Set before the canvas is attached. The window then takes the area drawn since (and the next
    // draw tells it again).
    void set_on_change(std::function<void()> notify) { on_change_ = std::move(notify); }
    QRect take_dirty();

    // A copy of the picture, and the picture drawn by `draw` while the lock is held.
    QImage snapshot() const;
    void with_image(const std::function<void(const QImage&)>& draw) const;
    QColor pixel(int x, int y) const;
    void clear(Rgb colour);

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
    void changed();
    // Records that `area` was drawn over; true when it is a text that is already there as it
    // stands (then nothing needs drawing).
    bool text_in_place(int x, int y, std::string_view s, Font font, Rgb fg, Rgb bg, Align align, bool opaque);
    void drawn_over(const QRect& area);
    void oem_text(QPainter& p, int x, int y, std::string_view s, Rgb fg, Rgb bg, bool opaque);

    mutable std::mutex lock_;
    QImage image_;
    QRect dirty_;   // drawn since the window last took it

    // Texts on the picture that nothing has drawn over since. The displays write most of their
    // read-outs again on every frame unchanged; those are not laid out and drawn again.
    struct PlacedText {
        int x, y;
        Font font;
        Align align;
        bool opaque;
        Rgb fg, bg;
        std::string s;
        QRect area;
    };
    std::vector<PlacedText> placed_;
    QFont fonts_[6];
    std::function<void()> on_change_;
    std::atomic<bool> change_pending_{false};
};
