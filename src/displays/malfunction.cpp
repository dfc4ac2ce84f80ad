#include "displays/malfunction.h"

#include <algorithm>

#include "config/settings.h"
#include "stream/display_thread.h"

MalfunctionState g_malfunction;

namespace {

constexpr Rgb FRAME{100, 100, 100};
constexpr Rgb SET{255, 153, 0};
constexpr Rgb CLEAR{0, 0, 0};

int flag_of(const FrameRecord& f, const MalfunctionIndicator& ind)
{
    return ((f.b[ind.byte] & ind.mask) != 0 ? 1 : 0) ^ ind.invert;
}

void fill_box(Canvas* c, const MalfunctionIndicator& ind, int state)
{
    c->fill(ind.x, ind.y, ind.x + MALF_BOX_W, ind.y + MALF_BOX_H, state == 1 ? SET : CLEAR);
}

long overlap(const ScreenArea& s, int x, int y, int w, int h)
{
    long across = std::min(x + w, s.left + s.width) - std::max(x, s.left);
    long down = std::min(y + h, s.top + s.height) - std::max(y, s.top);
    return across > 0 && down > 0 ? across * down : 0;
}

}  // namespace

void malfunction_window_update(const FrameRecord& f)
{
    std::lock_guard<std::mutex> lock(g_malfunction.lock);
    for (int i = 0; i < MALF_INDICATORS; ++i) {
        const MalfunctionIndicator& ind = MALFUNCTION_INDICATORS[i];
        int flag = flag_of(f, ind);
        if (flag == g_malfunction.state[i])
            continue;
        g_malfunction.state[i] = flag;
        if (g_malfunction.canvas != nullptr)
            fill_box(g_malfunction.canvas, ind, flag);
    }
}

void paint_malfunction_window()
{
    std::lock_guard<std::mutex> lock(g_malfunction.lock);
    Canvas* c = g_malfunction.canvas;
    if (c == nullptr)
        return;
    for (int i = 0; i < MALF_INDICATORS; ++i) {
        const MalfunctionIndicator& ind = MALFUNCTION_INDICATORS[i];
        c->rectangle(ind.x - 1, ind.y - 1, ind.x + MALF_BOX_W + 1, ind.y + MALF_BOX_H + 1, FRAME, 1, CLEAR, false);
        if (ind.label[0] != '\0')
            c->text(MALF_LABEL_X, ind.y - 2, ind.label, Font::Small, TEXT, BACKGROUND);
        fill_box(c, ind, g_malfunction.state[i]);
    }
}

void attach_malfunction_canvas(Canvas* c)
{
    std::lock_guard<std::mutex> lock(g_malfunction.lock);
    g_malfunction.canvas = c;
}

void malfunction_window_opened()
{
    g_frame_hooks.malfunction_window_update = malfunction_window_update;
    g_settings.actvmalf = 1;
}

void malfunction_window_closed(int x, int y, bool by_user)
{
    g_frame_hooks.malfunction_window_update = nullptr;
    attach_malfunction_canvas(nullptr);
    g_settings.xposmalf = x;
    g_settings.yposmalf = y;
    if (by_user)
        g_settings.actvmalf = 0;
}

WindowPlace reachable_place(int x, int y, int w, int h, std::span<const ScreenArea> screens)
{
    if (x == -1)
        return {false, 0, 0};
    if (screens.empty())
        return {true, x, y};
    const ScreenArea* best = &screens[0];
    long best_overlap = -1;
    for (const ScreenArea& s : screens) {
        if (x >= s.left && y >= s.top && x + w <= s.left + s.width && y + h <= s.top + s.height)
            return {true, x, y};
        if (long o = overlap(s, x, y, w, h); o > best_overlap) {
            best = &s;
            best_overlap = o;
        }
    }
    // The top-left corner wins where the window is larger than the screen: the caption stays there.
    int nx = std::max(best->left, std::min(x, best->left + best->width - w));
    int ny = std::max(best->top, std::min(y, best->top + best->height - h));
    return {true, nx, ny};
}

void reset_malfunction()
{
    std::lock_guard<std::mutex> lock(g_malfunction.lock);
    g_malfunction.canvas = nullptr;
    g_malfunction.state.fill(-1);
}
