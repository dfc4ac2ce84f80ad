#include "flash/flash_window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "config/config.h"
#include "config/settings.h"
#include "ecm/protocol.h"
#include "ecm/tick.h"
#include "flash/bank.h"
#include "flash/bin_file.h"
#include "link/link_thread.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/ui_services.h"
#include "stream/reader.h"

FlashWindowState g_flash_window;

namespace {

// ---- Layout -------------------------------------------------------------------------------------

// The message area: line n's text starts at (MESSAGE_X, MESSAGE_Y + n * LINE_HEIGHT) in the table
// font. A new line at the bottom of a full area moves the others up by one line inside the
// scroll rectangle. Nothing of a line is drawn right of MESSAGE_RIGHT, the area's inner edge, where
// the 48 characters of the table font end; a wider font would be cut there.
constexpr int MESSAGE_X = 334;
constexpr int MESSAGE_Y = 321;
constexpr int LINE_HEIGHT = 17;
constexpr int MESSAGE_RIGHT = 719;
constexpr int SCROLL_LEFT = 331, SCROLL_TOP = 321, SCROLL_BOTTOM = 457;

// The two file names, at most 40 characters each; their fields are erased up to the inner edge of
// the group boxes they stand in.
constexpr int NAME_X = 339;
constexpr int NAME_ERASE_X = 334, NAME_ERASE_RIGHT = 716;
constexpr int PROGRAM_NAME_Y = 157, READ_NAME_Y = 209;
constexpr size_t NAME_CHARS = 40;

constexpr int PICTURE_X = 580, PICTURE_Y = 40;

constexpr Rgb DIMMED{130, 130, 130};
constexpr Rgb LINE_COLOURS[] = {
    BACKGROUND,        // normal
    {150, 106, 3},     // error
    {33, 165, 33},     // success
    {225, 60, 60},     // failure
};

// ---- Controls -----------------------------------------------------------------------------------

constexpr uint32_t STOP = CS_TAB_STOP;
// The file names and the message lines stand right under the top edges of their boxes.
constexpr uint32_t BOX = CS_CAPTION_IN_FRAME;
constexpr KeyRoute NEXT = KeyRoute::NextControl;
constexpr KeyRoute OWN = KeyRoute::Own;
using K = ControlKind;

constexpr ControlDef bank_button(int b)
{
    constexpr const char* DIGITS[] = {"0", "1", "2", "3", "4", "5", "6", "7"};
    return {FLASH_BANK_0 + b, K::RadioButton, DIGITS[b], 120 + 50 * b, 80, 30, 20,
            (b == 0 ? CS_GROUP : CS_NONE) | STOP | CS_TEXT_LEFT, NEXT};
}

constexpr std::array<ControlDef, 21> FLASH_CONTROLS = {{
    {FLASH_BANK_GROUP, K::GroupBox, "Flash Bank", 100, 60, 420, 50, BOX, OWN},
    bank_button(0), bank_button(1), bank_button(2), bank_button(3),
    bank_button(4), bank_button(5), bank_button(6), bank_button(7),
    {FLASH_ACTION_GROUP, K::GroupBox, "Action", 100, 140, 170, 92, BOX, OWN},
    {FLASH_PROGRAM, K::RadioButton, "Program Bank", 120, 170, 130, 20, CS_GROUP | STOP, NEXT},
    {FLASH_READ, K::RadioButton, "Read Bank", 120, 200, 130, 20, STOP, NEXT},
    // Enabled by the page after it is created, as the action says.
    {FLASH_PROGRAM_NAME, K::GroupBox, "Program File Name", 330, 140, 390, 42, BOX | CS_DISABLED, OWN},
    {FLASH_READ_NAME, K::GroupBox, "Read File Name", 330, 192, 390, 42, BOX | CS_DISABLED, OWN},
    {FLASH_SELECT_BIN, K::PushButton, "Select BIN", 330, 242, 80, 30, STOP, NEXT},
    {FLASH_OPTIONS_GROUP, K::GroupBox, "Options", 100, 304, 170, 92, BOX, OWN},
    {FLASH_VERIFY, K::CheckBox, "Verify", 120, 334, 130, 20, STOP | CS_TEXT_LEFT, NEXT},
    {FLASH_SET_ACTIVE, K::CheckBox, "Set Bank Active", 120, 364, 130, 20, STOP | CS_TEXT_LEFT, NEXT},
    {FLASH_MESSAGES, K::GroupBox, "Messages", 330, 304, 394, 161, BOX, OWN},
    {FLASH_CLOSE, K::PushButton, "Close", 540, 500, 80, 30, STOP, NEXT},
    {FLASH_APPLY, K::PushButton, "Apply", 640, 500, 80, 30, STOP, NEXT},
}};
static_assert(FLASH_CONTROLS.back().id == FLASH_APPLY, "one row for every control id");

const std::vector<std::pair<std::string, std::string>> BIN_FILTERS = {{"BIN (*.bin)", "*.bin"}, {"All (*.*)", "*.*"}};

// ---- The sink -----------------------------------------------------------------------------------

class PageSink : public FlashSink {
public:
    void add_line(FlashColour colour, const std::string& text) override { flash_window_add_line(colour, text); }
    void clear() override { flash_window_clear(); }
};
PageSink page_sink;

// ---- Drawing ------------------------------------------------------------------------------------

int selected_bank() { return std::clamp<int>(g_settings.flshbank, 0, BANK_COUNT - 1); }

std::string fit_line(const std::string& text)
{
    std::string line = text.substr(0, FLASH_MESSAGE_CHARS);
    line.resize(FLASH_MESSAGE_CHARS, ' ');
    return line;
}

void draw_line(Canvas* c, int n, const std::string& line, FlashColour colour)
{
    Rgb bg = flash_line_colour(colour);
    int y = MESSAGE_Y + n * LINE_HEIGHT;
    int char_width = std::max(1, c->text_width("0", Font::Table));
    size_t fits = static_cast<size_t>((MESSAGE_RIGHT - MESSAGE_X) / char_width);
    c->fill(MESSAGE_X, y, MESSAGE_RIGHT, y + LINE_HEIGHT, bg);
    c->text(MESSAGE_X, y, line.substr(0, fits), Font::Table, TEXT, bg);
}

void draw_blank_area(Canvas* c)
{
    for (int n = 0; n < FLASH_MESSAGE_LINES; ++n)
        draw_line(c, n, std::string(FLASH_MESSAGE_CHARS, ' '), FLASH_NORMAL);
}

void show_line()
{
    if (void (*show)() = g_flash_window.show_line)
        show();
}

// The two names, the one of the chosen action bright, and the controls that go with the action.
void redraw_file_names()
{
    bool read = g_settings.flshaction == ACTION_READ;
    controls().set_enabled(FLASH_VERIFY, !read);
    controls().set_enabled(FLASH_PROGRAM_NAME, !read);
    controls().set_enabled(FLASH_READ_NAME, read);
    Canvas* c = canvas();
    if (c == nullptr)
        return;
    c->fill(NAME_ERASE_X, PROGRAM_NAME_Y, NAME_ERASE_RIGHT, PROGRAM_NAME_Y + LINE_HEIGHT, BACKGROUND);
    c->fill(NAME_ERASE_X, READ_NAME_Y, NAME_ERASE_RIGHT, READ_NAME_Y + LINE_HEIGHT, BACKGROUND);
    c->text(NAME_X, PROGRAM_NAME_Y, g_settings.flshbinfile.substr(0, NAME_CHARS), Font::Table, read ? DIMMED : TEXT,
            BACKGROUND);
    c->text(NAME_X, READ_NAME_Y, g_settings.readbinfile.substr(0, NAME_CHARS), Font::Table, read ? TEXT : DIMMED,
            BACKGROUND);
}

// ---- File choices -------------------------------------------------------------------------------

void remember_choice(std::string& path, std::string& file, std::string& folder, const std::string& chosen)
{
    path = chosen;
    file = file_name_part(chosen);
    folder = folder_part(chosen);
    save_config();
    redraw_file_names();
}

void choose_program_file()
{
    FileDialogRequest request;
    request.title = "Select BIN file to Flash to ZOV";
    request.filters = BIN_FILTERS;
    request.initial_folder = g_settings.flshbinpath;
    request.initial_name = g_settings.flshbinfile;
    std::string path = choose_file(request);
    if (path.empty())
        return;
    FILE* f = open_regular_file(path);
    if (f == nullptr) {
        ui().message_box("Can not open BIN File", "File Open Error", MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
        return;
    }
    uint8_t head[6];
    size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    if (!bin_signature_ok(head, n)) {
        ui().message_box("Not an ZOV J8 Flash BIN!", "Incorrect BIN File", MB_OK | MB_TOPMOST);
        return;
    }
    remember_choice(g_settings.flshbin, g_settings.flshbinfile, g_settings.flshbinpath, path);
}

void choose_read_file()
{
    FileDialogRequest request;
    request.title = "Select/Create File to Save ZOV BIN to";
    request.filters = BIN_FILTERS;
    request.default_extension = "bin";
    std::string path;
    for (;;) {
        request.initial_folder = g_settings.readbinpath;
        request.initial_name = g_settings.readbinfile;
        path = choose_file(request);
        if (path.empty())
            return;
        // A folder is no file to overwrite; the read then reports that it cannot create the file.
        FILE* existing = open_regular_file(path);
        if (existing == nullptr)
            break;
        std::fclose(existing);
        int answer = ui().message_box("BIN File Exists, Overwrite?", "File Exists", MB_YESNOCANCEL | MB_TOPMOST);
        if (answer == ID_YES)
            break;
        if (answer != ID_NO)
            return;
    }
    remember_choice(g_settings.readbin, g_settings.readbinfile, g_settings.readbinpath, path);
}

// ---- The picture --------------------------------------------------------------------------------

uint32_t argb(Rgb c) { return 0xFF000000u | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b; }

Rgb mix(Rgb a, Rgb b, double t)
{
    auto m = [t](uint8_t x, uint8_t y) { return static_cast<uint8_t>(std::lround(x + (y - x) * t)); };
    return {m(a.r, b.r), m(a.g, b.g), m(a.b, b.b)};
}

// Even-odd test of a point against a closed polygon.
bool inside(double x, double y, const double (*p)[2], int n)
{
    bool in = false;
    for (int i = 0, j = n - 1; i < n; j = i++)
        if ((p[i][1] > y) != (p[j][1] > y) && x < (p[j][0] - p[i][0]) * (y - p[i][1]) / (p[j][1] - p[i][1]) + p[i][0])
            in = !in;
    return in;
}

// A flash chip on a circuit board with a lightning bolt across it.
std::vector<uint32_t> make_picture()
{
    constexpr int W = FLASH_PICTURE_W, H = FLASH_PICTURE_H;
    constexpr Rgb BOARD_TOP{34, 52, 44}, BOARD_BOTTOM{20, 28, 24}, TRACE{62, 120, 84}, PIN{190, 190, 196},
        BODY{32, 32, 36}, BODY_EDGE{72, 72, 80}, NOTCH{16, 16, 18}, BOLT{255, 153, 0}, BOLT_EDGE{150, 80, 0},
        FRAME{100, 100, 100};
    constexpr double BOLT_SHAPE[][2] = {{109, 12}, {82, 55}, {98, 55}, {89, 90}, {121, 42}, {104, 42}, {116, 12}};
    constexpr int BOLT_POINTS = 7;
    constexpr int PINS = 10, PIN_X0 = 54, PIN_PITCH = 10, PIN_W = 5;
    constexpr int BODY_L = 46, BODY_T = 26, BODY_R = 154, BODY_B = 74;

    std::vector<uint32_t> px(static_cast<size_t>(W * H));
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            Rgb c = mix(BOARD_TOP, BOARD_BOTTOM, y / double(H - 1));
            int pin = (x - PIN_X0) / PIN_PITCH;
            bool pin_column = x >= PIN_X0 && pin < PINS && (x - PIN_X0) % PIN_PITCH < PIN_W;
            // Traces run from every pin to the board's edge, and along the board left and right.
            if (pin_column && (x - PIN_X0) % PIN_PITCH == 2)
                c = TRACE;
            if ((y == 50 || y == 36 || y == 64) && (x < BODY_L - 6 || x >= BODY_R + 6) && x > 6 && x < W - 7)
                c = TRACE;
            if (pin_column && ((y >= BODY_T - 10 && y < BODY_T) || (y >= BODY_B && y < BODY_B + 10)))
                c = PIN;
            if (x >= BODY_L && x < BODY_R && y >= BODY_T && y < BODY_B) {
                bool edge = x == BODY_L || x == BODY_R - 1 || y == BODY_T || y == BODY_B - 1;
                c = edge ? BODY_EDGE : BODY;
                double dx = x - (BODY_L + 8), dy = y - (BODY_T + 8);
                if (dx * dx + dy * dy <= 9)
                    c = NOTCH;
            }
            double cx = x + 0.5, cy = y + 0.5;
            if (inside(cx, cy, BOLT_SHAPE, BOLT_POINTS)) {
                // The bolt's rim: a pixel whose neighbour lies outside it.
                bool rim = !inside(cx - 1, cy, BOLT_SHAPE, BOLT_POINTS) || !inside(cx + 1, cy, BOLT_SHAPE, BOLT_POINTS) ||
                           !inside(cx, cy - 1, BOLT_SHAPE, BOLT_POINTS) || !inside(cx, cy + 1, BOLT_SHAPE, BOLT_POINTS);
                c = rim ? BOLT_EDGE : BOLT;
            }
            if (x == 0 || y == 0 || x == W - 1 || y == H - 1)
                c = FRAME;
            px[static_cast<size_t>(y * W + x)] = argb(c);
        }
    }
    return px;
}

