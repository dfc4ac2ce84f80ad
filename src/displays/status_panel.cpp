#include "displays/status_panel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "config/settings.h"
#include "datalog/datalog.h"
#include "datalog/playback.h"
#include "draw/canvas.h"
#include "link/port.h"
#include "platform/paths.h"
#include "platform/ui_services.h"
#include "stream/display_thread.h"
#include "velearn/ve_learn_state.h"

StatusPanelState g_status_panel;

namespace {

constexpr Rgb HIGHLIGHT{210, 63, 10};
constexpr Rgb SPOKE{100, 100, 100};
constexpr int LABEL_X = 10;
constexpr int VALUE_X = 140;
constexpr int PORT_RIGHT = 142;   // the port line's state word ends here
constexpr int PANEL_RIGHT = 144;  // the right edge of the value column; the displays start beyond it

struct Spoke {
    int x1, y1, x2, y2;
};

// The wheel's twelve spokes, worked out once.
const std::array<Spoke, WHEEL_SPOKES>& spokes()
{
    static const std::array<Spoke, WHEEL_SPOKES> s = [] {
        std::array<Spoke, WHEEL_SPOKES> out{};
        for (int k = 0; k < WHEEL_SPOKES; ++k) {
            double theta = (360.0 - (1 + 30 * k)) * M_PI / 180.0;
            out[k] = {static_cast<int>(WHEEL_X + 8 * std::sin(theta)), static_cast<int>(WHEEL_Y + 8 * std::cos(theta)),
                      static_cast<int>(WHEEL_X + 20 * std::sin(theta)), static_cast<int>(WHEEL_Y + 20 * std::cos(theta))};
        }
        return out;
    }();
    return s;
}

void value(Canvas* c, int y, const std::string& s, Rgb fg = TEXT, int x = VALUE_X)
{
    c->text(x, y, s, Font::Default, fg, BACKGROUND, ALIGN_RIGHT);
}

// A file name as the panel shows it, never wider than the panel: a name too long for it keeps its
// start and its end (the extension and what stands just before it), with "..." between them.
// Blanks fill the rest of the panel's width, over what a longer name left there.
std::string fitted_name(Canvas* c, const std::string& name)
{
    constexpr int ROOM = PANEL_RIGHT - LABEL_X;
    std::string shown = name;
    if (c->text_width(shown, Font::Default) > ROOM) {
        size_t dot = name.rfind('.');
        size_t tail_at = dot == std::string::npos || dot < 2 ? name.size() : dot - 2;
        std::string tail = name.substr(tail_at);
        while (!tail.empty() && c->text_width(tail, Font::Default) > ROOM / 2)   // the start matters more
            tail.erase(0, 1);
        size_t head = 0, head_limit = name.size() - tail.size();
        while (head < head_limit && c->text_width(name.substr(0, head + 1) + "..." + tail, Font::Default) <= ROOM)
            ++head;
        shown = name.substr(0, head) + "..." + tail;
    }
    while (c->text_width(shown + ' ', Font::Default) <= ROOM)
        shown += ' ';
    return shown;
}

// Drawn from the display thread too: the log's path is read under the log's lock, and the
// playback name only once playback has published it with its flag.
std::string file_line(Canvas* c)
{
    if (g_datalog.logging_on != 0) {
        std::string name;
        {
            std::lock_guard<std::mutex> lock(g_datalog.lock);
            name = file_name_part(g_datalog.path);
        }
        return fitted_name(c, name);
    }
    if (g_playback.playing.load_acquire() != 0)
        return fitted_name(c, g_settings.playname);
    return format_text("%40s", "");
}

void draw_values(Canvas* c)
{
    value(c, 10, format_text("  %02d:%02d:%02d", static_cast<int>(g_display.run_hours),
                        static_cast<int>(g_display.run_minutes), static_cast<int>(g_display.run_seconds)));
    c->text(LABEL_X, 29, file_line(c), Font::Default, TEXT, BACKGROUND);
    value(c, 48, format_text("     %5u", static_cast<unsigned>(static_cast<int32_t>(g_display.prom_id))));
    value(c, 66, format_text("%s  %d", g_display.injection_type != 0 ? "MPFI," : "   TBI,",
                        static_cast<int>(g_display.cylinders)));
    value(c, 84, format_text("%d-Bar ", static_cast<int>(g_display.map_bar)), TEXT, 144);
    value(c, 102, g_display.bank_valid != 0 ? format_text("     %5u", static_cast<unsigned>(static_cast<int32_t>(g_display.bank)))
                                           : std::string("      none"));
    if (g_playback.playing == 0)
        value(c, 160, " OFF   ");
    else if (g_playback.end_of_file != 0)
        value(c, 160, " EOF   ", HIGHLIGHT);
    else
        value(c, 160, "  ON   ");
    if (g_ve_learn.active != 0) {
        value(c, 178, "  ON   ");
        value(c, 196, g_settings.lrninp == 0 ? " BLM   " : "  WB   ");
    } else {
        value(c, 178, " OFF   ");
    }
}

}  // namespace

