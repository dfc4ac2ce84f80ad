#include "ui/qt_canvas.h"

#include <QFontMetrics>
#include <QPainter>
#include <QString>

#include <algorithm>

namespace {

QColor colour(Rgb c) { return QColor(c.r, c.g, c.b); }

QString latin1(std::string_view s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

// The largest font of `family` whose cell (ascent + descent) is at most `cell` pixels high.
QFont font_with_cell(const char* family, int cell, bool bold, bool fixed)
{
    QFont f(family);
    f.setBold(bold);
    f.setFixedPitch(fixed);
    f.setStyleHint(fixed ? QFont::TypeWriter : QFont::SansSerif);
    f.setHintingPreference(QFont::PreferFullHinting);
    int size = cell;
    for (; size > 4; --size) {
        f.setPixelSize(size);
        if (QFontMetrics(f).height() <= cell)
            break;
    }
    f.setPixelSize(size);
    return f;
}

// What a line of `width` pixels may touch.
QRect line_area(int x1, int y1, int x2, int y2, int width)
{
    return QRect(QPoint(std::min(x1, x2), std::min(y1, y2)), QPoint(std::max(x1, x2), std::max(y1, y2)))
        .adjusted(-width, -width, width, width);
}

constexpr int OEM_CELL_W = 8;
constexpr int OEM_CELL_H = 12;

// Pixel metrics of the fonts: the cell heights the layout is drawn for.
struct FontCell {
    const char* family;
    int cell;
    bool bold, fixed;
    int em;   // when set, the size instead of the cell's
};
constexpr FontCell FONT_CELLS[] = {
    // The window's own font is a bold 16-pixel cell about 7 pixels a character wide; a sans face
    // that wide is smaller than the cell.
    {"Liberation Sans", 16, true, false, 12},
    {"Liberation Mono", 14, false, true, 0},    // small
    // The tables are laid out in 8-pixel columns (a VE row of 63 characters fills 504 pixels);
    // Liberation Mono fitted to the 17-pixel cell is 9 pixels wide, its 14-pixel size 8.
    {"Liberation Mono", 17, false, true, 14},   // table
    {"Liberation Sans", 24, false, false, 0},   // title
    {"Liberation Sans", 28, true, false, 0},    // large
    {"Liberation Mono", OEM_CELL_H, false, true, 0},
};

}  // namespace

// The fonts the displays are laid out for, each sized so that its cell is as high as the layout
// expects: "Liberation Mono" for the fixed-pitch ones, "Liberation Sans" for the others.
QFont display_font(Font f)
{
    const FontCell& c = FONT_CELLS[static_cast<int>(f)];
    QFont font = font_with_cell(c.family, c.cell, c.bold, c.fixed);
    if (c.em > 0)
        font.setPixelSize(c.em);
    return font;
}

QtCanvas::QtCanvas() : image_(CANVAS_WIDTH, CANVAS_HEIGHT, QImage::Format_RGB32)
{
    image_.fill(colour(BACKGROUND));
    for (int i = 0; i < 6; ++i)
        fonts_[i] = display_font(static_cast<Font>(i));
}

QRect QtCanvas::take_dirty()
{
    std::lock_guard<std::mutex> lock(lock_);
    QRect r = dirty_;
    dirty_ = QRect();
    change_pending_.store(false, std::memory_order_release);
    return r;
}

void QtCanvas::changed()
{
    if (on_change_ && !change_pending_.exchange(true, std::memory_order_acq_rel))
        on_change_();
}

QImage QtCanvas::snapshot() const
{
    std::lock_guard<std::mutex> lock(lock_);
    return image_.copy();
}

void QtCanvas::with_image(const std::function<void(const QImage&)>& draw) const
{
    std::lock_guard<std::mutex> lock(lock_);
    draw(image_);
}

QColor QtCanvas::pixel(int x, int y) const
{
    std::lock_guard<std::mutex> lock(lock_);
    return image_.valid(x, y) ? image_.pixelColor(x, y) : QColor();
}

void QtCanvas::clear(Rgb c)
{
    {
        std::lock_guard<std::mutex> lock(lock_);
        image_.fill(colour(c));
        dirty_ = image_.rect();
        placed_.clear();
    }
    changed();
}

void QtCanvas::oem_text(QPainter& p, int x, int y, std::string_view s, Rgb fg, Rgb bg, bool opaque)
{
    for (unsigned char ch : s) {
        QRect cell(x, y, OEM_CELL_W, OEM_CELL_H);
        if (opaque)
            p.fillRect(cell, colour(bg));
        switch (ch) {
        case 0xDB:
            p.fillRect(cell, colour(fg));
            break;
        case 0xDF:
            p.fillRect(x, y, OEM_CELL_W, OEM_CELL_H / 2, colour(fg));
            break;
        case 0xDC:
            p.fillRect(x, y + OEM_CELL_H / 2, OEM_CELL_W, OEM_CELL_H / 2, colour(fg));
            break;
        case ' ':
            break;
        default:
            p.setPen(colour(fg));
            p.drawText(cell, Qt::AlignCenter | Qt::TextDontClip, QString(QChar(ch)));
            break;
        }
        x += OEM_CELL_W;
    }
}

bool QtCanvas::text_in_place(int x, int y, std::string_view s, Font f, Rgb fg, Rgb bg, Align align, bool opaque)
{
    for (const PlacedText& t : placed_)
        if (t.x == x && t.y == y && t.font == f && t.align == align && t.opaque == opaque && t.fg == fg && t.bg == bg &&
            t.s == s)
            return true;
    return false;
}

void QtCanvas::drawn_over(const QRect& area)
{
    dirty_ |= area;
    std::erase_if(placed_, [&](const PlacedText& t) { return t.area.intersects(area); });
}

void QtCanvas::text(int x, int y, std::string_view s, Font f, Rgb fg, Rgb bg, Align align, bool opaque)
{
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (text_in_place(x, y, s, f, fg, bg, align, opaque))
            return;
        QRect area;
        QPainter p(&image_);
        if (f == Font::Oem) {
            int w = static_cast<int>(s.size()) * OEM_CELL_W;
            int left = align == ALIGN_RIGHT ? x - w : align == ALIGN_CENTRE ? x - w / 2 : x;
            oem_text(p, left, y, s, fg, bg, opaque);
            area = QRect(left, y, w, OEM_CELL_H);
        } else {
            const QFont& font = fonts_[static_cast<int>(f)];
            QFontMetrics m(font);
            QString t = latin1(s);
            int w = m.horizontalAdvance(t);
            int left = align == ALIGN_RIGHT ? x - w : align == ALIGN_CENTRE ? x - w / 2 : x;
            if (opaque)
                p.fillRect(left, y, w, m.height(), colour(bg));
            p.setFont(font);
            p.setPen(colour(fg));
            p.drawText(left, y + m.ascent(), t);
            area = QRect(left, y, w, m.height());
        }
        drawn_over(area);
        placed_.push_back({x, y, f, align, opaque, fg, bg, std::string(s), area});
    }
    changed();
}