// What opening the page took: the sink, the tick timer, the run mode, the logging pause.
void give_back_link()
{
    FlashWindowState& w = g_flash_window;
    if (!w.open)
        return;
    w.open = false;
    set_flash_sink(nullptr);
    stop_tick_timer();
    set_run_mode(w.previous_run_mode);
    set_logging_paused(w.previous_logging_paused);
}

}  // namespace

// ---- The page ---------------------------------------------------------------------------------------

Rgb flash_line_colour(FlashColour colour)
{
    return colour >= FLASH_NORMAL && colour <= FLASH_FAILURE ? LINE_COLOURS[colour] : BACKGROUND;
}

const uint32_t* flash_picture()
{
    static const std::vector<uint32_t> picture = make_picture();
    return picture.data();
}

void open_flash_window()
{
    FlashWindowState& w = g_flash_window;
    create_controls(FLASH_CONTROLS, flash_window_command);
    ControlHost& host = controls();
    int action = g_settings.flshaction;
    host.set_checked(FLASH_BANK_0 + selected_bank(), true);
    host.set_checked(FLASH_PROGRAM, action == ACTION_PROGRAM);
    host.set_checked(FLASH_READ, action == ACTION_READ);
    host.set_checked(FLASH_VERIFY, g_settings.flshverify == 1);
    host.set_checked(FLASH_SET_ACTIVE, g_settings.flshsetbank == 1);
    host.set_enabled(FLASH_PROGRAM_NAME, action == ACTION_PROGRAM);
    host.set_enabled(FLASH_READ_NAME, action == ACTION_READ);
    if (!w.open) {
        w.open = true;
        w.previous_logging_paused = set_logging_paused(1);
        w.previous_run_mode = set_run_mode(RUN_FLASH);
        start_tick_timer();
        set_flash_sink(&page_sink);
    }
    host.focus(FLASH_BANK_0 + selected_bank());
}

