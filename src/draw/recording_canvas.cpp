#include "draw/recording_canvas.h"

std::vector<RecordingCanvas::Text> RecordingCanvas::texts() const
{
    std::lock_guard<std::mutex> l(lock_);
    return texts_;
}

std::vector<RecordingCanvas::Shape> RecordingCanvas::shapes() const
{
    std::lock_guard<std::mutex> l(lock_);
    return shapes_;
}

void RecordingCanvas::clear()
{
    std::lock_guard<std::mutex> l(lock_);
    texts_.clear();
    shapes_.clear();
}

std::string RecordingCanvas::text_at(int x, int y) const
{
    std::lock_guard<std::mutex> l(lock_);
    for (auto it = texts_.rbegin(); it != texts_.rend(); ++it)
        if (it->x == x && it->y == y)
            return it->s;
    return {};
}

bool RecordingCanvas::has_text(const std::string& s) const
{
    std::lock_guard<std::mutex> l(lock_);
    for (const Text& t : texts_)
        if (t.s == s)
            return true;
    return false;
}

void RecordingCanvas::text(int x, int y, std::string_view s, Font font, Rgb fg, Rgb bg, Align align, bool)
{
    std::lock_guard<std::mutex> l(lock_);
    texts_.push_back({x, y, std::string(s), font, fg, bg, align});
}

void RecordingCanvas::line(int x1, int y1, int x2, int y2, Rgb colour, int width, PenStyle style)
{
    std::lock_guard<std::mutex> l(lock_);
    shapes_.push_back({'l', x1, y1, x2, y2, colour, width, style});
}

void RecordingCanvas::rectangle(int left, int top, int right, int bottom, Rgb pen, int width, Rgb, bool)
{
    std::lock_guard<std::mutex> l(lock_);
    shapes_.push_back({'r', left, top, right, bottom, pen, width});
}

void RecordingCanvas::fill(int left, int top, int right, int bottom, Rgb colour)
{
    std::lock_guard<std::mutex> l(lock_);
    shapes_.push_back({'f', left, top, right, bottom, colour, 0});
}

void RecordingCanvas::ellipse(int left, int top, int right, int bottom, Rgb pen, int width, Rgb)
{
    std::lock_guard<std::mutex> l(lock_);
    shapes_.push_back({'e', left, top, right, bottom, pen, width});
}

void RecordingCanvas::arc(int cx, int cy, int radius, double start_deg, double span_deg, Rgb colour, int width)
{
    std::lock_guard<std::mutex> l(lock_);
    shapes_.push_back({'a', cx, cy, radius, static_cast<int>(start_deg * 1000 + span_deg), colour, width});
}

void RecordingCanvas::scroll(int left, int top, int right, int bottom, int dy, Rgb fill)
{
    std::lock_guard<std::mutex> l(lock_);
    shapes_.push_back({'s', left, top, right, bottom, fill, dy});
}

void RecordingCanvas::scroll_left(int left, int top, int right, int bottom, int dx, Rgb fill)
{
    std::lock_guard<std::mutex> l(lock_);
    shapes_.push_back({'h', left, top, right, bottom, fill, dx});
}

void RecordingCanvas::xor_line(int x1, int y1, int x2, int y2)
{
    std::lock_guard<std::mutex> l(lock_);
    shapes_.push_back({'x', x1, y1, x2, y2, Rgb{0, 0, 0}, 1});
}

void RecordingCanvas::bitmap(int, int, int, int, const uint32_t*) {}

int RecordingCanvas::text_width(std::string_view s, Font) { return static_cast<int>(s.size()) * 8; }