int QtCanvas::text_width(std::string_view s, Font f)
{
    if (f == Font::Oem)
        return static_cast<int>(s.size()) * OEM_CELL_W;
    // The fonts are shared by both drawing threads: measured under the same lock as drawing.
    std::lock_guard<std::mutex> lock(lock_);
    return QFontMetrics(fonts_[static_cast<int>(f)]).horizontalAdvance(latin1(s));
}

void QtCanvas::line(int x1, int y1, int x2, int y2, Rgb c, int width, PenStyle style)
{
    {
        std::lock_guard<std::mutex> lock(lock_);
        QPainter p(&image_);
        Qt::PenStyle qt_style = style == PEN_DASH ? Qt::DashLine : style == PEN_DOT ? Qt::DotLine : Qt::SolidLine;
        p.setPen(QPen(colour(c), width, qt_style, width > 1 ? Qt::RoundCap : Qt::FlatCap));
        p.drawLine(x1, y1, x2, y2);
        drawn_over(line_area(x1, y1, x2, y2, width));
    }
    changed();
}

void QtCanvas::rectangle(int left, int top, int right, int bottom, Rgb pen, int width, Rgb fill_colour, bool filled)
{
    {
        std::lock_guard<std::mutex> lock(lock_);
        QPainter p(&image_);
        if (filled)
            p.fillRect(left, top, right - left, bottom - top, colour(fill_colour));
        drawn_over(QRect(left, top, right - left, bottom - top));
        // The outline lies inside the rectangle, as wide as the pen.
        for (int i = 0; i < width; ++i) {
            int l = left + i, t = top + i, r = right - 1 - i, b = bottom - 1 - i;
            if (r < l || b < t)
                break;
            p.fillRect(l, t, r - l + 1, 1, colour(pen));
            p.fillRect(l, b, r - l + 1, 1, colour(pen));
            p.fillRect(l, t, 1, b - t + 1, colour(pen));
            p.fillRect(r, t, 1, b - t + 1, colour(pen));
        }
    }
    changed();
}