void close_flash_window()
{
    destroy_controls(FLASH_CONTROLS);
    give_back_link();
}

void paint_flash_window()
{
    Canvas* c = canvas();
    if (c == nullptr)
        return;
    c->bitmap(PICTURE_X, PICTURE_Y, FLASH_PICTURE_W, FLASH_PICTURE_H, flash_picture());
    draw_blank_area(c);
    const FlashWindowState& w = g_flash_window;
    for (int n = 0; n <= w.line_count; ++n)
        draw_line(c, n, w.lines[n].text, w.lines[n].colour);
    redraw_file_names();
}

void flash_window_add_line(FlashColour colour, const std::string& text)
{
    FlashWindowState& w = g_flash_window;
    Canvas* c = canvas();
    if (++w.line_count >= FLASH_MESSAGE_LINES) {
        w.line_count = FLASH_MESSAGE_LINES - 1;
        if (c != nullptr)
            c->scroll(SCROLL_LEFT, SCROLL_TOP, MESSAGE_RIGHT, SCROLL_BOTTOM, LINE_HEIGHT, BACKGROUND);
        std::move(w.lines.begin() + 1, w.lines.end(), w.lines.begin());
    }
    FlashMessageLine& line = w.lines[w.line_count];
    line.text = fit_line(text);
    line.colour = colour;
    if (c != nullptr)
        draw_line(c, w.line_count, line.text, colour);
    show_line();
}

