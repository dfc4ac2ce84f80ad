#include "support/live.h"

#include <cstdio>

#include "config/devices.h"
#include "config/settings.h"
#include "datalog/datalog.h"
#include "datalog/playback.h"
#include "dialogs/preferences.h"
#include "dialogs/user_devices.h"
#include "displays/display_routines.h"
#include "draw/controls.h"
#include "link/link_thread.h"
#include "link/port.h"
#include "link/ring.h"
#include "platform/ui_services.h"
#include "stream/connection.h"
#include "stream/display_thread.h"
#include "stream/reader.h"

LogContents read_log_contents(const std::string& path)
{
    LogContents c;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return c;
    read_log_frames(f, [&](int status, const FrameRecord& fr, const RecordText& time, const RecordText& marker) {
        if (!marker.empty())
            c.markers.emplace_back(marker.bytes, static_cast<size_t>(marker.len));
        if (!time.empty())
            c.times.emplace_back(time.bytes, static_cast<size_t>(time.len));
        if (status == STREAM_OK) {
            ++c.good;
            c.sequence.push_back(static_cast<uint32_t>(fr.b[90]) << 24 | static_cast<uint32_t>(fr.b[91]) << 16 |
                                 static_cast<uint32_t>(fr.b[92]) << 8 | fr.b[93]);
        } else {
            ++c.bad;
        }
        return true;
    });
    std::fclose(f);
    return c;
}

void reset_everything()
{
    reset_datalog();
    reset_link();
    reset_port();
    install_link_hooks();
    reset_ring();
    reset_stream();
    reset_display();
    reset_playback_state();
    reset_settings();
    build_device_catalogue();
    rebuild_channel_state();
    g_adc.current_wb_afr = 0.0;
    g_adc.current_fuel_pressure = 0.0;
    reset_display_routines();
    g_ui_state.modal_dialog_open = 0;
    g_ui_state.settings_changed = 0;
    reset_preferences_dialog();
    reset_user_device_dialog();
    attach_controls(nullptr);
}