void QtCanvas::fill(int left, int top, int right, int bottom, Rgb c)
{
    {
        std::lock_guard<std::mutex> lock(lock_);
        QPainter p(&image_);
        p.fillRect(left, top, right - left, bottom - top, colour(c));
        drawn_over(QRect(left, top, right - left, bottom - top));
    }
    changed();
}

void QtCanvas::ellipse(int left, int top, int right, int bottom, Rgb pen, int width, Rgb fill_colour)
{
    {
        std::lock_guard<std::mutex> lock(lock_);
        QPainter p(&image_);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(colour(pen), width));
        p.setBrush(colour(fill_colour));
        double inset = width / 2.0;
        p.drawEllipse(QRectF(left + inset, top + inset, right - left - 2 * inset, bottom - top - 2 * inset));
        drawn_over(QRect(left, top, right - left, bottom - top));
    }
    changed();
}

void QtCanvas::arc(int cx, int cy, int radius, double start_deg, double span_deg, Rgb c, int width)
{
    {
        std::lock_guard<std::mutex> lock(lock_);
        QPainter p(&image_);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(colour(c), width, Qt::SolidLine, Qt::FlatCap));
        p.drawArc(QRectF(cx - radius, cy - radius, 2.0 * radius, 2.0 * radius), static_cast<int>(start_deg * 16),
                  static_cast<int>(span_deg * 16));
        drawn_over(QRect(cx - radius - width, cy - radius - width, 2 * (radius + width), 2 * (radius + width)));
    }
    changed();
}

void QtCanvas::scroll(int left, int top, int right, int bottom, int dy, Rgb fill_colour)
{
    {
        std::lock_guard<std::mutex> lock(lock_);
        QRect area = QRect(left, top, right - left, bottom - top).intersected(image_.rect());
        if (area.isEmpty() || dy <= 0)
            return;
        QImage moved = image_.copy(area.adjusted(0, dy, 0, 0));
        QPainter p(&image_);
        p.drawImage(area.left(), area.top(), moved);
        p.fillRect(area.left(), area.bottom() + 1 - dy, area.width(), dy, colour(fill_colour));
        drawn_over(area);
    }
    changed();
}

void QtCanvas::scroll_left(int left, int top, int right, int bottom, int dx, Rgb fill_colour)
{
    {
        std::lock_guard<std::mutex> lock(lock_);
        QRect area = QRect(left, top, right - left, bottom - top).intersected(image_.rect());
        if (area.isEmpty() || dx <= 0)
            return;
        dx = std::min(dx, area.width());
        QImage moved = image_.copy(area.adjusted(dx, 0, 0, 0));
        QPainter p(&image_);
        p.drawImage(area.left(), area.top(), moved);
        p.fillRect(area.right() + 1 - dx, area.top(), dx, area.height(), colour(fill_colour));
        drawn_over(area);
    }
    changed();
}

void QtCanvas::xor_line(int x1, int y1, int x2, int y2)
{
    {
        std::lock_guard<std::mutex> lock(lock_);
        QPainter p(&image_);
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.setPen(QPen(Qt::white, 1));
        p.drawLine(x1, y1, x2, y2);
        drawn_over(line_area(x1, y1, x2, y2, 1));
    }
    changed();
}

void QtCanvas::bitmap(int x, int y, int w, int h, const uint32_t* argb)
{
    if (w <= 0 || h <= 0 || argb == nullptr)
        return;
    QImage source(reinterpret_cast<const uchar*>(argb), w, h, w * 4, QImage::Format_ARGB32);
    {
        std::lock_guard<std::mutex> lock(lock_);
        QPainter p(&image_);
        p.drawImage(x, y, source);
        drawn_over(QRect(x, y, w, h));
    }
    changed();
}
