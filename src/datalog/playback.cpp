#include "datalog/playback.h"

#include <array>

#include "config/config.h"
#include "config/settings.h"
#include "datalog/datalog.h"
#include "link/port.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/ui_services.h"
#include "stream/connection.h"
#include "stream/display_thread.h"
#include "stream/reader.h"

namespace {

// The control bar; the progress bar lives from start to stop, the others come and go with the
// displays.
constexpr std::array<ControlDef, 4> PLAYBACK_BAR = {{
    {PLAYBACK_PROGRESS, ControlKind::ProgressBar, nullptr, 612, 17, 173, 9, CS_NONE, KeyRoute::Own},
    {PLAYBACK_PAUSE, ControlKind::CheckBox, "Pause", 710, 43, 70, 20, CS_TAB_STOP | CS_PUSH_LIKE | CS_TAKES_FOCUS,
     KeyRoute::DisplayKeys, Font::Small},
    {PLAYBACK_BACKUP, ControlKind::PushButton, "<-BackUp", 710, 71, 70, 20, CS_TAB_STOP | CS_DOUBLE_CLICKS,
     KeyRoute::DisplayKeys, Font::Small},
    {PLAYBACK_RATE, ControlKind::Trackbar, nullptr, 635, 99, 150, 22, CS_TAB_STOP | CS_TAKES_FOCUS, KeyRoute::DisplayKeys},
}};
const std::span<const ControlDef> PROGRESS_ROW{PLAYBACK_BAR.data(), 1};
const std::span<const ControlDef> PAUSE_ROW{PLAYBACK_BAR.data() + 1, 1};
const std::span<const ControlDef> GAUGE_ROWS{PLAYBACK_BAR.data() + 1, 3};

constexpr int RATE_TICK = 10;
// Where the gauge display writes the captions of the progress bar and the trackbar.
constexpr int CAPTION_X = 665, PROGRESS_CAPTION_Y = -1, RATE_CAPTION_Y = 123;

void step_progress() { controls().step(PLAYBACK_PROGRESS); }

void restart_trip()
{
    if (void (*restart)() = g_frame_hooks.trip_restart)
        restart();
}

void show_open_error()
{
    ui().message_box("Can not open Playback Data File", "File Open Error", MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
}

long file_size(FILE* f)
{
    std::fseek(f, 0, SEEK_END);
    long size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    return size < 0 ? 0 : size;
}

}  // namespace

int start_playback()
{
    if (g_playback.playing != 0)
        return 1;
    FileDialogRequest request;
    request.title = "Select File to Playback";
    request.filters = {{"DataLogs (*.dat)", "*.dat"}, {"All (*.*)", "*.*"}};
    request.default_extension = "dat";
    request.initial_name = g_settings.playname;
    request.initial_folder = g_settings.playpath;
    request.file_must_exist = true;
    std::string path = choose_file(request);
    if (path.empty())
        return 1;
    return start_playback_file(path);
}

int start_playback_file(const std::string& path)
{
    if (g_playback.playing != 0)
        return 1;
    FILE* f = open_regular_file(path);   // a folder or a device is no data log
    if (f == nullptr) {
        show_open_error();
        return -1;
    }
    stop_logging();
    g_playback.file_size = file_size(f);
    g_playback.file = f;
    g_settings.play = path;
    g_settings.playname = file_name_part(path);
    g_settings.playpath = folder_part(path);

    create_controls(PROGRESS_ROW, playback_command);
    controls().set_range(PLAYBACK_PROGRESS, 0, static_cast<int>(g_playback.file_size / STREAM_SECOND_BYTES) + 5, 1);
    controls().set_value(PLAYBACK_PROGRESS, 0);
    g_playback.on_progress_step = step_progress;
    g_stream.on_playback_end = playback_ended;

    g_playback.end_of_file = 0;
    g_playback.paused = 0;
    g_playback.backup_seconds = 0;
    g_playback.progress_count = 0;
    g_playback.read_up_to = 0;
    // The trip starts over before the display thread sees the first frame of the file, so that
    // every frame it shows counts the same way however soon it gets to it.
    restart_trip();
    // The file's name is in place before the flag publishes it to the status panel.
    g_playback.playing.store_release(1);
    set_playback_source(1, f);
    set_run_mode(RUN_PLAYBACK);

    save_config();
    ui().request_repaint();

    create_playback_bar();
    disconnect_port();
    return 0;
}

int stop_playback()
{
    if (g_playback.playing == 0)
        return 1;
    g_playback.playing = 0;
    g_playback.end_of_file = 0;
    set_run_mode(RUN_LIVE);
    {
        // A read or a seek of the display thread's pass ends before the file is taken away.
        std::lock_guard<std::mutex> lock(g_playback.file_lock);
        set_playback_source(0, nullptr);
    }
    std::fclose(g_playback.file);
    g_playback.file = nullptr;
    g_playback.on_progress_step = nullptr;

    destroy_controls(PROGRESS_ROW);
    reset_engine_detection();
    ui().request_repaint();
    destroy_playback_bar();
    restart_trip();
    if (g_port.indicator == 0)
        connect_port();
    return 0;
}

void playback_ended()
{
    g_playback.end_of_file = 1;
    ui().request_repaint();
}

void create_playback_bar()
{
    if (g_playback.playing == 0)
        return;
    bool gauges = g_display.active_display == DISPLAY_GAUGES;
    create_controls(gauges ? GAUGE_ROWS : PAUSE_ROW, playback_command);
    controls().set_checked(PLAYBACK_PAUSE, g_playback.paused != 0);
    if (gauges) {
        controls().set_range(PLAYBACK_RATE, 0, 100, RATE_TICK);
        controls().set_value(PLAYBACK_RATE, 100 - g_settings.pbspd);
    }
}

void destroy_playback_bar()
{
    destroy_controls(GAUGE_ROWS);
    if (g_display.active_display == DISPLAY_GAUGES) {
        if (Canvas* c = canvas()) {
            c->text(CAPTION_X, PROGRESS_CAPTION_Y, "        ", Font::Small, TEXT, BACKGROUND);
            c->text(CAPTION_X, RATE_CAPTION_Y, "             ", Font::Small, TEXT, BACKGROUND);
        }
    }
}

void paint_playback_captions()
{
    if (g_playback.playing == 0)
        return;
    if (Canvas* c = canvas())
        c->text(CAPTION_X, RATE_CAPTION_Y, "Playback Rate", Font::Small, TEXT, BACKGROUND, ALIGN_LEFT, true);
}

void playback_command(int id, int event, int value)
{
    switch (id) {
    case PLAYBACK_PAUSE:
        g_playback.paused = g_playback.paused == 0 ? 1 : 0;
        break;
    case PLAYBACK_BACKUP:
        playback_back_up(event == CONTROL_DOUBLE_CLICKED ? 6 : 2);
        break;
    case PLAYBACK_RATE:
        if (event == CONTROL_VALUE)
            g_settings.pbspd = 100 - value;
        break;
    default:
        break;
    }
}

void playback_rate_changed()
{
    if (controls().exists(PLAYBACK_RATE))
        controls().set_value(PLAYBACK_RATE, 100 - g_settings.pbspd);
}

void playback_back_up(int seconds)
{
    // The display thread takes the seconds, aims the replay and seeks, all in one pass of its own.
    g_playback.backup_seconds.fetch_add(static_cast<int16_t>(seconds));
}

long replay_log(FILE* file)
{
    set_run_mode(RUN_PLAYBACK);
    set_playback_source(1, file);
    g_playback.playing = 1;
    g_playback.read_up_to = 0;
    restart_trip();
    long frames = 0;
    for (int status; (status = decode_and_dispatch()) != STREAM_NO_DATA;)
        frames += status == STREAM_OK;
    g_playback.playing = 0;
    set_playback_source(0, nullptr);
    set_run_mode(RUN_LIVE);
    return frames;
}

void reset_playback_state()
{
    g_playback.playing = 0;
    g_playback.end_of_file = 0;
    g_playback.paused = 0;
    g_playback.backup_seconds = 0;
    g_playback.progress_count = 0;
    g_playback.pending_backup = 0;
    g_playback.backup_target_seconds = 0;
    g_playback.backup_target_index = 0;
    g_playback.read_up_to = 0;
    g_playback.on_progress_step = nullptr;
    if (g_playback.file != nullptr)
        std::fclose(g_playback.file);
    g_playback.file = nullptr;
    g_playback.file_size = 0;
}
