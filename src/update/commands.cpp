#include "update/commands.h"

#include "config/updater_config.h"
#include "ecm/tick.h"
#include "link/link_thread.h"
#include "link/port.h"
#include "link/ring.h"
#include "platform/ui_services.h"
#include "update/update.h"

int start_updater_link()
{
    use_updater_profiles();
    start_tick_timer();
    if (start_link_thread() != 0) {
        stop_tick_timer();
        return -1;
    }
    choose_updater_port(g_updater_settings.port);
    request_ring_flush();
    return 0;
}

void stop_updater_link()
{
    request_port_state(PORT_CLOSE, nullptr);
    stop_link_thread();
    stop_tick_timer();
}

void choose_updater_port(const std::string& name)
{
    g_updater_settings.port = name;
    show_port_state(0);
    request_port_state(PORT_REOPEN, name.c_str());
    save_updater_config();
}

void bin_update_command()
{
    constexpr unsigned BOX = MB_OK | MB_ICONINFORMATION | MB_TOPMOST;
    FileDialogRequest request;
    request.title = "Select BIN file to update";
    request.filters = {{"BIN (*.bin)", "*.bin"}, {"All (*.*)", "*.*"}};
    request.file_must_exist = true;
    for (;;) {
        request.initial_folder = g_updater_settings.flshbinpath;
        std::string path = choose_file(request);
        if (path.empty())
            return;
        BinUpdateResult r = bin_update(path);
        ui().message_box(r.text, r.caption, BOX);
        if (r.rc == BIN_UPDATE_NOT_BIN)
            continue;
        if (r.rc != BIN_UPDATE_NO_FILE)
            save_updater_config();
        return;
    }
}

WindowPlace updater_window_place(int desktop_width, int desktop_height)
{
    if (g_updater_settings.xposhwnd == -1)
        return {desktop_width / 2 - 400, desktop_height / 2 - 300};
    return {g_updater_settings.xposhwnd, g_updater_settings.yposhwnd};
}

void save_updater_window(int x, int y, bool minimised)
{
    if (!minimised) {
        g_updater_settings.xposhwnd = x;
        g_updater_settings.yposhwnd = y;
    }
    save_updater_config();
}