void flash_window_clear()
{
    g_flash_window.line_count = -1;
    if (Canvas* c = canvas())
        draw_blank_area(c);
    show_line();
}

bool flash_procedure_running() { return g_flash_window.busy != 0; }

int flash_window_apply()
{
    FlashWindowState& w = g_flash_window;
    if (w.busy != 0)
        return -1;
    w.busy = 1;
    int32_t start = g_ticks;
    flash_window_clear();
    g_flash.params.bank = selected_bank();
    g_flash.params.verify = g_settings.flshverify;
    g_flash.params.set_active = g_settings.flshsetbank;
    const int info[4] = {1, 1, 1, 25};
    for (int k = 0; k < 4; ++k)
        g_flash.params.info[k] = info[k];

    int rc = 0;
    if (g_settings.flshaction == ACTION_PROGRAM) {
        std::string path = g_settings.flshbin;
        if (path.empty()) {
            ui().message_box("Need a Program Bank BIN Name", "File Error", MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
            rc = -1;
        } else {
            rc = program_bank_from_file(path);
        }
    } else if (g_settings.flshaction == ACTION_READ) {
        std::string path = g_settings.readbin;
        if (g_settings.readbinpath.empty()) {
            ui().message_box("Need a Read Bank BIN Name", "File Error", MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
            rc = -1;
        } else {
            rc = read_bank_to_file(path);
        }
    }
    if (rc == 0) {
        flash_window_add_line(FLASH_NORMAL, "");
        flash_window_add_line(FLASH_NORMAL, format_text("%3.1f Second(s)", (g_ticks - start) / 10.0));
    }
    w.busy = 0;
    if (void (*ended)() = w.procedure_ended)
        ended();
    return rc;
}

void flash_window_command(int id, int event, int)
{
    if (g_flash_window.busy != 0 || event != CONTROL_CLICKED)
        return;
    ControlHost& host = controls();
    for (int b = 0; b < BANK_COUNT; ++b)
        if (host.checked(FLASH_BANK_0 + b))
            g_settings.flshbank = static_cast<int16_t>(b);
    switch (id) {
    case FLASH_PROGRAM:
    case FLASH_READ:
        if (host.checked(id)) {
            g_settings.flshaction = static_cast<int16_t>(id == FLASH_PROGRAM ? ACTION_PROGRAM : ACTION_READ);
            redraw_file_names();
        }
        break;
    case FLASH_VERIFY:
        g_settings.flshverify = host.checked(id) ? 1 : 0;
        break;
    case FLASH_SET_ACTIVE:
        g_settings.flshsetbank = host.checked(id) ? 1 : 0;
        break;
    case FLASH_SELECT_BIN:
        if (g_settings.flshaction == ACTION_READ)
            choose_read_file();
        else
            choose_program_file();
        host.focus(FLASH_SELECT_BIN);
        break;
    case FLASH_CLOSE:
        if (void (*leave)() = g_flash_window.switch_to_gauges)
            leave();
        break;
    case FLASH_APPLY:
        flash_window_apply();
        controls().focus(FLASH_BANK_0 + selected_bank());
        break;
    default:
        break;
    }
}

void reset_flash_window()
{
    // The controls are left alone: a test may have left a host behind that is gone.
    give_back_link();
    FlashWindowState& w = g_flash_window;
    w.lines = {};
    w.line_count = -1;
    w.busy = 0;
    w.show_line = nullptr;
    w.switch_to_gauges = nullptr;
    w.procedure_ended = nullptr;
}