void refresh_logging_state()
{
    Canvas* c = canvas();
    if (c == nullptr)
        return;
    if (g_datalog.logging_on == 0)
        value(c, 142, " OFF   ");
    else if (g_datalog.logging_paused != 0)
        value(c, 142, "  Pause", HIGHLIGHT);
    else
        value(c, 142, "  ON   ");
}

void refresh_port_state()
{
    Canvas* c = canvas();
    if (c == nullptr)
        return;
    // The whole field from the label to its right edge is cleared: a device path shown before
    // reaches further left than blanks ending at the state word would.
    int label_end = LABEL_X + c->text_width("Port: ", Font::Default);
    int blank = std::max(1, c->text_width(" ", Font::Default));
    std::string blanks(static_cast<size_t>(std::max(1, (PORT_RIGHT - label_end) / blank)), ' ');
    c->text(label_end, 120, blanks, Font::Default, TEXT, BACKGROUND);
    value(c, 120, blanks, TEXT, PORT_RIGHT);
    // A device path is longer than a COM name: it starts after the label instead of covering it,
    // and when it would still run into the state word it is shortened to its last characters.
    std::string port = g_settings.port;
    if (90 - c->text_width(port, Font::Default) >= label_end) {
        value(c, 120, port, TEXT, 90);
    } else {
        int room = PORT_RIGHT - c->text_width(" Closed", Font::Default) - label_end;
        if (c->text_width(port, Font::Default) > room)
            port = file_name_part(port);
        while (port.size() > 1 && c->text_width(port, Font::Default) > room)
            port.erase(0, 1);
        c->text(label_end, 120, port, Font::Default, TEXT, BACKGROUND);
    }
    value(c, 120, g_port.indicator != 0 ? "Open" : "Closed", TEXT, PORT_RIGHT);
}

void paint_status_panel()
{
    Canvas* c = canvas();
    if (c == nullptr)
        return;
    static const struct {
        int y;
        const char* label;
    } LABELS[] = {{10, "RunTime: "},     {48, "PromId:  "},   {66, "Inject/Cyl: "}, {84, "MAP Sensor: "},
                  {102, "Flash Bank: "}, {120, "Port: "},     {142, "Logging: "},   {160, "Playback: "},
                  {178, "LearnVE: "}};
    for (const auto& l : LABELS)
        c->text(LABEL_X, l.y, l.label, Font::Default, TEXT, BACKGROUND);
    if (g_ve_learn.active != 0)
        c->text(LABEL_X, 196, "LearnFrom: ", Font::Default, TEXT, BACKGROUND);
    draw_values(c);
    refresh_port_state();
    refresh_logging_state();
    if (g_playback.playing == 0)
        for (const Spoke& s : spokes())
            c->line(s.x1, s.y1, s.x2, s.y2, SPOKE, 3);
    else
        c->text(665, -1, "Progress", Font::Small, TEXT, BACKGROUND);
    draw_firmware_line();
}

void refresh_status_values()
{
    if (Canvas* c = canvas())
        draw_values(c);
    refresh_logging_state();
    draw_firmware_line();
}

void advance_activity_wheel()
{
    if (g_playback.playing != 0)
        return;
    int32_t frames = g_status_panel.wheel_frames + 1;
    if (frames < 4) {
        g_status_panel.wheel_frames = frames;
        return;
    }
    g_status_panel.wheel_frames = 0;
    int32_t k = g_status_panel.spoke;
    int32_t next = (k + 1) % WHEEL_SPOKES;
    g_status_panel.spoke = next;
    if (Canvas* c = canvas()) {
        const Spoke& old = spokes()[k];
        const Spoke& now = spokes()[next];
        c->line(old.x1, old.y1, old.x2, old.y2, SPOKE, 3);
        c->line(now.x1, now.y1, now.x2, now.y2, TEXT, 3);
    }
}

void draw_firmware_line()
{
    Canvas* c = canvas();
    if (g_display.active_display != DISPLAY_GAUGES)
        return;
    if (g_display.engine_running == 0) {
        if (c)
            c->text(280, 534, format_text("%40s", ""), Font::Small, TEXT, BACKGROUND);
        return;
    }
    bool sibling = g_display.sibling_firmware != 0;
    if (g_status_panel.firmware_checked.exchange(1) == 0 && sibling)
        ui().message_box("This is not the correct GZD for the ZOV VRT-5 system", "Wrong GZD", MB_OK | MB_ICONINFORMATION);
    if (c)
        c->text(280, 534,
                format_text(sibling ? "ZOV VRT-5, ECM Firmware Version: 1.%d" : "ZOV J8, ECM Firmware Version: 1.%d",
                       static_cast<int>(g_display.firmware_minor)),
                Font::Small, TEXT, BACKGROUND);
}

void reset_status_panel()
{
    g_status_panel.spoke = 0;
    g_status_panel.wheel_frames = 0;
    g_status_panel.firmware_checked = 0;
}
